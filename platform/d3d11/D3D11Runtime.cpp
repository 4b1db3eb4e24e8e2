#include "platform/d3d11/D3D11Runtime.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

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
    // Without a test in control the program is a real run: it reports its frames, and its
    // presents wait for the display.
    m_bFrameReports = true;
    m_bPacing.store(true, std::memory_order_relaxed);
}

void Runtime::ResetConfigLocked()
{
    m_vAdapters.assign(1, D3D11Control::AdapterConfig{});
    m_featureLevel = D3D_FEATURE_LEVEL_11_0;
    m_mQualityLevels.clear();
    for (UINT uiCount : {1u, 2u, 4u, 8u})
        m_mQualityLevels[{DXGI_FORMAT_UNKNOWN, uiCount}] = 1;
    m_vFailures.clear();
    m_frameLog.Clear();
    m_lastFrameLog.Clear();
    m_mCallCounts.clear();
    m_uiSequence = 0;
    m_uiFrame = 0;
    m_uiLastSyncInterval = 0;
    m_uiFrameDraws = 0;
    m_bFrameReports = false;
    m_bReported = false;
    m_presentHook = nullptr;
    m_bLogging.store(true, std::memory_order_relaxed);
    m_bPacing.store(false, std::memory_order_relaxed);
    m_bManualClock = false;
    m_uiManualClock = 0;
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

namespace
{

// "Interface::Method" or "Method" of a queued failure against a call, without building strings.
bool NamesCall(const std::string& sName, std::string_view sInterface, std::string_view sMethod)
{
    const std::string_view sWanted = sName;
    if (sWanted == sMethod)
        return true;
    return sWanted.size() == sInterface.size() + 2 + sMethod.size() &&
           sWanted.substr(0, sInterface.size()) == sInterface &&
           sWanted.substr(sInterface.size(), 2) == "::" && sWanted.substr(sInterface.size() + 2) == sMethod;
}

} // namespace

HRESULT Runtime::TakeFailure(const char* pInterface, const char* pMethod)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_vFailures.begin(); it != m_vFailures.end(); ++it)
    {
        if (NamesCall(it->first, pInterface, pMethod))
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
    CallEntry entry(pInterface, pMethod, hr);
    for (const std::uint64_t uiId : objects)
        entry.AddObject(uiId);
    for (const double fValue : values)
        entry.AddValue(fValue);
    Log(entry);
}

std::size_t Runtime::NamePairHash::operator()(const std::pair<const char*, const char*>& names) const
{
    const std::hash<const void*> hash;
    return hash(names.first) * 31 + hash(names.second);
}

void Runtime::Log(const CallEntry& entry)
{
    if (!m_bLogging.load(std::memory_order_relaxed))
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    // Counted by the names' addresses (literals); GetCallCount compares the text.
    ++m_mCallCounts[{entry.pInterface, entry.pMethod}];
    if (std::strncmp(entry.pMethod, "Draw", 4) == 0)
        ++m_uiFrameDraws;
    if (m_frameLog.vCalls.size() >= MAX_FRAME_LOG)
        m_frameLog.DropOldest(MAX_FRAME_LOG / 2);
    StoredCall call;
    call.pInterface = entry.pInterface;
    call.pMethod = entry.pMethod;
    call.result = entry.result;
    call.uiSequence = m_uiSequence++;
    call.uiFrame = m_uiFrame;
    call.uiFirstObject = m_frameLog.vObjects.size();
    call.uiObjects = entry.uiObjects;
    call.uiFirstValue = m_frameLog.vValues.size();
    call.uiValues = entry.uiValues;
    m_frameLog.vObjects.insert(m_frameLog.vObjects.end(), entry.aObjects, entry.aObjects + entry.uiObjects);
    m_frameLog.vValues.insert(m_frameLog.vValues.end(), entry.aValues, entry.aValues + entry.uiValues);
    if (entry.pPipeline != nullptr)
    {
        call.uiPipeline = m_frameLog.vPipelines.size();
        m_frameLog.vPipelines.push_back(*entry.pPipeline);
    }
    m_frameLog.vCalls.push_back(call);
}

void Runtime::FrameLog::Clear()
{
    vCalls.clear();
    vObjects.clear();
    vValues.clear();
    vPipelines.clear();
}

