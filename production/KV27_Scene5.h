#pragma once
// The show's scene 5 ("Scene5"): two fragmenters on the rails from V0 and V2 (their positions go to the
// shaders) and six standing floating artifacts on V4 to V9; one colour cube, so no blend curve.

#include "production/KV27_SceneCommon.h"

class KV27_Scene5 : public KV27_SceneCommon
{
public:
    KV27_Scene5();
};
