#include "render/device/KR_ShaderCoreManagerDX11.h"

#include "framework/app/KE_EngineMembers.h"
#include "render/device/KR_EngineDevice.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_ReleaseAndNull.h"
#include "render/device/KR_ShaderProgram.h"
#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

using namespace DirectX;
using namespace KR_ShaderCoreLayouts;

namespace
{

// Gamma 2.2 to linear; a negative channel (meaningless for a colour) gives 0, not NaN.
float ToLinear(float fChannel)
{
    return std::pow(std::max(fChannel, 0.0f), 2.2f);
}

void FillIdentity(std::uint8_t* pBuffer, std::uint32_t uiCount)
{
    const XMFLOAT4X4 identity(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    for (std::uint32_t i = 0; i < uiCount; ++i)
        std::memcpy(pBuffer + i * sizeof(identity), &identity, sizeof(identity));
}

D3D11_SAMPLER_DESC Sampler(D3D11_FILTER filter, D3D11_TEXTURE_ADDRESS_MODE address, UINT uiAnisotropy,
                           float r, float g, float b, float a)
{
    D3D11_SAMPLER_DESC desc{};
    desc.Filter = filter;
    desc.AddressU = address;
    desc.AddressV = address;
    desc.AddressW = D3D11_TEXTURE_ADDRESS_CLAMP;
    desc.MipLODBias = 0.0f;
    desc.MaxAnisotropy = uiAnisotropy;
    desc.ComparisonFunc = D3D11_COMPARISON_NEVER;
    desc.BorderColor[0] = r;
    desc.BorderColor[1] = g;
    desc.BorderColor[2] = b;
    desc.BorderColor[3] = a;
    desc.MinLOD = -FLT_MAX;
    desc.MaxLOD = FLT_MAX;
    return desc;
}

} // namespace

KR_ShaderCoreManagerDX11::KR_ShaderCoreManagerDX11()
{
    std::memset(m_aBones, 0, sizeof(m_aBones));
    std::memset(m_aMaterial, 0, sizeof(m_aMaterial));
    std::memset(m_aObject, 0, sizeof(m_aObject));
    std::memset(m_aMatrices, 0, sizeof(m_aMatrices));
    std::memset(m_aVectors, 0, sizeof(m_aVectors));
    FillIdentity(m_aBones, MAX_BONE_MATRICES);
    FillIdentity(m_aMatrices, MAX_MATRICES);
    FillIdentity(m_aObject + B10_OBJECT_MATRIX_0, 4); // both object matrices, world, world-view-projection
    StoreFloats(m_aObject, B10_FRAME_RANGE, 800.0f, 1000.0f, 200.0f, 0.0f);
    XMFLOAT3 direction;
    XMStoreFloat3(&direction, XMVector3Normalize(XMVectorSet(-0.5f, 0.3f, 0.5f, 0.0f)));
    StoreFloats(m_aObject, B10_FRAME_VECTOR_2, direction.x, direction.y, direction.z, 0.0f);
    StoreFloats(m_aObject, B10_FRAME_COLOR_1, 1.0f, 1.0f, 1.0f, 20.0f); // the frame scalar shares the row
    StoreFloats(m_aMaterial, B9_OBJECT_COLOR, 1.0f, 1.0f, 0.0f, 0.0f);
    std::uint8_t* pParallax = m_aMaterial + B9_PARALLAX;
    const std::uint32_t auiSamples[2] = {6, 64};
    const float afHeight[2] = {0.1f, 0.0f};
    std::memcpy(pParallax, auiSamples, sizeof(auiSamples));
    std::memcpy(pParallax + 8, afHeight, sizeof(afHeight));
    FillIdentity(m_aMaterial + B9_SHADOW_MATRICES, MAX_SHADOW_MAPS);
    for (std::uint32_t i = 0; i < MAX_LIGHTS; ++i)
        StoreFloats(m_aMaterial, B9_OMNI_COLOR + 16 * i, 1.0f, 1.0f, 1.0f, 1.0f);
}

KR_ShaderCoreManagerDX11::~KR_ShaderCoreManagerDX11()
{
    ReleaseResources();
}

bool KR_ShaderCoreManagerDX11::Initialize()
{
    return true;
}

bool KR_ShaderCoreManagerDX11::CreateResources()
{
    KR_GraphicsDevice* pGraphicsDevice = KE_GetGraphicsDevice();
    ID3D11Device* pDevice = pGraphicsDevice != nullptr ? pGraphicsDevice->GetDevice() : nullptr;
    if (pDevice == nullptr)
        return false;
    ReleaseResources();
    const UINT auiSizes[BUFFER_COUNT] = {B8_SIZE, B9_SIZE, B10_SIZE, B11_SIZE, B12_SIZE};
    for (std::uint32_t i = 0; i < BUFFER_COUNT; ++i)
    {
        const D3D11_BUFFER_DESC desc{
            auiSizes[i], D3D11_USAGE_DYNAMIC, D3D11_BIND_CONSTANT_BUFFER, D3D11_CPU_ACCESS_WRITE, 0, 0};
        if (FAILED(pDevice->CreateBuffer(&desc, nullptr, &m_apBuffers[i])))
        {
            m_apBuffers[i] = nullptr;
            return false;
        }
        m_abChanged[i] = true; // a new buffer holds nothing yet
    }
    const D3D11_SAMPLER_DESC aSamplers[NUM_SAMPLERS] = {
        Sampler(D3D11_FILTER_ANISOTROPIC, D3D11_TEXTURE_ADDRESS_WRAP, 8, 1, 1, 1, 1),
        Sampler(D3D11_FILTER_ANISOTROPIC, D3D11_TEXTURE_ADDRESS_CLAMP, 8, 1, 1, 1, 1),
        Sampler(D3D11_FILTER_ANISOTROPIC, D3D11_TEXTURE_ADDRESS_CLAMP, 4, 1, 1, 1, 1),
        Sampler(D3D11_FILTER_ANISOTROPIC, D3D11_TEXTURE_ADDRESS_BORDER, 4, 0, 0, 0, 0),
        Sampler(D3D11_FILTER_COMPARISON_MIN_MAG_MIP_POINT, D3D11_TEXTURE_ADDRESS_BORDER, 4, 1, 0, 0, 0),
    };
    for (std::uint32_t i = 0; i < NUM_SAMPLERS; ++i)
    {
        if (FAILED(pDevice->CreateSamplerState(&aSamplers[i], &m_apSamplers[i])))
        {
            m_apSamplers[i] = nullptr;
            return false;
        }
    }
    return true;
}

bool KR_ShaderCoreManagerDX11::CreateSizeDependentResources()
{
    return true;
}

bool KR_ShaderCoreManagerDX11::ReleaseResources()
{
    for (ID3D11Buffer*& pBuffer : m_apBuffers)
        KR_ReleaseAndNull(pBuffer);
    for (ID3D11SamplerState*& pSampler : m_apSamplers)
        KR_ReleaseAndNull(pSampler);
    return true;
}

bool KR_ShaderCoreManagerDX11::ReleaseSizeDependentResources()
{
    return true;
}

const std::uint8_t* KR_ShaderCoreManagerDX11::GetBufferData(std::uint32_t uiBuffer) const
{
    const std::uint8_t* const apData[BUFFER_COUNT] = {m_aBones, m_aMaterial, m_aObject, m_aMatrices,
                                                      m_aVectors};
    return uiBuffer < BUFFER_COUNT ? apData[uiBuffer] : nullptr;
}

ID3D11ShaderResourceView* KR_ShaderCoreManagerDX11::GetView(std::uint32_t uiSlot) const
{
    return uiSlot < NUM_VIEWS ? m_apViews[uiSlot] : nullptr;
}

ID3D11Buffer* KR_ShaderCoreManagerDX11::GetConstantBuffer(std::uint32_t uiBuffer) const
{
    return uiBuffer < BUFFER_COUNT ? m_apBuffers[uiBuffer] : nullptr;
}

void KR_ShaderCoreManagerDX11::StoreTransposed(std::uint8_t* pBuffer, std::uint32_t uiOffset,
                                               const XMMATRIX& mMatrix)
{
    XMFLOAT4X4 stored;
    XMStoreFloat4x4(&stored, XMMatrixTranspose(mMatrix));
    std::memcpy(pBuffer + uiOffset, &stored, sizeof(stored));
}

void KR_ShaderCoreManagerDX11::StoreFloats(std::uint8_t* pBuffer, std::uint32_t uiOffset, float x, float y,
                                           float z, float w)
{
    const float afValues[4] = {x, y, z, w};
    std::memcpy(pBuffer + uiOffset, afValues, sizeof(afValues));
}

void KR_ShaderCoreManagerDX11::StoreUInts(std::uint8_t* pBuffer, std::uint32_t uiOffset, std::uint32_t x,
                                          std::uint32_t y, std::uint32_t z, std::uint32_t w)
{
    const std::uint32_t auiValues[4] = {x, y, z, w};
    std::memcpy(pBuffer + uiOffset, auiValues, sizeof(auiValues));
}

// Writes three floats (the float3 part of a row), or four with the alpha.
void KR_ShaderCoreManagerDX11::StoreColor(std::uint8_t* pBuffer, std::uint32_t uiOffset,
                                          const XMFLOAT4& color, bool bAlpha)
{
    const float afValues[4] = {ToLinear(color.x), ToLinear(color.y), ToLinear(color.z), color.w};
    std::memcpy(pBuffer + uiOffset, afValues, bAlpha ? 16 : 12);
}

void KR_ShaderCoreManagerDX11::MarkViewTable()
{
    for (bool& bChanged : m_abViewsChanged)
        bChanged = true;
    m_abChanged[BUFFER_MATERIAL] = true; // the table's tiling and lights live in b9
}

void KR_ShaderCoreManagerDX11::SetWorldMatrix(const XMMATRIX& mWorld)
{
    StoreTransposed(m_aObject, B10_WORLD_MATRIX, mWorld);
    m_abChanged[BUFFER_OBJECT] = true;
}

void KR_ShaderCoreManagerDX11::SetWorldViewProjectionMatrix(const XMMATRIX& mWorldViewProjection)
{
    StoreTransposed(m_aObject, B10_WORLD_VIEW_PROJECTION, mWorldViewProjection);
    m_abChanged[BUFFER_OBJECT] = true;
}

void KR_ShaderCoreManagerDX11::SetObjectMatrix0(const XMMATRIX& mMatrix)
{
    StoreTransposed(m_aObject, B10_OBJECT_MATRIX_0, mMatrix);
    m_abChanged[BUFFER_OBJECT] = true;
}

void KR_ShaderCoreManagerDX11::SetObjectMatrix1(const XMMATRIX& mMatrix)
{
    StoreTransposed(m_aObject, B10_OBJECT_MATRIX_1, mMatrix);
    m_abChanged[BUFFER_OBJECT] = true;
}

void KR_ShaderCoreManagerDX11::ResetMatrixArray()
{
    m_uiNumMatrices = 0;
    FillIdentity(m_aMatrices, MAX_MATRICES);
}

bool KR_ShaderCoreManagerDX11::AddMatrix(const XMMATRIX& mMatrix)
{
    if (m_uiNumMatrices >= MAX_MATRICES)
        return false;
    StoreTransposed(m_aMatrices, 64 * m_uiNumMatrices++, mMatrix);
    m_abChanged[BUFFER_MATRICES] = true;
    return true;
}

void KR_ShaderCoreManagerDX11::ResetVectorArray()
{
    std::memset(m_aVectors, 0, sizeof(m_aVectors));
}

bool KR_ShaderCoreManagerDX11::AddVector(const XMFLOAT4& vVector)
{
    std::uint32_t uiCount = 0;
    std::memcpy(&uiCount, m_aVectors + B12_NUM_VECTORS, sizeof(uiCount));
    if (uiCount >= MAX_VECTORS)
        return false;
    StoreFloats(m_aVectors, 16 * uiCount, vVector.x, vVector.y, vVector.z, vVector.w);
    ++uiCount;
    std::memcpy(m_aVectors + B12_NUM_VECTORS, &uiCount, sizeof(uiCount));
    m_abChanged[BUFFER_VECTORS] = true;
    return true;
}

void KR_ShaderCoreManagerDX11::SetFrameParameters(const XMFLOAT3& vPosition, const XMFLOAT2& vNearFar)
{
    std::memcpy(m_aObject + B10_CAMERA_POSITION, &vPosition, sizeof(vPosition));
    m_vNearFar = vNearFar;
    m_abChanged[BUFFER_OBJECT] = true;
}

void KR_ShaderCoreManagerDX11::SetFrameVector1(const XMFLOAT3& vVector)
{
    std::memcpy(m_aObject + B10_FRAME_VECTOR_1, &vVector, sizeof(vVector));
    m_abChanged[BUFFER_OBJECT] = true;
}

void KR_ShaderCoreManagerDX11::SetFrameColor0(const XMFLOAT4& color)
{
    StoreColor(m_aObject, B10_FRAME_COLOR_0, color, false);
    m_abChanged[BUFFER_OBJECT] = true;
}

void KR_ShaderCoreManagerDX11::SetFrameRange(const XMFLOAT2& vRange)
{
    const float fFar = m_vNearFar.y;
    const float afRange[3] = {vRange.x * fFar, vRange.y * fFar, (vRange.y - vRange.x) * fFar};
    std::memcpy(m_aObject + B10_FRAME_RANGE, afRange, sizeof(afRange));
    m_abChanged[BUFFER_OBJECT] = true;
}

void KR_ShaderCoreManagerDX11::SetObjectColor(const XMFLOAT4& color)
{
    StoreColor(m_aMaterial, B9_OBJECT_COLOR, color, true);
    m_abChanged[BUFFER_MATERIAL] = true;
}

void KR_ShaderCoreManagerDX11::SetParameterUInt3(const std::uint32_t auiValues[3])
{
    StoreUInts(m_aMaterial, B9_PARAMETER_UINT, auiValues[0], auiValues[1], auiValues[2], 0);
    m_abChanged[BUFFER_MATERIAL] = true;
}

void KR_ShaderCoreManagerDX11::SetParameterVector(const XMFLOAT4& vVector)
{
    StoreFloats(m_aMaterial, B9_PARAMETER_VECTOR, vVector.x, vVector.y, vVector.z, vVector.w);
    m_abChanged[BUFFER_MATERIAL] = true;
}

void KR_ShaderCoreManagerDX11::SetParallaxOcclusion(std::uint32_t uiMinSamples, std::uint32_t uiMaxSamples,
                                                    float fHeightScale, float fHeightOffset)
{
    const std::uint32_t auiSamples[2] = {uiMinSamples, uiMaxSamples};
    const float afHeight[2] = {fHeightScale, fHeightOffset};
    std::memcpy(m_aMaterial + B9_PARALLAX, auiSamples, sizeof(auiSamples));
    std::memcpy(m_aMaterial + B9_PARALLAX + 8, afHeight, sizeof(afHeight));
    m_abChanged[BUFFER_MATERIAL] = true;
}

void KR_ShaderCoreManagerDX11::SetFrameVector2(const XMFLOAT3& vVector)
{
    std::memcpy(m_aObject + B10_FRAME_VECTOR_2, &vVector, sizeof(vVector));
    m_abChanged[BUFFER_OBJECT] = true;
}

void KR_ShaderCoreManagerDX11::SetFrameColor1(const XMFLOAT4& color)
{
    StoreColor(m_aObject, B10_FRAME_COLOR_1, color, false);
    m_abChanged[BUFFER_OBJECT] = true;
}

void KR_ShaderCoreManagerDX11::SetFrameScalar(float fValue)
{
    std::memcpy(m_aObject + B10_FRAME_SCALAR, &fValue, sizeof(fValue));
    m_abChanged[BUFFER_OBJECT] = true;
}

void KR_ShaderCoreManagerDX11::SetAmbientLightColor(const XMFLOAT4& color)
{
    StoreColor(m_aObject, B10_AMBIENT_LIGHT_COLOR, color, false);
    m_abChanged[BUFFER_OBJECT] = true;
}

void KR_ShaderCoreManagerDX11::SetBoneMatrices(const KB_GrowingArray<XMMATRIX>& gMatrices)
{
    const std::uint32_t uiCount = std::min(gMatrices.GetNumMembers(), MAX_BONE_MATRICES);
    if (uiCount == 0)
        return;
    for (std::uint32_t i = 0; i < uiCount; ++i)
        StoreTransposed(m_aBones, 64 * i, gMatrices[i]);
    FillIdentity(m_aBones + 64 * uiCount, MAX_BONE_MATRICES - uiCount);
    m_abChanged[BUFFER_BONES] = true;
}

void KR_ShaderCoreManagerDX11::SetParameterVectorAt(const XMFLOAT4& vVector, std::uint32_t uiIndex)
{
    // Past the fourth the rows belong to the cube maps.
    if (uiIndex >= NUM_INDEXED_PARAMETERS)
        return;
    StoreFloats(m_aMaterial, B9_INDEXED_PARAMETERS + 16 * uiIndex, vVector.x, vVector.y, vVector.z,
                vVector.w);
    m_abChanged[BUFFER_MATERIAL] = true;
}

void KR_ShaderCoreManagerDX11::SetInputLayout(ID3D11InputLayout* pLayout)
{
    if (ID3D11DeviceContext* pContext = KR_GetEngineContext())
        pContext->IASetInputLayout(pLayout);
}

void KR_ShaderCoreManagerDX11::SetPrimitiveTopology(KR_PrimitiveTopology topology)
{
    ID3D11DeviceContext* pContext = KR_GetEngineContext();
    if (pContext == nullptr)
        return;
    D3D11_PRIMITIVE_TOPOLOGY selected = D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST;
    switch (topology)
    {
    case KR_PRIMITIVE_TOPOLOGY_POINTLIST:
        selected = D3D11_PRIMITIVE_TOPOLOGY_POINTLIST;
        break;
    case KR_PRIMITIVE_TOPOLOGY_LINESTRIP:
        selected = D3D11_PRIMITIVE_TOPOLOGY_LINESTRIP;
        break;
    case KR_PRIMITIVE_TOPOLOGY_LINELIST:
        selected = D3D11_PRIMITIVE_TOPOLOGY_LINELIST;
        break;
    case KR_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP:
        selected = D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP;
        break;
    default:
        break;
    }
    pContext->IASetPrimitiveTopology(selected);
}

bool KR_ShaderCoreManagerDX11::Upload(ID3D11DeviceContext* pContext, Buffer buffer)
{
    if (!m_abChanged[buffer])
        return true;
    static constexpr UINT SIZES[BUFFER_COUNT] = {B8_SIZE, B9_SIZE, B10_SIZE, B11_SIZE, B12_SIZE};
    D3D11_MAPPED_SUBRESOURCE mapped{};
    if (m_apBuffers[buffer] == nullptr ||
        FAILED(pContext->Map(m_apBuffers[buffer], 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped)) ||
        mapped.pData == nullptr)
    {
        return false; // still changed: the next apply tries again
    }
    std::memcpy(mapped.pData, GetBufferData(buffer), SIZES[buffer]);
    pContext->Unmap(m_apBuffers[buffer], 0);
    m_abChanged[buffer] = false;
    return true;
}

void KR_ShaderCoreManagerDX11::ApplyShaderProgram(const KR_ShaderProgram* pProgram)
{
    ID3D11DeviceContext* pContext = KR_GetEngineContext();
    if (pContext == nullptr)
        return;
    if (m_abChanged[BUFFER_MATERIAL])
    {
        std::memcpy(m_aMaterial + B9_NUM_SPOT_LIGHTS, &m_uiNumSpotLights, sizeof(m_uiNumSpotLights));
        std::memcpy(m_aMaterial + B9_NUM_OMNI_LIGHTS, &m_uiNumOmniLights, sizeof(m_uiNumOmniLights));
    }
    for (std::uint32_t i = 0; i < BUFFER_COUNT; ++i)
        Upload(pContext, static_cast<Buffer>(i));

    // A stage is present when the program has its shader; without a program none is.
    const bool abPresent[4] = {
        pProgram != nullptr && pProgram->m_pVertexShader != nullptr,
        pProgram != nullptr && pProgram->m_pPixelShader != nullptr,
        pProgram != nullptr && pProgram->m_pGeometryShader != nullptr,
        pProgram != nullptr && pProgram->m_pComputeShader != nullptr,
    };
    if (abPresent[0] && m_abViewsChanged[0])
        pContext->VSSetShaderResources(FIRST_VIEW, NUM_VIEWS, m_apViews);
    if (abPresent[1] && m_abViewsChanged[1])
        pContext->PSSetShaderResources(FIRST_VIEW, NUM_VIEWS, m_apViews);
    if (abPresent[2] && m_abViewsChanged[2])
        pContext->GSSetShaderResources(FIRST_VIEW, NUM_VIEWS, m_apViews);
    if (abPresent[3] && m_abViewsChanged[3])
        pContext->CSSetShaderResources(FIRST_VIEW, NUM_VIEWS, m_apViews);
    for (std::uint32_t i = 0; i < 4; ++i)
        if (abPresent[i])
            m_abViewsChanged[i] = false;

    pContext->VSSetShader(abPresent[0] ? pProgram->m_pVertexShader : nullptr, nullptr, 0);
    pContext->PSSetShader(abPresent[1] ? pProgram->m_pPixelShader : nullptr, nullptr, 0);
    pContext->GSSetShader(abPresent[2] ? pProgram->m_pGeometryShader : nullptr, nullptr, 0);
    pContext->CSSetShader(abPresent[3] ? pProgram->m_pComputeShader : nullptr, nullptr, 0);

    if (abPresent[0])
    {
        pContext->VSSetConstantBuffers(FIRST_CONSTANT_BUFFER, NUM_CONSTANT_BUFFERS, m_apBuffers);
        pContext->VSSetSamplers(FIRST_SAMPLER, NUM_SAMPLERS, m_apSamplers);
    }
    if (abPresent[1])
    {
        pContext->PSSetConstantBuffers(FIRST_CONSTANT_BUFFER, NUM_CONSTANT_BUFFERS, m_apBuffers);
        pContext->PSSetSamplers(FIRST_SAMPLER, NUM_SAMPLERS, m_apSamplers);
    }
    if (abPresent[2])
    {
        pContext->GSSetConstantBuffers(FIRST_CONSTANT_BUFFER, NUM_CONSTANT_BUFFERS, m_apBuffers);
        pContext->GSSetSamplers(FIRST_SAMPLER, NUM_SAMPLERS, m_apSamplers);
    }
    if (abPresent[3])
    {
        pContext->CSSetConstantBuffers(FIRST_CONSTANT_BUFFER, NUM_CONSTANT_BUFFERS, m_apBuffers);
        pContext->CSSetSamplers(FIRST_SAMPLER, NUM_SAMPLERS, m_apSamplers);
    }

    if (pProgram == nullptr)
    {
        pContext->OMSetBlendState(nullptr, nullptr, 0xFFFFFFFFu);
        pContext->OMSetDepthStencilState(nullptr, 0);
        pContext->RSSetState(nullptr);
        return;
    }
    pContext->OMSetBlendState(pProgram->m_pBlendState, pProgram->m_fBlendFactor, pProgram->m_uiSampleMask);
    pContext->OMSetDepthStencilState(pProgram->m_pDepthStencilState, pProgram->m_uiStencilReference);
    pContext->RSSetState(pProgram->m_pRasterizerState);
}

// Material textures, cube maps, shadow maps and lights: the rest of b9 and the view table.

void KR_ShaderCoreManagerDX11::ResetMaterialTextures()
{
    for (std::uint32_t i = 0; i < NUM_MATERIAL_SLOTS; ++i)
        m_apViews[i] = nullptr;
    for (std::uint32_t uiRow : {B9_TILES_0, B9_TILES_1, B9_TILES_2})
    {
        StoreFloats(m_aMaterial, uiRow, 1.0f, 1.0f, 1.0f, 1.0f);
        StoreFloats(m_aMaterial, uiRow + 16, 1.0f, 1.0f, 1.0f, 1.0f);
        StoreUInts(m_aMaterial, uiRow + 32, 0, 0, 0, 0);
        StoreUInts(m_aMaterial, uiRow + 48, 0, 0, 0, 0);
    }
    StoreFloats(m_aMaterial, B9_SPECULAR_POWER, 20.0f, 0.0f, 0.0f, 0.0f);
    StoreFloats(m_aMaterial, B9_SPECULAR_POWER + 16, 20.0f, 0.0f, 0.0f, 0.0f);
    StoreFloats(m_aMaterial, B9_RESERVED, 0.0f, 0.0f, 0.0f, 0.0f);
    MarkViewTable();
}

void KR_ShaderCoreManagerDX11::SetChannelTexture(std::uint32_t uiIndex, std::uint32_t uiIndices,
                                                 std::uint32_t uiFirstSlot, std::uint32_t uiTileOffset,
                                                 std::uint32_t uiComponent, ID3D11ShaderResourceView* pView,
                                                 float fTile, std::uint32_t uiUV)
{
    if (uiIndex >= uiIndices)
        return;
    m_apViews[uiFirstSlot + uiIndex] = pView;
    const std::uint32_t uiOffset = uiTileOffset + 16 * uiIndex + 4 * uiComponent;
    std::memcpy(m_aMaterial + uiOffset, &fTile, sizeof(fTile));
    std::memcpy(m_aMaterial + uiOffset + 32, &uiUV, sizeof(uiUV));
    MarkViewTable();
}

void KR_ShaderCoreManagerDX11::SetDiffuseTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView,
                                                 float fTile, std::uint32_t uiUV)
{
    SetChannelTexture(uiIndex, 2, SLOT_DIFFUSE, B9_TILES_0, 0, pView, fTile, uiUV);
}

