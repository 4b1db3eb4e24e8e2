// KR_MaterialManager: the shader permutations, the properties a material, a vertex format and a
// render pass make into a program, and the states a program is drawn with.

#include "render/device/KR_MaterialManager.h"

#include "framework/app/KE_EngineMembers.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_ShaderProgram.h"
#include "render/device/KR_ShaderProperties.h"

#include <algorithm>

namespace
{

constexpr const char* VERTEX_SHADER_FILE = "Assets/Shader/KR_VertexShader.hlsl";
constexpr const char* GEOMETRY_SHADER_FILE = "Assets/Shader/KR_GeometryShader.hlsl";
constexpr const char* PIXEL_SHADER_FILE = "Assets/Shader/KR_PixelShader.hlsl";
constexpr const char* OIT_SHADER_FILE = "Assets/Shader/KR_OITShader.hlsl";

// The names the shadow pass hands the pixel shader for each state index.
constexpr const char* BLEND_STATE_NAMES[3] = {"DISABLED", "ENABLEALPHABLENDING", "ADDITIVEBLENDING"};
constexpr const char* DEPTH_STENCIL_STATE_NAMES[3] = {"DISABLED", "ENABLED", "ENABLEDNOUPDATE"};

// Before a geometry stage the vertex shader passes its (skinned, instanced) vertices through.
void AddPassThroughMacros(KR_ShaderProperties& properties, bool bSkinned, bool bInstanced)
{
    properties.AddMacro("VS_PASSTHROUGH", nullptr);
    if (bSkinned)
        properties.AddMacro("VS_OUT_SKINNED", nullptr);
    if (bInstanced)
        properties.AddMacro("VS_OUT_INSTANCED", nullptr);
}

// The colour pass's vertex outputs, and with a geometry stage its outputs too: normals, tangents,
// the material's UV sets (at most four), parallax and, for lighting, fog or a cube map, the world
// position.
void AddColorPassOutputs(KR_ShaderProperties& properties, const KR_Material& m, bool bGeometry, bool bSkinned,
                         bool bInstanced)
{
    static const char* const VS_UV[4] = {"VS_OUT_UV0", "VS_OUT_UV1", "VS_OUT_UV2", "VS_OUT_UV3"};
    static const char* const GS_UV[4] = {"GS_OUT_UV0", "GS_OUT_UV1", "GS_OUT_UV2", "GS_OUT_UV3"};
    const std::uint32_t uiUVSets = std::min(m.m_uiUVChannelCount, 4u);
    const bool bWorldPosition = m.m_uiDirectionalLight != 0 || m.m_uiDynamicLights != 0 || m.m_uiFog != 0 ||
                                m.m_gCubeMap.GetNumMembers() > 0;
    if (bGeometry)
    {
        AddPassThroughMacros(properties, bSkinned, bInstanced);
        if (m.m_uiNormals != 0)
        {
            properties.AddMacro("VS_OUT_NORMAL", nullptr);
            properties.AddMacro("GS_OUT_NORMAL", nullptr);
        }
        if (m.m_uiTangents != 0)
        {
            properties.AddMacro("VS_OUT_TANGENT", nullptr);
            properties.AddMacro("GS_OUT_TANGENT", nullptr);
            properties.AddMacro("GS_OUT_BITANGENT", nullptr);
        }
        for (std::uint32_t k = 0; k < uiUVSets; ++k)
        {
            properties.AddMacro(VS_UV[k], nullptr);
            properties.AddMacro(GS_UV[k], nullptr);
        }
        if (m.m_uiParallaxMode != 0)
        {
            properties.AddMacro("VS_OUT_PARALLAX", nullptr);
            properties.AddMacro("GS_OUT_PARALLAX", nullptr);
        }
        if (bWorldPosition)
        {
            properties.AddMacro("VS_OUT_WORLDPOS", nullptr);
            properties.AddMacro("GS_OUT_WORLDPOS", nullptr);
        }
    }
    else
    {
        if (m.m_uiNormals != 0)
            properties.AddMacro("VS_OUT_NORMAL", nullptr);
        if (m.m_uiTangents != 0)
        {
            properties.AddMacro("VS_OUT_TANGENT", nullptr);
            properties.AddMacro("VS_OUT_BITANGENT", nullptr);
        }
        for (std::uint32_t k = 0; k < uiUVSets; ++k)
            properties.AddMacro(VS_UV[k], nullptr);
        // Always: the vertex program without a geometry stage hands the parallax vector on
        // whether or not the pixel program reads it.
        properties.AddMacro("VS_OUT_PARALLAX", nullptr);
        if (bWorldPosition)
            properties.AddMacro("VS_OUT_WORLDPOS", nullptr);
    }
}

// The colour pass's pixel features the material switches on.
void AddColorPassPixelMacros(KR_ShaderProperties& properties, const KR_Material& m)
{
    if (m.m_uiTransparency != 0)
    {
        properties.AddMacro("PS_IN_COVERAGE", nullptr);
        properties.AddMacro("PS_OIT", nullptr);
    }
    if (m.m_uiDirectionalLight != 0)
        properties.AddMacro("PS_DIRECTIONAL", nullptr);
    if (m.m_uiDynamicLights != 0)
        properties.AddMacro("PS_DYNAMIC", nullptr);
    if (m.m_uiFog != 0)
        properties.AddMacro("PS_FOG", nullptr);
    if (m.m_gSpecular.GetNumMembers() > 1)
        properties.AddMacro("PS_BLEND", nullptr);
    if (m.m_gCubeMap.GetNumMembers() > 0)
        properties.AddMacro("PS_ENVIRONMENTMAP", nullptr);
    if (m.m_gLightmap.GetNumMembers() > 0)
        properties.AddMacro("PS_LIGHTMAP", nullptr);
    if (m.m_gAmbientOcclusion.GetNumMembers() > 0)
        properties.AddMacro("PS_AMBIENTOCCLUSION", nullptr);
    if ((m.m_uiEmissiveMode & 1) != 0)
        properties.AddMacro("PS_EMISSIVE0", nullptr);
    if ((m.m_uiEmissiveMode & 2) != 0)
        properties.AddMacro("PS_EMISSIVE1", nullptr);
    if ((m.m_uiParallaxMode & 1) != 0)
        properties.AddMacro("PS_PARALLAX0", nullptr);
    if ((m.m_uiParallaxMode & 2) != 0)
        properties.AddMacro("PS_PARALLAX1", nullptr);
    if (m.m_uiAlphaBlend != 0)
        properties.AddMacro("PS_ALPHABLEND", nullptr);
    static const char* const UV_OFFSETS[4] = {"PS_UVOFFSETS0", "PS_UVOFFSETS1", "PS_UVOFFSETS2",
                                              "PS_UVOFFSETS3"};
    for (std::uint32_t uiBit = 0; uiBit < 4; ++uiBit)
        if ((m.m_uiUVOffsetMask & (1u << uiBit)) != 0)
            properties.AddMacro(UV_OFFSETS[uiBit], nullptr);
}

} // namespace

