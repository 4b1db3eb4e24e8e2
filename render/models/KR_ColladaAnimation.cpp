// The animation pass and the skeletons of KR_ColladaImporter: channels become node animations and
// matrix curves by target, joint nodes become bones.

#include "render/models/KR_ColladaImporter.h"

#include "render/models/KR_ColladaReaders.h"
#include "render/models/KR_MeshAnimationResource.h"
#include "render/models/KR_MeshSkinnedAnimationResource.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KB_LinearMatrixInterpolation.h"
#include "timing/KB_RotationInterpolation.h"

#include <cstring>
#include <new>
#include <tinyxml.h>

using namespace DirectX;
using namespace KR_ColladaReaders;

bool KR_ColladaImporter::ParseAnimations(const TiXmlElement* pLibrary)
{
    const TiXmlElement* pAnimation = pLibrary->FirstChildElement("animation");
    if (pAnimation == nullptr)
        return false;
    for (; pAnimation != nullptr; pAnimation = pAnimation->NextSiblingElement("animation"))
        if (!ParseAnimation(pAnimation))
            return false;
    return true;
}

bool KR_ColladaImporter::ParseAnimation(const TiXmlElement* pAnimation)
{
    // Nested animations first (the document's depth is bounded by the XML loader).
    for (const TiXmlElement* pChild = pAnimation->FirstChildElement("animation"); pChild != nullptr;
         pChild = pChild->NextSiblingElement("animation"))
        if (!ParseAnimation(pChild))
            return false;

    for (const TiXmlElement* pSource = pAnimation->FirstChildElement("source"); pSource != nullptr;
         pSource = pSource->NextSiblingElement("source"))
    {
        const char* pId = pSource->Attribute("id");
        const TiXmlElement* pArray = pSource->FirstChildElement("float_array");
        if (pId == nullptr || pArray == nullptr)
            continue;
        std::vector<float> vFloats;
        if (!ParseFloatArray(pArray, vFloats))
            return false;
        m_mapAnimationSources[pId] = std::move(vFloats);
    }

    const TiXmlElement* pSampler = pAnimation->FirstChildElement("sampler");
    if (pSampler == nullptr)
        return true;
    std::string sInput;
    std::string sOutput;
    for (const TiXmlElement* pInput = pSampler->FirstChildElement("input"); pInput != nullptr;
         pInput = pInput->NextSiblingElement("input"))
    {
        const char* pSemantic = pInput->Attribute("semantic");
        if (pSemantic == nullptr)
            continue;
        std::string* pTarget = std::strcmp(pSemantic, "INPUT") == 0    ? &sInput
                               : std::strcmp(pSemantic, "OUTPUT") == 0 ? &sOutput
                                                                       : nullptr;
        if (pTarget != nullptr && !ReadLocalReference(pInput, "source", *pTarget))
            return false;
    }
    const TiXmlElement* pChannel = pAnimation->FirstChildElement("channel");
    const char* pTarget = pChannel != nullptr ? pChannel->Attribute("target") : nullptr;
    if (sInput.empty() || sOutput.empty() || pTarget == nullptr)
        return false;

    static const std::vector<float> s_vNone;
    const auto input = m_mapAnimationSources.find(sInput);
    const auto output = m_mapAnimationSources.find(sOutput);
    const std::vector<float>& vTimes = input != m_mapAnimationSources.end() ? input->second : s_vNone;
    const std::vector<float>& vOutputs = output != m_mapAnimationSources.end() ? output->second : s_vNone;
    if (vTimes.empty())
        return vOutputs.empty(); // nothing keyed, nothing made
    std::vector<XMMATRIX> vMatrices;
    if (vOutputs.size() != 16 * vTimes.size() || !ParseMatrixArray(vOutputs, vMatrices) ||
        vMatrices.size() != vTimes.size())
        return false;

    // Every channel of the model shares these names; the registry lists each curve by pointer.
    std::unique_ptr<KB_LinearInterpolation> pTranslation(
        new (std::nothrow) KB_LinearInterpolation(m_sPath + " Animation TranslationInterpolation"));
    std::unique_ptr<KB_LinearInterpolation> pScale(
        new (std::nothrow) KB_LinearInterpolation(m_sPath + " Animation ScaleInterpolation"));
    std::unique_ptr<KB_RotationInterpolation> pRotation(
        new (std::nothrow) KB_RotationInterpolation(m_sPath + " Animation RotationInterpolation"));
    std::unique_ptr<KB_LinearMatrixInterpolation> pMatrices(
        new (std::nothrow) KB_LinearMatrixInterpolation(m_sPath + " Animation LinearMatrixInterpolation"));
    if (pTranslation == nullptr || pScale == nullptr || pRotation == nullptr || pMatrices == nullptr)
        return false;
    for (std::size_t i = 0; i < vTimes.size(); ++i)
    {
        const double fTime = static_cast<double>(vTimes[i]);
        // A sheared key keeps its scale and translation with no rotation, never undefined values.
        XMVECTOR vScale = XMVectorSet(1.0f, 1.0f, 1.0f, 0.0f);
        XMVECTOR qRotation = XMQuaternionIdentity();
        XMVECTOR vTranslation = XMVectorZero();
        XMMatrixDecompose(&vScale, &qRotation, &vTranslation, vMatrices[i]);
        pTranslation->InsertVertex(vTranslation, fTime);
        pScale->InsertVertex(vScale, fTime);
        pRotation->InsertQuaternion(qRotation, fTime);
        pMatrices->InsertMatrix(vMatrices[i], fTime);
    }
    pTranslation->NormalizeTimeStamps();
    pScale->NormalizeTimeStamps();
    pRotation->NormalizeTimeStamps();
    pMatrices->NormalizeTimeStamps();

    std::unique_ptr<KR_MeshAnimationResource> pNodeAnimation(
        new (std::nothrow) KR_MeshAnimationResource(pTranslation.get(), pScale.get(), pRotation.get()));
    if (pNodeAnimation == nullptr)
        return false;
    pTranslation.release();
    pScale.release();
    pRotation.release();
    // A later channel of the same target replaces the earlier one, whose curves are freed here.
    m_mapNodeAnimations[pTarget] = std::move(pNodeAnimation);
    m_mapMatrixCurves[pTarget] = std::move(pMatrices);
    return true;
}

