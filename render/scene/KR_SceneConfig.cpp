#include "render/scene/KR_SceneConfig.h"

#include "framework/core/KU_HashUtilities.h"

#include <tinyxml.h>

#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace
{

bool IsSceneElement(const TiXmlNode* pNode)
{
    const TiXmlElement* pElement = pNode != nullptr ? pNode->ToElement() : nullptr;
    return pElement != nullptr && pElement->Value() != nullptr &&
           strncasecmp(pElement->Value(), "scene", 5) == 0;
}

KR_SceneConfigEntry ParseScene(const TiXmlElement& scene)
{
    KR_SceneConfigEntry entry;
    for (const TiXmlNode* pChild = scene.FirstChild(); pChild != nullptr; pChild = pChild->NextSibling())
    {
        const TiXmlElement* pValue = pChild->ToElement();
        // A comment, a text node or an empty element holds no value: the default stays.
        if (pValue == nullptr || pValue->Value() == nullptr || pValue->GetText() == nullptr)
            continue;
        const double fValue = std::strtod(pValue->GetText(), nullptr);
        switch (KR_SceneConfig::HashName(pValue->Value()))
        {
        case KR_SceneConfig::DURATION_HASH:
            entry.fDuration = fValue;
            break;
        case KR_SceneConfig::NEAR_PLANE_HASH:
            entry.fNearPlane = fValue;
            break;
        case KR_SceneConfig::FAR_PLANE_HASH:
            entry.fFarPlane = fValue;
            break;
        case KR_SceneConfig::EDITOR_FAR_PLANE_HASH:
            entry.fEditorFarPlane = fValue;
            break;
        default:
            break;
        }
    }
    if (!(entry.fFarPlane > entry.fNearPlane))
        entry.fFarPlane = entry.fNearPlane;
    if (!(entry.fEditorFarPlane > entry.fFarPlane))
        entry.fEditorFarPlane = entry.fFarPlane;
    return entry;
}

} // namespace

std::uint32_t KR_SceneConfig::HashName(const char* pName)
{
    return KU_HashUtilities::HashFNV1a32(reinterpret_cast<const std::uint8_t*>(pName),
                                         static_cast<std::uint32_t>(std::strlen(pName)));
}

std::uint32_t KR_SceneConfig::Parse(const TiXmlDocument& document,
                                    KB_GrowingArray<KR_SceneConfigEntry>& gEntries)
{
    std::uint32_t uiCount = 0;
    const TiXmlElement* pFirst = document.FirstChildElement();
    for (const TiXmlNode* pNode = pFirst; IsSceneElement(pNode); pNode = pNode->NextSibling())
    {
        gEntries.Add(ParseScene(*pNode->ToElement()));
        ++uiCount;
    }
    return uiCount;
}
