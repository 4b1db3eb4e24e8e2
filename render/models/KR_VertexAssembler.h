#pragma once
// The vertex arrays of one mesh under construction, for the model importers: the chosen vertex
// format, the unique vertices of the mesh and the temporary vertices (the corners of the
// primitive being read). Vertices are kept as packed records of the format's stride, so every
// format shares one implementation and the bytes are exactly those of the GPU vertex buffer.
//
// Equal vertices are shared only between corners that name the same position index; the
// comparison is bytewise (0.0 and -0.0 differ, equal NaN bit patterns match). The search visits
// the few vertices of the same position index (a bucket of at most BUCKET_LIMIT), then a hash table
// of the rest, so it stays short however many different vertices a document puts under one
// position index. While no format is
// chosen (or after ClearMeshVertices) the accessors return 0 or null and the builders do nothing.
// Allocation failure throws std::bad_alloc, which the importer turns into a failed load.
// Not thread-safe: one per importer.

#include "render/models/KR_VertexFormat.h"

#include <cstdint>
#include <vector>

// Four bone weights (normalised to sum 1; unused slots 0) and four bone numbers.
struct KR_SkinRecord
{
    float fWeights[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::uint8_t uiBones[4] = {0, 0, 0, 0};
};
static_assert(sizeof(KR_SkinRecord) == KR_VertexFormat::SKIN_SIZE, "the skin record is packed");

class KR_VertexAssembler
{
public:
    KR_VertexAssembler();

    // Chooses the format (KR_VertexFormat::SelectFormatId); the mask is the format's mask. Within
    // one mesh the caller keeps the format; a change drops the vertices gathered so far.
    void SelectVertexFormat(bool bUV1, bool bUV2, bool bUV3, bool bUV4, bool bNormal, bool bTangent,
                            bool bSkinned);
    std::int32_t GetVertexFormatId() const { return m_iFormatId; }
    std::uint32_t GetVertexStride() const { return m_uiStride; }
    // 1 (position only) while no format is chosen.
    std::uint8_t GetComponentMask() const { return m_uiMask; }

    std::uint32_t GetVertexCount() const;
    // Unique vertex bytes; null for an index out of range. GetVertex(0) is the vertex buffer of
    // GetVertexCount() * stride bytes.
    const std::uint8_t* GetVertex(std::uint32_t uiIndex) const;
    // Copies the position of a unique vertex; false (pPosition untouched) when out of range.
    bool GetVertexPosition(std::uint32_t uiIndex, float pPosition[3]) const;

    std::uint32_t GetTempVertexCount() const;
    const std::uint8_t* GetTempVertex(std::uint32_t uiIndex) const;
    // Builds one vertex of the format from the components it has (the others are ignored; null
    // counts as zeros) with a zero tangent, and appends it to the temporary vertices.
    void AddTempVertex(const float pPosition[3], const float pUV1[2], const float pUV2[2],
                       const float pUV3[2], const float pUV4[2], const float pNormal[3],
                       const KR_SkinRecord& skin);
    // Tangent formats only (else the outputs stay untouched and false is returned).
    bool GetPosUV1NormalFromCurrentTempVertex(std::uint32_t uiIndex, float pPosition[3], float pUV1[2],
                                              float pNormal[3]) const;
    void SetTangentOnCurrentTempVertex(std::uint32_t uiIndex, const float pTangent[3]);

    // The importers' per-triangle tangents: one direction T from the corners' positions and first
    // UVs, then for each corner T minus its projection on the corner's normal, normalised (a zero
    // result stays zero, an infinite one gives NaN). UVs that span no area give the zero tangent;
    // -0 components become +0, so equal tangents are equal bytes and shared corners still merge.
    static void ComputeTriangleTangents(const float aPositions[3][3], const float aUVs[3][2],
                                        const float aNormals[3][3], float aTangents[3][3]);

    // Appends stride bytes and returns the new index; 0xFFFFFFFF while no format is chosen.
    std::uint32_t AddVertex(const void* pVertex);
    // The index of a bytewise equal vertex already added under this position index, or of the
    // vertex newly added.
    std::uint32_t AddUniqueVertex(std::uint32_t uiPositionIndex, const void* pVertex);

    // After a primitive.
    void ClearTempVertices();
    // After a mesh: no format, no vertices, no buckets (the mask keeps its value).
    void ClearMeshVertices();

private:
    std::uint8_t* TempVertex(std::uint32_t uiIndex);
    std::uint64_t HashVertex(std::uint32_t uiPositionIndex, const std::uint8_t* pVertex) const;
    // Doubles the table (at least 16 slots) and places every entry again.
    void GrowTable();
    void ClearTable();

    std::int32_t m_iFormatId = KR_VertexFormat::NO_FORMAT;
    std::uint32_t m_uiStride = 0;
    std::uint8_t m_uiMask = KR_VertexFormat::MASK_POSITION;
    std::vector<std::uint8_t> m_vVertices;
    std::vector<std::uint8_t> m_vTempVertices;
    // Per position index, the first unique vertices added under it in order.
    static constexpr std::size_t BUCKET_LIMIT = 16;
    std::vector<std::vector<std::uint32_t>> m_vBuckets;
    // The unique vertices of full buckets, by hash of their position index and bytes: open
    // addressing with linear probing, a power-of-two size, at most half full.
    struct Slot
    {
        std::uint64_t uiHash;
        std::uint32_t uiVertex; // EMPTY_SLOT when unused
        std::uint32_t uiPositionIndex;
    };
    static constexpr std::uint32_t EMPTY_SLOT = 0xFFFFFFFFu;
    std::vector<Slot> m_vTable;
    std::uint32_t m_uiTableEntries = 0;
    // Varies between assemblers, so no document can be made to collide everywhere.
    std::uint64_t m_uiSeed;
};
