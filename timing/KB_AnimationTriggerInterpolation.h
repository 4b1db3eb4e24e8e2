#pragma once

#include "timing/KU_VertexInterpolation.h"

// Curve that reports which key was passed last: the value at t is (seconds since the last stamp
// strictly before t, that key's index, the fraction of the gap to the next key, 0); zero before
// the first stamp. The key values and the interval play no part.
class KB_AnimationTriggerInterpolation : public KU_VertexInterpolation
{
public:
    explicit KB_AnimationTriggerInterpolation(const KB_String& sFilePath); // registered

    void* GetValueAt(void* pOut, double fLocalTime) override;
};
