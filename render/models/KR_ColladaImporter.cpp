#include "render/models/KR_ColladaImporter.h"

#include "framework/app/KE_ApplicationManager.h"
#include "framework/files/KU_XmlUtilities.h"
#include "render/models/KR_ColladaReaders.h"
#include "render/models/KR_MeshAnimationResource.h"
#include "render/models/KR_MeshResource.h"
#include "render/models/KR_MeshSkinnedAnimationResource.h"
#include "render/models/KR_ModelResourceDX11.h"
#include "timing/KB_LinearMatrixInterpolation.h"

#include <cstring>
#include <new>
#include <tinyxml.h>

using namespace KR_ColladaReaders;

KR_ColladaControllerRecord::KR_ColladaControllerRecord() = default;
KR_ColladaControllerRecord::~KR_ColladaControllerRecord() = default;

KR_ColladaImporter::KR_ColladaImporter() = default;

KR_ColladaImporter::~KR_ColladaImporter()
{
    // Meshes still held here belong to nobody else.
    Reset(true);
}

KR_ModelResource* KR_ColladaImporter::Import(const KB_String& sPath, std::uint8_t uiTangents,
                                             std::uint8_t uiBoxes, std::uint8_t uiCentres)
{
    std::unique_ptr<KR_ColladaImporter> pImporter(new (std::nothrow) KR_ColladaImporter());
    return pImporter != nullptr ? pImporter->LoadModel(sPath, uiTangents, uiBoxes, uiCentres) : nullptr;
}

KR_ModelResource* KR_ColladaImporter::LoadModel(const KB_String& sPath, std::uint8_t uiTangents,
                                                std::uint8_t uiBoxes, std::uint8_t uiCentres)
{
    KR_ModelResource* pModel = nullptr;
    try
    {
        Reset(true);
        m_sPath = sPath;
        const Flags flags{uiTangents != 0, uiBoxes != 0, uiCentres != 0};
        if (ParseDocument(flags))
            pModel = BuildModel();
    }
    catch (const std::bad_alloc&)
    {
        pModel = nullptr;
    }
    Reset(pModel == nullptr);
    return pModel;
}

void KR_ColladaImporter::Reset(bool bDeleteMeshes)
{
    ClearMeshVertices();
    m_oVertices = KR_VertexAssembler();
    m_vTempPositionIndices = std::vector<std::uint32_t>();
    m_vTuple = std::vector<std::uint32_t>();
    m_setMaterialNames.clear();
    m_vSubsetMaterials.clear();
    m_setInstancedGeometryIds.clear();
    m_vInstancedControllerIds.clear();
    // A mesh already placed under a parent goes with that parent's subtree.
    if (bDeleteMeshes)
        for (auto& entry : m_vMeshes)
            if (entry.second != nullptr && entry.second->GetParent() == nullptr)
                delete entry.second;
    m_vMeshes.clear();
    m_mapMeshIndices.clear();
    m_mapNodeAnimations.clear();
    m_mapMatrixCurves.clear();
    m_mapAnimationSources.clear();
    m_mapSkeletonRoots.clear();
    m_mapBoneNumbers.clear();
    m_mapNodeMatrices.clear();
    m_mapGeometryAnimations.clear();
    m_mapParentIds.clear();
    m_mapControllerRecords.clear();
    m_sPath = KB_String();
}

bool KR_ColladaImporter::ParseDocument(const Flags& flags)
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    const std::unique_ptr<TiXmlDocument> pDocument(
        pEngine != nullptr ? KU_XmlUtilities::LoadXmlDocument(pEngine->GetFileManager(), m_sPath) : nullptr);
    if (pDocument == nullptr)
        return false;
    const TiXmlElement* pRoot = pDocument->RootElement();
    if (pRoot == nullptr || std::strcmp(pRoot->Value(), "COLLADA") != 0)
        return false;
    const std::string sVersion = AttributeText(pRoot, "version");
    if (sVersion != "1.4.0" && sVersion != "1.4.1")
        return false;

    if (const TiXmlElement* pLibrary = pRoot->FirstChildElement("library_materials"))
    {
        for (const TiXmlElement* pMaterial = pLibrary->FirstChildElement("material"); pMaterial != nullptr;
             pMaterial = pMaterial->NextSiblingElement("material"))
        {
            if (const char* pName = pMaterial->Attribute("name"))
                m_setMaterialNames.insert(pName);
        }
    }

    const TiXmlElement* pScene = pRoot->FirstChildElement("scene");
    const TiXmlElement* pInstance =
        pScene != nullptr ? pScene->FirstChildElement("instance_visual_scene") : nullptr;
    std::string sSceneId;
    if (pInstance == nullptr || !ReadLocalReference(pInstance, "url", sSceneId))
        return false;

    if (const TiXmlElement* pLibrary = pRoot->FirstChildElement("library_animations"))
        if (!ParseAnimations(pLibrary))
            return false;
    const TiXmlElement* pScenes = pRoot->FirstChildElement("library_visual_scenes");
    if (pScenes == nullptr || !ParseVisualScene(pScenes, sSceneId))
        return false;
    if (const TiXmlElement* pLibrary = pRoot->FirstChildElement("library_controllers"))
        if (!ParseControllers(pLibrary))
            return false;
    const TiXmlElement* pGeometries = pRoot->FirstChildElement("library_geometries");
    return pGeometries != nullptr && ParseGeometries(pGeometries, flags);
}