void KR_MaterialManager::BuildVertexShaderProperties(KR_ShaderProperties& properties,
                                                     const std::uint8_t* pVertexFormat)
{
    static const char* const MACROS[7] = {"VS_IN_NORMAL", "VS_IN_TANGENT", "VS_IN_UV0",    "VS_IN_UV1",
                                          "VS_IN_UV2",    "VS_IN_UV3",     "VS_IN_SKINNED"};
    properties = KR_ShaderProperties();
    properties.SetShaderStage(KR_SHADER_STAGE_VERTEX, VERTEX_SHADER_FILE, "MainVS");
    const std::uint8_t uiFormat = pVertexFormat != nullptr ? *pVertexFormat : 1;
    for (int iBit = 1; iBit < 8; ++iBit)
        if ((uiFormat & (1u << iBit)) != 0)
            properties.AddMacro(MACROS[iBit - 1], nullptr);
}

KR_MaterialManager::StateChoice KR_MaterialManager::ChooseStates(const KR_Material& material)
{
    StateChoice choice;
    if (material.m_uiTransparency != 0)
        choice = {0, 2, 0};
    else if (material.m_uiAdditiveAlpha != 0)
        choice = {2, 2, 0};
    else if (material.m_uiAlphaBlend != 0)
        choice = {1, 2, 0};
    choice.uiRasterizer = material.m_uiFragmentable != 0 ? 1 : 0;
    return choice;
}