bool KR_ColladaImporter::ParseJointNode(const TiXmlElement* pNode, std::uint32_t& uiCounter,
                                        KR_MeshSkinnedAnimationResource* pParent,
                                        std::unique_ptr<KR_MeshSkinnedAnimationResource>& pRoot)
{
    const std::string sNodeId = AttributeText(pNode, "id");
    KR_MeshSkinnedAnimationResource* pBone = nullptr;
    if (const TiXmlElement* pMatrix = pNode->FirstChildElement("matrix"))
    {
        XMMATRIX mLocal;
        if (!ParseMatrix(pMatrix, mLocal))
            return false;
        if (const char* pSid = pMatrix->Attribute("sid"))
        {
            const std::string sKey = sNodeId + "/" + pSid;
            std::unique_ptr<KB_LinearMatrixInterpolation> pCurve;
            const auto curve = m_mapMatrixCurves.find(sKey);
            if (curve != m_mapMatrixCurves.end() && curve->second != nullptr)
            {
                pCurve = std::move(curve->second);
                // The bone's matrix curve is the animation; the node animation of the same channel
                // is not used.
                m_mapNodeAnimations.erase(sKey);
            }
            // Named by its node id whether animated or not: joining several skeletons finds every
            // bone of each by its name.
            std::unique_ptr<KR_MeshSkinnedAnimationResource> pNew(
                new (std::nothrow) KR_MeshSkinnedAnimationResource(pCurve.get(), sNodeId.c_str(), mLocal));
            if (pNew == nullptr)
                return false;
            pCurve.release();
            pBone = pNew.get();
            if (pParent == nullptr)
                pRoot = std::move(pNew);
            else
                pParent->AddChild(pNew.release());
            if (!sNodeId.empty())
                m_mapBoneNumbers[sNodeId] = uiCounter;
            ++uiCounter;
        }
    }
    for (const TiXmlElement* pChild = pNode->FirstChildElement("node"); pChild != nullptr;
         pChild = pChild->NextSiblingElement("node"))
    {
        // Children need a bone to hang from; a leaf without one is skipped.
        if (pBone == nullptr || !ParseJointNode(pChild, uiCounter, pBone, pRoot))
            return false;
    }
    return true;
}