bool KR_ColladaImporter::ParseVisualScene(const TiXmlElement* pLibrary, const std::string& sSceneId)
{
    bool bFoundNode = false;
    for (const TiXmlElement* pScene = pLibrary->FirstChildElement("visual_scene"); pScene != nullptr;
         pScene = pScene->NextSiblingElement("visual_scene"))
    {
        if (AttributeText(pScene, "id") != sSceneId)
            continue;
        for (const TiXmlElement* pNode = pScene->FirstChildElement("node"); pNode != nullptr;
             pNode = pNode->NextSiblingElement("node"))
        {
            bFoundNode = true;
            if (!ParseNodeInstances(pNode, std::string()))
                return false;
        }
    }
    return bFoundNode;
}

bool KR_ColladaImporter::ParseNodeInstances(const TiXmlElement* pNode, const std::string& sParentId)
{
    const std::string sNodeId = AttributeText(pNode, "id");
    std::string sChildParentId;
    if (const TiXmlElement* pInstance = pNode->FirstChildElement("instance_geometry"))
    {
        std::string sGeometryId;
        if (!ReadLocalReference(pInstance, "url", sGeometryId))
            return false;
        m_setInstancedGeometryIds.insert(sGeometryId);
        if (!sParentId.empty())
            m_mapParentIds[sGeometryId] = sParentId;
        if (const TiXmlElement* pMatrix = pNode->FirstChildElement("matrix"))
        {
            DirectX::XMMATRIX mMatrix;
            if (!ParseMatrix(pMatrix, mMatrix))
                return false;
            m_mapNodeMatrices[sGeometryId] = mMatrix;
            if (const char* pSid = pMatrix->Attribute("sid"))
            {
                const std::string sKey = sNodeId + "/" + pSid;
                auto animation = m_mapNodeAnimations.find(sKey);
                if (animation != m_mapNodeAnimations.end() && animation->second != nullptr)
                {
                    // Replaces (and frees) what an earlier instancing node left.
                    m_mapGeometryAnimations[sGeometryId] = std::move(animation->second);
                    m_mapMatrixCurves.erase(sKey);
                }
            }
        }
        sChildParentId = sGeometryId;
    }
    else if (const TiXmlElement* pController = pNode->FirstChildElement("instance_controller"))
    {
        std::string sControllerId;
        if (!ReadLocalReference(pController, "url", sControllerId))
            return false;
        m_vInstancedControllerIds.push_back(sControllerId);
        sChildParentId = sControllerId;
    }
    else
    {
        // Anything else is the root of a skeleton, which must make a bone and be named.
        std::uint32_t uiCounter = 0;
        std::unique_ptr<KR_MeshSkinnedAnimationResource> pRoot;
        if (sNodeId.empty() || !ParseJointNode(pNode, uiCounter, nullptr, pRoot) || pRoot == nullptr)
            return false;
        m_mapSkeletonRoots[sNodeId] = std::move(pRoot); // a later root of the same id replaces it
        return true;
    }
    for (const TiXmlElement* pChild = pNode->FirstChildElement("node"); pChild != nullptr;
         pChild = pChild->NextSiblingElement("node"))
        if (!ParseNodeInstances(pChild, sChildParentId))
            return false;
    return true;
}

KR_ModelResource* KR_ColladaImporter::BuildModel()
{
    // No geometry was instanced where it is built (one only below a group node is not): an empty
    // model would pass for a loaded one and be cached as such.
    if (m_vMeshes.empty())
        return nullptr;
    // A geometry instanced again below another node takes that node's geometry as its parent, so
    // the parent chains are as long as the document has geometries. A tree deeper than the model
    // cache nests nodes would be cached without ever reading back, and is drawn, written and freed
    // by recursion as deep. The walk is bounded by that depth, so it also ends on a cycle.
    for (const auto& entry : m_vMeshes)
    {
        std::uint32_t uiDepth = 0;
        for (auto parent = m_mapParentIds.find(entry.first);
             parent != m_mapParentIds.end() && !parent->second.empty();
             parent = m_mapParentIds.find(parent->second))
        {
            if (++uiDepth >= KR_MeshResource::MAX_DEPTH)
                return nullptr;
        }
    }
    KB_GrowingArray<KR_MeshResource*> gRoots;
    for (auto& entry : m_vMeshes)
    {
        const auto parent = m_mapParentIds.find(entry.first);
        if (parent == m_mapParentIds.end() || parent->second.empty())
        {
            gRoots.Add(entry.second);
            continue;
        }
        const auto parentMesh = m_mapMeshIndices.find(parent->second);
        if (parentMesh == m_mapMeshIndices.end())
            return nullptr;
        // Refuses the mesh itself, an ancestor of the parent or a second parent: the document's
        // nesting would otherwise make a cycle, which draws forever and deletes twice.
        if (!m_vMeshes[parentMesh->second].second->AddChild(entry.second))
            return nullptr;
    }
    return new (std::nothrow) KR_ModelResourceDX11(gRoots);
}