void KR_MaterialManager::SetStates(KR_ShaderProgram* pProgram, const StateChoice& choice) const
{
    pProgram->m_pBlendState = m_apBlendStates[choice.uiBlend];
    pProgram->m_pDepthStencilState = m_apDepthStencilStates[choice.uiDepthStencil];
    pProgram->m_pRasterizerState = m_apRasterizerStates[choice.uiRasterizer];
}

const char* KR_MaterialManager::GetSpecialText(std::uint32_t uiSpecial)
{
    const KB_String sText = KB_String::Formatted("%i", static_cast<int>(uiSpecial));
    std::lock_guard<std::mutex> lock(m_oSpecialMutex);
    return m_setSpecialTexts.insert(std::string(sText.GetBuffer())).first->c_str();
}

bool KR_MaterialManager::BuildMaterialShaderProperties(KR_ShaderProperties& properties, KR_RenderPass pass,
                                                       const KB_String& sMaterialId,
                                                       const std::uint8_t* pVertexFormat, bool bInstanced)
{
    const KR_Material* pMaterial = GetMaterial(sMaterialId);
    if (pMaterial == nullptr)
        return false;
    const KR_Material& m = *pMaterial;
    const std::uint8_t uiFormat = pVertexFormat != nullptr ? *pVertexFormat : 1;
    const bool bSkinned = (uiFormat & 0x80) != 0;
    const bool bGeometry = m.m_uiFragmentable != 0;
    BuildVertexShaderProperties(properties, &uiFormat);
    if (bInstanced)
        properties.AddMacro("VS_IN_INSTANCED", nullptr);
    if (bGeometry)
        properties.SetShaderStage(KR_SHADER_STAGE_GEOMETRY, GEOMETRY_SHADER_FILE, "MainGS");
    properties.SetShaderStage(KR_SHADER_STAGE_PIXEL, PIXEL_SHADER_FILE, "MainPS");

    if (pass == KR_RENDER_PASS_COLOR)
    {
        AddColorPassOutputs(properties, m, bGeometry, bSkinned, bInstanced);
        AddColorPassPixelMacros(properties, m);
        if (m.m_uiSpecial != KR_Material::NO_SPECIAL)
            properties.AddMacro("PS_SPECIAL", GetSpecialText(m.m_uiSpecial));
    }
    else if (pass == KR_RENDER_PASS_SHADOW_MAP)
    {
        if (bGeometry)
        {
            AddPassThroughMacros(properties, bSkinned, bInstanced);
            properties.AddMacro("GS_OUT_PROJECTEDZ", nullptr);
        }
        else
        {
            properties.AddMacro("VS_OUT_PROJECTEDZ", nullptr);
        }
        const StateChoice choice = ChooseStates(m);
        properties.AddMacro("PS_SHADOWMAP", nullptr);
        properties.AddMacro("BLENDSTATE", BLEND_STATE_NAMES[choice.uiBlend]);
        properties.AddMacro("DEPTHSTENCILSTATE", DEPTH_STENCIL_STATE_NAMES[choice.uiDepthStencil]);
    }
    return true;
}

KR_ShaderProgram* KR_MaterialManager::BuildMaterialShaderProperties(KR_RenderPass pass,
                                                                    const KB_String& sMaterialId,
                                                                    const std::uint8_t* pVertexFormat,
                                                                    bool bInstanced)
{
    KR_ShaderProperties properties;
    if (!BuildMaterialShaderProperties(properties, pass, sMaterialId, pVertexFormat, bInstanced))
        return nullptr;
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    KR_ShaderProgram* pProgram = pResources != nullptr ? pResources->GetShaderProgram(&properties) : nullptr;
    if (pProgram != nullptr)
    {
        std::lock_guard<std::mutex> lock(m_oProgramStatesMutex);
        SetStates(pProgram, ChooseStates(*GetMaterial(sMaterialId)));
    }
    return pProgram;
}

