// The controller pass of KR_ColladaImporter: each instanced skin binds its geometry to the
// skeletons its joints name and leaves one skin record per position index.

#include "render/models/KR_ColladaImporter.h"

#include "framework/core/KB_GrowingArray.h"
#include "render/models/KR_ColladaReaders.h"
#include "render/models/KR_MeshSkinnedAnimationResource.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <tinyxml.h>
#include <unordered_set>

using namespace DirectX;
using namespace KR_ColladaReaders;

namespace
{

// Bone numbers are 8 bits wide and the shader keeps this many bone matrices.
constexpr std::uint32_t MAX_BONES = 256;
constexpr int MAX_INFLUENCES = 4;

// The int attribute pName; false when absent or not a number.
bool ReadIntAttribute(const TiXmlElement* pElement, const char* pName, int& iValue)
{
    return pElement->Attribute(pName) != nullptr &&
           pElement->QueryIntAttribute(pName, &iValue) == TIXML_SUCCESS;
}

// The skin's sources by id: float arrays and name arrays. False on a source that does not parse
// or a skin without sources.
bool ReadSkinSources(const TiXmlElement* pSkin,
                     std::unordered_map<std::string, std::vector<float>>& floatSources,
                     std::unordered_map<std::string, std::vector<std::string>>& nameSources)
{
    if (pSkin->FirstChildElement("source") == nullptr)
        return false;
    for (const TiXmlElement* pSource = pSkin->FirstChildElement("source"); pSource != nullptr;
         pSource = pSource->NextSiblingElement("source"))
    {
        const char* pSourceId = pSource->Attribute("id");
        if (pSourceId == nullptr)
            continue;
        if (const TiXmlElement* pArray = pSource->FirstChildElement("float_array"))
            if (!ParseFloatArray(pArray, floatSources[pSourceId]))
                return false;
        if (const TiXmlElement* pArray = pSource->FirstChildElement("Name_array"))
            if (!ParseNameArray(pArray, nameSources[pSourceId]))
                return false;
    }
    return true;
}

// The record's skeleton from the roots the joints took (under an added root when there are
// several, which makes every bone number one higher), with the inverse bind matrices in bone
// order: bone b takes the matrix of the first joint whose bone it is. False when a bone has no
// matrix, the skeleton has too many bones or the matrices do not fit it.
bool BindSkeleton(std::vector<std::unique_ptr<KR_MeshSkinnedAnimationResource>>& vRoots,
                  const std::vector<std::uint32_t>& vJointBones, const std::vector<XMMATRIX>& vInverseBinds,
                  KR_ColladaControllerRecord& record)
{
    const std::size_t uiMatrices = vInverseBinds.size();
    std::vector<std::size_t> vJointOfBone(uiMatrices, std::numeric_limits<std::size_t>::max());
    for (std::size_t j = vJointBones.size(); j-- > 0;)
        if (vJointBones[j] < uiMatrices && j < uiMatrices)
            vJointOfBone[vJointBones[j]] = j;
    KB_GrowingArray<XMMATRIX> gBoneBinds;
    const bool bAddedRoot = vRoots.size() > 1;
    if (bAddedRoot)
        gBoneBinds.Add(XMMatrixIdentity());
    for (std::size_t b = 0; b < uiMatrices; ++b)
    {
        if (vJointOfBone[b] == std::numeric_limits<std::size_t>::max())
            return false;
        gBoneBinds.Add(vInverseBinds[vJointOfBone[b]]);
    }

    if (bAddedRoot)
    {
        record.pSkeleton.reset(new (std::nothrow)
                                   KR_MeshSkinnedAnimationResource(nullptr, KB_String(), XMMatrixIdentity()));
        if (record.pSkeleton == nullptr)
            return false;
        for (auto& pRoot : vRoots)
            record.pSkeleton->AddChild(pRoot.release());
    }
    else
    {
        record.pSkeleton = std::move(vRoots.front());
    }
    if (record.pSkeleton->GetBoneCount() > MAX_BONES)
        return false;
    std::uint32_t uiBindIndex = 0;
    record.pSkeleton->SetBindMatrices(gBoneBinds, &uiBindIndex);
    return uiBindIndex == gBoneBinds.GetNumMembers();
}

// A skin's influences as the document lists them: the number per vertex and the flat
// (joint, weight) index pairs, at the offsets of the JOINT and WEIGHT inputs.
struct SkinInfluences
{
    std::vector<int> vCounts;
    std::vector<int> vPairs;
    int iJointOffset = -1;
    int iWeightOffset = -1;
    const std::vector<float>* pWeightValues = nullptr; // not owned: one of the skin's float sources
};

// The influences of pSkin's "vertex_weights"; false when an input, a count or the index list is
// missing or out of range.
bool ReadSkinInfluences(const TiXmlElement* pSkin,
                        const std::unordered_map<std::string, std::vector<float>>& floatSources,
                        SkinInfluences& influences)
{
    const TiXmlElement* pWeights = pSkin->FirstChildElement("vertex_weights");
    if (pWeights == nullptr || pWeights->FirstChildElement("input") == nullptr)
        return false;
    int iMaxOffset = -1;
    for (const TiXmlElement* pInput = pWeights->FirstChildElement("input"); pInput != nullptr;
         pInput = pInput->NextSiblingElement("input"))
    {
        const char* pSemantic = pInput->Attribute("semantic");
        int iOffset = 0;
        std::string sSource;
        if (pSemantic == nullptr || !ReadIntAttribute(pInput, "offset", iOffset) ||
            !ReadLocalReference(pInput, "source", sSource))
            return false;
        iMaxOffset = std::max(iMaxOffset, iOffset);
        if (std::strcmp(pSemantic, "JOINT") == 0 && influences.iJointOffset < 0)
        {
            influences.iJointOffset = iOffset;
        }
        else if (std::strcmp(pSemantic, "WEIGHT") == 0 && influences.pWeightValues == nullptr)
        {
            const auto floats = floatSources.find(sSource);
            if (floats == floatSources.end() || floats->second.empty())
                return false;
            influences.iWeightOffset = iOffset;
            influences.pWeightValues = &floats->second;
        }
    }
    // Each influence is one (joint, weight) pair: the offsets are 0 and 1.
    int iCount = 0;
    const TiXmlElement* pVCount = pWeights->FirstChildElement("vcount");
    if (influences.iJointOffset < 0 || influences.iWeightOffset < 0 || iMaxOffset != 1 ||
        pVCount == nullptr || !ReadIntAttribute(pWeights, "count", iCount) || iCount < 1)
        return false;
    if (!ParseIntArray(pVCount, influences.vCounts, iCount))
        return false;
    std::int64_t iSum = 0;
    for (const int iInfluences : influences.vCounts)
    {
        if (iInfluences < 0 || iInfluences > MAX_INFLUENCES)
            return false;
        iSum += iInfluences;
    }
    const TiXmlElement* pV = pWeights->FirstChildElement("v");
    return iSum > 0 && pV != nullptr && 2 * iSum <= std::numeric_limits<int>::max() &&
           ParseIntArray(pV, influences.vPairs, static_cast<int>(2 * iSum)) &&
           static_cast<std::int64_t>(influences.vPairs.size()) == 2 * iSum;
}

// One skin record per vertex of the influences, weights normalised, bones numbered in a skeleton
// of uiBones bones (uiBoneShift added for an added root). False when an index names no joint or
// weight, or a joint no bone of the skeleton.
bool BuildSkinRecords(const SkinInfluences& influences, const std::vector<std::uint32_t>& vJointBones,
                      std::uint32_t uiBoneShift, std::uint32_t uiBones,
                      std::vector<KR_SkinRecord>& vSkinRecords)
{
    const std::vector<float>& vWeights = *influences.pWeightValues;
    const std::vector<int>& vPairs = influences.vPairs;
    vSkinRecords.reserve(influences.vCounts.size());
    std::size_t uiCursor = 0;
    for (const int iInfluences : influences.vCounts)
    {
        KR_SkinRecord skin;
        float fSum = 0.0f;
        for (int s = 0; s < iInfluences; ++s, uiCursor += 2)
        {
            const int iJoint = vPairs[uiCursor + static_cast<std::size_t>(influences.iJointOffset)];
            const int iWeight = vPairs[uiCursor + static_cast<std::size_t>(influences.iWeightOffset)];
            // Every index must name a weight and a joint, and the joint a bone of this skeleton.
            if (iJoint < 0 || static_cast<std::size_t>(iJoint) >= vJointBones.size() || iWeight < 0 ||
                static_cast<std::size_t>(iWeight) >= vWeights.size())
                return false;
            const std::uint32_t uiBone = vJointBones[static_cast<std::size_t>(iJoint)] + uiBoneShift;
            if (uiBone >= uiBones)
                return false;
            skin.fWeights[s] = vWeights[static_cast<std::size_t>(iWeight)];
            skin.uiBones[s] = static_cast<std::uint8_t>(uiBone);
            fSum += skin.fWeights[s];
        }
        if (fSum > 0.0f && std::isfinite(fSum))
        {
            for (float& fWeight : skin.fWeights)
                fWeight /= fSum;
        }
        else
        {
            // No influence (or weights that cannot be normalised): the vertex follows bone 0, the
            // root, instead of collapsing to the origin or becoming NaN.
            skin = KR_SkinRecord();
            skin.fWeights[0] = 1.0f;
        }
        vSkinRecords.push_back(skin);
    }
    return true;
}

} // namespace

