#include "platform/d3d11/D3D11Runtime.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace d3d11_internal
{

namespace
{

// A frame that never ends (nothing presents) keeps only its newest calls.
constexpr std::size_t MAX_FRAME_LOG = 65536;
// A few frame reports a second at most.
constexpr std::chrono::milliseconds FRAME_REPORT_INTERVAL{250};

} // namespace

Object::Object(const char* pInterfaceName) : m_pInterfaceName(pInterfaceName)
{
    m_uiId = Runtime::Get().Register(this);
}

Object::~Object()
{
    Runtime::Get().Unregister(m_uiId);
}

Object* Object::From(const IUnknown* pObject)
{
    if (pObject == nullptr)
        return nullptr;
    return dynamic_cast<Object*>(const_cast<IUnknown*>(pObject));
}

std::uint64_t Object::IdOf(const IUnknown* pObject)
{
    const Object* pOurs = From(pObject);
    return pOurs != nullptr ? pOurs->GetId() : 0;
}

void Object::Discard()
{
    delete this;
}

ULONG Object::AddRefObject()
{
    return m_uiRefs.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG Object::ReleaseObject()
{
    const ULONG uiLeft = m_uiRefs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    Runtime::Get().Log(m_pInterfaceName, "Release", S_OK, {m_uiId}, {static_cast<double>(uiLeft)});
    if (uiLeft == 0)
        delete this;
    return uiLeft;
}

Runtime& Runtime::Get()
{
    // Never destroyed: objects released during static destruction still find it.
    static Runtime* s_pRuntime = new Runtime();
    return *s_pRuntime;
}

Runtime::Runtime()
{
    ResetConfigLocked();
    // Without a test in control the program is a real run: it reports its frames.
    m_bFrameReports = true;
}

void Runtime::ResetConfigLocked()
{
    m_vAdapters.assign(1, D3D11Control::AdapterConfig{});
    m_featureLevel = D3D_FEATURE_LEVEL_11_0;
    m_mQualityLevels.clear();
    for (UINT uiCount : {1u, 2u, 4u, 8u})
        m_mQualityLevels[{DXGI_FORMAT_UNKNOWN, uiCount}] = 1;
    m_vFailures.clear();
    m_frameLog.uiCount = 0;
    m_lastFrameLog.uiCount = 0;
    m_mCallCounts.clear();
    m_uiSequence = 0;
    m_uiFrame = 0;
    m_uiLastSyncInterval = 0;
    m_uiFrameDraws = 0;
    m_bFrameReports = false;
    m_bReported = false;
    m_presentHook = nullptr;
    m_bLogging.store(true, std::memory_order_relaxed);
}

std::uint64_t Runtime::Register(Object* pObject)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::uint64_t uiId = m_uiNextId++;
    m_mObjects[uiId] = pObject;
    return uiId;
}

void Runtime::Unregister(std::uint64_t uiId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mObjects.erase(uiId);
}

D3D_FEATURE_LEVEL Runtime::GetFeatureLevel()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_featureLevel;
}

UINT Runtime::GetQualityLevels(DXGI_FORMAT format, UINT uiSampleCount)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_mQualityLevels.find({static_cast<UINT>(format), uiSampleCount});
    if (it == m_mQualityLevels.end())
        it = m_mQualityLevels.find({static_cast<UINT>(DXGI_FORMAT_UNKNOWN), uiSampleCount});
    return it != m_mQualityLevels.end() ? it->second : 0;
}

UINT Runtime::GetAdapterCount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<UINT>(m_vAdapters.size());
}

bool Runtime::GetAdapter(UINT uiAdapter, D3D11Control::AdapterConfig* pOut)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (uiAdapter >= m_vAdapters.size())
        return false;
    *pOut = m_vAdapters[uiAdapter];
    return true;
}

bool Runtime::GetOutput(UINT uiAdapter, UINT uiOutput, D3D11Control::OutputConfig* pOut)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (uiAdapter >= m_vAdapters.size() || uiOutput >= m_vAdapters[uiAdapter].Outputs.size())
        return false;
    *pOut = m_vAdapters[uiAdapter].Outputs[uiOutput];
    return true;
}

