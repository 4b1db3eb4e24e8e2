#include "render/device/KR_KeyHashing.h"

#include "render/device/KR_ShaderProperties.h"

#include <cmath>

namespace
{

void Combine64(std::uint64_t& uiSeed, std::uint64_t uiValue)
{
    uiSeed ^= (uiValue ^ 0xdeadbeefull) + 0x9e3779b9ull + (uiSeed << 6) + (uiSeed >> 2);
}

template <class TEnum>
void HashEnum(std::uint64_t& uiSeed, TEnum value)
{
    KR_KeyHashing::HashCombine(uiSeed, static_cast<std::int32_t>(value));
}

void HashStencilFace(std::uint64_t& uiSeed, const D3D11_DEPTH_STENCILOP_DESC& face)
{
    HashEnum(uiSeed, face.StencilFailOp);
    HashEnum(uiSeed, face.StencilDepthFailOp);
    HashEnum(uiSeed, face.StencilPassOp);
    HashEnum(uiSeed, face.StencilFunc);
}

bool EqualFace(const D3D11_DEPTH_STENCILOP_DESC& a, const D3D11_DEPTH_STENCILOP_DESC& b)
{
    return a.StencilFailOp == b.StencilFailOp && a.StencilDepthFailOp == b.StencilDepthFailOp &&
           a.StencilPassOp == b.StencilPassOp && a.StencilFunc == b.StencilFunc;
}

} // namespace

void KR_KeyHashing::HashCombine(std::uint64_t& uiSeed, std::int32_t iValue)
{
    Combine64(uiSeed, static_cast<std::uint64_t>(static_cast<std::int64_t>(iValue)));
}

void KR_KeyHashing::HashCombine(std::uint64_t& uiSeed, std::uint32_t uiValue)
{
    Combine64(uiSeed, uiValue);
}

void KR_KeyHashing::HashCombine(std::uint64_t& uiSeed, float fValue)
{
    // Converting NaN or an out-of-range value to an integer is undefined; they enter as 0.
    const bool bInRange = fValue > -9.2233720368547758e18f && fValue < 9.2233720368547758e18f;
    const std::int64_t iValue = bInRange ? static_cast<std::int64_t>(fValue) : 0;
    Combine64(uiSeed, static_cast<std::uint64_t>(iValue));
}

void KR_KeyHashing::HashCombine(std::uint64_t& uiSeed, std::uint8_t uiValue)
{
    Combine64(uiSeed, uiValue);
}

void KR_KeyHashing::HashString(std::uint64_t& uiSeed, const char* pText)
{
    KR_ShaderProperties::HashCString(uiSeed, pText);
}

std::uint64_t KR_KeyHashing::FoldedFNV1a64(const char* pText)
{
    // Combining into seed 0 adds 0x9e3779b9 to the folded value.
    std::uint64_t uiSeed = 0;
    HashString(uiSeed, pText);
    return uiSeed - 0x9e3779b9ull;
}

std::uint64_t KR_KeyHashing::HashBlendDesc(const D3D11_BLEND_DESC& desc)
{
    std::uint64_t uiSeed = 0;
    HashCombine(uiSeed, static_cast<std::int32_t>(desc.AlphaToCoverageEnable));
    HashCombine(uiSeed, static_cast<std::int32_t>(desc.IndependentBlendEnable));
    for (const D3D11_RENDER_TARGET_BLEND_DESC& target : desc.RenderTarget)
    {
        HashCombine(uiSeed, static_cast<std::int32_t>(target.BlendEnable));
        HashEnum(uiSeed, target.SrcBlend);
        HashEnum(uiSeed, target.DestBlend);
        HashEnum(uiSeed, target.BlendOp);
        HashEnum(uiSeed, target.SrcBlendAlpha);
        HashEnum(uiSeed, target.DestBlendAlpha);
        HashEnum(uiSeed, target.BlendOpAlpha);
        HashCombine(uiSeed, static_cast<std::uint8_t>(target.RenderTargetWriteMask));
    }
    return uiSeed;
}

