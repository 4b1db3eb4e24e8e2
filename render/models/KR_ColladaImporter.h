#pragma once
// Imports one COLLADA document (versions "1.4.0" and "1.4.1") into a new KR_ModelResourceDX11:
// a tree of mesh nodes, one per instanced geometry, with its GPU mesh, one material name per
// subset, its node matrix and optionally a bounding box and a centre. One importer serves one
// load on a worker thread; the model loader reaches it through KR_ModelImporters ("dae").
//
// Coordinates become left-handed: positions and normals (x, y, -z), texture coordinates
// (u, 1 - v), matrices transposed and mirrored through z (KR_ColladaReaders). The document's unit
// and up-axis declarations are not read: every document gets the same conversion. Sources are read
// at their accessor's stride (3 for positions and normals, 2 for texture coordinates when the
// document declares none). Only "triangles" and "polygons" elements give triangles, and only
// "matrix" elements give node transforms (exporters must bake them).
//
// Animations: each channel's keyed matrices become a node animation (translation, scale and
// rotation curves) and a matrix curve under the channel's target; a node reaches them through
// "node id/matrix sid". Every top-level node that instances neither a geometry nor a controller is
// the root of a skeleton, so a scene with a camera, a light or an empty group node at the top
// fails. Skin controllers bind a geometry to the skeletons whose root joints their joint list
// names; joints wrapped in an armature node whose id is not a joint name find no root and fail.
//
// A geometry is built only when a node outside every skeleton instances it or a controller skins
// it; a document that builds no mesh at all (its only geometry below a top-level group node, say)
// gives null, not an empty model.
//
// The document is distrusted: any fault (an index past its source, a geometry without triangles,
// a node tree that would not be a tree or would nest deeper than the model cache holds, a skin
// influence past its lists, more than 256 bones, allocation failure, ...) gives null with
// everything built so far freed.

#include "framework/core/KB_String.h"
#include "platform/directxmath/DirectXMath.h"
#include "render/models/KR_VertexAssembler.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

class KB_LinearMatrixInterpolation;
class KR_MeshAnimationResource;
class KR_MeshResource;
class KR_MeshSkinnedAnimationResource;
class KR_ModelResource;
class TiXmlElement;

// What a skin controller leaves for the geometry it skins: the bind-shape matrix, one skin record
// per position index and the skeleton, which the geometry's mesh node takes.
struct KR_ColladaControllerRecord
{
    DirectX::XMMATRIX mBindShape = DirectX::XMMatrixIdentity();
    std::vector<KR_SkinRecord> vSkinRecords;
    std::unique_ptr<KR_MeshSkinnedAnimationResource> pSkeleton;
    KR_ColladaControllerRecord();
    ~KR_ColladaControllerRecord();
};

class KR_ColladaImporter
{
public:
    KR_ColladaImporter();
    ~KR_ColladaImporter();

    KR_ColladaImporter(const KR_ColladaImporter&) = delete;
    KR_ColladaImporter& operator=(const KR_ColladaImporter&) = delete;

    // Reads the document through the engine's file manager and makes its meshes through the
    // engine's resource manager. The flags: compute tangents, a bounding box and a centre for each
    // mesh. A new model owned by the caller, or null. The importer is reset either way.
    KR_ModelResource* LoadModel(const KB_String& sPath, std::uint8_t uiTangents, std::uint8_t uiBoxes,
                                std::uint8_t uiCentres);
    // The importer the model loader calls: one importer, one load.
    static KR_ModelResource* Import(const KB_String& sPath, std::uint8_t uiTangents, std::uint8_t uiBoxes,
                                    std::uint8_t uiCentres);

    // Back to the constructed state; the meshes built so far are deleted only with bDeleteMeshes
    // (without it they belong to the model made from them).
    void Reset(bool bDeleteMeshes);

private:
    // One source of a geometry: its floats and the accessor's stride (0 when none is declared).
    struct Source
    {
        std::vector<float> vValues;
        std::uint32_t uiStride = 0;
    };
    using SourceMap = std::unordered_map<std::string, std::shared_ptr<const Source>>;

    struct Flags
    {
        bool bTangents;
        bool bBoxes;
        bool bCentres;
    };

    // The document walk.
    bool ParseDocument(const Flags& flags);
    bool ParseAnimations(const TiXmlElement* pLibrary);
    bool ParseAnimation(const TiXmlElement* pAnimation);
    bool ParseVisualScene(const TiXmlElement* pLibrary, const std::string& sSceneId);
    bool ParseNodeInstances(const TiXmlElement* pNode, const std::string& sParentId);
    // Builds the bones of pNode's subtree depth first; the bone of pNode becomes a child of pParent,
    // or pRoot when pParent is null. A node without a bone (no "matrix" with a "sid") may only be
    // a leaf, and then gets no bone number.
    bool ParseJointNode(const TiXmlElement* pNode, std::uint32_t& uiCounter,
                        KR_MeshSkinnedAnimationResource* pParent,
                        std::unique_ptr<KR_MeshSkinnedAnimationResource>& pRoot);
    bool ParseControllers(const TiXmlElement* pLibrary);
    bool ParseSkin(const TiXmlElement* pController);
    // The skin's "joints": takes the skeletons its joint names root out of m_mapSkeletonRoots (their
    // bone numbers moved past the skeletons taken before) and gives each joint's bone number and
    // the inverse bind matrices in joint order. False without joints, matrices or a skeleton.
    bool ParseSkinJoints(const TiXmlElement* pSkin,
                         const std::unordered_map<std::string, std::vector<float>>& floatSources,
                         const std::unordered_map<std::string, std::vector<std::string>>& nameSources,
                         std::vector<std::unique_ptr<KR_MeshSkinnedAnimationResource>>& vRoots,
                         std::vector<std::uint32_t>& vJointBones,
                         std::vector<DirectX::XMMATRIX>& vInverseBinds);
    // The mesh forest from the parent ids, then the model; null on any fault or without a mesh.
    KR_ModelResource* BuildModel();