void KR_ShaderCoreManagerDX11::SetNormalTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView,
                                                float fTile, std::uint32_t uiUV)
{
    SetChannelTexture(uiIndex, 2, SLOT_NORMAL, B9_TILES_0, 1, pView, fTile, uiUV);
}

void KR_ShaderCoreManagerDX11::SetSpecularTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView,
                                                  float fTile, std::uint32_t uiUV, float fPower)
{
    if (uiIndex >= 2)
        return;
    SetChannelTexture(uiIndex, 2, SLOT_SPECULAR, B9_TILES_0, 2, pView, fTile, uiUV);
    StoreFloats(m_aMaterial, B9_SPECULAR_POWER + 16 * uiIndex, fPower, 0.0f, 0.0f, 0.0f);
}

void KR_ShaderCoreManagerDX11::SetRoughnessTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView,
                                                   float fTile, std::uint32_t uiUV)
{
    SetChannelTexture(uiIndex, 2, SLOT_ROUGHNESS, B9_TILES_0, 3, pView, fTile, uiUV);
}

void KR_ShaderCoreManagerDX11::SetGlossTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView,
                                               float fTile, std::uint32_t uiUV)
{
    SetChannelTexture(uiIndex, 2, SLOT_GLOSS, B9_TILES_1, 0, pView, fTile, uiUV);
}

