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
#include <string_view>
#include <unordered_map>
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

// A draw call's pipeline as logged, held by value (no heap).
struct PipelineEntry
{
    D3D11_PRIMITIVE_TOPOLOGY topology = D3D11_PRIMITIVE_TOPOLOGY_UNDEFINED;
    std::uint64_t uiInputLayout = 0;
    D3D11Control::VertexBufferBinding aVertexBuffers[D3D11_IA_VERTEX_INPUT_RESOURCE_SLOT_COUNT] = {};
    UINT uiVertexBuffers = 0; // slot 0 up to the last slot holding a buffer
    std::uint64_t uiIndexBuffer = 0;
    DXGI_FORMAT indexFormat = DXGI_FORMAT_UNKNOWN;
    UINT uiIndexOffset = 0;
    std::uint64_t uiVertexShader = 0;
    std::uint64_t uiGeometryShader = 0;
    std::uint64_t uiPixelShader = 0;
    std::uint64_t uiBlendState = 0;
    std::uint64_t uiDepthStencilState = 0;
    std::uint64_t uiRasterizerState = 0;
};

// One call as it is logged, built on the caller's stack: the runtime copies it into storage
// that keeps its capacity from frame to frame, so logging allocates nothing once the log has
// grown to a frame's size. Names are string literals (never copied); objects and values past
// the capacity (more than any call has) are dropped.
struct CallEntry
{
    static constexpr UINT MAX_OBJECTS = 160;
    static constexpr UINT MAX_VALUES = 160;

    CallEntry(const char* pInterfaceName, const char* pMethodName, HRESULT hr = S_OK)
        : pInterface(pInterfaceName), pMethod(pMethodName), result(hr)
    {
    }
    void AddObject(std::uint64_t uiId)
    {
        if (uiObjects < MAX_OBJECTS)
            aObjects[uiObjects++] = uiId;
    }
    void AddValue(double fValue)
    {
        if (uiValues < MAX_VALUES)
            aValues[uiValues++] = fValue;
    }

    const char* pInterface; // "" for functions
    const char* pMethod;
    HRESULT result;
    std::uint64_t aObjects[MAX_OBJECTS];
    UINT uiObjects = 0;
    double aValues[MAX_VALUES];
    UINT uiValues = 0;
    const PipelineEntry* pPipeline = nullptr; // draw calls of a context only
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
    void Log(const CallEntry& entry);
    // False while logging is switched off: callers may skip building a record.
    bool IsLogging() const { return m_bLogging.load(std::memory_order_relaxed); }
    // Called by Present after logging itself: closes the frame, prints the frame report when one
    // is due and then runs the present hook (both outside the lock).
    void EndFrame(UINT uiSyncInterval);
    // Nanoseconds on the pacing clock (steady or manual).
    std::uint64_t GetClock();
    // Paced, waits until uiDue on the pacing clock (a manual clock is moved there) and answers
    // uiDue; else, or when uiDue has passed, answers the clock at once. Never holds the lock
    // while it sleeps.
    std::uint64_t WaitUntil(std::uint64_t uiDue);
    bool IsPresentPacing() const { return m_bPacing.load(std::memory_order_relaxed); }

    // Control side.
    void Reset();
    void SetFrameReports(bool bEnabled);
    void SetPresentHook(std::function<void(std::uint64_t)> hook);
    void SetPresentPacing(bool bEnabled);
    void UseManualClock();
    void AdvanceClock(std::uint64_t uiNanoseconds);
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
    // Calls of one frame in flat arrays that keep their capacity when cleared.
    struct StoredCall
    {
        const char* pInterface = "";
        const char* pMethod = "";
        HRESULT result = S_OK;
        std::uint64_t uiSequence = 0;
        std::uint64_t uiFrame = 0;
        std::size_t uiFirstObject = 0;
        UINT uiObjects = 0;
        std::size_t uiFirstValue = 0;
        UINT uiValues = 0;
        std::size_t uiPipeline = NO_PIPELINE;
    };
    static constexpr std::size_t NO_PIPELINE = ~std::size_t{0};
    struct FrameLog
    {
        std::vector<StoredCall> vCalls;
        std::vector<std::uint64_t> vObjects;
        std::vector<double> vValues;
        std::vector<PipelineEntry> vPipelines;

        void Clear();
        // Drops the oldest uiCount calls and what only they used.
        void DropOldest(std::size_t uiCount);
        std::vector<D3D11Control::CallRecord> ToRecords() const;
    };

    Runtime();
    void ResetConfigLocked();
    struct NamePairHash
    {
        std::size_t operator()(const std::pair<const char*, const char*>& names) const;
    };

    std::mutex m_mutex;
    std::map<std::uint64_t, Object*> m_mObjects;
    std::uint64_t m_uiNextId = 1;

    std::vector<D3D11Control::AdapterConfig> m_vAdapters;
    D3D_FEATURE_LEVEL m_featureLevel = D3D_FEATURE_LEVEL_11_0;
    std::map<std::pair<UINT, UINT>, UINT> m_mQualityLevels; // (format, count) -> levels
    std::vector<std::pair<std::string, HRESULT>> m_vFailures;

    FrameLog m_frameLog;
    FrameLog m_lastFrameLog;
    // Calls per (interface, method) name pair, keyed by the literals' addresses.
    std::unordered_map<std::pair<const char*, const char*>, std::uint64_t, NamePairHash> m_mCallCounts;
    std::uint64_t m_uiSequence = 0;
    std::uint64_t m_uiFrame = 0;
    UINT m_uiLastSyncInterval = 0;
    std::uint64_t m_uiFrameDraws = 0; // draw calls logged in the frame in progress
    bool m_bFrameReports = true;      // a real run until a test resets the runtime
    bool m_bReported = false;         // since frame reports were switched on
    std::chrono::steady_clock::time_point m_lastReport;
    std::function<void(std::uint64_t)> m_presentHook;
    std::atomic<bool> m_bLogging{true}; // read without the mutex on every call
    std::atomic<bool> m_bPacing{true};  // a real run until a test resets the runtime
    bool m_bManualClock = false;
    std::uint64_t m_uiManualClock = 0; // nanoseconds
};

} // namespace d3d11_internal
