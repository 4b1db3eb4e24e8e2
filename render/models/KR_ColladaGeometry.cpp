// The geometry pass of KR_ColladaImporter: sources, primitive elements, vertex assembly and the
// finishing of each mesh.

#include "render/models/KR_ColladaImporter.h"

#include "framework/app/KE_EngineMembers.h"
#include "framework/core/KB_GrowingArray.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/models/KR_BoundingBox.h"
#include "render/models/KR_ColladaReaders.h"
#include "render/models/KR_MeshAnimationResource.h"
#include "render/models/KR_MeshDX11.h"
#include "render/models/KR_MeshResourceDX11.h"
#include "render/models/KR_MeshSkinnedAnimationResource.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <tinyxml.h>

using namespace DirectX;
using namespace KR_ColladaReaders;

namespace
{

const char* const DEFAULT_MATERIAL = "DefaultMaterial";
const char* const DEFAULT_SKINNED_MATERIAL = "DefaultSkinnedMaterial";

constexpr int NUM_UV_SETS = 4;

// One input of a primitive element: its offset in the index tuple (-1 while unassigned) and its
// source's floats read at the source's stride.
struct InputSlot
{
    std::int64_t iOffset = -1;
    std::string sSource;
    const std::vector<float>* pValues = nullptr;
    std::uint64_t uiStride = 0;
};

// Element uiIndex of a source as uiComponents floats; false when it lies past the source's end.
bool ReadElement(const InputSlot& slot, std::uint32_t uiIndex, std::uint32_t uiComponents, float* pOut)
{
    const std::uint64_t uiStart = std::uint64_t{uiIndex} * slot.uiStride;
    if (uiStart + uiComponents > slot.pValues->size())
        return false;
    std::memcpy(pOut, slot.pValues->data() + uiStart, uiComponents * sizeof(float));
    return true;
}

// One corner of a primitive, converted to the engine's coordinates.
struct Corner
{
    std::uint32_t uiPosition = 0; // the position index
    float position[3] = {0.0f, 0.0f, 0.0f};
    float normal[3] = {0.0f, 0.0f, 0.0f};
    float uvs[NUM_UV_SETS][2] = {};
    const KR_SkinRecord* pSkin = nullptr; // skinned geometry only
};

// Reads the corner of an index tuple from the assigned inputs; false when an index lies past its
// source or, for a skinned geometry, past the skin records.
bool ReadCorner(const std::uint32_t* pTuple, const InputSlot& vertex, const InputSlot& normal,
                const InputSlot* pUVs, const KR_ColladaControllerRecord* pController, Corner& corner)
{
    corner.uiPosition = pTuple[vertex.iOffset];
    if (!ReadElement(vertex, corner.uiPosition, 3, corner.position))
        return false;
    corner.position[2] = -corner.position[2];
    if (normal.iOffset >= 0)
    {
        if (!ReadElement(normal, pTuple[normal.iOffset], 3, corner.normal))
            return false;
        corner.normal[2] = -corner.normal[2];
    }
    for (int i = 0; i < NUM_UV_SETS; ++i)
    {
        if (pUVs[i].iOffset < 0)
            continue;
        if (!ReadElement(pUVs[i], pTuple[pUVs[i].iOffset], 2, corner.uvs[i]))
            return false;
        corner.uvs[i][1] = 1.0f - corner.uvs[i][1];
    }
    if (pController == nullptr)
        return true;
    // A position without its skin record cannot be skinned. The bind shape moves the position (as
    // a point, divided by w) and turns the normal (not renormalised).
    if (corner.uiPosition >= pController->vSkinRecords.size())
        return false;
    corner.pSkin = &pController->vSkinRecords[corner.uiPosition];
    const XMVECTOR vPosition =
        XMVector3TransformCoord(XMVectorSet(corner.position[0], corner.position[1], corner.position[2], 1.0f),
                                pController->mBindShape);
    std::memcpy(corner.position, vPosition.f, sizeof(corner.position));
    const XMVECTOR vNormal = XMVector3TransformNormal(
        XMVectorSet(corner.normal[0], corner.normal[1], corner.normal[2], 0.0f), pController->mBindShape);
    std::memcpy(corner.normal, vNormal.f, sizeof(corner.normal));
    return true;
}

} // namespace