    // The geometry pass (KR_ColladaGeometry.cpp).
    bool ParseGeometries(const TiXmlElement* pLibrary, const Flags& flags);
    bool ParseMesh(const TiXmlElement* pGeometry, const Flags& flags);
    bool ParseTriangles(const TiXmlElement* pElement, bool bTriangles, bool bTangents,
                        std::uint32_t& uiSubsetCounter, const SourceMap& sources,
                        const KR_ColladaControllerRecord* pController);
    // The stages of ParseTriangles. The inputs of one primitive element and the length of its
    // index tuple (defined in KR_ColladaGeometry.cpp).
    struct PrimitiveInputs;
    // pElement's inputs; false on a malformed input, without a VERTEX input or with a gap in the
    // texture coordinate sets.
    static bool ReadPrimitiveInputs(const TiXmlElement* pElement, PrimitiveInputs& inputs);
    // Every assigned input's source; false when one is missing, empty or narrower than the
    // components read from it.
    static bool BindPrimitiveSources(const SourceMap& sources, PrimitiveInputs& inputs);
    // The triangles of the "p" lists from pP on as subset uiSubset, counted in uiTriangles; false
    // on an index list that does not fit the inputs.
    bool AddPrimitiveTriangles(const TiXmlElement* pP, bool bTriangles, bool bTangents,
                               std::uint32_t uiSubset, const PrimitiveInputs& inputs,
                               const KR_ColladaControllerRecord* pController, std::uint64_t& uiTriangles);
    // Tangents (when asked and the format has them), then the triangle of temporary vertices
    // uiFirst, uiBase + 1 and uiBase + 2 as unique vertices, indices and a subset id.
    void AddTriangle(std::uint32_t uiFirst, std::uint32_t uiBase, std::uint32_t uiSubset, bool bTangents);
    void ComputeTriangleTangents(std::uint32_t uiFirst, std::uint32_t uiBase);
    bool FinishMesh(const std::string& sGeometryId, const Flags& flags, std::uint32_t uiSubsets,
                    KR_ColladaControllerRecord* pController);
    // No format, no vertices, indices or subset ids: the next geometry starts afresh.
    void ClearMeshVertices();

    KB_String m_sPath;
    // "name" attributes of the library's materials (a set: every primitive element looks its
    // material up).
    std::unordered_set<std::string> m_setMaterialNames;
    // Per subset of the geometry being built: its element's material when the library has it,
    // else empty (the default material).
    std::vector<std::string> m_vSubsetMaterials;
    std::unordered_set<std::string> m_setInstancedGeometryIds;
    std::vector<std::string> m_vInstancedControllerIds;

    // Finished meshes by geometry id, in document order so the model's node order (and its cache
    // bytes) never vary between runs. Owned until the model takes the roots.
    std::vector<std::pair<std::string, KR_MeshResource*>> m_vMeshes;
    std::unordered_map<std::string, std::size_t> m_mapMeshIndices;
    // Node animations and matrix curves by channel target ("node id/matrix sid").
    // A later channel of the same target replaces (and frees) the earlier one's curves.
    std::unordered_map<std::string, std::unique_ptr<KR_MeshAnimationResource>> m_mapNodeAnimations;
    std::unordered_map<std::string, std::unique_ptr<KB_LinearMatrixInterpolation>> m_mapMatrixCurves;
    // Float sources of all animations by id, shared by the whole document.
    std::unordered_map<std::string, std::vector<float>> m_mapAnimationSources;
    // Skeletons by the id of their root joint node, until a controller takes one.
    std::unordered_map<std::string, std::unique_ptr<KR_MeshSkinnedAnimationResource>> m_mapSkeletonRoots;
    // Bone number of every joint node that has a bone and an id (depth first within its skeleton,
    // offset when a controller joins several skeletons).
    std::unordered_map<std::string, std::uint32_t> m_mapBoneNumbers;
    // By geometry id: the matrix, the node animation and the parent geometry id of the node that
    // instances it (a later instancing node overwrites), and the skin controller's record.
    std::unordered_map<std::string, DirectX::XMMATRIX> m_mapNodeMatrices;
    std::unordered_map<std::string, std::unique_ptr<KR_MeshAnimationResource>> m_mapGeometryAnimations;
    std::unordered_map<std::string, std::string> m_mapParentIds;
    std::unordered_map<std::string, std::unique_ptr<KR_ColladaControllerRecord>> m_mapControllerRecords;

    // The geometry under construction.
    KR_VertexAssembler m_oVertices;
    std::vector<std::uint32_t> m_vIndices;   // three per triangle
    std::vector<std::uint32_t> m_vSubsetIds; // one per triangle
    // Reused per primitive: the position index of each temporary vertex, and the "p" values.
    std::vector<std::uint32_t> m_vTempPositionIndices;
    std::vector<std::uint32_t> m_vTuple;
};
