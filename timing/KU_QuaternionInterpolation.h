#pragma once

#include "platform/directxmath/DirectXMath.h"
#include "timing/KU_Interpolation.h"

#include <cstdint>

// Curve of unit quaternions (x, y, z, w), one per stamp: orientations of animated cameras and
// rotations of mesh animations. Keys are normalised as 4-vectors when inserted or replaced. Not
// listed in the curve registry. Key edits keep the stamps sorted and set the changed flag; an
// index out of range makes an edit do nothing.
class KU_QuaternionInterpolation : public KU_Interpolation
{
public:
    explicit KU_QuaternionInterpolation(const KB_String& sFilePath);
    KU_QuaternionInterpolation();

    std::uint32_t GetNearestKeyIndex(double fTime) const override;
    void SetFilePath(const KB_String& sFilePath) override;
    bool Save() override;

    // Inserts the normalised qValue after every key with a stamp <= fLocalTime; returns its index.
    std::uint32_t InsertQuaternion(const DirectX::XMVECTOR& qValue, double fLocalTime);
    // Moves key uiIndex to fLocalTime keeping the stamps sorted; returns its new index
    // (uiIndex unchanged when out of range).
    std::uint32_t SetQuaternionTimeStamp(std::uint32_t uiIndex, double fLocalTime);
    void SetQuaternion(std::uint32_t uiIndex, const DirectX::XMVECTOR& qValue);
    std::uint32_t GetNumQuaternions() const;
    DirectX::XMVECTOR* GetValueAtAbsoluteTime(DirectX::XMVECTOR* pOut, double fTime);

protected:
    std::uint32_t GetNumKeys() const; // the smaller of the stamp and value counts

    KB_GrowingArray<DirectX::XMVECTOR> m_gQuaternions;
};
