// The screen passes of the post-processing engine and the effect sequences built from them.

#include "framework/files/KU_SaveFailure.h"
#include "platform/d3dx11/d3dx11.h"
#include "platform/effects11/d3dx11effect.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/effects/KR_PostFXEngineDX11.h"

#include <algorithm>

namespace
{

constexpr float BRIGHT_PASS_LUMINANCE = 0.08f;

} // namespace

void KR_PostFXEngineDX11::RunEffect(std::uint32_t uiIndex, bool bLast)
{
    switch (m_gChain[uiIndex])
    {
    case KR_POSTFX_BLOOM:
        RunBloom(bLast);
        break;
    case KR_POSTFX_DEPTH_OF_FIELD:
        RunDepthOfField(bLast);
        break;
    case KR_POSTFX_COLOR_OFFSETS:
        RunColorOffsets(bLast);
        break;
    case KR_POSTFX_DEPTH_FILTER:
        RunDepthFilter(bLast);
        break;
    case KR_POSTFX_COLOR_CUBES:
        RunColorCubes(bLast);
        break;
    case KR_POSTFX_VOLUME_LIGHTING:
        RenderLightVolumes(bLast);
        break;
    case KR_POSTFX_RGB_UV_SCALE:
        RunRGBUVScale(bLast);
        break;
    case KR_POSTFX_SCREENSHOT:
        SaveScreenshot();
        break;
    case KR_POSTFX_DIRTY_LENS:
        RunDirtyLens(bLast);
        break;
    default:
        break;
    }
}

bool KR_PostFXEngineDX11::DownsampleQuarter(bool bStore)
{
    PassSetup pass;
    pass.m_uiTechnique = T_DOWNSAMPLE_QUARTER;
    pass.m_pSource1 = m_oCurrentImage.m_pView;
    pass.m_bDepth = false;
    if (!bStore)
        return RunIntermediate(pass, m_uiSourceWidth / 4, m_uiSourceHeight / 4);
    // The image read stays aside, as the stored stage, instead of going back to the pool.
    m_oStoredStage = m_oCurrentImage;
    m_oCurrentImage = ImageSlot{};
    if (RunIntermediate(pass, m_uiSourceWidth / 4, m_uiSourceHeight / 4))
        return true;
    m_oCurrentImage = m_oStoredStage;
    m_oStoredStage = ImageSlot{};
    return false;
}

bool KR_PostFXEngineDX11::UpsampleQuarter()
{
    PassSetup pass;
    pass.m_uiTechnique = T_UPSAMPLE_QUARTER;
    pass.m_pSource1 = m_oCurrentImage.m_pView;
    return RunIntermediate(pass, m_uiSourceWidth * 4, m_uiSourceHeight * 4);
}

bool KR_PostFXEngineDX11::DownsampleHalf()
{
    PassSetup pass;
    pass.m_uiTechnique = T_DOWNSAMPLE_HALF;
    pass.m_pSource1 = m_oCurrentImage.m_pView;
    return RunIntermediate(pass, m_uiSourceWidth / 2, m_uiSourceHeight / 2);
}

bool KR_PostFXEngineDX11::UpsampleHalf()
{
    PassSetup pass;
    pass.m_uiTechnique = T_UPSAMPLE_HALF;
    pass.m_pSource1 = m_oCurrentImage.m_pView;
    return RunIntermediate(pass, m_uiSourceWidth * 2, m_uiSourceHeight * 2);
}

bool KR_PostFXEngineDX11::ComposeHalf(bool bLast)
{
    PassSetup pass;
    pass.m_uiTechnique = T_COMPOSE_HALF;
    pass.m_pSource1 = m_oCurrentImage.m_pView;
    pass.m_pSource2 = m_oSceneImage.m_pView;
    return RunFinalCapable(pass, m_uiSourceWidth * 2, m_uiSourceHeight * 2, bLast);
}

bool KR_PostFXEngineDX11::BrightPass()
{
    m_pLuminance->SetFloat(BRIGHT_PASS_LUMINANCE);
    PassSetup pass;
    pass.m_uiTechnique = T_BRIGHT_PASS;
    pass.m_pSource1 = m_oCurrentImage.m_pView;
    return RunIntermediate(pass, m_uiSourceWidth, m_uiSourceHeight);
}

bool KR_PostFXEngineDX11::BloomBlur(std::uint32_t uiTechnique, float fStrength)
{
    m_pBloomStrength->SetFloat(fStrength);
    return Blur(uiTechnique);
}

bool KR_PostFXEngineDX11::Blur(std::uint32_t uiTechnique)
{
    PassSetup pass;
    pass.m_uiTechnique = uiTechnique;
    pass.m_pSource1 = m_oCurrentImage.m_pView;
    return RunIntermediate(pass, m_uiSourceWidth, m_uiSourceHeight);
}

