// KR_MaterialManager: the blend, depth-stencil and rasterizer states materials are drawn with.

#include "render/device/KR_MaterialManager.h"

#include "framework/app/KE_EngineMembers.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_UtilitiesDX11.h"

bool KR_MaterialManager::CreateMaterialShaders()
{
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    if (pResources == nullptr)
        return true;

    D3D11_BLEND_DESC blend{};
    blend.AlphaToCoverageEnable = FALSE;
    blend.IndependentBlendEnable = FALSE;
    D3D11_RENDER_TARGET_BLEND_DESC& target = blend.RenderTarget[0];
    target.BlendEnable = FALSE;
    target.SrcBlend = D3D11_BLEND_ONE;
    target.DestBlend = D3D11_BLEND_ZERO;
    target.BlendOp = D3D11_BLEND_OP_ADD;
    target.SrcBlendAlpha = D3D11_BLEND_ONE;
    target.DestBlendAlpha = D3D11_BLEND_ZERO;
    target.BlendOpAlpha = D3D11_BLEND_OP_ADD;
    target.RenderTargetWriteMask = D3D11_COLOR_WRITE_ENABLE_ALL;
    m_apBlendStates[0] = pResources->GetBlendState(&blend);
    target.BlendEnable = TRUE;
    target.SrcBlend = D3D11_BLEND_SRC_ALPHA;
    target.DestBlend = D3D11_BLEND_INV_SRC_ALPHA;
    target.DestBlendAlpha = D3D11_BLEND_ONE;
    m_apBlendStates[1] = pResources->GetBlendState(&blend);
    target.SrcBlend = D3D11_BLEND_ONE;
    target.DestBlend = D3D11_BLEND_ONE;
    m_apBlendStates[2] = pResources->GetBlendState(&blend);

    D3D11_DEPTH_STENCIL_DESC depth{};
    depth.DepthEnable = FALSE;
    depth.DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ZERO;
    depth.DepthFunc = D3D11_COMPARISON_LESS_EQUAL;
    depth.StencilEnable = FALSE;
    depth.StencilReadMask = 0xFF;
    depth.StencilWriteMask = 0xFF;
    for (D3D11_DEPTH_STENCILOP_DESC* pFace : {&depth.FrontFace, &depth.BackFace})
    {
        pFace->StencilFailOp = D3D11_STENCIL_OP_KEEP;
        pFace->StencilDepthFailOp = D3D11_STENCIL_OP_KEEP;
        pFace->StencilPassOp = D3D11_STENCIL_OP_KEEP;
        pFace->StencilFunc = D3D11_COMPARISON_ALWAYS;
    }
    m_apDepthStencilStates[0] = pResources->GetDepthStencilState(&depth);
    depth.DepthEnable = TRUE;
    depth.DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ALL;
    m_apDepthStencilStates[1] = pResources->GetDepthStencilState(&depth);
    depth.DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ZERO;
    m_apDepthStencilStates[2] = pResources->GetDepthStencilState(&depth);

    KR_GraphicsDevice* pDevice = KE_GetGraphicsDevice();
    const bool bMultisample = pDevice != nullptr && pDevice->GetAntiAliasing() > 1;
    D3D11_RASTERIZER_DESC rasterizer =
        KR_UtilitiesDX11::SolidRasterizerDesc(D3D11_CULL_BACK, bMultisample, bMultisample);
    m_apRasterizerStates[0] = pResources->GetRasterizerState(&rasterizer);
    rasterizer.CullMode = D3D11_CULL_NONE;
    m_apRasterizerStates[1] = pResources->GetRasterizerState(&rasterizer);
    return true;
}

ID3D11BlendState* KR_MaterialManager::GetBlendState(std::uint32_t uiIndex) const
{
    return uiIndex < 3 ? m_apBlendStates[uiIndex] : nullptr;
}

ID3D11DepthStencilState* KR_MaterialManager::GetDepthStencilState(std::uint32_t uiIndex) const
{
    return uiIndex < 3 ? m_apDepthStencilStates[uiIndex] : nullptr;
}

ID3D11RasterizerState* KR_MaterialManager::GetRasterizerState(std::uint32_t uiIndex) const
{
    return uiIndex < 2 ? m_apRasterizerStates[uiIndex] : nullptr;
}
