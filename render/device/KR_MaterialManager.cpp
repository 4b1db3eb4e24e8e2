// KR_MaterialManager: applying a material before a draw. The library, the permutations and the
// states are in KR_MaterialManagerLibrary.cpp, KR_MaterialManagerPermutations.cpp and
// KR_MaterialManagerStates.cpp.

#include "render/device/KR_MaterialManager.h"

#include "framework/app/KE_ApplicationManager.h"
#include "render/device/KR_ManagedShaderResourceView.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/device/KR_ShaderProgram.h"
#include "render/effects/KR_OITRenderer.h"

#include <algorithm>

namespace
{

ID3D11ShaderResourceView* CurrentView(const KR_Channel& entry)
{
    return entry.m_pTexture != nullptr ? entry.m_pTexture->GetShaderResourceView() : nullptr;
}

// The cube map's value: its mip levels less two, never below 0 (counted signed, so one level gives
// 0 and not a wrapped-around count).
float CubeMapValue(ID3D11ShaderResourceView* pView)
{
    if (pView == nullptr)
        return 0.0f;
    D3D11_SHADER_RESOURCE_VIEW_DESC desc{};
    pView->GetDesc(&desc);
    std::uint32_t uiMips = 0;
    switch (desc.ViewDimension)
    {
    case D3D11_SRV_DIMENSION_TEXTURECUBE:
        uiMips = desc.TextureCube.MipLevels;
        break;
    case D3D11_SRV_DIMENSION_TEXTURECUBEARRAY:
        uiMips = desc.TextureCubeArray.MipLevels;
        break;
    case D3D11_SRV_DIMENSION_TEXTURE2D:
        uiMips = desc.Texture2D.MipLevels;
        break;
    case D3D11_SRV_DIMENSION_TEXTURE2DARRAY:
        uiMips = desc.Texture2DArray.MipLevels;
        break;
    default:
        break;
    }
    const std::int64_t iValue = std::max<std::int64_t>(static_cast<std::int64_t>(uiMips) - 2, 0);
    return static_cast<float>(iValue);
}

} // namespace

const KR_ShaderProgram* KR_MaterialManager::CopyProgram(const KR_ShaderProgram* pProgram,
                                                        KR_ShaderProgram* pCopy) const
{
    if (pProgram == nullptr)
        return nullptr;
    std::lock_guard<std::mutex> lock(m_oProgramStatesMutex);
    *pCopy = *pProgram;
    return pCopy;
}

KR_ShaderProgram* KR_MaterialManager::GetDebugProgram(KR_RenderPass pass, std::uint8_t uiVertexFormat,
                                                      bool bInstanced)
{
    const int iInstanced = bInstanced ? 1 : 0;
    if (!m_abDebugProgramBuilt[uiVertexFormat][iInstanced])
    {
        m_apDebugPrograms[uiVertexFormat][iInstanced] =
            BuildMaterialShaderProperties(pass, KB_String(DEBUG_MATERIAL_ID), &uiVertexFormat, bInstanced);
        m_abDebugProgramBuilt[uiVertexFormat][iInstanced] = true;
    }
    return m_apDebugPrograms[uiVertexFormat][iInstanced];
}