void KR_PostFXEngineDX11::RunBloom(bool bLast)
{
    DownsampleQuarter(false);
    BrightPass();
    for (int i = 0; i < 2; ++i)
    {
        BloomBlur(T_BLOOM_BLUR_FIRST, m_fBloomStrength);
        BloomBlur(T_BLOOM_BLUR_SECOND, m_fBloomStrength);
    }
    PassSetup compose;
    compose.m_uiTechnique = T_COMPOSE_BLOOM;
    compose.m_pSource1 = m_oCurrentImage.m_pView;
    compose.m_pSource2 = m_oSceneImage.m_pView;
    RunFinalCapable(compose, m_uiSourceWidth * 4, m_uiSourceHeight * 4, bLast);
}

void KR_PostFXEngineDX11::RunDepthOfField(bool bLast)
{
    DownsampleQuarter(false);
    for (int i = 0; i < 2; ++i)
    {
        Blur(T_BLUR_FIRST);
        Blur(T_BLUR_SECOND);
    }
    DownsampleQuarter(true);
    for (int i = 0; i < 2; ++i)
    {
        Blur(T_BLUR_FIRST);
        Blur(T_BLUR_SECOND);
    }
    KR_GraphicsDevice* pGraphics = GetGraphicsDevice();
    m_uiSourceWidth = std::max(1u, pGraphics != nullptr ? pGraphics->GetWidth() : m_uiWidth);
    m_uiSourceHeight = std::max(1u, pGraphics != nullptr ? pGraphics->GetHeight() : m_uiHeight);

    m_pNear->SetFloat(m_fNear);
    m_pFar->SetFloat(m_fFar);
    m_pOneOverFar->SetFloat(m_fOneOverFar);
    const float* f = m_afFocal;
    const float afPlane1[4] = {f[0], f[1], 1.0f / f[1], 1.0f / f[2]};
    const float afPlane2[4] = {0.0f, f[3], 1.0f / f[3], 1.0f / f[4]};
    m_pFocalPlane1->SetFloatVector(afPlane1);
    m_pFocalPlane2->SetFloatVector(afPlane2);
    PassSetup compose;
    compose.m_uiTechnique = T_COMPOSE_DEPTH_OF_FIELD;
    compose.m_pSource1 = m_oStoredStage.m_pView;
    compose.m_pSource2 = m_oCurrentImage.m_pView;
    compose.m_bSetSource3 = true;
    compose.m_pSource3 = m_oSceneImage.m_pView;
    compose.m_uiClearSlots = 5;
    RunFinalCapable(compose, m_uiSourceWidth, m_uiSourceHeight, bLast);
    Drop(&m_oStoredStage);
}

void KR_PostFXEngineDX11::RunColorOffsets(bool bLast)
{
    m_pFXPreColorOffset->SetFloatVector(m_avColorOffsets[0]);
    m_pFXMultColorOffset->SetFloatVector(m_avColorOffsets[1]);
    m_pFXPostColorOffset->SetFloatVector(m_avColorOffsets[2]);
    PassSetup pass;
    pass.m_uiTechnique = T_COLOR_OFFSETS;
    pass.m_pSource1 = m_oCurrentImage.m_pView;
    pass.m_uiClearSlots = 5;
    RunFinalCapable(pass, m_uiSourceWidth, m_uiSourceHeight, bLast);
}

void KR_PostFXEngineDX11::RunDepthFilter(bool bLast)
{
    m_pNear->SetFloat(m_fNear);
    m_pFar->SetFloat(m_fFar);
    m_pOneOverFar->SetFloat(m_fOneOverFar);
    PassSetup filter;
    filter.m_uiTechnique = T_DEPTH_FILTER;
    filter.m_uiPass = m_bMultisampled ? 1 : 0;
    filter.m_pSource1 = m_oCurrentImage.m_pView;
    filter.m_bSetSource3 = true;
    filter.m_bBorderless = true;
    filter.m_uiClearSlots = 5;
    RunIntermediate(filter, m_uiSourceWidth, m_uiSourceHeight);
    Blur(T_BLUR_FIRST);
    Blur(T_BLUR_SECOND);
    PassSetup compose;
    compose.m_uiTechnique = T_COMPOSE;
    compose.m_pSource1 = m_oCurrentImage.m_pView;
    compose.m_pSource2 = m_oSceneImage.m_pView;
    RunFinalCapable(compose, m_uiSourceWidth, m_uiSourceHeight, bLast);
}

void KR_PostFXEngineDX11::RunColorCubes(bool bLast)
{
    PassSetup pass;
    pass.m_uiTechnique = T_COLOR_CUBES;
    pass.m_pSource1 = m_oCurrentImage.m_pView;
    pass.m_bSetSource3 = true;
    pass.m_bClearCubes = false;
    pass.m_uiClearSlots = 5;
    // Exact comparisons: the ends of a blend show one cube alone with the cheaper pass.
    if (m_fColorBlend == 0.0f || m_fColorBlend == 1.0f)
    {
        m_pColorCubeTexture1->SetResource(m_fColorBlend == 0.0f ? m_pColorCube1 : m_pColorCube2);
        m_pColorCubeTexture2->SetResource(nullptr);
        m_pColorBlend->SetFloat(0.0f);
        pass.m_uiPass = 0;
    }
    else
    {
        m_pColorCubeTexture1->SetResource(m_pColorCube1);
        m_pColorCubeTexture2->SetResource(m_pColorCube2);
        m_pColorBlend->SetFloat(m_fColorBlend);
        pass.m_uiPass = 1;
    }
    RunFinalCapable(pass, m_uiSourceWidth, m_uiSourceHeight, bLast);
}

