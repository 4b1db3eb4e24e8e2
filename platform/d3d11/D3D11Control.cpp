#include "platform/d3d11/D3D11Control.h"

#include <utility>

#include "platform/d3d11/D3D11DeviceContext.h"
#include "platform/d3d11/D3D11Queries.h"
#include "platform/d3d11/D3D11Resources.h"
#include "platform/d3d11/D3D11Runtime.h"
#include "platform/d3d11/D3D11Views.h"

#include <cstring>

namespace D3D11Control
{

using d3d11_internal::Runtime;

std::vector<DXGI_MODE_DESC> DefaultDisplayModes()
{
    const UINT aSizes[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 720}, {1920, 1080}};
    std::vector<DXGI_MODE_DESC> vModes;
    for (const auto& size : aSizes)
    {
        DXGI_MODE_DESC mode{};
        mode.Width = size[0];
        mode.Height = size[1];
        mode.RefreshRate = {60, 1};
        mode.Format = DXGI_FORMAT_R8G8B8A8_UNORM_SRGB;
        mode.ScanlineOrdering = DXGI_MODE_SCANLINE_ORDER_PROGRESSIVE;
        mode.Scaling = DXGI_MODE_SCALING_UNSPECIFIED;
        vModes.push_back(mode);
    }
    return vModes;
}

void Reset()
{
    Runtime::Get().Reset();
    d3d11_internal::Query::SetPollsBeforeDone(0);
}

void SetFrameReports(bool enabled)
{
    Runtime::Get().SetFrameReports(enabled);
}

void SetPresentHook(std::function<void(std::uint64_t presentedFrames)> hook)
{
    Runtime::Get().SetPresentHook(std::move(hook));
}

void SetPresentPacing(bool enabled)
{
    Runtime::Get().SetPresentPacing(enabled);
}

void UseManualClock()
{
    Runtime::Get().UseManualClock();
}

void AdvanceClock(std::uint64_t nanoseconds)
{
    Runtime::Get().AdvanceClock(nanoseconds);
}

std::uint64_t GetClock()
{
    return Runtime::Get().GetClock();
}

void SetAdapters(const std::vector<AdapterConfig>& adapters)
{
    Runtime::Get().SetAdapters(adapters);
}

void SetFeatureLevel(D3D_FEATURE_LEVEL level)
{
    Runtime::Get().SetFeatureLevel(level);
}

void SetMultisampleQualityLevels(UINT sampleCount, UINT levels, DXGI_FORMAT format)
{
    Runtime::Get().SetQualityLevels(sampleCount, levels, format);
}

void FailNext(const std::string& call, HRESULT hr)
{
    Runtime::Get().FailNext(call, hr);
}

std::vector<CallRecord> GetCallLog()
{
    return Runtime::Get().GetCallLog();
}

std::vector<CallRecord> GetDrawCalls()
{
    std::vector<CallRecord> vDraws;
    for (CallRecord& record : Runtime::Get().GetCallLog())
        if (record.Pipeline.has_value())
            vDraws.push_back(std::move(record));
    return vDraws;
}

std::vector<CallRecord> GetLastFrameCallLog()
{
    return Runtime::Get().GetLastFrameCallLog();
}

void ClearCallLog()
{
    Runtime::Get().ClearCallLog();
}

void SetCallLogging(bool enabled)
{
    Runtime::Get().SetCallLogging(enabled);
}

std::uint64_t GetCallCount(const std::string& call)
{
    return Runtime::Get().GetCallCount(call);
}

std::uint64_t GetPresentCount()
{
    return Runtime::Get().GetPresentCount();
}

UINT GetLastSyncInterval()
{
    return Runtime::Get().GetLastSyncInterval();
}

std::size_t GetLiveObjectCount()
{
    return Runtime::Get().GetLiveObjectCount();
}

std::vector<std::string> GetLiveObjects()
{
    return Runtime::Get().GetLiveObjects();
}

std::uint64_t GetObjectId(const IUnknown* pObject)
{
    return d3d11_internal::Object::IdOf(pObject);
}

ULONG GetRefCount(const IUnknown* pObject)
{
    const d3d11_internal::Object* pOurs = d3d11_internal::Object::From(pObject);
    return pOurs != nullptr ? pOurs->GetRefCount() : 0;
}

bool ReadSubresource(ID3D11Resource* pResource, UINT subresource, std::vector<std::uint8_t>* pData,
                     UINT* pRowPitch, UINT* pDepthPitch)
{
    d3d11_internal::ResourceImpl* pImpl = d3d11_internal::ResourceImpl::From(pResource);
    const d3d11_internal::SubresourceLayout* pLayout =
        pImpl != nullptr ? pImpl->GetLayout(subresource) : nullptr;
    if (pLayout == nullptr || pData == nullptr)
        return false;
    pData->resize(pLayout->byteSize);
    if (!pImpl->ReadData(subresource, pData->data()))
        return false;
    if (pRowPitch != nullptr)
        *pRowPitch = pLayout->rowPitch;
    if (pDepthPitch != nullptr)
        *pDepthPitch = pLayout->depthPitch;
    return true;
}

std::size_t GetResourceMemoryBytes(ID3D11Resource* pResource)
{
    d3d11_internal::ResourceImpl* pImpl = d3d11_internal::ResourceImpl::From(pResource);
    return pImpl != nullptr ? pImpl->GetMemoryBytes() : 0;
}

void SetEventQueryPolls(UINT polls)
{
    d3d11_internal::Query::SetPollsBeforeDone(polls);
}

BoundState GetBoundState(ID3D11DeviceContext* pContext)
{
    const d3d11_internal::DeviceContext* pOurs = d3d11_internal::DeviceContext::From(pContext);
    return pOurs != nullptr ? pOurs->GetBoundState() : BoundState{};
}

bool GetUnorderedAccessViewCounter(ID3D11UnorderedAccessView* pView, UINT* pCounter)
{
    const d3d11_internal::UnorderedAccessView* pOurs = d3d11_internal::UnorderedAccessView::From(pView);
    if (pOurs == nullptr || pCounter == nullptr || !pOurs->HasCounter())
        return false;
    *pCounter = pOurs->GetCounter();
    return true;
}

} // namespace D3D11Control
