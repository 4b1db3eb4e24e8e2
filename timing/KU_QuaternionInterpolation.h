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

    void SetFilePath(const KB_String& sFilePath) override;
    // Writes the curve's text file (values as "q x y z w").
    bool Save() override;
    // Byte form: the base part, u32 value count, then x, y, z, w as f32 per value, stored as they
    // are (not normalised). Reading clears the changed flag whatever the record held; a count of
    // values that differs from the stamps' is cut to the shorter.
    bool Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity, std::uint64_t* pWritten) const override;
    bool Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd) override;

    // Inserts the normalised qValue after every key with a stamp <= fLocalTime; returns its index.
    std::uint32_t InsertQuaternion(const DirectX::XMVECTOR& qValue, double fLocalTime);
    // Moves key uiIndex to fLocalTime keeping the stamps sorted; returns its new index
    // (uiIndex unchanged when out of range).
    std::uint32_t SetQuaternionTimeStamp(std::uint32_t uiIndex, double fLocalTime);
    void SetQuaternion(std::uint32_t uiIndex, const DirectX::XMVECTOR& qValue);
    std::uint32_t GetNumQuaternions() const;
    DirectX::XMVECTOR* GetValueAtAbsoluteTime(DirectX::XMVECTOR* pOut, double fTime);

    // Reads the curve file at sFilePath; only "RotationInterpolation" is made (not marked
    // changed), its quaternions normalised. Null when no repository has the file or the type name
    // is another. The caller owns the curve.
    static KU_QuaternionInterpolation* LoadQuaternionInterpolation(const KB_String& sFilePath);

protected:
    std::uint32_t GetNumKeys() const; // the smaller of the stamp and value counts

    KB_GrowingArray<DirectX::XMVECTOR> m_gQuaternions;
};
