#pragma once

#include "platform/directxmath/DirectXMath.h"
#include "timing/KU_Interpolation.h"

#include <cstdint>

// Curve of four-float values ("vertices"), one per stamp at the same index. The kinds (linear,
// cubic B-spline, cosine-eased, trigger, step) differ only in GetValueAt. A curve made with a
// file path is listed in the engine's curve registry until it is destroyed; the registry is
// optional (a missing engine singleton or registry is tolerated). Key edits keep the stamps
// sorted, set the changed flag and invalidate derived data; an index out of range makes an edit
// do nothing and a getter return zero.
class KU_VertexInterpolation : public KU_Interpolation
{
public:
    // Registers the curve under sFilePath in the engine's curve registry.
    explicit KU_VertexInterpolation(const KB_String& sFilePath);
    // Unregistered, derived data marked valid; for the byte-form reader.
    KU_VertexInterpolation();
    // Takes every registry entry of this curve out.
    ~KU_VertexInterpolation() override;

    // Renames the registry entry of this curve, then stores the path.
    void SetFilePath(const KB_String& sFilePath) override;
    // Writes the curve's text file (values as "v x y z", the mode for the cosine-eased kind).
    bool Save() override;
    // Byte form: the base part, u32 value count, then x, y, z, w as f32 per value. Reading marks
    // derived data valid and lists the curve in the registry under the path read (renaming
    // entries it already had); a count of values that differs from the stamps' is cut to the
    // shorter.
    bool Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity, std::uint64_t* pWritten) const override;
    bool Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd) override;

    // Inserts after every key with a stamp <= fLocalTime; returns the new key's index.
    std::uint32_t InsertVertex(const DirectX::XMVECTOR& vValue, double fLocalTime);
    // Moves key uiIndex to fLocalTime keeping the stamps sorted; returns its new index
    // (uiIndex unchanged when out of range).
    std::uint32_t SetVertexTimeStamp(std::uint32_t uiIndex, double fLocalTime);
    void SetVertex(std::uint32_t uiIndex, const DirectX::XMVECTOR& vValue);
    void RemoveVertex(std::uint32_t uiIndex);
    // Marks the keys changed and derived data invalid, for callers that edit values in place.
    void SetChanged();
    // Inserts a copy of every key of pTemplate (may be this curve) shifted by fTimeOffset;
    // nothing when pTemplate is null.
    void InsertVertexInterpolationTemplate(const KU_VertexInterpolation* pTemplate, double fTimeOffset);

    DirectX::XMVECTOR GetVertex(std::uint32_t uiIndex) const; // zero when out of range
    std::uint32_t GetNumVertices() const;
    bool IsDerivedDataValid() const;

    DirectX::XMVECTOR* GetValueAtAbsoluteTime(DirectX::XMVECTOR* pOut, double fTime);
    // Unit direction of travel (x, y, z length 1, all four lanes divided) from a central
    // difference of +-DIFFERENCE_STEP; zero where the curve stands still.
    DirectX::XMVECTOR* GetDirection(DirectX::XMVECTOR* pOut, double fLocalTime);
    DirectX::XMVECTOR* GetDirectionAtAbsoluteTime(DirectX::XMVECTOR* pOut, double fTime);
    // Central difference over +-DIFFERENCE_STEP times 100, in units per second in every lane.
    DirectX::XMVECTOR* GetVelocity(DirectX::XMVECTOR* pOut, double fLocalTime);
    DirectX::XMVECTOR* GetVelocityAtAbsoluteTime(DirectX::XMVECTOR* pOut, double fTime);

    // Makes the kind named sTypeName ("LinearInterpolation", "TrigonometryInterpolation",
    // "CubicBSplineInterpolation", "AnimationTriggerInterpolation"; case-sensitive) registered
    // under sFilePath, marked changed. Null for any other name. The caller owns the curve.
    static KU_VertexInterpolation* CreateVertexInterpolation(const KB_String& sTypeName,
                                                             const KB_String& sFilePath);
    // Reads the curve file at sFilePath and makes the kind its "n" line names
    // ("LinearInterpolation", "TrigonometryInterpolation", "CubicBSplineInterpolation",
    // "AnimationTriggerInterpolation", "ConstantValueInterpolation"), registered under sFilePath,
    // marked changed. Null when no repository has the file or the type name is none of these. The
    // caller owns the curve.
    static KU_VertexInterpolation* LoadVertexInterpolation(const KB_String& sFilePath);

    // The single-precision 0.01 widened to double.
    static constexpr double DIFFERENCE_STEP = static_cast<double>(0.01f);

protected:
    // Number of complete keys: the smaller of the stamp and value counts.
    std::uint32_t GetNumKeys() const;
    // Marks the keys changed and derived data invalid.
    void MarkKeysChanged() override;
    // Value at fLocalTime + DIFFERENCE_STEP minus value at fLocalTime - DIFFERENCE_STEP.
    DirectX::XMVECTOR GetCentralDifference(double fLocalTime);
    // (1 - fU) x vFrom + fU x vTo, the weights computed in double and applied in float.
    static DirectX::XMVECTOR LinearBlend(const DirectX::XMVECTOR& vFrom, const DirectX::XMVECTOR& vTo,
                                         double fU);

    KB_GrowingArray<DirectX::XMVECTOR> m_gVertices;
    bool m_bDerivedDataValid = false;
};
