#pragma once
// The Direct3D 11 mesh: a vertex buffer of a given stride and a 32-bit index buffer (both
// default usage, made from the CPU copies, which stay for the model cache writer).
//
// Sizes are computed in 64 bits: a mesh whose vertex or index bytes exceed 32 bits is refused.
// Buffers are made on worker threads; DrawSubset runs on the main thread.
//
// Record: u32 triangle count T, u32 stride S, u32 vertex count V, u32 n and n subset starts,
// u32 m and m subset index counts, S x V vertex bytes, 3T u32 indices, T u32 ids; 20 + 8n +
// S x V + 16T bytes. Reading requires m = n and every subset inside the 3T indices.

#include "render/models/KR_Mesh.h"

#include <cstdint>
#include <vector>

struct ID3D11Buffer;

class KR_MeshDX11 : public KR_Mesh
{
public:
    KR_MeshDX11() = default;
    ~KR_MeshDX11() override;

    // Release, then stores the counts and allocates the CPU arrays (zeroed). False, with the
    // mesh empty, when a size exceeds 32 bits or memory runs out.
    bool Allocate(std::uint32_t uiStride, std::uint32_t uiVertexCount, std::uint32_t uiTriangleCount);
    // Releases both buffers and frees the CPU arrays; counts and subsets stay.
    void Release();

    void DrawSubset(std::uint32_t uiSubset, std::uint32_t uiInstances) override;
    void SetVertices(const void* pData) override;
    void SetIndices(const std::uint32_t* pData) override;
    void SetAttributes(const std::uint32_t* pData) override;
    bool BuildSubsets() override;
    // A failure leaves the mesh without buffers and without CPU data.
    bool CreateBuffers() override;
    std::uint32_t GetSubsetCount() const override
    {
        return static_cast<std::uint32_t>(m_vSubsetStarts.size());
    }
    std::uint32_t GetTriangleCount() const override { return m_uiTriangleCount; }
    bool Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity, std::uint64_t* pWritten) const override;
    bool Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd) override;

    std::uint32_t GetStride() const { return m_uiStride; }
    std::uint32_t GetVertexCount() const { return m_uiVertexCount; }
    std::uint32_t GetSubsetStart(std::uint32_t uiSubset) const;
    std::uint32_t GetSubsetIndexCount(std::uint32_t uiSubset) const;
    ID3D11Buffer* GetVertexBuffer() const { return m_pVertexBuffer; }
    ID3D11Buffer* GetIndexBuffer() const { return m_pIndexBuffer; }
    // Whether the CPU arrays are held (Allocate succeeded and nothing released them).
    bool HasData() const { return m_bAllocated; }

private:
    std::uint32_t m_uiTriangleCount = 0;
    std::uint32_t m_uiStride = 0;
    std::uint32_t m_uiVertexCount = 0;
    std::vector<std::uint32_t> m_vSubsetStarts;
    std::vector<std::uint32_t> m_vSubsetIndexCounts;
    ID3D11Buffer* m_pVertexBuffer = nullptr;
    ID3D11Buffer* m_pIndexBuffer = nullptr;
    std::vector<std::uint8_t> m_vVertices;
    std::vector<std::uint32_t> m_vIndices;
    std::vector<std::uint32_t> m_vAttributes;
    bool m_bAllocated = false;
};