void KR_PostFXEngineDX11::RunRGBUVScale(bool bLast)
{
    const float* v = m_afRGBUVScale;
    const float afRGB[4] = {v[0], v[1], v[2], v[3]};
    const float afUV[4] = {v[3], v[4], v[5], v[6]};
    PassSetup pass;
    pass.m_uiTechnique = T_RGB_UV_SCALE;
    pass.m_bSetSource3 = true;
    pass.m_bClearCubes = false;
    pass.m_uiClearSlots = 5;
    // The first pass always writes an image of its own, which becomes the scene image too.
    m_pRGBScale->SetFloatVector(afRGB);
    m_pUVScale->SetFloatVector(afUV);
    pass.m_pSource1 = m_oCurrentImage.m_pView;
    RunFinalCapable(pass, m_uiSourceWidth, m_uiSourceHeight, false);
    m_pRGBScale->SetFloatVector(afRGB);
    m_pUVScale->SetFloatVector(afUV);
    pass.m_uiPass = 1;
    pass.m_pSource1 = m_oCurrentImage.m_pView;
    pass.m_bDepth = false;
    RunFinalCapable(pass, m_uiSourceWidth, m_uiSourceHeight, bLast);
}

void KR_PostFXEngineDX11::RunDirtyLens(bool bLast)
{
    DownsampleQuarter(false);
    BrightPass();
    PassSetup lens;
    lens.m_uiTechnique = T_DIRTY_LENS;
    lens.m_pSource1 = m_oCurrentImage.m_pView;
    RunIntermediate(lens, m_uiSourceWidth, m_uiSourceHeight);
    BloomBlur(T_BLOOM_BLUR_FIRST, m_fDirtyLensStrength);
    BloomBlur(T_BLOOM_BLUR_SECOND, m_fDirtyLensStrength);
    PassSetup compose;
    compose.m_uiTechnique = T_DIRTY_LENS;
    compose.m_uiPass = 1;
    compose.m_pSource1 = m_oCurrentImage.m_pView;
    compose.m_pSource2 = m_oSceneImage.m_pView;
    compose.m_bSetSource3 = true;
    compose.m_pSource3 = m_pDirtyLensTexture;
    RunFinalCapable(compose, m_uiWidth, m_uiHeight, bLast);
}

void KR_PostFXEngineDX11::SaveScreenshot()
{
    KR_GraphicsResourceManager* pManager = GetResourceManager();
    ID3D11Texture2D* pTexture = nullptr;
    if (m_oCurrentImage.m_uiHandle != NO_TEXTURE && pManager != nullptr)
        pTexture = pManager->GetTexture2D(m_oCurrentImage.m_uiHandle);
    else
        pTexture = m_bMultisampled ? m_pResolvedRenderTargetTexture : m_pRenderTargetTexture;
    // A failed write is not worth stopping the show for; the user is told which file is missing.
    if (pTexture != nullptr)
        KU_SaveFailure::ReportIfFailed(
            m_sScreenshotName,
            D3DX11SaveTextureToFileA(GetContext(), pTexture, D3DX11_IFF_PNG, m_sScreenshotName.GetBuffer()));
    CopyToFinalTarget();
}

void KR_PostFXEngineDX11::CopyToFinalTarget()
{
    BindFinalTarget();
    PassSetup pass;
    pass.m_uiTechnique = T_COPY;
    pass.m_pSource1 = m_oCurrentImage.m_pView;
    pass.m_bSetSource3 = true;
    pass.m_bClearCubes = false;
    pass.m_uiClearSlots = 5;
    DrawPass(pass);
    Drop(&m_oCurrentImage);
    Drop(&m_oSceneImage);
    ClearPixelSlots(pass.m_uiClearSlots);
}

void KR_PostFXEngineDX11::SaveBackBufferScreenshot()
{
    ID3D11DeviceContext* pContext = GetContext();
    ID3D11RenderTargetView* pView = nullptr;
    pContext->OMGetRenderTargets(1, &pView, nullptr);
    if (pView == nullptr)
        return;
    ID3D11Resource* pBackBuffer = nullptr;
    pView->GetResource(&pBackBuffer);
    if (pBackBuffer != nullptr)
    {
        KU_SaveFailure::ReportIfFailed(
            m_sScreenshotName,
            D3DX11SaveTextureToFileA(pContext, pBackBuffer, D3DX11_IFF_PNG, m_sScreenshotName.GetBuffer()));
        pBackBuffer->Release();
    }
    pView->Release();
}