bool KR_ColladaImporter::ParseControllers(const TiXmlElement* pLibrary)
{
    const TiXmlElement* pController = pLibrary->FirstChildElement("controller");
    if (pController == nullptr)
        return false;
    for (; pController != nullptr; pController = pController->NextSiblingElement("controller"))
        if (!ParseSkin(pController))
            return false;
    return true;
}

bool KR_ColladaImporter::ParseSkin(const TiXmlElement* pController)
{
    // Only controllers the scene instances are read.
    const std::string sId = AttributeText(pController, "id");
    if (sId.empty() || std::find(m_vInstancedControllerIds.begin(), m_vInstancedControllerIds.end(), sId) ==
                           m_vInstancedControllerIds.end())
        return true;

    const TiXmlElement* pSkin = pController->FirstChildElement("skin");
    std::string sGeometryId;
    if (pSkin == nullptr || !ReadLocalReference(pSkin, "source", sGeometryId))
        return false;
    std::unique_ptr<KR_ColladaControllerRecord> pRecord(new (std::nothrow) KR_ColladaControllerRecord());
    if (pRecord == nullptr)
        return false;
    if (const TiXmlElement* pBindShape = pSkin->FirstChildElement("bind_shape_matrix"))
        if (!ParseMatrix(pBindShape, pRecord->mBindShape))
            return false;

    std::unordered_map<std::string, std::vector<float>> floatSources;
    std::unordered_map<std::string, std::vector<std::string>> nameSources;
    if (!ReadSkinSources(pSkin, floatSources, nameSources))
        return false;

    std::vector<std::unique_ptr<KR_MeshSkinnedAnimationResource>> vRoots;
    std::vector<std::uint32_t> vJointBones;
    std::vector<XMMATRIX> vInverseBinds;
    if (!ParseSkinJoints(pSkin, floatSources, nameSources, vRoots, vJointBones, vInverseBinds))
        return false;
    const std::uint32_t uiBoneShift = vRoots.size() > 1 ? 1 : 0;
    if (!BindSkeleton(vRoots, vJointBones, vInverseBinds, *pRecord))
        return false;

    SkinInfluences influences;
    if (!ReadSkinInfluences(pSkin, floatSources, influences) ||
        !BuildSkinRecords(influences, vJointBones, uiBoneShift, pRecord->pSkeleton->GetBoneCount(),
                          pRecord->vSkinRecords))
        return false;

    // A later controller of the same geometry replaces the earlier record, which is freed with
    // its skeleton.
    m_mapControllerRecords[sGeometryId] = std::move(pRecord);
    return true;
}

