#pragma once
// The Wavefront OBJ importer: positions ("v"), texture coordinates ("vt"), normals ("vn"), material
// switches ("usemtl") and faces ("f") of one text file become a model of exactly one mesh node.
// Faces are fan-triangulated; corners are shared when they name the same position and every byte
// of the vertex agrees. Vertices are 32 bytes (position, normal, UV; mask 11), or 44 bytes
// (position, normal, tangent, UV; mask 15) with per-triangle tangents.
//
// The text is distrusted: it ends at its first NUL; numbers are read the same whatever the process
// locale is; a malformed number on a "v", "vt" or "vn" line, or a face corner that is not a number,
// ends the parse and what came before is imported; a face index of 0, a negative (relative) one or
// one past the values read so far fails the import. Keys and names have no length limit.
//
// Material ids must begin at 0 and rise by one in face order (the mesh's subset rule): faces before
// the first "usemtl" line use "DefaultMaterial" (index 0), and a file whose first face follows a
// "usemtl" naming another material, or that returns to an earlier material, gives no model.
//
// One importer per load, on any thread; the model loader reaches it through Import.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "render/models/KR_VertexAssembler.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class KR_ModelResource;
class KR_ModelResourceDX11;

class KR_ObjImporter
{
public:
    // One corner as the importer assembles it: the 44-byte vertex of the tangent format.
    struct TangentVertex
    {
        float fPosition[3];
        float fNormal[3];
        float fTangent[3];
        float fUV[2];
    };

    KR_ObjImporter() = default;
    ~KR_ObjImporter() = default;

    KR_ObjImporter(const KR_ObjImporter&) = delete;
    KR_ObjImporter& operator=(const KR_ObjImporter&) = delete;

    // The importer the model loader registers for "obj": a new importer's ImportModel.
    static KR_ModelResource* Import(const KB_String& sPath, std::uint8_t uiGenerateTangents,
                                    std::uint8_t uiComputeBoundingBox, std::uint8_t uiComputeCenter);

    // Reads the file through the engine's file manager and makes the model with the engine's
    // resource manager. A new model owned by the caller, or null (unreadable file, bad index,
    // material ids out of order, no face at all, mesh or buffer creation failure). Leaves the
    // importer empty either way.
    KR_ModelResourceDX11* ImportModel(const KB_String& sPath, std::uint8_t uiGenerateTangents,
                                      std::uint8_t uiComputeBoundingBox, std::uint8_t uiComputeCenter);
    // The same over text already in memory (uiSize bytes, no NUL needed).
    KR_ModelResourceDX11* ImportText(const char* pText, std::uint64_t uiSize, std::uint8_t uiGenerateTangents,
                                     std::uint8_t uiComputeBoundingBox, std::uint8_t uiComputeCenter);

    // Parses into the importer's arrays (emptied first). False for a file no repository reads, a bad
    // face index or lack of memory; true otherwise, also for a text without faces.
    bool ParseFile(const KB_String& sPath, std::uint8_t uiGenerateTangents);
    bool ParseText(const char* pText, std::uint64_t uiSize, std::uint8_t uiGenerateTangents);

    // One tangent T for the triangle from its positions and UVs; each vertex gets T minus its
    // projection on the vertex's normal, normalised (a zero result stays zero). UVs that span no
    // area give the zero tangent.
    static void ComputeTangents(TangentVertex* pA, TangentVertex* pB, TangentVertex* pC);

    // Empties every array and forgets the material names.
    void Reset();

    // What the last parse gathered: the unique vertices (GetVertexStride bytes each), three indices
    // per triangle, one material index per triangle and the material names.
    std::uint32_t GetVertexStride() const { return m_oVertices.GetVertexStride(); }
    std::uint32_t GetVertexCount() const { return m_oVertices.GetVertexCount(); }
    const std::uint8_t* GetVertices() const { return m_oVertices.GetVertex(0); }
    std::uint32_t GetIndexCount() const { return static_cast<std::uint32_t>(m_vIndices.size()); }
    const std::uint32_t* GetIndices() const { return m_vIndices.data(); }
    const std::uint32_t* GetAttributeIds() const { return m_vAttributeIds.data(); }
    const KB_GrowingArray<KB_String>& GetMaterialNames() const { return m_gMaterialNames; }

private:
    enum class FaceResult
    {
        Read,     // the corners of the line are in m_vCorners
        EndParse, // a corner was not a number
        BadIndex, // an index of 0, negative or past the values read
    };

    bool Parse(const char* pText, const char* pEnd, bool bTangents);
    FaceResult ReadFace(const char** ppCursor, const char* pEnd);
    void AddFace(bool bTangents);
    void UseMaterial(const char* pName, std::uint64_t uiLength);
    // The model over the parsed arrays; null on any failure (lack of memory included).
    KR_ModelResourceDX11* BuildModel(bool bComputeBoundingBox, bool bComputeCenter);
    KR_ModelResourceDX11* MakeModel(bool bComputeBoundingBox, bool bComputeCenter);

    KR_VertexAssembler m_oVertices;             // the unique vertices and their per-position buckets
    std::vector<std::uint32_t> m_vIndices;      // three per triangle
    std::vector<std::uint32_t> m_vAttributeIds; // the material index of each triangle
    KB_GrowingArray<KB_String> m_gMaterialNames;
    std::unordered_map<std::string, std::uint32_t> m_mapMaterialIndices; // name -> index in the names
    std::uint32_t m_uiMaterial = 0;

    // The values of the file in the order read: three floats per position and normal, two per UV.
    std::vector<float> m_vPositions;
    std::vector<float> m_vTexCoords;
    std::vector<float> m_vNormals;
    // The face being read: its corners and their 0-based position indices.
    std::vector<TangentVertex> m_vCorners;
    std::vector<std::uint32_t> m_vCornerPositions;
};
