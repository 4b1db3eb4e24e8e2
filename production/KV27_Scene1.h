#pragma once
// The show's scene 1 ("Scene1"): three floating artifacts spinning on V2 to V4 and one standing on V5.

#include "production/KV27_SceneCommon.h"

class KV27_Scene1 : public KV27_SceneCommon
{
public:
    KV27_Scene1();
};