void Runtime::FrameLog::DropOldest(std::size_t uiCount)
{
    if (uiCount >= vCalls.size())
    {
        Clear();
        return;
    }
    // Objects, values and pipelines are stored in call order: the first kept call's own entries
    // mark how much goes.
    const StoredCall& first = vCalls[uiCount];
    const std::size_t uiObjects = first.uiFirstObject;
    const std::size_t uiValues = first.uiFirstValue;
    std::size_t uiPipelines = vPipelines.size();
    for (std::size_t i = uiCount; i < vCalls.size(); ++i)
    {
        if (vCalls[i].uiPipeline != NO_PIPELINE)
        {
            uiPipelines = vCalls[i].uiPipeline;
            break;
        }
    }
    vCalls.erase(vCalls.begin(), vCalls.begin() + static_cast<std::ptrdiff_t>(uiCount));
    vObjects.erase(vObjects.begin(), vObjects.begin() + static_cast<std::ptrdiff_t>(uiObjects));
    vValues.erase(vValues.begin(), vValues.begin() + static_cast<std::ptrdiff_t>(uiValues));
    vPipelines.erase(vPipelines.begin(), vPipelines.begin() + static_cast<std::ptrdiff_t>(uiPipelines));
    for (StoredCall& call : vCalls)
    {
        call.uiFirstObject -= uiObjects;
        call.uiFirstValue -= uiValues;
        if (call.uiPipeline != NO_PIPELINE)
            call.uiPipeline -= uiPipelines;
    }
}

std::vector<D3D11Control::CallRecord> Runtime::FrameLog::ToRecords() const
{
    std::vector<D3D11Control::CallRecord> vRecords;
    vRecords.reserve(vCalls.size());
    for (const StoredCall& call : vCalls)
    {
        D3D11Control::CallRecord record;
        record.Interface = call.pInterface;
        record.Method = call.pMethod;
        record.Sequence = call.uiSequence;
        record.Frame = call.uiFrame;
        record.Result = call.result;
        record.Objects.assign(vObjects.begin() + static_cast<std::ptrdiff_t>(call.uiFirstObject),
                              vObjects.begin() +
                                  static_cast<std::ptrdiff_t>(call.uiFirstObject + call.uiObjects));
        record.Values.assign(vValues.begin() + static_cast<std::ptrdiff_t>(call.uiFirstValue),
                             vValues.begin() +
                                 static_cast<std::ptrdiff_t>(call.uiFirstValue + call.uiValues));
        if (call.uiPipeline != NO_PIPELINE)
        {
            const PipelineEntry& entry = vPipelines[call.uiPipeline];
            D3D11Control::DrawPipeline pipeline;
            pipeline.Topology = entry.topology;
            pipeline.InputLayout = entry.uiInputLayout;
            pipeline.VertexBuffers.assign(entry.aVertexBuffers, entry.aVertexBuffers + entry.uiVertexBuffers);
            pipeline.IndexBuffer = entry.uiIndexBuffer;
            pipeline.IndexFormat = entry.indexFormat;
            pipeline.IndexOffset = entry.uiIndexOffset;
            pipeline.VertexShader = entry.uiVertexShader;
            pipeline.GeometryShader = entry.uiGeometryShader;
            pipeline.PixelShader = entry.uiPixelShader;
            pipeline.BlendState = entry.uiBlendState;
            pipeline.DepthStencilState = entry.uiDepthStencilState;
            pipeline.RasterizerState = entry.uiRasterizerState;
            record.Pipeline = std::move(pipeline);
        }
        vRecords.push_back(std::move(record));
    }
    return vRecords;
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
        m_frameLog.Clear();
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

namespace
{

std::uint64_t SteadyNanoseconds()
{
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

} // namespace

std::uint64_t Runtime::GetClock()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bManualClock)
            return m_uiManualClock;
    }
    return SteadyNanoseconds();
}

std::uint64_t Runtime::WaitUntil(std::uint64_t uiDue)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bManualClock)
        {
            if (m_bPacing.load(std::memory_order_relaxed) && m_uiManualClock < uiDue)
                m_uiManualClock = uiDue;
            return m_uiManualClock;
        }
    }
    const std::uint64_t uiNow = SteadyNanoseconds();
    if (!m_bPacing.load(std::memory_order_relaxed) || uiNow >= uiDue)
        return uiNow;
    std::this_thread::sleep_for(std::chrono::nanoseconds(uiDue - uiNow));
    return uiDue;
}

void Runtime::SetPresentPacing(bool bEnabled)
{
    m_bPacing.store(bEnabled, std::memory_order_relaxed);
}

void Runtime::UseManualClock()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bManualClock = true;
    m_uiManualClock = 0;
}

void Runtime::AdvanceClock(std::uint64_t uiNanoseconds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_uiManualClock += uiNanoseconds;
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
    return m_frameLog.ToRecords();
}

std::vector<D3D11Control::CallRecord> Runtime::GetLastFrameCallLog()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastFrameLog.ToRecords();
}

void Runtime::SetCallLogging(bool bEnabled)
{
    m_bLogging.store(bEnabled, std::memory_order_relaxed);
}

void Runtime::ClearCallLog()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frameLog.Clear();
    m_lastFrameLog.Clear();
}

std::uint64_t Runtime::GetCallCount(const std::string& sCall)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::uint64_t uiCount = 0;
    for (const auto& [names, uiCalls] : m_mCallCounts)
        if (NamesCall(sCall, names.first, names.second) && (sCall == names.second || *names.first != '\0'))
            uiCount += uiCalls;
    return uiCount;
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
