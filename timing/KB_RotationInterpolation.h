#pragma once

#include "timing/KU_QuaternionInterpolation.h"

// Rotation curve blending unit quaternions by spherical quadrangle interpolation (squad) over
// the keys before and after each segment; the identity without keys.
class KB_RotationInterpolation : public KU_QuaternionInterpolation
{
public:
    explicit KB_RotationInterpolation(const KB_String& sFilePath);
    KB_RotationInterpolation(); // for the byte form

    void* GetValueAt(void* pOut, double fLocalTime) override;
};
