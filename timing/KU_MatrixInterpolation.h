#pragma once

#include "platform/directxmath/DirectXMath.h"
#include "timing/KU_Interpolation.h"

#include <cstdint>

// Curve of 4x4 float matrices (row vectors, translation in the fourth row), one per stamp: the
// bone transforms of skinned animations. Not listed in the curve registry. Key edits keep the
// stamps sorted, set the changed flag and clear the derived-data flag (which no evaluation
// reads); an index out of range makes an edit do nothing and GetMatrix return the identity.
class KU_MatrixInterpolation : public KU_Interpolation
{
public:
    explicit KU_MatrixInterpolation(const KB_String& sFilePath);
    KU_MatrixInterpolation();

    void SetFilePath(const KB_String& sFilePath) override;
    // Writes the curve's text file (values as "m" and sixteen floats, row by row) under the
    // title line of vertex curve files.
    bool Save() override;
    // Byte form: the base part, u32 value count, then sixteen f32 per value, row 0 to row 3.
    // Reading marks derived data valid and keeps the changed flag as read; a count of values that
    // differs from the stamps' is cut to the shorter.
    bool Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity, std::uint64_t* pWritten) const override;
    bool Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd) override;

    // Inserts after every key with a stamp <= fLocalTime; returns the new key's index.
    std::uint32_t InsertMatrix(const DirectX::XMMATRIX& mValue, double fLocalTime);
    // Moves key uiIndex to fLocalTime keeping the stamps sorted; returns its new index
    // (uiIndex unchanged when out of range).
    std::uint32_t SetMatrixTimeStamp(std::uint32_t uiIndex, double fLocalTime);
    void SetMatrix(std::uint32_t uiIndex, const DirectX::XMMATRIX& mValue);
    void RemoveMatrix(std::uint32_t uiIndex);
    DirectX::XMMATRIX GetMatrix(std::uint32_t uiIndex) const;
    std::uint32_t GetNumMatrices() const;
    bool IsDerivedDataValid() const;
    DirectX::XMMATRIX* GetValueAtAbsoluteTime(DirectX::XMMATRIX* pOut, double fTime);

    // "LinearMatrixInterpolation" makes that kind with sFilePath, marked changed; any other name
    // gives null. The caller owns the curve.
    static KU_MatrixInterpolation* CreateMatrixInterpolation(const KB_String& sTypeName,
                                                             const KB_String& sFilePath);
    // Reads the curve file at sFilePath; only "LinearMatrixInterpolation" is made, marked changed.
    // Null when no repository has the file or the type name is another. The caller owns the curve.
    static KU_MatrixInterpolation* LoadMatrixInterpolation(const KB_String& sFilePath);

protected:
    std::uint32_t GetNumKeys() const; // the smaller of the stamp and value counts
    void MarkKeysChanged() override;

    KB_GrowingArray<DirectX::XMMATRIX> m_gMatrices;
    bool m_bDerivedDataValid = false;
};

// World frame at vPosition looking at vTarget: rows (right, up, forward, position) with
// forward = normalise3(target - position), right = normalise3(up x forward), up' = forward x right.
// Only x, y, z of the inputs are used; the fourth row is (position, 1), the others end in 0.
DirectX::XMMATRIX KU_CreateLookAtFrame(const DirectX::XMVECTOR& vPosition, const DirectX::XMVECTOR& vTarget,
                                       const DirectX::XMVECTOR& vUp);
// World frame that keeps vUp as its second row (not normalised): rows (right, up, z, position)
// with right = normalise3(up x forward) and z = normalise3(right x up).
DirectX::XMMATRIX KU_CreateUpLockedFrame(const DirectX::XMVECTOR& vPosition, const DirectX::XMVECTOR& vTarget,
                                         const DirectX::XMVECTOR& vUp);
