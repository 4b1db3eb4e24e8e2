#pragma once

#include "timing/KU_VertexInterpolation.h"

// Vertex curve blending linearly between neighbouring keys; holds the first key before the
// first stamp and the last key from the last stamp (or the duration) on.
class KB_LinearInterpolation : public KU_VertexInterpolation
{
public:
    explicit KB_LinearInterpolation(const KB_String& sFilePath); // registered
    KB_LinearInterpolation();                                    // unregistered, for the byte form

    void* GetValueAt(void* pOut, double fLocalTime) override;
};