void KR_ShaderCoreManagerDX11::SetMaskTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView,
                                              float fTile, std::uint32_t uiUV)
{
    SetChannelTexture(uiIndex, 1, SLOT_MASK, B9_TILES_1, 1, pView, fTile, uiUV);
}

void KR_ShaderCoreManagerDX11::SetLightmapTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView,
                                                  float fTile, std::uint32_t uiUV)
{
    SetChannelTexture(uiIndex, 1, SLOT_LIGHTMAP, B9_TILES_1, 2, pView, fTile, uiUV);
}

void KR_ShaderCoreManagerDX11::SetAmbientOcclusionTexture(std::uint32_t uiIndex,
                                                          ID3D11ShaderResourceView* pView, float fTile,
                                                          std::uint32_t uiUV)
{
    SetChannelTexture(uiIndex, 1, SLOT_AMBIENT_OCCLUSION, B9_TILES_1, 3, pView, fTile, uiUV);
}

void KR_ShaderCoreManagerDX11::SetHeightmapTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView,
                                                   float fTile, std::uint32_t uiUV)
{
    SetChannelTexture(uiIndex, 2, SLOT_HEIGHTMAP, B9_TILES_2, 0, pView, fTile, uiUV);
}

void KR_ShaderCoreManagerDX11::SetTransparencyTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView,
                                                      float fTile, std::uint32_t uiUV)
{
    SetChannelTexture(uiIndex, 2, SLOT_TRANSPARENCY, B9_TILES_2, 1, pView, fTile, uiUV);
}

