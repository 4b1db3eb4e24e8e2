#pragma once
// The record a scene hands to the post-processing engine with the volume-lighting effect (id 5):
// the frame's camera, the lights to show as light volumes, and the ray-march settings. The engine
// copies it during EnableEffect, so the caller may reuse it at once; the camera and lights it
// points to must live until the frame ends.

#include "framework/core/KB_GrowingArray.h"

#include <cstdint>

class KR_Camera;
class KR_OmniLight;
class KR_SpotLight;

struct KR_VolumeLightParameters
{
    KR_Camera* pCamera = nullptr;               // not owned; null makes the effect draw nothing
    KB_GrowingArray<KR_SpotLight*> gSpotLights; // not owned
    KB_GrowingArray<KR_OmniLight*> gOmniLights; // not owned (omni and tube lights)
    std::uint32_t uiTraceSteps = 64;
    float fStepScale = 0.0f;
    float fTraceDistance = 0.0f;
    float fRandomFactor = 0.25f;
};
