#pragma once

#include "timing/KU_VertexInterpolation.h"

// Step curve: each key's value holds from its stamp until the next key's stamp, the last key's
// for ever after (there is no end of interval). Zero before local time 0, for NaN and without
// keys; the first key's value between 0 and the first stamp. Drives the scenes' camera selection.
class KU_ConstantValueInterpolation : public KU_VertexInterpolation
{
public:
    explicit KU_ConstantValueInterpolation(const KB_String& sFilePath); // registered
    KU_ConstantValueInterpolation();                                    // unregistered, for the byte form

    void* GetValueAt(void* pOut, double fLocalTime) override;
};
