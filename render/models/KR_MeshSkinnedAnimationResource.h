#pragma once
// One bone of a skeleton: a keyed matrix curve (or a fixed local matrix while the curve has no
// key), a bind matrix and the child bones. The root bone computes every bone's skinning matrix at
// a time and hands the array to the shader core manager. Built by the model importer or read from
// the model cache, then owned by one mesh node (the root owns its children). Main thread only: the
// root keeps one reusable matrix buffer for the upload.
//
// Bone order is depth-first pre-order (a bone, then each child's subtree in child order): the
// bone count, the collected names, SetBindMatrices and the skinning matrices all follow it.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "platform/directxmath/DirectXMath.h"
#include "timing/KU_TimeLimitedEntity.h"

#include <cstdint>

class KU_MatrixInterpolation;

class KR_MeshSkinnedAnimationResource : public KU_TimeLimitedEntity
{
public:
    // Takes ownership of pCurve; null is replaced by a new curve without keys. The bind matrix is
    // the identity and there are no children. The interval is the curve's when it holds a key,
    // otherwise 0 to 0.
    KR_MeshSkinnedAnimationResource(KU_MatrixInterpolation* pCurve, const KB_String& sBoneName,
                                    const DirectX::XMMATRIX& mLocal);
    // Interval 0 to 0, a curve without keys, identity matrices, empty name; for the byte-form
    // reader.
    KR_MeshSkinnedAnimationResource();
    ~KR_MeshSkinnedAnimationResource() override;

    KR_MeshSkinnedAnimationResource(const KR_MeshSkinnedAnimationResource&) = delete;
    KR_MeshSkinnedAnimationResource& operator=(const KR_MeshSkinnedAnimationResource&) = delete;

    // Byte form of the bone and its subtree: f64 start, f64 end, the matrix curve's record, u32
    // child count, each child's record, local matrix and bind matrix (sixteen f32 each, row by
    // row), bone name with its NUL. Serialize fails, moving nothing, when the record does not fit or
    // the tree is deeper than MAX_DEPTH bones (a record Deserialize would refuse).
    // Deserialize keeps every stored interval as it is (no widening by the children); it fails on a
    // short or inconsistent record, on a child count larger than the bytes left could hold and on
    // a tree deeper than MAX_DEPTH bones, and then leaves the bone unchanged.
    bool Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity, std::uint64_t* pWritten) const override;
    bool Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd) override;

    virtual KB_String GetBoneName() const;
    // 1 + the bone counts of all children.
    virtual std::uint32_t GetBoneCount() const;
    // On the root bone: fills the skinning matrices of the whole skeleton at fTime and hands them
    // to the engine's shader core manager; nothing without one.
    virtual void UploadBoneMatrices(double fTime);
    // Appends pChild (now owned) and widens the interval to cover the child's.
    virtual void AddChild(KR_MeshSkinnedAnimationResource* pChild);
    // Gives every bone of the subtree, in bone order, the bind matrix gMatrices[*pIndex] and
    // advances *pIndex by one per bone. A bone whose index lies at or past the array's end gets
    // the identity and still advances the index, so a caller comparing the final index with the
    // array's length sees the mismatch.
    virtual void SetBindMatrices(const KB_GrowingArray<DirectX::XMMATRIX>& gMatrices, std::uint32_t* pIndex);
    // Appends the names of the subtree in bone order.
    virtual void CollectBoneNames(KB_GrowingArray<KB_String>& gNames) const;

    // The local matrix while the curve holds no key, else the curve's value at fTime minus the
    // curve's start time; written to pOut (returned).
    DirectX::XMMATRIX* GetLocalMatrixAt(DirectX::XMMATRIX* pOut, double fTime);
    // Appends bind x (local x mParent) for this bone, then fills each child's subtree with
    // local x mParent as its parent.
    void FillBoneMatrices(double fTime, const DirectX::XMMATRIX& mParent,
                          KB_GrowingArray<DirectX::XMMATRIX>& gMatrices);

    const DirectX::XMMATRIX& GetLocalMatrix() const { return m_mLocal; }
    const DirectX::XMMATRIX& GetBindMatrix() const { return m_mBind; }
    KU_MatrixInterpolation* GetCurve() const { return m_pCurve; }
    std::uint32_t GetNumChildren() const { return m_gChildren.GetNumMembers(); }
    KR_MeshSkinnedAnimationResource* GetChild(std::uint32_t uiIndex) const; // null when out of range

    // Most bone levels a byte form may nest (root included).
    static constexpr std::uint32_t MAX_DEPTH = 256;

private:
    // Writes one bone record at nesting level uiDepth (0 for the root); see Serialize.
    bool WriteBone(std::uint8_t** ppCursor, std::uint64_t uiCapacity, std::uint64_t* pWritten,
                   std::uint32_t uiDepth) const;
    // Reads one bone record at nesting level uiDepth (0 for the root) into a new bone; null
    // (with nothing left allocated) when it fails. Advances *ppCursor only on success.
    static KR_MeshSkinnedAnimationResource* ReadBone(const std::uint8_t** ppCursor, const std::uint8_t* pEnd,
                                                     std::uint32_t uiDepth);
    // Moves the contents of pSource (which is then deleted) into this bone, deleting its own.
    void TakeContents(KR_MeshSkinnedAnimationResource* pSource);

    DirectX::XMMATRIX m_mLocal;                                    // relative to the parent bone
    DirectX::XMMATRIX m_mBind;                                     // identity until set
    KU_MatrixInterpolation* m_pCurve = nullptr;                    // owned; null after a failed allocation
    KB_GrowingArray<KR_MeshSkinnedAnimationResource*> m_gChildren; // owned, in bone order
    KB_String m_sBoneName;
    KB_GrowingArray<DirectX::XMMATRIX> m_gBoneMatrices; // the upload buffer, reused every frame
};
