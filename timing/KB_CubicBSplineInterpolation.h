#pragma once

#include "timing/KU_VertexInterpolation.h"

#include <cstdint>

// Vertex curve made of cubic Bezier segments (the camera and target rails). With four or more
// keys, keys 1 and n - 2 are tangent handles: the curve does not pass through them and their
// stamps are ignored. With fewer than five keys the blend is linear. The tangents at the
// pass-through points come from a uniform 1-4-1 solve over the keys (time plays no part) and are
// rebuilt on the first evaluation after a key change. Evaluation therefore writes to the curve:
// one thread at a time.
class KB_CubicBSplineInterpolation : public KU_VertexInterpolation
{
public:
    explicit KB_CubicBSplineInterpolation(const KB_String& sFilePath); // registered
    ~KB_CubicBSplineInterpolation() override;

    void* GetValueAt(void* pOut, double fLocalTime) override;
    // The vertex byte form; the tangents of the keys it replaces are dropped, so they are built
    // anew for the keys read.
    bool Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd) override;

    // Rebuilds the n - 2 tangents of a curve of n >= 5 keys and marks derived data valid; frees
    // them for fewer keys.
    void BuildDerivates();
    // Tangent uiIndex of the last build (zero when out of range), for inspection.
    DirectX::XMVECTOR GetDerivate(std::uint32_t uiIndex) const;
    std::uint32_t GetNumDerivates() const;

private:
    void FreeDerivates();

    DirectX::XMVECTOR* m_pDerivates = nullptr; // owned, m_uiNumDerivates entries
    std::uint32_t m_uiNumDerivates = 0;
};