HRESULT Runtime::TakeFailure(const char* pInterface, const char* pMethod)
{
    // Asked on every call: the names are only put together when a failure is queued.
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_vFailures.empty())
        return S_OK;
    const std::string sMethod = pMethod;
    const std::string sQualified = std::string(pInterface) + "::" + sMethod;
    for (auto it = m_vFailures.begin(); it != m_vFailures.end(); ++it)
    {
        if (it->first == sMethod || it->first == sQualified)
        {
            const HRESULT hr = it->second;
            m_vFailures.erase(it);
            return hr;
        }
    }
    return S_OK;
}

void Runtime::Log(const char* pInterface, const char* pMethod, HRESULT hr,
                  std::initializer_list<std::uint64_t> objects, std::initializer_list<double> values)
{
    if (!m_bLogging.load(std::memory_order_relaxed))
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    LoggedCall& call = AppendLocked(pMethod, pInterface);
    call.record.Interface = pInterface;
    call.record.Method = pMethod;
    call.record.Result = hr;
    call.record.Objects.assign(objects.begin(), objects.end());
    call.record.Values.assign(values.begin(), values.end());
    call.bHasPipeline = false;
}

void Runtime::Log(const D3D11Control::CallRecord& record)
{
    if (!m_bLogging.load(std::memory_order_relaxed))
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    LoggedCall& call = AppendLocked(record.Method.c_str(), record.Interface.c_str());
    // Assigned member by member: the slot's storage is reused, never given up.
    call.record.Interface = record.Interface;
    call.record.Method = record.Method;
    call.record.Result = record.Result;
    call.record.Objects = record.Objects;
    call.record.Values = record.Values;
    call.bHasPipeline = record.Pipeline.has_value();
    if (record.Pipeline.has_value())
    {
        if (call.record.Pipeline.has_value())
            *call.record.Pipeline = *record.Pipeline;
        else
            call.record.Pipeline = record.Pipeline;
    }
}

D3D11Control::CallRecord& Runtime::ScratchRecord(bool bDraw)
{
    static thread_local D3D11Control::CallRecord s_aRecords[2];
    D3D11Control::CallRecord& record = s_aRecords[bDraw ? 1 : 0];
    record.Interface.clear();
    record.Method.clear();
    record.Sequence = 0;
    record.Frame = 0;
    record.Result = S_OK;
    record.Objects.clear();
    record.Values.clear();
    if (bDraw)
    {
        if (!record.Pipeline.has_value())
            record.Pipeline.emplace();
        std::vector<D3D11Control::VertexBufferBinding> vBuffers = std::move(record.Pipeline->VertexBuffers);
        vBuffers.clear();
        *record.Pipeline = D3D11Control::DrawPipeline{};
        record.Pipeline->VertexBuffers = std::move(vBuffers);
    }
    return record;
}

Runtime::LoggedCall& Runtime::AppendLocked(const char* pMethod, const char* pInterface)
{
    FrameLog& log = m_frameLog;
    if (log.uiCount >= MAX_FRAME_LOG)
    {
        // The oldest half goes; the slots move round, storage and all.
        std::rotate(log.gCalls.begin(), log.gCalls.begin() + MAX_FRAME_LOG / 2,
                    log.gCalls.begin() + static_cast<std::ptrdiff_t>(log.uiCount));
        log.uiCount -= MAX_FRAME_LOG / 2;
    }
    if (log.uiCount == log.gCalls.size())
        log.gCalls.emplace_back();
    LoggedCall& call = log.gCalls[log.uiCount++];
    call.record.Sequence = m_uiSequence++;
    call.record.Frame = m_uiFrame;
    // The names go through a kept buffer: a name counted before allocates nothing.
    m_sCountedName.assign(pMethod);
    ++m_mCallCounts[m_sCountedName];
    if (std::strncmp(pMethod, "Draw", 4) == 0)
        ++m_uiFrameDraws;
    if (pInterface[0] != '\0')
    {
        m_sCountedName.assign(pInterface).append("::").append(pMethod);
        ++m_mCallCounts[m_sCountedName];
    }
    return call;
}