void KR_MaterialManager::BuildSimpleShaderProperties(KR_ShaderProperties& properties,
                                                     KR_SimpleShaderType type,
                                                     const std::uint8_t* pVertexFormat, bool bPassThrough)
{
    BuildVertexShaderProperties(properties, pVertexFormat);
    if (bPassThrough)
        properties.AddMacro("VS_PASSTHROUGH", nullptr);
    properties.SetShaderStage(KR_SHADER_STAGE_PIXEL, PIXEL_SHADER_FILE, "MainPS");
    switch (type)
    {
    case KR_SIMPLE_SHADER_LOADER:
        properties.AddMacro("PS_LOADER", nullptr);
        break;
    case KR_SIMPLE_SHADER_FIXED_COLOR:
        properties.AddMacro("PS_FIXEDCOLOR", nullptr);
        break;
    case KR_SIMPLE_SHADER_HEADLIGHT:
        properties.AddMacro("PS_HEADLIGHT", nullptr);
        break;
    case KR_SIMPLE_SHADER_DEBUG_TEXTURE:
        properties.AddMacro("VS_OUT_UV0", nullptr);
        properties.AddMacro("PS_DEBUGTEXTURE", nullptr);
        break;
    case KR_SIMPLE_SHADER_DEBUG_TEXTURE_FADING:
        properties.AddMacro("VS_OUT_UV0", nullptr);
        properties.AddMacro("PS_DEBUGTEXTURE", nullptr);
        properties.AddMacro("PS_ALPHABLEND", nullptr);
        properties.AddMacro("PS_ALPHABLEND_TIMEPROGRESSION", nullptr);
        break;
    default:
        break;
    }
}

KR_ShaderProgram* KR_MaterialManager::BuildSimpleShaderProperties(KR_SimpleShaderType type,
                                                                  const std::uint8_t* pVertexFormat,
                                                                  bool bPassThrough)
{
    KR_ShaderProperties properties;
    BuildSimpleShaderProperties(properties, type, pVertexFormat, bPassThrough);
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    KR_ShaderProgram* pProgram = pResources != nullptr ? pResources->GetShaderProgram(&properties) : nullptr;
    if (pProgram != nullptr)
    {
        const bool bTexture =
            type == KR_SIMPLE_SHADER_DEBUG_TEXTURE || type == KR_SIMPLE_SHADER_DEBUG_TEXTURE_FADING;
        std::lock_guard<std::mutex> lock(m_oProgramStatesMutex);
        SetStates(pProgram, bTexture ? StateChoice{1, 0, 0} : StateChoice{0, 1, 0});
    }
    return pProgram;
}

void KR_MaterialManager::BuildOITShaderProperties(KR_ShaderProperties& properties,
                                                  const std::uint8_t* pVertexFormat)
{
    BuildVertexShaderProperties(properties, pVertexFormat);
    properties.AddMacro("VS_PASSTHROUGH", nullptr);
    properties.SetShaderStage(KR_SHADER_STAGE_PIXEL, OIT_SHADER_FILE, "MainPS");
    properties.AddMacro("PS_IN_SAMPLEINDEX", nullptr);
}

KR_ShaderProgram* KR_MaterialManager::BuildOITShaderProperties(const std::uint8_t* pVertexFormat)
{
    KR_ShaderProperties properties;
    BuildOITShaderProperties(properties, pVertexFormat);
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    KR_ShaderProgram* pProgram = pResources != nullptr ? pResources->GetShaderProgram(&properties) : nullptr;
    if (pProgram != nullptr)
    {
        std::lock_guard<std::mutex> lock(m_oProgramStatesMutex);
        SetStates(pProgram, StateChoice{1, 0, 0});
    }
    return pProgram;
}