void KR_ShaderCoreManagerDX11::SetCubemapTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView,
                                                 float fValue)
{
    if (uiIndex != 0)
        return;
    m_apViews[SLOT_MATERIAL_CUBE_MAP] = pView;
    // Shared with the scene's cube map 0: the material's value replaces it until the next SetCubeMaps.
    StoreFloats(m_aMaterial, B9_CUBE_VALUES, fValue, 0.0f, 0.0f, 0.0f);
    MarkViewTable();
}

void KR_ShaderCoreManagerDX11::EnableCubeMaps(bool bEnable)
{
    const std::uint32_t uiCount = bEnable ? m_uiNumCubeMaps : 0;
    std::memcpy(m_aMaterial + B9_NUM_CUBE_MAPS, &uiCount, sizeof(uiCount));
    m_abChanged[BUFFER_MATERIAL] = true;
}

void KR_ShaderCoreManagerDX11::SetCubeMaps(const KB_GrowingArray<ID3D11ShaderResourceView*>* pViews,
                                           const KB_GrowingArray<XMFLOAT4>* pVectors,
                                           const KB_GrowingArray<float>* pValues,
                                           const KB_GrowingArray<bool>* pFlags)
{
    // Only as many as every array holds: a shorter companion array is never read past its end.
    std::uint32_t uiCount = MAX_CUBE_MAPS;
    uiCount = std::min(uiCount, pViews != nullptr ? pViews->GetNumMembers() : 0u);
    uiCount = std::min(uiCount, pVectors != nullptr ? pVectors->GetNumMembers() : 0u);
    uiCount = std::min(uiCount, pValues != nullptr ? pValues->GetNumMembers() : 0u);
    uiCount = std::min(uiCount, pFlags != nullptr ? pFlags->GetNumMembers() : 0u);
    m_uiNumCubeMaps = uiCount;
    std::memcpy(m_aMaterial + B9_NUM_CUBE_MAPS, &uiCount, sizeof(uiCount));
    std::memset(m_aMaterial + B9_CUBE_VECTORS, 0, B9_SIZE - B9_CUBE_VECTORS);
    for (std::uint32_t i = 0; i < MAX_CUBE_MAPS; ++i)
        m_apViews[SLOT_CUBE_MAPS + i] = nullptr;
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        m_apViews[SLOT_CUBE_MAPS + i] = (*pViews)[i];
        const XMFLOAT4& vVector = (*pVectors)[i];
        StoreFloats(m_aMaterial, B9_CUBE_VECTORS + 16 * i, vVector.x, vVector.y, vVector.z, vVector.w);
        StoreFloats(m_aMaterial, B9_CUBE_VALUES + 16 * i, (*pValues)[i], 0.0f, 0.0f, 0.0f);
        StoreUInts(m_aMaterial, B9_CUBE_FLAGS + 16 * i, (*pFlags)[i] ? 1u : 0u, 0, 0, 0);
    }
    MarkViewTable();
}