bool KR_ColladaImporter::ParseGeometries(const TiXmlElement* pLibrary, const Flags& flags)
{
    const TiXmlElement* pGeometry = pLibrary->FirstChildElement("geometry");
    if (pGeometry == nullptr)
        return false;
    for (; pGeometry != nullptr; pGeometry = pGeometry->NextSiblingElement("geometry"))
        if (!ParseMesh(pGeometry, flags))
            return false;
    return true;
}

bool KR_ColladaImporter::ParseMesh(const TiXmlElement* pGeometry, const Flags& flags)
{
    m_vSubsetMaterials.clear();
    const std::string sId = AttributeText(pGeometry, "id");
    const auto record = m_mapControllerRecords.find(sId);
    KR_ColladaControllerRecord* pController =
        record != m_mapControllerRecords.end() ? record->second.get() : nullptr;
    if (pController == nullptr && m_setInstancedGeometryIds.count(sId) == 0)
        return true; // nothing shows it

    const TiXmlElement* pMesh = pGeometry->FirstChildElement("mesh");
    if (pMesh == nullptr || pMesh->FirstChildElement("source") == nullptr)
        return false;
    SourceMap sources;
    for (const TiXmlElement* pSource = pMesh->FirstChildElement("source"); pSource != nullptr;
         pSource = pSource->NextSiblingElement("source"))
    {
        const char* pSourceId = pSource->Attribute("id");
        const TiXmlElement* pArray = pSource->FirstChildElement("float_array");
        if (pSourceId == nullptr || pArray == nullptr)
            continue;
        auto pRead = std::make_shared<Source>();
        if (!ParseFloatArray(pArray, pRead->vValues))
            return false;
        const TiXmlElement* pTechnique = pSource->FirstChildElement("technique_common");
        const TiXmlElement* pAccessor =
            pTechnique != nullptr ? pTechnique->FirstChildElement("accessor") : nullptr;
        if (pAccessor != nullptr && pAccessor->Attribute("stride") != nullptr)
        {
            int iStride = 0;
            if (pAccessor->QueryIntAttribute("stride", &iStride) != TIXML_SUCCESS || iStride < 1)
                return false;
            pRead->uiStride = static_cast<std::uint32_t>(iStride);
        }
        sources[pSourceId] = std::move(pRead); // a later source of the same id replaces it
    }

    const TiXmlElement* pVertices = pMesh->FirstChildElement("vertices");
    const char* pVerticesId = pVertices != nullptr ? pVertices->Attribute("id") : nullptr;
    if (pVerticesId == nullptr)
        return false;
    const TiXmlElement* pPosition = pVertices->FirstChildElement("input");
    while (pPosition != nullptr && AttributeText(pPosition, "semantic") != "POSITION")
        pPosition = pPosition->NextSiblingElement("input");
    std::string sPositionSource = pPosition != nullptr ? AttributeText(pPosition, "source") : std::string();
    if (sPositionSource.empty() || !ResolveLocalReference(sPositionSource))
        return false;
    const auto positions = sources.find(sPositionSource);
    auto pPositions = positions != sources.end() ? positions->second : std::make_shared<const Source>();
    sources[pVerticesId] = std::move(pPositions);

    std::uint32_t uiSubsets = 0;
    bool bAnyElement = false;
    for (const char* pName : {"polygons", "triangles"})
    {
        const bool bTriangles = std::strcmp(pName, "triangles") == 0;
        for (const TiXmlElement* pElement = pMesh->FirstChildElement(pName); pElement != nullptr;
             pElement = pElement->NextSiblingElement(pName))
        {
            bAnyElement = true;
            if (!ParseTriangles(pElement, bTriangles, flags.bTangents, uiSubsets, sources, pController))
                return false;
        }
    }
    return bAnyElement && FinishMesh(sId, flags, uiSubsets, pController);
}

// One primitive element's inputs and the length of its index tuple.
struct KR_ColladaImporter::PrimitiveInputs
{
    InputSlot vertex;
    InputSlot normal;
    InputSlot uvs[NUM_UV_SETS];
    std::int64_t iTupleStride = 0;
};

