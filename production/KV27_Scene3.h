#pragma once
// The show's scene 3 ("Scene3"): floating artifacts on V2 to V5 (the one on V4 spinning) and four fragmenters
// on the rails from V6, V8, V10 and V12, whose positions go to the shaders.

#include "production/KV27_SceneCommon.h"

class KV27_Scene3 : public KV27_SceneCommon
{
public:
    KV27_Scene3();
};