void KR_ShaderCoreManagerDX11::ResetShadowMaps()
{
    // Unbound at once, so that the shadow maps can be rendered to before the next apply.
    if (ID3D11DeviceContext* pContext = KR_GetEngineContext())
    {
        ID3D11ShaderResourceView* const apNull[MAX_SHADOW_MAPS] = {};
        const UINT uiFirst = FIRST_VIEW + SLOT_SHADOW_MAPS;
        pContext->VSSetShaderResources(uiFirst, MAX_SHADOW_MAPS, apNull);
        pContext->PSSetShaderResources(uiFirst, MAX_SHADOW_MAPS, apNull);
        pContext->GSSetShaderResources(uiFirst, MAX_SHADOW_MAPS, apNull);
        pContext->CSSetShaderResources(uiFirst, MAX_SHADOW_MAPS, apNull);
    }
    m_uiNumSpotLights = 0;
    for (std::uint32_t i = 0; i < MAX_SHADOW_MAPS; ++i)
    {
        m_apViews[SLOT_SHADOW_MAPS + i] = nullptr;
        FillIdentity(m_aMaterial + B9_SHADOW_MATRICES + 64 * i, 1);
        StoreFloats(m_aMaterial, B9_SPOT_POSITION + 16 * i, 0.0f, 0.0f, 0.0f, 0.0f);
        StoreFloats(m_aMaterial, B9_SPOT_DIRECTION + 16 * i, 0.0f, 0.0f, 1.0f, 0.0f);
        StoreFloats(m_aMaterial, B9_SPOT_COLOR + 16 * i, 1.0f, 1.0f, 1.0f, 1.0f);
        StoreFloats(m_aMaterial, B9_SPOT_ATTENUATION + 16 * i, 0.0f, 0.0f, 0.0f, 0.0f);
        StoreFloats(m_aMaterial, B9_SPOT_CONE + 16 * i, 0.0f, 0.0f, 0.0f, 0.0f);
        StoreFloats(m_aMaterial, B9_SPOT_SHADOW_BIAS + 16 * i, 0.0f, 0.0f, 0.0f, 0.0f);
    }
    MarkViewTable();
}

