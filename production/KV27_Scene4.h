#pragma once
// The show's scene 4 ("Scene4"): three fragmenters on the rails from V2, V4 and V6 (their positions go to the
// shaders), six standing floating artifacts on V8 to V13 and the relic on the rail from V14.

#include "production/KV27_SceneCommon.h"

class KV27_Scene4 : public KV27_SceneCommon
{
public:
    KV27_Scene4();
};