std::uint64_t KR_KeyHashing::HashRasterizerDesc(const D3D11_RASTERIZER_DESC& desc)
{
    std::uint64_t uiSeed = 0;
    HashEnum(uiSeed, desc.FillMode);
    HashEnum(uiSeed, desc.CullMode);
    HashCombine(uiSeed, static_cast<std::int32_t>(desc.FrontCounterClockwise));
    HashCombine(uiSeed, static_cast<std::int32_t>(desc.DepthBias));
    HashCombine(uiSeed, desc.DepthBiasClamp);
    HashCombine(uiSeed, desc.SlopeScaledDepthBias);
    HashCombine(uiSeed, static_cast<std::int32_t>(desc.DepthClipEnable));
    HashCombine(uiSeed, static_cast<std::int32_t>(desc.ScissorEnable));
    HashCombine(uiSeed, static_cast<std::int32_t>(desc.MultisampleEnable));
    HashCombine(uiSeed, static_cast<std::int32_t>(desc.AntialiasedLineEnable));
    return uiSeed;
}

std::uint64_t KR_KeyHashing::HashDepthStencilDesc(const D3D11_DEPTH_STENCIL_DESC& desc)
{
    std::uint64_t uiSeed = 0;
    HashCombine(uiSeed, static_cast<std::int32_t>(desc.DepthEnable));
    HashEnum(uiSeed, desc.DepthWriteMask);
    HashEnum(uiSeed, desc.DepthFunc);
    HashCombine(uiSeed, static_cast<std::int32_t>(desc.StencilEnable));
    HashCombine(uiSeed, static_cast<std::uint8_t>(desc.StencilReadMask));
    HashCombine(uiSeed, static_cast<std::uint8_t>(desc.StencilWriteMask));
    HashStencilFace(uiSeed, desc.FrontFace);
    HashStencilFace(uiSeed, desc.BackFace);
    return uiSeed;
}

bool KR_KeyHashing::Equal(const D3D11_BLEND_DESC& a, const D3D11_BLEND_DESC& b)
{
    if (a.AlphaToCoverageEnable != b.AlphaToCoverageEnable ||
        a.IndependentBlendEnable != b.IndependentBlendEnable)
        return false;
    for (int i = 0; i < 8; ++i)
    {
        const D3D11_RENDER_TARGET_BLEND_DESC& x = a.RenderTarget[i];
        const D3D11_RENDER_TARGET_BLEND_DESC& y = b.RenderTarget[i];
        if (x.BlendEnable != y.BlendEnable || x.SrcBlend != y.SrcBlend || x.DestBlend != y.DestBlend ||
            x.BlendOp != y.BlendOp || x.SrcBlendAlpha != y.SrcBlendAlpha ||
            x.DestBlendAlpha != y.DestBlendAlpha || x.BlendOpAlpha != y.BlendOpAlpha ||
            x.RenderTargetWriteMask != y.RenderTargetWriteMask)
        {
            return false;
        }
    }
    return true;
}

bool KR_KeyHashing::Equal(const D3D11_RASTERIZER_DESC& a, const D3D11_RASTERIZER_DESC& b)
{
    return a.FillMode == b.FillMode && a.CullMode == b.CullMode &&
           a.FrontCounterClockwise == b.FrontCounterClockwise && a.DepthBias == b.DepthBias &&
           a.DepthBiasClamp == b.DepthBiasClamp && a.SlopeScaledDepthBias == b.SlopeScaledDepthBias &&
           a.DepthClipEnable == b.DepthClipEnable && a.ScissorEnable == b.ScissorEnable &&
           a.MultisampleEnable == b.MultisampleEnable && a.AntialiasedLineEnable == b.AntialiasedLineEnable;
}

bool KR_KeyHashing::Equal(const D3D11_DEPTH_STENCIL_DESC& a, const D3D11_DEPTH_STENCIL_DESC& b)
{
    return a.DepthEnable == b.DepthEnable && a.DepthWriteMask == b.DepthWriteMask &&
           a.DepthFunc == b.DepthFunc && a.StencilEnable == b.StencilEnable &&
           a.StencilReadMask == b.StencilReadMask && a.StencilWriteMask == b.StencilWriteMask &&
           EqualFace(a.FrontFace, b.FrontFace) && EqualFace(a.BackFace, b.BackFace);
}