namespace
{

// normalize(to - from); a zero difference stays zero.
XMFLOAT3 Direction(const XMFLOAT3& from, const XMFLOAT3& to)
{
    const float x = to.x - from.x;
    const float y = to.y - from.y;
    const float z = to.z - from.z;
    const float fLength = std::sqrt(x * x + y * y + z * z);
    if (!(fLength > 0.0f))
        return XMFLOAT3(0.0f, 0.0f, 0.0f);
    return XMFLOAT3(x / fLength, y / fLength, z / fLength);
}

} // namespace

void KR_ShaderCoreManagerDX11::SetSpotLights(double fTime, KR_SpotLight* pLight)
{
    if (pLight == nullptr || m_uiNumSpotLights >= MAX_SHADOW_MAPS)
        return;
    const float fStrength = pLight->GetLightStrength(fTime);
    if (!(fStrength > 0.0f))
        return;
    const std::uint32_t k = m_uiNumSpotLights;
    constexpr float DEGREES_TO_RADIANS = 0.017453292f;
    const float fCosFOV = std::cos(pLight->GetLightFOV() * DEGREES_TO_RADIANS);
    const float fCosFalloff = std::cos(pLight->GetLightFOVFalloff() * DEGREES_TO_RADIANS);
    const float fFlag = (pLight->GetSpotFlags() & KR_SpotLight::SPOT_FLAG_OPTION) != 0 ? 0.0f : 1.0f;
    const XMFLOAT3 position = pLight->GetPositionAt(fTime);
    const XMFLOAT3 direction = Direction(position, pLight->GetTargetAt(fTime));
    XMFLOAT3 attenuation(0.0f, 0.0f, 0.0f);
    pLight->GetLightAttenuation(&attenuation);
    KB_Color color;
    pLight->GetLightColor(&color, fTime);
    XMFLOAT2 bias(0.0f, 0.0f);
    pLight->GetShadowBias(&bias);

    StoreTransposed(m_aMaterial, B9_SHADOW_MATRICES + 64 * k, pLight->GetViewProjectionMatrix(fTime));
    m_apViews[SLOT_SHADOW_MAPS + k] = pLight->m_pShadowMapView;
    StoreFloats(m_aMaterial, B9_SPOT_POSITION + 16 * k, position.x, position.y, position.z, 0.0f);
    StoreFloats(m_aMaterial, B9_SPOT_DIRECTION + 16 * k, direction.x, direction.y, direction.z, 0.0f);
    StoreFloats(m_aMaterial, B9_SPOT_COLOR + 16 * k, ToLinear(color.GetR()), ToLinear(color.GetG()),
                ToLinear(color.GetB()), pLight->GetLightSpecularStrength(fTime));
    StoreFloats(m_aMaterial, B9_SPOT_ATTENUATION + 16 * k, attenuation.x, attenuation.y, attenuation.z,
                fStrength);
    StoreFloats(m_aMaterial, B9_SPOT_CONE + 16 * k, fCosFOV, fCosFalloff, fCosFOV - fCosFalloff, fFlag);
    StoreFloats(m_aMaterial, B9_SPOT_SHADOW_BIAS + 16 * k, bias.x, bias.y, 0.0f, 0.0f);
    ++m_uiNumSpotLights;
    MarkViewTable();
}

