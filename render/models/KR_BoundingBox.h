#pragma once
// Axis-aligned box of a mesh node or a model: the importers fill it from vertex positions, a model
// forms the union of its meshes' boxes and the model cache stores it. A small value class (no
// virtual functions) that owners copy or allocate and free as a plain object.
//
// All four lanes of min and max take part in every operation; the w lane carries no meaning of its
// own. The empty box is min = +FLT_MAX, max = -FLT_MAX in every lane (finite, not infinities), so
// extending it by a point or a box yields exactly that point or box. A box counts as empty when
// min lies above max in x, y or z.

#include "platform/directxmath/DirectXMath.h"

#include <cstdint>

class alignas(16) KR_BoundingBox
{
public:
    // The empty box.
    KR_BoundingBox();
    // Both vectors copied unchanged, not reordered.
    KR_BoundingBox(const DirectX::XMVECTOR& vMin, const DirectX::XMVECTOR& vMax);
    KR_BoundingBox(const KR_BoundingBox& other) = default;
    KR_BoundingBox& operator=(const KR_BoundingBox& other) = default;
    // The box transformed by mTransform (see Transform).
    KR_BoundingBox(const KR_BoundingBox& box, const DirectX::XMMATRIX& mTransform);
    // min + vOffset, max + vOffset; the empty box when pBox is null.
    KR_BoundingBox(const KR_BoundingBox* pBox, const DirectX::XMVECTOR& vOffset);

    // Replaces the box by the lane-wise minimum and maximum of its eight corners, each transformed
    // as a point (w taken as 1, all lanes divided by the result's w), so the new box encloses the
    // transformed source box. An empty box stays empty.
    void Transform(const DirectX::XMMATRIX& mTransform);
    void GetMinMax(DirectX::XMVECTOR* pMin, DirectX::XMVECTOR* pMax) const;
    // Min and max of the box transformed as by Transform, leaving this box unchanged.
    void GetTransformedMinMax(const DirectX::XMMATRIX& mTransform, DirectX::XMVECTOR* pMin,
                              DirectX::XMVECTOR* pMax) const;
    // The box's eight corners (w = 1), each transformed as a point as by Transform. An empty box
    // gives its untransformed extreme corners.
    void GetTransformedCorners(const DirectX::XMMATRIX& mTransform, DirectX::XMVECTOR (&corners)[8]) const;
    // Lane-wise min(min, p) and max(max, p).
    void ExtendByPoint(const DirectX::XMVECTOR& vPoint);
    // Lane-wise min and max with the other box's min and max.
    void ExtendByBox(const KR_BoundingBox& other);
    bool IsEmpty() const;

    // A new box with min + vOffset, max + vOffset, owned by the caller; null when pBox is null or
    // the allocation fails.
    static KR_BoundingBox* CreateTranslated(const KR_BoundingBox* pBox, const DirectX::XMVECTOR& vOffset);

    // Byte form, 32 bytes: min x, y, z, w then max x, y, z, w as little-endian f32. Serialize
    // writes at most uiCapacity - *pWritten bytes at *ppCursor, then advances *ppCursor and
    // *pWritten; when the record does not fit it returns false and moves neither. Deserialize
    // reads between *ppCursor and pEnd and advances *ppCursor; a short record fails and changes
    // nothing.
    bool Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity, std::uint64_t* pWritten) const;
    bool Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd);

    static constexpr std::uint64_t RECORD_SIZE = 32;
    // The largest finite single-precision value; the empty box's min in every lane.
    static constexpr float EMPTY_EXTENT = 3.402823466e+38f;

private:
    DirectX::XMVECTOR m_vMin;
    DirectX::XMVECTOR m_vMax;
};
