#include "platform/d3d11/D3D11Device.h"

#include "platform/d3d11/D3D11DeviceContext.h"
#include "platform/d3d11/D3D11Formats.h"
#include "platform/d3d11/D3D11Queries.h"
#include "platform/d3d11/D3D11Resources.h"
#include "platform/d3d11/D3D11Shaders.h"
#include "platform/d3d11/D3D11States.h"
#include "platform/d3d11/D3D11Views.h"
#include "platform/d3d11/DXGIFactory.h"

#include <new>

namespace d3d11_internal
{

namespace
{

constexpr const char* INTERFACE_NAME = "ID3D11Device";

// Runs a creation with its queued failure, hands the object out through the interface pointer
// (null on failure) and logs the call.
template <class TImpl, class TInterface, class TCreate>
HRESULT RunCreate(const char* pMethod, TInterface** ppOut, std::initializer_list<std::uint64_t> inputs,
                  std::initializer_list<double> values, TCreate create)
{
    HRESULT hr = Runtime::Get().TakeFailure(INTERFACE_NAME, pMethod);
    TImpl* pObject = nullptr;
    if (SUCCEEDED(hr))
        hr = create(ppOut != nullptr ? &pObject : nullptr);
    if (ppOut != nullptr)
        *ppOut = SUCCEEDED(hr) ? pObject : nullptr;
    CallEntry record(INTERFACE_NAME, pMethod, hr);
    for (const std::uint64_t uiId : inputs)
        record.AddObject(uiId);
    record.AddObject(SUCCEEDED(hr) ? Object::IdOf(pObject) : 0);
    for (const double fValue : values)
        record.AddValue(fValue);
    Runtime::Get().Log(record);
    return hr;
}

} // namespace

Device::Device(UINT uiAdapter, D3D_FEATURE_LEVEL featureLevel)
    : ComObject<ID3D11Device>(INTERFACE_NAME), m_uiAdapter(uiAdapter), m_featureLevel(featureLevel)
{
}

Device* Device::Create(UINT uiAdapter, D3D_FEATURE_LEVEL featureLevel)
{
    Device* pDevice = nullptr;
    try
    {
        pDevice = new Device(uiAdapter, featureLevel);
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
    DeviceContext* pContext = DeviceContext::Create();
    if (pContext == nullptr)
    {
        pDevice->Discard();
        return nullptr;
    }
    pDevice->m_context.Adopt(pContext);
    return pDevice;
}

Device* Device::From(IUnknown* pObject)
{
    return pObject != nullptr ? dynamic_cast<Device*>(pObject) : nullptr;
}

DeviceContext* Device::GetContext() const
{
    return static_cast<DeviceContext*>(m_context.Get());
}

bool Device::Implements(REFIID riid) const
{
    return IsEqualIID(riid, IID_ID3D11Device) || IsEqualIID(riid, IID_IUnknown);
}

HRESULT Device::CreateBuffer(const D3D11_BUFFER_DESC* pDesc, const D3D11_SUBRESOURCE_DATA* pInitialData,
                             ID3D11Buffer** ppBuffer)
{
    D3D11_BUFFER_DESC desc{};
    if (pDesc != nullptr)
        desc = *pDesc;
    return RunCreate<Buffer>("CreateBuffer", ppBuffer, {},
                             {static_cast<double>(desc.ByteWidth), static_cast<double>(desc.Usage),
                              static_cast<double>(desc.BindFlags), static_cast<double>(desc.CPUAccessFlags),
                              static_cast<double>(desc.MiscFlags),
                              static_cast<double>(desc.StructureByteStride)},
                             [&](Buffer** ppOut) { return Buffer::Create(pDesc, pInitialData, ppOut); });
}

HRESULT Device::CreateTexture1D(const D3D11_TEXTURE1D_DESC* pDesc, const D3D11_SUBRESOURCE_DATA* pInitialData,
                                ID3D11Texture1D** ppTexture1D)
{
    D3D11_TEXTURE1D_DESC desc{};
    if (pDesc != nullptr)
        desc = *pDesc;
    return RunCreate<Texture1D>(
        "CreateTexture1D", ppTexture1D, {},
        {static_cast<double>(desc.Width), static_cast<double>(desc.MipLevels),
         static_cast<double>(desc.ArraySize), static_cast<double>(desc.Format),
         static_cast<double>(desc.Usage), static_cast<double>(desc.BindFlags),
         static_cast<double>(desc.CPUAccessFlags), static_cast<double>(desc.MiscFlags)},
        [&](Texture1D** ppOut) { return Texture1D::Create(pDesc, pInitialData, ppOut); });
}

HRESULT Device::CreateTexture2D(const D3D11_TEXTURE2D_DESC* pDesc, const D3D11_SUBRESOURCE_DATA* pInitialData,
                                ID3D11Texture2D** ppTexture2D)
{
    D3D11_TEXTURE2D_DESC desc{};
    if (pDesc != nullptr)
        desc = *pDesc;
    return RunCreate<Texture2D>(
        "CreateTexture2D", ppTexture2D, {},
        {static_cast<double>(desc.Width), static_cast<double>(desc.Height),
         static_cast<double>(desc.MipLevels), static_cast<double>(desc.ArraySize),
         static_cast<double>(desc.Format), static_cast<double>(desc.SampleDesc.Count),
         static_cast<double>(desc.SampleDesc.Quality), static_cast<double>(desc.Usage),
         static_cast<double>(desc.BindFlags), static_cast<double>(desc.CPUAccessFlags),
         static_cast<double>(desc.MiscFlags)},
        [&](Texture2D** ppOut) { return Texture2D::Create(pDesc, pInitialData, ppOut); });
}

HRESULT Device::CreateTexture3D(const D3D11_TEXTURE3D_DESC* pDesc, const D3D11_SUBRESOURCE_DATA* pInitialData,
                                ID3D11Texture3D** ppTexture3D)
{
    D3D11_TEXTURE3D_DESC desc{};
    if (pDesc != nullptr)
        desc = *pDesc;
    return RunCreate<Texture3D>(
        "CreateTexture3D", ppTexture3D, {},
        {static_cast<double>(desc.Width), static_cast<double>(desc.Height), static_cast<double>(desc.Depth),
         static_cast<double>(desc.MipLevels), static_cast<double>(desc.Format),
         static_cast<double>(desc.Usage), static_cast<double>(desc.BindFlags),
         static_cast<double>(desc.CPUAccessFlags), static_cast<double>(desc.MiscFlags)},
        [&](Texture3D** ppOut) { return Texture3D::Create(pDesc, pInitialData, ppOut); });
}

HRESULT Device::CreateShaderResourceView(ID3D11Resource* pResource,
                                         const D3D11_SHADER_RESOURCE_VIEW_DESC* pDesc,
                                         ID3D11ShaderResourceView** ppSRView)
{
    const double fFormat = pDesc != nullptr ? static_cast<double>(pDesc->Format) : -1.0;
    const double fDimension = pDesc != nullptr ? static_cast<double>(pDesc->ViewDimension) : -1.0;
    return RunCreate<ShaderResourceView>(
        "CreateShaderResourceView", ppSRView, {Object::IdOf(pResource)}, {fFormat, fDimension},
        [&](ShaderResourceView** ppOut) { return ShaderResourceView::Create(pResource, pDesc, ppOut); });
}

HRESULT Device::CreateRenderTargetView(ID3D11Resource* pResource, const D3D11_RENDER_TARGET_VIEW_DESC* pDesc,
                                       ID3D11RenderTargetView** ppRTView)
{
    const double fFormat = pDesc != nullptr ? static_cast<double>(pDesc->Format) : -1.0;
    const double fDimension = pDesc != nullptr ? static_cast<double>(pDesc->ViewDimension) : -1.0;
    return RunCreate<RenderTargetView>(
        "CreateRenderTargetView", ppRTView, {Object::IdOf(pResource)}, {fFormat, fDimension},
        [&](RenderTargetView** ppOut) { return RenderTargetView::Create(pResource, pDesc, ppOut); });
}

HRESULT Device::CreateDepthStencilView(ID3D11Resource* pResource, const D3D11_DEPTH_STENCIL_VIEW_DESC* pDesc,
                                       ID3D11DepthStencilView** ppDepthStencilView)
{
    const double fFormat = pDesc != nullptr ? static_cast<double>(pDesc->Format) : -1.0;
    const double fDimension = pDesc != nullptr ? static_cast<double>(pDesc->ViewDimension) : -1.0;
    return RunCreate<DepthStencilView>(
        "CreateDepthStencilView", ppDepthStencilView, {Object::IdOf(pResource)}, {fFormat, fDimension},
        [&](DepthStencilView** ppOut) { return DepthStencilView::Create(pResource, pDesc, ppOut); });
}

HRESULT Device::CreateRasterizerState(const D3D11_RASTERIZER_DESC* pRasterizerDesc,
                                      ID3D11RasterizerState** ppRasterizerState)
{
    return RunCreate<RasterizerState>("CreateRasterizerState", ppRasterizerState, {}, {},
                                      [&](RasterizerState** ppOut)
                                      { return RasterizerState::Create(pRasterizerDesc, ppOut); });
}

HRESULT Device::CreateBlendState(const D3D11_BLEND_DESC* pBlendStateDesc, ID3D11BlendState** ppBlendState)
{
    return RunCreate<BlendState>("CreateBlendState", ppBlendState, {}, {},
                                 [&](BlendState** ppOut)
                                 { return BlendState::Create(pBlendStateDesc, ppOut); });
}

HRESULT Device::CreateDepthStencilState(const D3D11_DEPTH_STENCIL_DESC* pDepthStencilDesc,
                                        ID3D11DepthStencilState** ppDepthStencilState)
{
    return RunCreate<DepthStencilState>("CreateDepthStencilState", ppDepthStencilState, {}, {},
                                        [&](DepthStencilState** ppOut)
                                        { return DepthStencilState::Create(pDepthStencilDesc, ppOut); });
}

HRESULT Device::CreateQuery(const D3D11_QUERY_DESC* pQueryDesc, ID3D11Query** ppQuery)
{
    return RunCreate<Query>("CreateQuery", ppQuery, {}, {},
                            [&](Query** ppOut) { return Query::Create(pQueryDesc, ppOut); });
}

HRESULT Device::CreateSamplerState(const D3D11_SAMPLER_DESC* pSamplerDesc,
                                   ID3D11SamplerState** ppSamplerState)
{
    return RunCreate<SamplerState>("CreateSamplerState", ppSamplerState, {}, {},
                                   [&](SamplerState** ppOut)
                                   { return SamplerState::Create(pSamplerDesc, ppOut); });
}

// Values: format, dimension and, for a buffer view, its flags.
HRESULT Device::CreateUnorderedAccessView(ID3D11Resource* pResource,
                                          const D3D11_UNORDERED_ACCESS_VIEW_DESC* pDesc,
                                          ID3D11UnorderedAccessView** ppUAView)
{
    const double fFormat = pDesc != nullptr ? static_cast<double>(pDesc->Format) : -1.0;
    const double fDimension = pDesc != nullptr ? static_cast<double>(pDesc->ViewDimension) : -1.0;
    const double fFlags = pDesc != nullptr && pDesc->ViewDimension == D3D11_UAV_DIMENSION_BUFFER
                              ? static_cast<double>(pDesc->Buffer.Flags)
                              : 0.0;
    return RunCreate<UnorderedAccessView>(
        "CreateUnorderedAccessView", ppUAView, {Object::IdOf(pResource)}, {fFormat, fDimension, fFlags},
        [&](UnorderedAccessView** ppOut) { return UnorderedAccessView::Create(pResource, pDesc, ppOut); });
}

HRESULT Device::CreateVertexShader(const void* pShaderBytecode, SIZE_T BytecodeLength,
                                   ID3D11ClassLinkage* pClassLinkage, ID3D11VertexShader** ppVertexShader)
{
    return RunCreate<VertexShader>(
        "CreateVertexShader", ppVertexShader, {}, {static_cast<double>(BytecodeLength)},
        [&](VertexShader** ppOut)
        { return VertexShader::Create(pShaderBytecode, BytecodeLength, pClassLinkage, ppOut); });
}

HRESULT Device::CreateGeometryShader(const void* pShaderBytecode, SIZE_T BytecodeLength,
                                     ID3D11ClassLinkage* pClassLinkage,
                                     ID3D11GeometryShader** ppGeometryShader)
{
    return RunCreate<GeometryShader>(
        "CreateGeometryShader", ppGeometryShader, {}, {static_cast<double>(BytecodeLength)},
        [&](GeometryShader** ppOut)
        { return GeometryShader::Create(pShaderBytecode, BytecodeLength, pClassLinkage, ppOut); });
}

HRESULT Device::CreatePixelShader(const void* pShaderBytecode, SIZE_T BytecodeLength,
                                  ID3D11ClassLinkage* pClassLinkage, ID3D11PixelShader** ppPixelShader)
{
    return RunCreate<PixelShader>(
        "CreatePixelShader", ppPixelShader, {}, {static_cast<double>(BytecodeLength)},
        [&](PixelShader** ppOut)
        { return PixelShader::Create(pShaderBytecode, BytecodeLength, pClassLinkage, ppOut); });
}

HRESULT Device::CreateComputeShader(const void* pShaderBytecode, SIZE_T BytecodeLength,
                                    ID3D11ClassLinkage* pClassLinkage, ID3D11ComputeShader** ppComputeShader)
{
    return RunCreate<ComputeShader>(
        "CreateComputeShader", ppComputeShader, {}, {static_cast<double>(BytecodeLength)},
        [&](ComputeShader** ppOut)
        { return ComputeShader::Create(pShaderBytecode, BytecodeLength, pClassLinkage, ppOut); });
}

HRESULT Device::CreateInputLayout(const D3D11_INPUT_ELEMENT_DESC* pInputElementDescs, UINT NumElements,
                                  const void* pShaderBytecodeWithInputSignature, SIZE_T BytecodeLength,
                                  ID3D11InputLayout** ppInputLayout)
{
    return RunCreate<InputLayout>("CreateInputLayout", ppInputLayout, {},
                                  {static_cast<double>(NumElements), static_cast<double>(BytecodeLength)},
                                  [&](InputLayout** ppOut)
                                  {
                                      return InputLayout::Create(pInputElementDescs, NumElements,
                                                                 pShaderBytecodeWithInputSignature,
                                                                 BytecodeLength, ppOut);
                                  });
}

HRESULT Device::CheckMultisampleQualityLevels(DXGI_FORMAT Format, UINT SampleCount, UINT* pNumQualityLevels)
{
    HRESULT hr = Runtime::Get().TakeFailure(INTERFACE_NAME, "CheckMultisampleQualityLevels");
    FormatInfo info;
    UINT uiLevels = 0;
    if (SUCCEEDED(hr) && (pNumQualityLevels == nullptr || SampleCount < 1 ||
                          SampleCount > D3D11_MAX_MULTISAMPLE_SAMPLE_COUNT || !GetFormatInfo(Format, &info)))
    {
        hr = E_INVALIDARG;
    }
    if (SUCCEEDED(hr))
    {
        // Block-compressed formats cannot be multisampled.
        const bool bSampleable = info.blockWidth == 1 && info.blockHeight == 1;
        uiLevels = bSampleable ? Runtime::Get().GetQualityLevels(Format, SampleCount) : 0;
    }
    if (pNumQualityLevels != nullptr)
        *pNumQualityLevels = uiLevels;
    Runtime::Get().Log(
        INTERFACE_NAME, "CheckMultisampleQualityLevels", hr, {GetId()},
        {static_cast<double>(Format), static_cast<double>(SampleCount), static_cast<double>(uiLevels)});
    return hr;
}

} // namespace d3d11_internal

using d3d11_internal::Device;
using d3d11_internal::Runtime;

HRESULT D3D11CreateDevice(IDXGIAdapter* pAdapter, D3D_DRIVER_TYPE DriverType, HMODULE Software, UINT Flags,
                          const D3D_FEATURE_LEVEL* pFeatureLevels, UINT FeatureLevels, UINT SDKVersion,
                          ID3D11Device** ppDevice, D3D_FEATURE_LEVEL* pFeatureLevel,
                          ID3D11DeviceContext** ppImmediateContext)
{
    static constexpr D3D_FEATURE_LEVEL DEFAULT_LEVELS[] = {D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_1,
                                                           D3D_FEATURE_LEVEL_10_0, D3D_FEATURE_LEVEL_9_3,
                                                           D3D_FEATURE_LEVEL_9_2,  D3D_FEATURE_LEVEL_9_1};
    Runtime& runtime = Runtime::Get();
    if (ppDevice != nullptr)
        *ppDevice = nullptr;
    if (ppImmediateContext != nullptr)
        *ppImmediateContext = nullptr;

    HRESULT hr = runtime.TakeFailure("", "D3D11CreateDevice");
    UINT uiAdapter = 0;
    if (SUCCEEDED(hr))
    {
        const d3d11_internal::Adapter* pOurAdapter = d3d11_internal::Adapter::From(pAdapter);
        const bool bDriverValid = pAdapter != nullptr ? DriverType == D3D_DRIVER_TYPE_UNKNOWN
                                                      : DriverType != D3D_DRIVER_TYPE_UNKNOWN;
        const bool bSoftwareValid = (Software != nullptr) == (DriverType == D3D_DRIVER_TYPE_SOFTWARE);
        if (!bDriverValid || !bSoftwareValid || SDKVersion != D3D11_SDK_VERSION ||
            (pFeatureLevels != nullptr && FeatureLevels == 0) ||
            (pAdapter != nullptr && pOurAdapter == nullptr))
        {
            hr = E_INVALIDARG;
        }
        else if (pOurAdapter != nullptr)
        {
            uiAdapter = pOurAdapter->GetIndex();
            if (uiAdapter >= runtime.GetAdapterCount())
                hr = E_INVALIDARG;
        }
    }

    D3D_FEATURE_LEVEL level = D3D_FEATURE_LEVEL_9_1;
    if (SUCCEEDED(hr))
    {
        const D3D_FEATURE_LEVEL* pLevels = pFeatureLevels != nullptr ? pFeatureLevels : DEFAULT_LEVELS;
        const UINT uiLevelCount = pFeatureLevels != nullptr ? FeatureLevels : 6;
        const D3D_FEATURE_LEVEL hardware = runtime.GetFeatureLevel();
        hr = E_FAIL;
        for (UINT i = 0; i < uiLevelCount; ++i)
        {
            if (pLevels[i] <= hardware)
            {
                level = pLevels[i];
                hr = S_OK;
                break;
            }
        }
    }

    Device* pDevice = nullptr;
    if (SUCCEEDED(hr) && ppDevice == nullptr && ppImmediateContext == nullptr)
    {
        hr = S_FALSE;
    }
    else if (SUCCEEDED(hr))
    {
        pDevice = Device::Create(uiAdapter, level);
        hr = pDevice != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr) && pFeatureLevel != nullptr)
        *pFeatureLevel = level;
    const std::uint64_t uiContextId = pDevice != nullptr ? pDevice->GetContext()->GetId() : 0;
    runtime.Log(
        "", "D3D11CreateDevice", hr,
        {d3d11_internal::Object::IdOf(pAdapter), pDevice != nullptr ? pDevice->GetId() : 0, uiContextId},
        {static_cast<double>(DriverType), static_cast<double>(Flags), static_cast<double>(SDKVersion),
         static_cast<double>(level)});
    if (pDevice == nullptr)
        return hr;
    if (ppImmediateContext != nullptr)
    {
        ID3D11DeviceContext* pContext = pDevice->GetContext();
        pContext->AddRef();
        *ppImmediateContext = pContext;
    }
    if (ppDevice != nullptr)
        *ppDevice = pDevice;
    else
        pDevice->Release();
    return hr;
}
