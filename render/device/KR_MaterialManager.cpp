#include "render/device/KR_MaterialManager.h"

#include "framework/app/KE_ApplicationManager.h"
#include "framework/files/KU_XmlUtilities.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_ManagedShaderResourceView.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/device/KR_ShaderProgram.h"
#include "render/device/KR_ShaderProperties.h"
#include "render/device/KR_UtilitiesDX11.h"
#include "render/effects/KR_OITRenderer.h"

#include <tinyxml.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>

namespace
{

constexpr const char* VERTEX_SHADER_FILE = "Assets/Shader/KR_VertexShader.hlsl";
constexpr const char* GEOMETRY_SHADER_FILE = "Assets/Shader/KR_GeometryShader.hlsl";
constexpr const char* PIXEL_SHADER_FILE = "Assets/Shader/KR_PixelShader.hlsl";
constexpr const char* OIT_SHADER_FILE = "Assets/Shader/KR_OITShader.hlsl";

// The names the shadow pass hands the pixel shader for each state index.
constexpr const char* BLEND_STATE_NAMES[3] = {"DISABLED", "ENABLEALPHABLENDING", "ADDITIVEBLENDING"};
constexpr const char* DEPTH_STENCIL_STATE_NAMES[3] = {"DISABLED", "ENABLED", "ENABLEDNOUPDATE"};

KE_ApplicationManager* Engine()
{
    return KE_ApplicationManager::GetInstance();
}

KR_GraphicsResourceManager* ResourceManager()
{
    return Engine() != nullptr ? Engine()->GetGraphicsResourceManager() : nullptr;
}

// An integer attribute: decimal text with optional sign and leading white space, anything may
// follow the digits. Missing or without digits: false, the value untouched. Values beyond the int
// range are clamped, so a hostile file cannot make the reading undefined.
bool ReadInt(const TiXmlElement* pElement, const char* pName, int* pValue)
{
    const char* pText = pElement->Attribute(pName);
    if (pText == nullptr)
        return false;
    char* pEnd = nullptr;
    const long long iValue = std::strtoll(pText, &pEnd, 10);
    if (pEnd == pText)
        return false;
    *pValue = static_cast<int>(std::clamp<long long>(iValue, INT_MIN, INT_MAX));
    return true;
}

bool ReadDouble(const TiXmlElement* pElement, const char* pName, double* pValue)
{
    const char* pText = pElement->Attribute(pName);
    if (pText == nullptr)
        return false;
    char* pEnd = nullptr;
    const double fValue = std::strtod(pText, &pEnd);
    if (pEnd == pText)
        return false;
    *pValue = fValue;
    return true;
}

void ReadUInt32(const TiXmlElement* pElement, const char* pName, std::uint32_t* pValue)
{
    int iValue = 0;
    if (ReadInt(pElement, pName, &iValue))
        *pValue = static_cast<std::uint32_t>(iValue);
}

void ReadClamped(const TiXmlElement* pElement, const char* pName, int iMax, std::uint32_t* pValue)
{
    int iValue = 0;
    if (ReadInt(pElement, pName, &iValue))
        *pValue = static_cast<std::uint32_t>(std::clamp(iValue, 0, iMax));
}

void ReadBool(const TiXmlElement* pElement, const char* pName, std::uint8_t* pValue)
{
    int iValue = 0;
    if (ReadInt(pElement, pName, &iValue))
        *pValue = iValue != 0 ? 1 : 0;
}

void ReadFloat(const TiXmlElement* pElement, const char* pName, float* pValue)
{
    double fValue = 0.0;
    if (ReadDouble(pElement, pName, &fValue))
        *pValue = static_cast<float>(fValue);
}

// The texture of an entry's "path"; null without one or without a resource manager.
KR_ManagedShaderResourceView* ReadTexture(const TiXmlElement* pElement)
{
    const char* pPath = pElement->Attribute("path");
    KR_GraphicsResourceManager* pResources = ResourceManager();
    if (pPath == nullptr || pResources == nullptr)
        return nullptr;
    return pResources->GetShaderResourceViewFromFile(KB_String(pPath));
}

// The entry index of a channel element; false when it is above the cap (the element is ignored).
bool ReadIndex(const TiXmlElement* pElement, std::uint32_t* pIndex)
{
    int iIndex = 0;
    ReadInt(pElement, "index", &iIndex);
    *pIndex = static_cast<std::uint32_t>(std::max(iIndex, 0));
    return *pIndex <= KR_MaterialManager::MAX_CHANNEL_INDEX;
}

// Pads the list with default entries until it holds the index, then puts the entry there.
template <class T>
void StoreEntry(KB_GrowingArray<T>& gList, std::uint32_t uiIndex, const T& entry)
{
    while (gList.GetNumMembers() <= uiIndex)
        gList.Add(T());
    gList[uiIndex] = entry;
}

void ReadTilingEntry(const TiXmlElement* pElement, KR_TilingChannel* pEntry)
{
    double fTile = 1.0;
    ReadDouble(pElement, "tile", &fTile);
    pEntry->m_fTile = static_cast<float>(fTile);
    // A tile of exactly 0 means no texture: its path is not even requested.
    if (fTile == 0.0)
        return;
    ReadUInt32(pElement, "uv_channel", &pEntry->m_uiUVChannel);
    pEntry->m_pTexture = ReadTexture(pElement);
}

void ReadTilingChannels(const TiXmlElement* pMaterial, const char* pName,
                        KB_GrowingArray<KR_TilingChannel>& gList)
{
    for (const TiXmlElement* pElement = pMaterial->FirstChildElement(pName); pElement != nullptr;
         pElement = pElement->NextSiblingElement(pName))
    {
        std::uint32_t uiIndex = 0;
        if (!ReadIndex(pElement, &uiIndex))
            continue;
        KR_TilingChannel entry;
        ReadTilingEntry(pElement, &entry);
        StoreEntry(gList, uiIndex, entry);
    }
}

void ReadSpecularChannels(const TiXmlElement* pMaterial, KB_GrowingArray<KR_SpecularChannel>& gList)
{
    for (const TiXmlElement* pElement = pMaterial->FirstChildElement("specular"); pElement != nullptr;
         pElement = pElement->NextSiblingElement("specular"))
    {
        std::uint32_t uiIndex = 0;
        if (!ReadIndex(pElement, &uiIndex))
            continue;
        KR_SpecularChannel entry;
        ReadFloat(pElement, "power", &entry.m_fPower);
        ReadTilingEntry(pElement, &entry);
        StoreEntry(gList, uiIndex, entry);
    }
}

void ReadCubeMapChannels(const TiXmlElement* pMaterial, KR_Material& material)
{
    for (const TiXmlElement* pElement = pMaterial->FirstChildElement("cubemap"); pElement != nullptr;
         pElement = pElement->NextSiblingElement("cubemap"))
    {
        std::uint32_t uiIndex = 0;
        if (!ReadIndex(pElement, &uiIndex))
            continue;
        KR_Channel entry;
        ReadUInt32(pElement, "uv_channel", &entry.m_uiUVChannel);
        entry.m_pTexture = ReadTexture(pElement);
        material.m_uiCubeMapMissing = entry.m_pTexture == nullptr ? 1 : 0;
        StoreEntry(material.m_gCubeMap, uiIndex, entry);
    }
}

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

// ---- The library

bool KR_MaterialManager::LoadMaterialLibrary()
{
    m_mMaterials.clear();
    // Programs of the debug material may change with the library.
    for (auto& aPrograms : m_apDebugPrograms)
        aPrograms[0] = aPrograms[1] = nullptr;
    for (auto& abBuilt : m_abDebugProgramBuilt)
        abBuilt[0] = abBuilt[1] = false;
    KE_ApplicationManager* pEngine = Engine();
    if (pEngine == nullptr)
        return false;
    m_sLibraryPath = pEngine->GetMaterialFilePath();
    std::unique_ptr<TiXmlDocument> pDocument(
        KU_XmlUtilities::LoadXmlDocument(pEngine->GetFileManager(), m_sLibraryPath));
    if (pDocument == nullptr)
        return false;
    const TiXmlElement* pRoot = pDocument->RootElement();
    if (pRoot == nullptr || pRoot->ValueStr() != "material_library")
        return false;
    for (const TiXmlElement* pElement = pRoot->FirstChildElement("material"); pElement != nullptr;
         pElement = pElement->NextSiblingElement("material"))
    {
        KR_Material material;
        ParseMaterial(pElement, material);
    }
    for (const TiXmlElement* pElement = pRoot->FirstChildElement("derivedMaterial"); pElement != nullptr;
         pElement = pElement->NextSiblingElement("derivedMaterial"))
        ParseDerivedMaterial(pElement);
    return true;
}

bool KR_MaterialManager::ParseMaterial(const TiXmlElement* pElement, KR_Material& material)
{
    const char* pId = pElement != nullptr ? pElement->Attribute("id") : nullptr;
    if (pId == nullptr)
        return false;
    material.m_sId = pId;
    ReadUInt32(pElement, "uv_channel_count", &material.m_uiUVChannelCount);
    ReadBool(pElement, "normals", &material.m_uiNormals);
    ReadBool(pElement, "skinnedAnimation", &material.m_uiSkinnedAnimation);
    ReadClamped(pElement, "emissive", 3, &material.m_uiEmissiveMode);
    ReadBool(pElement, "directionalLight", &material.m_uiDirectionalLight);
    ReadBool(pElement, "dynamicLights", &material.m_uiDynamicLights);
    ReadBool(pElement, "fog", &material.m_uiFog);
    ReadBool(pElement, "tangents", &material.m_uiTangents);
    ReadClamped(pElement, "pom", 3, &material.m_uiParallaxMode);
    ReadBool(pElement, "additiveAlpha", &material.m_uiAdditiveAlpha);
    ReadBool(pElement, "alphaBlend", &material.m_uiAlphaBlend);
    ReadClamped(pElement, "uvOffsets", 15, &material.m_uiUVOffsetMask);
    ReadBool(pElement, "oit", &material.m_uiTransparency);
    if (const char* pColor = pElement->Attribute("ambientLightColor"))
        material.m_AmbientLightColor.ParseFromWebColor(KB_String(pColor));
    ReadUInt32(pElement, "special", &material.m_uiSpecial);
    ReadBool(pElement, "fragmentable", &material.m_uiFragmentable);
    if (const TiXmlElement* pParallax = pElement->FirstChildElement("parallaxOcclusion"))
    {
        ReadUInt32(pParallax, "minSamples", &material.m_uiMinSamples);
        ReadUInt32(pParallax, "maxSamples", &material.m_uiMaxSamples);
        ReadFloat(pParallax, "heightScale", &material.m_fHeightScale);
        // Spelt so in every stored library.
        ReadFloat(pParallax, "heihtOffset", &material.m_fHeightOffset);
    }
    ReadTilingChannels(pElement, "diffuse", material.m_gDiffuse);
    ReadTilingChannels(pElement, "normal", material.m_gNormal);
    ReadSpecularChannels(pElement, material.m_gSpecular);
    ReadTilingChannels(pElement, "roughness", material.m_gRoughness);
    ReadTilingChannels(pElement, "gloss", material.m_gGloss);
    ReadTilingChannels(pElement, "mask", material.m_gMask);
    ReadTilingChannels(pElement, "lightmap", material.m_gLightmap);
    ReadTilingChannels(pElement, "ambientocclusion", material.m_gAmbientOcclusion);
    ReadCubeMapChannels(pElement, material);
    ReadTilingChannels(pElement, "heightmap", material.m_gHeightmap);
    ReadTilingChannels(pElement, "transparency", material.m_gTransparency);
    m_mMaterials[material.m_sId] = material;
    return true;
}

bool KR_MaterialManager::ParseDerivedMaterial(const TiXmlElement* pElement)
{
    const char* pBase = pElement != nullptr ? pElement->Attribute("baseMaterial") : nullptr;
    if (pBase == nullptr)
        return false;
    auto found = m_mMaterials.find(KB_String(pBase));
    if (found == m_mMaterials.end())
        return false;
    KR_Material material = found->second;
    return ParseMaterial(pElement, material);
}

const KR_Material* KR_MaterialManager::GetMaterial(const KB_String& sId) const
{
    auto found = m_mMaterials.find(sId);
    return found != m_mMaterials.end() ? &found->second : nullptr;
}

// ---- Permutations

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
    std::lock_guard<std::mutex> lock(m_SpecialMutex);
    return m_sSpecialTexts.insert(std::string(sText.GetBuffer())).first->c_str();
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
        static const char* const VS_UV[4] = {"VS_OUT_UV0", "VS_OUT_UV1", "VS_OUT_UV2", "VS_OUT_UV3"};
        static const char* const GS_UV[4] = {"GS_OUT_UV0", "GS_OUT_UV1", "GS_OUT_UV2", "GS_OUT_UV3"};
        const std::uint32_t uiUVSets = std::min(m.m_uiUVChannelCount, 4u);
        const bool bWorldPosition = m.m_uiDirectionalLight != 0 || m.m_uiDynamicLights != 0 ||
                                    m.m_uiFog != 0 || m.m_gCubeMap.GetNumMembers() > 0;
        if (bGeometry)
        {
            properties.AddMacro("VS_PASSTHROUGH", nullptr);
            if (bSkinned)
                properties.AddMacro("VS_OUT_SKINNED", nullptr);
            if (bInstanced)
                properties.AddMacro("VS_OUT_INSTANCED", nullptr);
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
        if (m.m_uiSpecial != KR_Material::NO_SPECIAL)
            properties.AddMacro("PS_SPECIAL", GetSpecialText(m.m_uiSpecial));
    }
    else if (pass == KR_RENDER_PASS_SHADOW_MAP)
    {
        if (bGeometry)
        {
            properties.AddMacro("VS_PASSTHROUGH", nullptr);
            if (bSkinned)
                properties.AddMacro("VS_OUT_SKINNED", nullptr);
            if (bInstanced)
                properties.AddMacro("VS_OUT_INSTANCED", nullptr);
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
    KR_GraphicsResourceManager* pResources = ResourceManager();
    KR_ShaderProgram* pProgram = pResources != nullptr ? pResources->GetShaderProgram(&properties) : nullptr;
    if (pProgram != nullptr)
    {
        std::lock_guard<std::mutex> lock(m_ProgramStatesMutex);
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
    KR_GraphicsResourceManager* pResources = ResourceManager();
    KR_ShaderProgram* pProgram = pResources != nullptr ? pResources->GetShaderProgram(&properties) : nullptr;
    if (pProgram != nullptr)
    {
        const bool bTexture =
            type == KR_SIMPLE_SHADER_DEBUG_TEXTURE || type == KR_SIMPLE_SHADER_DEBUG_TEXTURE_FADING;
        std::lock_guard<std::mutex> lock(m_ProgramStatesMutex);
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
    KR_GraphicsResourceManager* pResources = ResourceManager();
    KR_ShaderProgram* pProgram = pResources != nullptr ? pResources->GetShaderProgram(&properties) : nullptr;
    if (pProgram != nullptr)
        SetStates(pProgram, StateChoice{1, 0, 0});
    return pProgram;
}

// ---- States

bool KR_MaterialManager::CreateMaterialShaders()
{
    KR_GraphicsResourceManager* pResources = ResourceManager();
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

    KR_GraphicsDevice* pDevice = Engine()->GetGraphicsDevice();
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

// ---- Applying

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
    KE_ApplicationManager* pEngine = Engine();
    if (pEngine == nullptr)
        return;
    KR_OITRenderer* pTransparency = pEngine->GetOITRenderer();
    if (pTransparency != nullptr)
        pTransparency->EndTransparency();
    KR_ShaderCoreManager* pCore = pEngine->GetShaderCoreManager();
    if (pCore == nullptr)
        return;
    if (pass == KR_RENDER_PASS_SHADOW_MAP)
    {
        pCore->ApplyShaderProgram(pProgram);
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

    const KR_ShaderProgram* pApplied = pProgram;
    KR_ShaderProgram withStates;
    auto found = m_mMaterials.find(*pId);
    if (found != m_mMaterials.end())
    {
        const KR_Material& m = found->second;
        pCore->ResetMaterialTextures();
        if (m.m_uiTransparency != 0 && pTransparency != nullptr)
            pTransparency->BeginTransparency();
        pCore->SetObjectColor(m.m_ObjectColor.GetRGBA());
        pCore->SetAmbientLightColor(m.m_AmbientLightColor.GetRGBA());
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
        // states go to a copy, the cached program stays as it is.
        if (pProgram != nullptr)
        {
            {
                std::lock_guard<std::mutex> lock(m_ProgramStatesMutex);
                withStates = *pProgram;
            }
            SetStates(&withStates, ChooseStates(m));
            pApplied = &withStates;
        }
    }
    pCore->ApplyShaderProgram(pApplied);
}