void KR_MaterialManager::ApplyMaterial(KR_RenderPass pass, const KB_String& sMaterialId,
                                       std::uint8_t uiVertexFormat, KR_ShaderProgram* pProgram,
                                       bool bInstanced)
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    if (pEngine == nullptr)
        return;
    KR_OITRenderer* pTransparency = pEngine->GetOITRenderer();
    if (pTransparency != nullptr)
        pTransparency->EndTransparency();
    KR_ShaderCoreManager* pCore = pEngine->GetShaderCoreManager();
    if (pCore == nullptr)
        return;
    // A worker building another model may be writing the states of this cached program: what is
    // bound is a copy taken under the lock.
    KR_ShaderProgram applied;
    if (pass == KR_RENDER_PASS_SHADOW_MAP)
    {
        pCore->ApplyShaderProgram(CopyProgram(pProgram, &applied));
        return;
    }

    const KB_String* pId = &sMaterialId;
    if (m_bUseDebugMaterial)
    {
        // Without the debug material (or its program) the draw stays as it is.
        if (KR_ShaderProgram* pDebugProgram = GetDebugProgram(pass, uiVertexFormat, bInstanced))
        {
            pId = &m_sDebugMaterialId;
            pProgram = pDebugProgram;
        }
    }
    // The callbacks may change the id: they get a copy, in a buffer kept between draws.
    if (m_pPreApplyCallback != nullptr || m_pPostApplyCallback != nullptr)
    {
        m_sCallbackId = *pId;
        pId = &m_sCallbackId;
    }
    if (m_pPreApplyCallback != nullptr)
        m_pPreApplyCallback(&m_sCallbackId);

    const KR_ShaderProgram* pApplied = CopyProgram(pProgram, &applied);
    auto found = m_mapMaterials.find(*pId);
    if (found != m_mapMaterials.end())
    {
        const KR_Material& m = found->second;
        pCore->ResetMaterialTextures();
        if (m.m_uiTransparency != 0 && pTransparency != nullptr)
            pTransparency->BeginTransparency();
        pCore->SetObjectColor(m.m_oObjectColor.GetRGBA());
        pCore->SetAmbientLightColor(m.m_oAmbientLightColor.GetRGBA());
        if (m.m_uiParallaxMode != 0)
            pCore->SetParallaxOcclusion(m.m_uiMinSamples, m.m_uiMaxSamples, m.m_fHeightScale,
                                        m.m_fHeightOffset);
        for (std::uint32_t i = 0; i < m.m_gDiffuse.GetNumMembers(); ++i)
            pCore->SetDiffuseTexture(i, CurrentView(m.m_gDiffuse[i]), m.m_gDiffuse[i].m_fTile,
                                     m.m_gDiffuse[i].m_uiUVChannel);
        for (std::uint32_t i = 0; i < m.m_gNormal.GetNumMembers(); ++i)
            pCore->SetNormalTexture(i, CurrentView(m.m_gNormal[i]), m.m_gNormal[i].m_fTile,
                                    m.m_gNormal[i].m_uiUVChannel);
        for (std::uint32_t i = 0; i < m.m_gSpecular.GetNumMembers(); ++i)
            pCore->SetSpecularTexture(i, CurrentView(m.m_gSpecular[i]), m.m_gSpecular[i].m_fTile,
                                      m.m_gSpecular[i].m_uiUVChannel, m.m_gSpecular[i].m_fPower);
        for (std::uint32_t i = 0; i < m.m_gRoughness.GetNumMembers(); ++i)
            pCore->SetRoughnessTexture(i, CurrentView(m.m_gRoughness[i]), m.m_gRoughness[i].m_fTile,
                                       m.m_gRoughness[i].m_uiUVChannel);
        for (std::uint32_t i = 0; i < m.m_gGloss.GetNumMembers(); ++i)
            pCore->SetGlossTexture(i, CurrentView(m.m_gGloss[i]), m.m_gGloss[i].m_fTile,
                                   m.m_gGloss[i].m_uiUVChannel);
        for (std::uint32_t i = 0; i < m.m_gMask.GetNumMembers(); ++i)
            pCore->SetMaskTexture(i, CurrentView(m.m_gMask[i]), m.m_gMask[i].m_fTile,
                                  m.m_gMask[i].m_uiUVChannel);
        for (std::uint32_t i = 0; i < m.m_gLightmap.GetNumMembers(); ++i)
            pCore->SetLightmapTexture(i, CurrentView(m.m_gLightmap[i]), m.m_gLightmap[i].m_fTile,
                                      m.m_gLightmap[i].m_uiUVChannel);
        for (std::uint32_t i = 0; i < m.m_gAmbientOcclusion.GetNumMembers(); ++i)
            pCore->SetAmbientOcclusionTexture(i, CurrentView(m.m_gAmbientOcclusion[i]),
                                              m.m_gAmbientOcclusion[i].m_fTile,
                                              m.m_gAmbientOcclusion[i].m_uiUVChannel);
        for (std::uint32_t i = 0; i < m.m_gHeightmap.GetNumMembers(); ++i)
            pCore->SetHeightmapTexture(i, CurrentView(m.m_gHeightmap[i]), m.m_gHeightmap[i].m_fTile,
                                       m.m_gHeightmap[i].m_uiUVChannel);
        for (std::uint32_t i = 0; i < m.m_gTransparency.GetNumMembers(); ++i)
            pCore->SetTransparencyTexture(i, CurrentView(m.m_gTransparency[i]), m.m_gTransparency[i].m_fTile,
                                          m.m_gTransparency[i].m_uiUVChannel);
        // A material whose cube-map element named no texture uses the scene's cube maps.
        pCore->EnableCubeMaps(m.m_uiCubeMapMissing != 0);
        for (std::uint32_t i = 0; i < m.m_gCubeMap.GetNumMembers(); ++i)
        {
            ID3D11ShaderResourceView* pView = CurrentView(m.m_gCubeMap[i]);
            if (m.m_gCubeMap[i].m_pTexture != nullptr)
                pCore->SetCubemapTexture(i, pView, CubeMapValue(pView));
        }
        if (m_pPostApplyCallback != nullptr)
            m_pPostApplyCallback(&m_sCallbackId);
        // The program may be shared with materials that draw with other states: this material's
        // states go to the copy, the cached program stays as it is.
        if (pProgram != nullptr)
            SetStates(&applied, ChooseStates(m));
    }
    pCore->ApplyShaderProgram(pApplied);
}
