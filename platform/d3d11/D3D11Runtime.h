#pragma once
// Internal to the Direct3D 11 and DXGI stand-in: the process-wide runtime state (simulated
// hardware configuration, queued failures, call log, live-object registry) and the base classes
// of every stand-in object. Thread-safe; never destroyed, so objects released late still find it.

#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/d3d11.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace d3d11_internal
{

// Identity, reference count and registry entry of one stand-in object.
class Object
{
public:
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    std::uint64_t GetId() const { return m_uiId; }
    const char* GetInterfaceName() const { return m_pInterfaceName; }
    ULONG GetRefCount() const { return m_uiRefs.load(std::memory_order_acquire); }

    // Null for null or for an object that is not ours.
    static Object* From(const IUnknown* pObject);
    static std::uint64_t IdOf(const IUnknown* pObject);

    // Deletes an object that failed during creation and was never handed out (nothing logged).
    void Discard();

protected:
    // Starts with one reference, owned by the creator.
    explicit Object(const char* pInterfaceName);
    virtual ~Object();

    ULONG AddRefObject();
    // Logs the release; deletes the object when the count reaches 0.
    ULONG ReleaseObject();

private:
    std::atomic<ULONG> m_uiRefs{1};
    std::uint64_t m_uiId = 0;
    const char* m_pInterfaceName = nullptr;
};

// IUnknown of one stand-in class implementing TInterface (and its base interfaces).
template <class TInterface>
class ComObject : public TInterface, public Object
{
public:
    HRESULT QueryInterface(REFIID riid, void** ppvObject) override
    {
        if (ppvObject == nullptr)
            return E_POINTER;
        if (!Implements(riid))
        {
            *ppvObject = nullptr;
            return E_NOINTERFACE;
        }
        AddRefObject();
        *ppvObject = static_cast<TInterface*>(this);
        return S_OK;
    }
    ULONG AddRef() override { return AddRefObject(); }
    ULONG Release() override { return ReleaseObject(); }

protected:
    explicit ComObject(const char* pInterfaceName) : Object(pInterfaceName) {}
    // True for every IID of TInterface's chain, IID_IUnknown included.
    virtual bool Implements(REFIID riid) const = 0;
};

// Holds one reference on a COM object; releases it when reset or destroyed.
template <class T>
class Ref
{
public:
    Ref() = default;
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { Reset(); }

    // Takes a new reference on p (null allowed) and drops the old one.
    void Set(T* p)
    {
        if (p != nullptr)
            p->AddRef();
        Reset();
        m_p = p;
    }
    // Takes over a reference the caller already owns.
    void Adopt(T* p)
    {
        Reset();
        m_p = p;
    }
    void Reset()
    {
        T* p = m_p;
        m_p = nullptr;
        if (p != nullptr)
            p->Release();
    }
    T* Get() const { return m_p; }

private:
    T* m_p = nullptr;
};

class Runtime
{
public:
    static Runtime& Get();

    std::uint64_t Register(Object* pObject);
    void Unregister(std::uint64_t uiId);

    D3D_FEATURE_LEVEL GetFeatureLevel();
    UINT GetQualityLevels(DXGI_FORMAT format, UINT uiSampleCount);
    UINT GetAdapterCount();
    bool GetAdapter(UINT uiAdapter, D3D11Control::AdapterConfig* pOut);
    bool GetOutput(UINT uiAdapter, UINT uiOutput, D3D11Control::OutputConfig* pOut);

    // S_OK when no failure is queued for the call; else the queued result, taken once.
    HRESULT TakeFailure(const char* pInterface, const char* pMethod);

    void Log(const char* pInterface, const char* pMethod, HRESULT hr,
             std::initializer_list<std::uint64_t> objects, std::initializer_list<double> values);
    // Copies the record into the log (Sequence and Frame are set there).
    void Log(const D3D11Control::CallRecord& record);
    // An emptied record of the calling thread for a caller to fill and hand to Log; its strings
    // and vectors keep their storage between calls, so a frame's logging allocates nothing once
    // they have grown. bDraw: its Pipeline is engaged (defaults, no vertex buffers), else empty.
    // Valid until the thread's next ScratchRecord of the same kind.
    static D3D11Control::CallRecord& ScratchRecord(bool bDraw);
    // False while logging is switched off: callers may skip building a record.
    bool IsLogging() const { return m_bLogging.load(std::memory_order_relaxed); }
    // Called by Present after logging itself: closes the frame, prints the frame report when one
    // is due and then runs the present hook (both outside the lock).
    void EndFrame(UINT uiSyncInterval);

    // Control side.
    void Reset();
    void SetFrameReports(bool bEnabled);
    void SetPresentHook(std::function<void(std::uint64_t)> hook);
    void SetAdapters(const std::vector<D3D11Control::AdapterConfig>& adapters);
    void SetFeatureLevel(D3D_FEATURE_LEVEL level);
    void SetQualityLevels(UINT uiSampleCount, UINT uiLevels, DXGI_FORMAT format);
    void FailNext(const std::string& sCall, HRESULT hr);
    std::vector<D3D11Control::CallRecord> GetCallLog();
    std::vector<D3D11Control::CallRecord> GetLastFrameCallLog();
    void ClearCallLog();
    void SetCallLogging(bool bEnabled);
    std::uint64_t GetCallCount(const std::string& sCall);
    std::uint64_t GetPresentCount();
    UINT GetLastSyncInterval();
    std::size_t GetLiveObjectCount();
    std::vector<std::string> GetLiveObjects();

private:
    Runtime();
    void ResetConfigLocked();

    std::mutex m_mutex;
    std::map<std::uint64_t, Object*> m_mObjects;
    std::uint64_t m_uiNextId = 1;

    std::vector<D3D11Control::AdapterConfig> m_vAdapters;
    D3D_FEATURE_LEVEL m_featureLevel = D3D_FEATURE_LEVEL_11_0;
    std::map<std::pair<UINT, UINT>, UINT> m_mQualityLevels; // (format, count) -> levels
    std::vector<std::pair<std::string, HRESULT>> m_vFailures;

    // One frame's calls in reused slots: a slot's strings and vectors keep their storage from
    // frame to frame (and its Pipeline stays engaged once a draw used it; bHasPipeline says
    // whether the call had one).
    struct LoggedCall
    {
        D3D11Control::CallRecord record;
        bool bHasPipeline = false;
    };
    struct FrameLog
    {
        std::vector<LoggedCall> gCalls; // the first uiCount are the frame's
        std::size_t uiCount = 0;
        std::vector<D3D11Control::CallRecord> Copy() const;
    };
    // The next slot of the frame in progress, its old contents still in it; counts the call.
    LoggedCall& AppendLocked(const char* pMethod, const char* pInterface);

    FrameLog m_frameLog;
    FrameLog m_lastFrameLog;
    std::map<std::string, std::uint64_t> m_mCallCounts;
    std::string m_sCountedName; // the name of the call being counted; under the mutex
    std::uint64_t m_uiSequence = 0;
    std::uint64_t m_uiFrame = 0;
    UINT m_uiLastSyncInterval = 0;
    std::uint64_t m_uiFrameDraws = 0; // draw calls logged in the frame in progress
    bool m_bFrameReports = true;      // a real run until a test resets the runtime
    bool m_bReported = false;         // since frame reports were switched on
    std::chrono::steady_clock::time_point m_lastReport;
    std::function<void(std::uint64_t)> m_presentHook;
    std::atomic<bool> m_bLogging{true}; // read without the mutex on every call
};

} // namespace d3d11_internal