bool KR_ColladaImporter::ParseTriangles(const TiXmlElement* pElement, bool bTriangles, bool bTangents,
                                        std::uint32_t& uiSubsetCounter, const SourceMap& sources,
                                        const KR_ColladaControllerRecord* pController)
{
    PrimitiveInputs inputs;
    if (!ReadPrimitiveInputs(pElement, inputs))
        return false;

    const std::int32_t iPreviousFormat = m_oVertices.GetVertexFormatId();
    const InputSlot* pUVs = inputs.uvs;
    m_oVertices.SelectVertexFormat(pUVs[0].iOffset >= 0, pUVs[1].iOffset >= 0, pUVs[2].iOffset >= 0,
                                   pUVs[3].iOffset >= 0, inputs.normal.iOffset >= 0, bTangents,
                                   pController != nullptr);
    if (iPreviousFormat != KR_VertexFormat::NO_FORMAT && iPreviousFormat != m_oVertices.GetVertexFormatId())
        return false;

    const TiXmlElement* pP = pElement->FirstChildElement("p");
    if (pP == nullptr || pP->GetText() == nullptr)
    {
        m_oVertices.ClearTempVertices();
        return true;
    }
    if (!BindPrimitiveSources(sources, inputs))
        return false;

    std::uint64_t uiTriangles = 0;
    if (!AddPrimitiveTriangles(pP, bTriangles, bTangents, uiSubsetCounter, inputs, pController, uiTriangles))
        return false;

    // An element that gave no triangle is no subset: the next one keeps consecutive ids.
    if (uiTriangles == 0)
        return true;
    const char* pMaterial = pElement->Attribute("material");
    const bool bKnown = pMaterial != nullptr && m_setMaterialNames.count(pMaterial) != 0;
    m_vSubsetMaterials.emplace_back(bKnown ? pMaterial : "");
    ++uiSubsetCounter;
    return true;
}

bool KR_ColladaImporter::ReadPrimitiveInputs(const TiXmlElement* pElement, PrimitiveInputs& inputs)
{
    const TiXmlElement* pInput = pElement->FirstChildElement("input");
    if (pInput == nullptr)
        return false;
    InputSlot* pUVs = inputs.uvs;
    for (; pInput != nullptr; pInput = pInput->NextSiblingElement("input"))
    {
        const char* pSemantic = pInput->Attribute("semantic");
        int iOffset = 0;
        std::string sSource = AttributeText(pInput, "source");
        // A negative offset would index before the tuple.
        if (pSemantic == nullptr || pInput->QueryIntAttribute("offset", &iOffset) != TIXML_SUCCESS ||
            iOffset < 0 || sSource.empty() || !ResolveLocalReference(sSource))
            return false;
        inputs.iTupleStride = std::max<std::int64_t>(inputs.iTupleStride, std::int64_t{iOffset} + 1);
        InputSlot* pSlot = nullptr;
        if (std::strcmp(pSemantic, "VERTEX") == 0)
        {
            pSlot = &inputs.vertex;
        }
        else if (std::strcmp(pSemantic, "NORMAL") == 0)
        {
            pSlot = &inputs.normal;
        }
        else if (std::strcmp(pSemantic, "TEXCOORD") == 0)
        {
            int iSet = -1;
            if (pInput->QueryIntAttribute("set", &iSet) != TIXML_SUCCESS)
                iSet = -1;
            if (iSet >= NUM_UV_SETS)
                continue;
            if (iSet >= 0)
                pSlot = &pUVs[iSet];
            for (int i = 0; iSet < 0 && i < NUM_UV_SETS && pSlot == nullptr; ++i)
                if (pUVs[i].iOffset < 0)
                    pSlot = &pUVs[i];
        }
        if (pSlot != nullptr && pSlot->iOffset < 0)
        {
            pSlot->iOffset = iOffset;
            pSlot->sSource = std::move(sSource);
        }
    }
    if (inputs.vertex.iOffset < 0)
        return false;
    for (int i = 1; i < NUM_UV_SETS; ++i)
        if (pUVs[i].iOffset >= 0 && pUVs[i - 1].iOffset < 0)
            return false;
    return true;
}

bool KR_ColladaImporter::BindPrimitiveSources(const SourceMap& sources, PrimitiveInputs& inputs)
{
    // Every assigned input needs its source, read at its accessor's stride (which must hold the
    // components read from it).
    struct Binding
    {
        InputSlot* pSlot;
        std::uint32_t uiComponents;
    };
    Binding bindings[2 + NUM_UV_SETS] = {{&inputs.vertex, 3}, {&inputs.normal, 3}};
    for (int i = 0; i < NUM_UV_SETS; ++i)
        bindings[2 + i] = {&inputs.uvs[i], 2};
    for (Binding& binding : bindings)
    {
        InputSlot& slot = *binding.pSlot;
        if (slot.iOffset < 0)
            continue;
        const auto source = sources.find(slot.sSource);
        if (source == sources.end() || source->second->vValues.empty())
            return false;
        slot.pValues = &source->second->vValues;
        slot.uiStride = source->second->uiStride != 0 ? source->second->uiStride : binding.uiComponents;
        if (slot.uiStride < binding.uiComponents)
            return false;
    }
    return true;
}

