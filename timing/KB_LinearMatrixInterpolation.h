#pragma once

#include "timing/KU_MatrixInterpolation.h"

// Matrix curve blending each of the 16 elements linearly between neighbouring keys (no
// orthonormalisation); the identity without keys.
class KB_LinearMatrixInterpolation : public KU_MatrixInterpolation
{
public:
    explicit KB_LinearMatrixInterpolation(const KB_String& sFilePath);
    KB_LinearMatrixInterpolation(); // for the byte form

    void* GetValueAt(void* pOut, double fLocalTime) override;
};