void KR_ShaderCoreManagerDX11::ResetLights()
{
    m_uiNumOmniLights = 0;
    for (std::uint32_t i = 0; i < MAX_LIGHTS; ++i)
    {
        StoreFloats(m_aMaterial, B9_OMNI_COLOR + 16 * i, 1.0f, 1.0f, 1.0f, 1.0f);
        StoreFloats(m_aMaterial, B9_OMNI_ATTENUATION + 16 * i, 0.0f, 0.0f, 0.0f, 0.0f);
        StoreFloats(m_aMaterial, B9_OMNI_POSITION + 16 * i, 0.0f, 0.0f, 0.0f, 0.0f);
        StoreFloats(m_aMaterial, B9_OMNI_SECOND_POINT + 16 * i, 0.0f, 0.0f, 0.0f, 0.0f);
        StoreUInts(m_aMaterial, B9_OMNI_KIND + 16 * i, 0, 0, 0, 0);
    }
    m_abChanged[BUFFER_MATERIAL] = true;
}

void KR_ShaderCoreManagerDX11::SetOmniLights(double fTime, KR_OmniLight* pLight)
{
    if (pLight == nullptr || m_uiNumOmniLights >= MAX_LIGHTS)
        return;
    const float fStrength = pLight->GetLightStrength(fTime);
    if (!(fStrength > 0.0f))
        return;
    const std::uint32_t k = m_uiNumOmniLights;
    KB_Color color;
    pLight->GetLightColor(&color, fTime);
    XMFLOAT3 attenuation(0.0f, 0.0f, 0.0f);
    pLight->GetLightAttenuation(&attenuation);
    const XMFLOAT3 position = pLight->GetPositionAt(fTime);
    StoreFloats(m_aMaterial, B9_OMNI_COLOR + 16 * k, ToLinear(color.GetR()), ToLinear(color.GetG()),
                ToLinear(color.GetB()), pLight->GetLightSpecularStrength(fTime));
    StoreFloats(m_aMaterial, B9_OMNI_ATTENUATION + 16 * k, attenuation.x, attenuation.y, attenuation.z,
                fStrength);
    StoreFloats(m_aMaterial, B9_OMNI_POSITION + 16 * k, position.x, position.y, position.z, 0.0f);
    if (pLight->IsUsedAsTubeLight())
    {
        const XMFLOAT3 second = pLight->GetTargetAt(fTime);
        StoreUInts(m_aMaterial, B9_OMNI_KIND + 16 * k, 1, 0, 0, 0);
        StoreFloats(m_aMaterial, B9_OMNI_SECOND_POINT + 16 * k, second.x, second.y, second.z, 0.0f);
    }
    ++m_uiNumOmniLights;
    m_abChanged[BUFFER_MATERIAL] = true;
}
