#pragma once
// The show's scene 2 ("Scene2"): four floating artifacts spinning on V2 to V5 and five fragmenters on the
// rails from V6, V8, V10, V12 and V14, whose positions go to the shaders.

#include "production/KV27_SceneCommon.h"

class KV27_Scene2 : public KV27_SceneCommon
{
public:
    KV27_Scene2();
};
