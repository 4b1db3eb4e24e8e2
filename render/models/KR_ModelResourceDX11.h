#pragma once
// A model over its top-level mesh nodes (owned). The animation flags, the triangle count of the
// top-level nodes, the mean of their centres and the union of their boxes are fixed when the model
// is made (or read) and answered from then on.
//
// Record: u32 node count, each node's record, u8 animated, u8 skinned, u32 triangle count,
// 16-byte centre, 32-byte box.

#include "framework/core/KB_GrowingArray.h"
#include "render/models/KR_BoundingBox.h"
#include "render/models/KR_ModelResource.h"

class KR_MeshResource;

class KR_ModelResourceDX11 : public KR_ModelResource
{
public:
    // Takes the nodes (the array's pointers; null entries are dropped).
    explicit KR_ModelResourceDX11(const KB_GrowingArray<KR_MeshResource*>& gMeshes);
    // No nodes, no animation, the empty box; for the byte-form reader.
    KR_ModelResourceDX11() = default;
    ~KR_ModelResourceDX11() override;

    bool HasAnimation() override { return m_bAnimated; }
    bool HasSkinnedAnimation() override { return m_bSkinned; }
    double GetStartTime() override;
    double GetEndTime() override;
    double GetDuration() override;
    void Render(double time, KR_RenderPass pass, const DirectX::XMMATRIX* pParent,
                const DirectX::XMMATRIX* pViewProjection, std::uint32_t uiInstanceCount) override;
    std::uint32_t GetTriangleCount() override { return m_uiTriangleCount; }
    DirectX::XMVECTOR GetCenter() override { return m_vCenter; }
    KR_BoundingBox* GetBoundingBox() override { return &m_oBox; }
    bool Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity, std::uint64_t* pWritten) const override;
    // Fails on a model that already has nodes, and then or on a bad record changes nothing.
    bool Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd) override;

    std::uint32_t GetMeshCount() const { return m_gMeshes.GetNumMembers(); }
    KR_MeshResource* GetMesh(std::uint32_t uiIndex) const; // null past the end

private:
    KB_GrowingArray<KR_MeshResource*> m_gMeshes; // owned
    bool m_bAnimated = false;
    bool m_bSkinned = false;
    std::uint32_t m_uiTriangleCount = 0;
    DirectX::XMVECTOR m_vCenter{};
    KR_BoundingBox m_oBox; // the empty box until nodes with boxes are added
};