bool KR_ColladaImporter::AddPrimitiveTriangles(const TiXmlElement* pP, bool bTriangles, bool bTangents,
                                               std::uint32_t uiSubset, const PrimitiveInputs& inputs,
                                               const KR_ColladaControllerRecord* pController,
                                               std::uint64_t& uiTriangles)
{
    const std::uint64_t uiTupleStride = static_cast<std::uint64_t>(inputs.iTupleStride);
    const KR_SkinRecord noSkin;
    for (; pP != nullptr; pP = pP->NextSiblingElement("p"))
    {
        ParseIndexList(pP->GetText(), m_vTuple);
        if (m_vTuple.size() % uiTupleStride != 0)
            return false;
        const std::uint64_t uiCorners = m_vTuple.size() / uiTupleStride;
        if (bTriangles && uiCorners % 3 != 0)
            return false;
        const std::size_t uiNeeded = m_vIndices.size() + uiCorners;
        if (uiNeeded > m_vIndices.capacity())
        {
            m_vIndices.reserve(std::max(uiNeeded, 2 * m_vIndices.capacity()));
            m_vSubsetIds.reserve(m_vIndices.capacity() / 3);
        }
        m_vTempPositionIndices.clear();
        for (std::uint64_t k = 0; k < uiCorners; ++k)
        {
            const std::uint32_t* pTuple = m_vTuple.data() + k * uiTupleStride;
            Corner corner;
            if (!ReadCorner(pTuple, inputs.vertex, inputs.normal, inputs.uvs, pController, corner))
                return false;
            m_oVertices.AddTempVertex(corner.position, corner.uvs[0], corner.uvs[1], corner.uvs[2],
                                      corner.uvs[3], corner.normal,
                                      corner.pSkin != nullptr ? *corner.pSkin : noSkin);
            m_vTempPositionIndices.push_back(corner.uiPosition);
            // A list's triangle is finished as soon as its corners are read, so the temporary
            // vertices never hold more than one triangle.
            if (bTriangles && m_vTempPositionIndices.size() == 3)
            {
                AddTriangle(0, 0, uiSubset, bTangents);
                m_oVertices.ClearTempVertices();
                m_vTempPositionIndices.clear();
                ++uiTriangles;
            }
        }
        // A polygon is a fan around its first corner; fewer than 3 corners give nothing.
        for (std::uint64_t t = 0; !bTriangles && t + 2 < uiCorners; ++t)
            AddTriangle(0, static_cast<std::uint32_t>(t), uiSubset, bTangents);
        if (!bTriangles && uiCorners >= 3)
            uiTriangles += uiCorners - 2;
        m_oVertices.ClearTempVertices();
    }
    return true;
}

void KR_ColladaImporter::AddTriangle(std::uint32_t uiFirst, std::uint32_t uiBase, std::uint32_t uiSubset,
                                     bool bTangents)
{
    if (bTangents)
        ComputeTriangleTangents(uiFirst, uiBase);
    for (const std::uint32_t uiCorner : {uiFirst, uiBase + 1, uiBase + 2})
        m_vIndices.push_back(m_oVertices.AddUniqueVertex(m_vTempPositionIndices[uiCorner],
                                                         m_oVertices.GetTempVertex(uiCorner)));
    m_vSubsetIds.push_back(uiSubset);
}

void KR_ColladaImporter::ComputeTriangleTangents(std::uint32_t uiFirst, std::uint32_t uiBase)
{
    const std::uint32_t corners[3] = {uiFirst, uiBase + 1, uiBase + 2};
    float positions[3][3];
    float uvs[3][2];
    float normals[3][3];
    for (int i = 0; i < 3; ++i)
        if (!m_oVertices.GetPosUV1NormalFromCurrentTempVertex(corners[i], positions[i], uvs[i], normals[i]))
            return;
    float tangents[3][3];
    KR_VertexAssembler::ComputeTriangleTangents(positions, uvs, normals, tangents);
    for (int i = 0; i < 3; ++i)
        m_oVertices.SetTangentOnCurrentTempVertex(corners[i], tangents[i]);
}

