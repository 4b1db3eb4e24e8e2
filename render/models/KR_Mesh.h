#pragma once
// One indexed triangle mesh on the GPU with a CPU copy of its vertices, 32-bit indices and
// per-triangle attribute ids. Triangles are grouped into subsets (one per material) by attribute
// id; a subset is drawn with one indexed draw call. Made by the resource manager's CreateMesh,
// filled by the importers, drawn by the mesh nodes, written to and read from the model cache.

#include <cstdint>

class KR_Mesh
{
public:
    KR_Mesh() = default;
    virtual ~KR_Mesh() = default;

    KR_Mesh(const KR_Mesh&) = delete;
    KR_Mesh& operator=(const KR_Mesh&) = delete;

    // Draws one subset as a triangle list; instanced when uiInstances is 2 or more.
    virtual void DrawSubset(std::uint32_t uiSubset, std::uint32_t uiInstances) = 0;
    // Copy stride x vertex count bytes, 3 x triangle count indices, triangle count ids.
    virtual void SetVertices(const void* pData) = 0;
    virtual void SetIndices(const std::uint32_t* pData) = 0;
    virtual void SetAttributes(const std::uint32_t* pData) = 0;
    // Subsets from the attribute ids, which must start at 0 and rise by exactly 1 at each change.
    virtual bool BuildSubsets() = 0;
    virtual bool CreateBuffers() = 0;
    virtual std::uint32_t GetSubsetCount() const = 0;
    virtual std::uint32_t GetTriangleCount() const = 0;
    // The mesh record. uiCapacity is the whole buffer's size and *pWritten the bytes already in it:
    // writes at most uiCapacity - *pWritten bytes at *ppCursor, then advances both; fails, moving
    // nothing, when the record does not fit what is left.
    virtual bool Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity,
                           std::uint64_t* pWritten) const = 0;
    // Reads the mesh record and makes the buffers; fails, moving nothing, on a short or
    // inconsistent record or when the buffers cannot be made.
    virtual bool Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd) = 0;
};