bool KR_ColladaImporter::ParseSkinJoints(
    const TiXmlElement* pSkin, const std::unordered_map<std::string, std::vector<float>>& floatSources,
    const std::unordered_map<std::string, std::vector<std::string>>& nameSources,
    std::vector<std::unique_ptr<KR_MeshSkinnedAnimationResource>>& vRoots,
    std::vector<std::uint32_t>& vJointBones, std::vector<XMMATRIX>& vInverseBinds)
{
    const TiXmlElement* pJoints = pSkin->FirstChildElement("joints");
    if (pJoints == nullptr || pJoints->FirstChildElement("input") == nullptr)
        return false;
    bool bJoints = false;
    bool bInverseBinds = false;
    for (const TiXmlElement* pInput = pJoints->FirstChildElement("input"); pInput != nullptr;
         pInput = pInput->NextSiblingElement("input"))
    {
        const char* pSemantic = pInput->Attribute("semantic");
        if (pSemantic == nullptr || pInput->Attribute("source") == nullptr)
            continue;
        std::string sSource;
        if (!ReadLocalReference(pInput, "source", sSource))
            return false;
        if (std::strcmp(pSemantic, "JOINT") == 0)
        {
            bJoints = true;
            const auto names = nameSources.find(sSource);
            const std::vector<std::string> vNames =
                names != nameSources.end() ? names->second : std::vector<std::string>();
            std::uint32_t uiOffset = 0;
            for (const std::string& sName : vNames)
            {
                const auto root = m_mapSkeletonRoots.find(sName);
                if (root == m_mapSkeletonRoots.end() || root->second == nullptr)
                    continue;
                // Every bone is named by its node id, so every bone of this skeleton moves past
                // the bones of the skeletons taken before it.
                KB_GrowingArray<KB_String> gBoneNames;
                root->second->CollectBoneNames(gBoneNames);
                std::unordered_set<std::string> offsetDone;
                for (std::uint32_t i = 0; i < gBoneNames.GetNumMembers(); ++i)
                {
                    std::string sBone(gBoneNames[i].GetBuffer(), gBoneNames[i].GetLength());
                    const auto number = m_mapBoneNumbers.find(sBone);
                    if (number != m_mapBoneNumbers.end() && offsetDone.insert(sBone).second)
                        number->second += uiOffset;
                }
                uiOffset += root->second->GetBoneCount();
                vRoots.push_back(std::move(root->second));
            }
            vJointBones.clear();
            for (const std::string& sName : vNames)
            {
                const auto number = m_mapBoneNumbers.find(sName);
                vJointBones.push_back(number != m_mapBoneNumbers.end() ? number->second : 0);
            }
        }
        else if (std::strcmp(pSemantic, "INV_BIND_MATRIX") == 0)
        {
            bInverseBinds = true;
            const auto floats = floatSources.find(sSource);
            if (floats == floatSources.end() || floats->second.empty() ||
                !ParseMatrixArray(floats->second, vInverseBinds))
                return false;
        }
    }
    return bJoints && bInverseBinds && !vRoots.empty();
}