std::vector<D3D11Control::CallRecord> Runtime::FrameLog::Copy() const
{
    std::vector<D3D11Control::CallRecord> gCopy;
    gCopy.reserve(uiCount);
    for (std::size_t i = 0; i < uiCount; ++i)
    {
        gCopy.push_back(gCalls[i].record);
        if (!gCalls[i].bHasPipeline)
            gCopy.back().Pipeline.reset();
    }
    return gCopy;
}

void Runtime::EndFrame(UINT uiSyncInterval)
{
    std::uint64_t uiFrame = 0;
    std::uint64_t uiDraws = 0;
    bool bReport = false;
    std::function<void(std::uint64_t)> hook;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        uiFrame = ++m_uiFrame;
        uiDraws = m_uiFrameDraws;
        m_uiFrameDraws = 0;
        m_uiLastSyncInterval = uiSyncInterval;
        std::swap(m_lastFrameLog, m_frameLog);
        m_frameLog.uiCount = 0;
        const auto now = std::chrono::steady_clock::now();
        if (m_bFrameReports && (!m_bReported || now - m_lastReport >= FRAME_REPORT_INTERVAL))
        {
            bReport = true;
            m_bReported = true;
            m_lastReport = now;
        }
        hook = m_presentHook;
    }
    // Headless, the terminal shows that frames go out; the counts are the stand-in's own.
    if (bReport)
    {
        std::printf("frame %llu: %llu draw calls\n", static_cast<unsigned long long>(uiFrame),
                    static_cast<unsigned long long>(uiDraws));
        std::fflush(stdout);
    }
    if (hook)
        hook(uiFrame);
}

void Runtime::Reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ResetConfigLocked();
}

void Runtime::SetFrameReports(bool bEnabled)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bFrameReports = bEnabled;
    m_bReported = false;
}

void Runtime::SetPresentHook(std::function<void(std::uint64_t)> hook)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_presentHook = std::move(hook);
}

void Runtime::SetAdapters(const std::vector<D3D11Control::AdapterConfig>& adapters)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vAdapters = adapters;
}

void Runtime::SetFeatureLevel(D3D_FEATURE_LEVEL level)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_featureLevel = level;
}

void Runtime::SetQualityLevels(UINT uiSampleCount, UINT uiLevels, DXGI_FORMAT format)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mQualityLevels[{static_cast<UINT>(format), uiSampleCount}] = uiLevels;
}

void Runtime::FailNext(const std::string& sCall, HRESULT hr)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vFailures.emplace_back(sCall, hr);
}

std::vector<D3D11Control::CallRecord> Runtime::GetCallLog()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frameLog.Copy();
}

std::vector<D3D11Control::CallRecord> Runtime::GetLastFrameCallLog()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastFrameLog.Copy();
}

void Runtime::SetCallLogging(bool bEnabled)
{
    m_bLogging.store(bEnabled, std::memory_order_relaxed);
}

void Runtime::ClearCallLog()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frameLog.uiCount = 0;
    m_lastFrameLog.uiCount = 0;
}

std::uint64_t Runtime::GetCallCount(const std::string& sCall)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_mCallCounts.find(sCall);
    return it != m_mCallCounts.end() ? it->second : 0;
}

std::uint64_t Runtime::GetPresentCount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_uiFrame;
}

UINT Runtime::GetLastSyncInterval()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_uiLastSyncInterval;
}

std::size_t Runtime::GetLiveObjectCount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mObjects.size();
}

std::vector<std::string> Runtime::GetLiveObjects()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> vLines;
    for (const auto& [uiId, pObject] : m_mObjects)
    {
        vLines.push_back(std::string(pObject->GetInterfaceName()) + " #" + std::to_string(uiId) + " refs " +
                         std::to_string(pObject->GetRefCount()));
    }
    return vLines;
}

} // namespace d3d11_internal
