#pragma once
// Keyed transform of one mesh node: translation, scale and rotation curves give the node's local
// matrix at a time. Built by the model importer or read from the model cache, then owned by one
// mesh node. Evaluated on the main thread.

#include "platform/directxmath/DirectXMath.h"
#include "timing/KU_TimeLimitedEntity.h"

#include <cstdint>

class KU_QuaternionInterpolation;
class KU_VertexInterpolation;

class KR_MeshAnimationResource : public KU_TimeLimitedEntity
{
public:
    // Takes ownership of the three curves (any may be null). The interval spans them: start is
    // the least of their start times, end the greatest of their end times (0 and 0 without any).
    KR_MeshAnimationResource(KU_VertexInterpolation* pTranslation, KU_VertexInterpolation* pScale,
                             KU_QuaternionInterpolation* pRotation);
    // Interval 0 to 0 and no curves, for the byte-form reader.
    KR_MeshAnimationResource();
    ~KR_MeshAnimationResource() override;

    KR_MeshAnimationResource(const KR_MeshAnimationResource&) = delete;
    KR_MeshAnimationResource& operator=(const KR_MeshAnimationResource&) = delete;

    // Byte form: f64 start, f64 end, then the translation, scale and rotation curves' records.
    // Serialize fails, moving nothing, when the record does not fit or a curve is missing.
    // Deserialize keeps the stored interval as it is and reads the curves as a linear, a linear and
    // a rotation curve; a short or inconsistent record fails and leaves the animation unchanged.
    bool Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity, std::uint64_t* pWritten) const override;
    bool Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd) override;

    // Scaling(S) x Rotation(Q) x Translation(T) with each curve read at fTime minus its own start
    // time, written to pOut (returned). Q is used as it is, not normalised. A missing curve
    // contributes the identity: scale 1, no rotation, no translation.
    virtual DirectX::XMMATRIX* Evaluate(DirectX::XMMATRIX* pOut, double fTime);

    KU_VertexInterpolation* GetTranslation() const { return m_pTranslation; }
    KU_VertexInterpolation* GetScale() const { return m_pScale; }
    KU_QuaternionInterpolation* GetRotation() const { return m_pRotation; }

private:
    KU_VertexInterpolation* m_pTranslation = nullptr;  // owned
    KU_VertexInterpolation* m_pScale = nullptr;        // owned
    KU_QuaternionInterpolation* m_pRotation = nullptr; // owned
};
