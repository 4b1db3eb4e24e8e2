// KR_MaterialManager: the material library, read from its XML file into materials by id.

#include "render/device/KR_MaterialManager.h"

#include "framework/app/KE_ApplicationManager.h"
#include "framework/app/KE_EngineMembers.h"
#include "framework/files/KU_XmlUtilities.h"
#include "render/device/KR_GraphicsResourceManager.h"

#include <tinyxml.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>

namespace
{

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
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
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

} // namespace

bool KR_MaterialManager::LoadMaterialLibrary()
{
    m_mapMaterials.clear();
    // Programs of the debug material may change with the library.
    for (auto& aPrograms : m_apDebugPrograms)
        aPrograms[0] = aPrograms[1] = nullptr;
    for (auto& abBuilt : m_abDebugProgramBuilt)
        abBuilt[0] = abBuilt[1] = false;
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
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
        material.m_oAmbientLightColor.ParseFromWebColor(KB_String(pColor));
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
    m_mapMaterials[material.m_sId] = material;
    return true;
}

bool KR_MaterialManager::ParseDerivedMaterial(const TiXmlElement* pElement)
{
    const char* pBase = pElement != nullptr ? pElement->Attribute("baseMaterial") : nullptr;
    if (pBase == nullptr)
        return false;
    auto found = m_mapMaterials.find(KB_String(pBase));
    if (found == m_mapMaterials.end())
        return false;
    KR_Material material = found->second;
    return ParseMaterial(pElement, material);
}

const KR_Material* KR_MaterialManager::GetMaterial(const KB_String& sId) const
{
    auto found = m_mapMaterials.find(sId);
    return found != m_mapMaterials.end() ? &found->second : nullptr;
}
