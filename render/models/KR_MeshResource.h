#pragma once
// One node of a model's mesh forest: owned child nodes, a vertex format byte, an optional bounding
// box, a centre and a local transform (row vectors, translation in the fourth row). The drawing
// node (KR_MeshResourceDX11) adds the mesh, materials and animations.
//
// Every node knows its parent, so AddChild can refuse a node that already has one or that would
// become its own ancestor: the tree stays a tree (no double ownership, no endless recursion). The
// animation flags of a subtree are cached and dropped along the parent chain whenever the subtree
// changes, so the per-frame transform query does not walk the subtree again.

#include "framework/core/KB_GrowingArray.h"
#include "platform/directxmath/DirectXMath.h"
#include "render/device/KR_RenderPass.h"

#include <cstdint>

class KB_ByteReader;
class KB_ByteWriter;
class KR_BoundingBox;

class KR_MeshResource
{
public:
    KR_MeshResource();
    // Frees the box and deletes every child.
    virtual ~KR_MeshResource();

    KR_MeshResource(const KR_MeshResource&) = delete;
    KR_MeshResource& operator=(const KR_MeshResource&) = delete;

    // Whether this node or any node below it is animated (cached; see above).
    bool HasAnimation();
    bool HasSkinnedAnimation();
    // The least start and greatest end among the animated children; +DBL_MAX and -DBL_MAX
    // without any.
    virtual double GetStartTime();
    virtual double GetEndTime();
    // The stored transform, written to pOut (returned).
    virtual DirectX::XMMATRIX* GetTransform(DirectX::XMMATRIX* pOut, double fTime);
    virtual void SetTransform(const DirectX::XMMATRIX& mTransform);
    // Renders each child with the same arguments.
    virtual void Render(double fTime, KR_RenderPass pass, const DirectX::XMMATRIX* pParent,
                        const DirectX::XMMATRIX* pViewProjection, std::uint32_t uiInstanceCount);
    // The node's own triangles; children are not counted.
    virtual std::uint32_t GetTriangleCount() = 0;
    virtual DirectX::XMVECTOR GetCenter() { return m_vCenter; }
    virtual void SetCenter(const DirectX::XMVECTOR& vCenter) { m_vCenter = vCenter; }
    // Null when the node has none.
    virtual KR_BoundingBox* GetBoundingBox() { return m_pBoundingBox; }
    // A copy of pBox when it is not null and the node has no box yet; a node keeps its first box.
    virtual void SetBoundingBox(const KR_BoundingBox* pBox);
    // Appends pChild and takes ownership. False, taking nothing, when pChild is null, already has
    // a parent, or is this node or one of its ancestors.
    virtual bool AddChild(KR_MeshResource* pChild);
    virtual KR_MeshResource* GetChild(std::uint32_t uiIndex); // null past the end
    virtual std::uint32_t GetChildCount() { return m_gChildren.GetNumMembers(); }
    // Deletes child uiIndex and moves the later ones down (order kept); nothing past the end.
    virtual void RemoveChild(std::uint32_t uiIndex);
    KR_MeshResource* GetParent() const { return m_pParent; }
    std::uint8_t GetVertexFormat() const { return m_uiVertexFormat; }

    // Node record: u32 child count and each child's record, u8 vertex format, u8 box flag and the
    // box's 32 bytes when set, 16-byte centre, 64-byte transform; the drawing node appends its own
    // part. Serialize fails, moving neither the cursor nor the total, when the record does not fit.
    // Deserialize reads into an empty node; it fails on a short or inconsistent record or on
    // nesting deeper than MAX_DEPTH nodes, moving nothing and leaving the node as it was.
    virtual bool Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity, std::uint64_t* pWritten) const;
    bool Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd)
    {
        return DeserializeAtDepth(ppCursor, pEnd, 0);
    }

    // Most node levels a byte form may nest (the top-level node included).
    static constexpr std::uint32_t MAX_DEPTH = 256;

protected:
    // What the node itself says about animation, without its children.
    virtual bool HasOwnAnimation() const { return false; }
    virtual bool HasOwnSkinnedAnimation() const { return false; }
    // Drops the cached animation flags of this node and of every ancestor.
    void InvalidateAnimationFlags();

    // The base part of the record, read aside so a failed read changes nothing.
    struct BasePart
    {
        KB_GrowingArray<KR_MeshResource*> gChildren; // owned until committed
        std::uint8_t uiVertexFormat = 1;
        KR_BoundingBox* pBoundingBox = nullptr; // owned until committed
        DirectX::XMVECTOR vCenter{};
        DirectX::XMMATRIX mTransform{};
        ~BasePart();
    };
    // Reads the node record at the given nesting depth (0 for a top-level node).
    virtual bool DeserializeAtDepth(const std::uint8_t** ppCursor, const std::uint8_t* pEnd,
                                    std::uint32_t uiDepth) = 0;
    // A new empty node of the drawing kind, for the children read from a record; null when it
    // cannot be allocated.
    virtual KR_MeshResource* CreateEmptyNode() const = 0;
    bool ReadBasePart(const std::uint8_t** ppCursor, const std::uint8_t* pEnd, std::uint32_t uiDepth,
                      BasePart& part) const;
    // Replaces the node's children, box, format, centre and transform by the part's (now empty).
    void CommitBasePart(BasePart& part);

    std::uint8_t m_uiVertexFormat = 1; // bit 0 position ... bit 7 skinned

private:
    KB_GrowingArray<KR_MeshResource*> m_gChildren; // owned
    KR_MeshResource* m_pParent = nullptr;
    KR_BoundingBox* m_pBoundingBox = nullptr; // owned
    DirectX::XMVECTOR m_vCenter;
    DirectX::XMMATRIX m_mTransform;
    // -1 unknown, else 0 or 1.
    std::int8_t m_iAnimated = -1;
    std::int8_t m_iSkinned = -1;
};

// Writer helpers shared by the node records: a writer over what is left of the capacity, and
// moving the caller's cursor and total past what it wrote.
namespace KR_MeshRecord
{
std::uint64_t Remaining(std::uint64_t uiCapacity, std::uint64_t uiWritten);
bool Commit(const KB_ByteWriter& writer, std::uint8_t** ppCursor, std::uint64_t* pWritten);
} // namespace KR_MeshRecord