bool KR_ColladaImporter::FinishMesh(const std::string& sGeometryId, const Flags& flags,
                                    std::uint32_t uiSubsets, KR_ColladaControllerRecord* pController)
{
    const std::uint32_t uiVertexCount = m_oVertices.GetVertexCount();
    const std::uint64_t uiTriangles = m_vSubsetIds.size();
    // A geometry without a triangle would make a mesh without buffers.
    if (uiVertexCount == 0 || uiTriangles == 0 || uiTriangles > 0xFFFFFFFFu)
        return false;
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    std::unique_ptr<KR_MeshDX11> pMesh(
        pResources != nullptr ? pResources->CreateMesh(m_oVertices.GetVertexStride(), uiVertexCount,
                                                       static_cast<std::uint32_t>(uiTriangles))
                              : nullptr);
    if (pMesh == nullptr)
        return false;
    pMesh->SetVertices(m_oVertices.GetVertex(0));
    pMesh->SetIndices(m_vIndices.data());
    pMesh->SetAttributes(m_vSubsetIds.data());

    XMVECTOR vCentre = XMVectorZero();
    KR_BoundingBox box;
    if (flags.bCentres || flags.bBoxes)
    {
        double sum[3] = {0.0, 0.0, 0.0};
        for (std::uint32_t i = 0; i < uiVertexCount; ++i)
        {
            float position[3];
            m_oVertices.GetVertexPosition(i, position);
            for (int j = 0; j < 3; ++j)
                sum[j] += position[j];
            box.ExtendByPoint(XMVectorSet(position[0], position[1], position[2], 0.0f));
        }
        vCentre = XMVectorSet(static_cast<float>(sum[0] / uiVertexCount),
                              static_cast<float>(sum[1] / uiVertexCount),
                              static_cast<float>(sum[2] / uiVertexCount), 0.0f);
    }
    if (!pMesh->BuildSubsets() || !pMesh->CreateBuffers())
        return false;

    KB_GrowingArray<KB_String> gNames;
    const char* pDefault = pController != nullptr && pController->pSkeleton != nullptr
                               ? DEFAULT_SKINNED_MATERIAL
                               : DEFAULT_MATERIAL;
    for (std::uint32_t i = 0; i < uiSubsets; ++i)
    {
        const bool bNamed = i < m_vSubsetMaterials.size() && !m_vSubsetMaterials[i].empty();
        gNames.Add(KB_String(bNamed ? m_vSubsetMaterials[i].c_str() : pDefault));
    }

    std::unique_ptr<KR_MeshSkinnedAnimationResource> pSkeleton;
    if (pController != nullptr)
        pSkeleton = std::move(pController->pSkeleton);
    std::unique_ptr<KR_MeshAnimationResource> pAnimation;
    const auto animation = m_mapGeometryAnimations.find(sGeometryId);
    if (animation != m_mapGeometryAnimations.end())
        pAnimation = std::move(animation->second);
    auto* pNode = new (std::nothrow) KR_MeshResourceDX11(pMesh.get(), gNames, pAnimation.get(),
                                                         pSkeleton.get(), m_oVertices.GetComponentMask());
    if (pNode == nullptr)
        return false; // the mesh, animation and skeleton are freed with their holders
    pMesh.release();
    pAnimation.release();
    pSkeleton.release();
    std::unique_ptr<KR_MeshResource> node(pNode);

    const auto matrix = m_mapNodeMatrices.find(sGeometryId);
    if (matrix != m_mapNodeMatrices.end())
    {
        node->SetTransform(matrix->second);
        box.Transform(matrix->second);
    }
    if (flags.bCentres)
        node->SetCenter(vCentre);
    if (flags.bBoxes)
        node->SetBoundingBox(&box);

    // A second geometry of the same id replaces the first, which is freed.
    const auto existing = m_mapMeshIndices.find(sGeometryId);
    if (existing != m_mapMeshIndices.end())
    {
        delete m_vMeshes[existing->second].second;
        m_vMeshes[existing->second].second = node.release();
    }
    else
    {
        m_vMeshes.emplace_back(sGeometryId, nullptr);
        m_mapMeshIndices[sGeometryId] = m_vMeshes.size() - 1;
        m_vMeshes.back().second = node.release();
    }
    ClearMeshVertices();
    return true;
}

void KR_ColladaImporter::ClearMeshVertices()
{
    m_oVertices.ClearMeshVertices();
    m_vIndices.clear();
    m_vSubsetIds.clear();
    m_vSubsetMaterials.clear();
}
