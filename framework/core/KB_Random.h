#pragma once
// Element of the scenes' jitter tables: a four-float vector whose default constructor draws a
// random value, each component rand / 32767 x 2 - 1 in [-1, 1] from wincrt::rand (x, y, z, w in
// that order). A growing array of these constructs every slot of its capacity, so filling a
// table draws 5, 10, 20, ... vectors as it grows. Draws on the calling thread's generator.

#include "framework/core/KB_Vector.h"

class KB_Random : public KB_Vector4<float>
{
public:
    KB_Random();
    KB_Random(const KB_Vector4<float>& value) : KB_Vector4<float>(value) {}
};

static_assert(sizeof(KB_Random) == 16, "four packed floats");
