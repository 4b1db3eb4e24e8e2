#pragma once
// The device-free half of volume lighting: the light volumes rasterised into the volume depth (a
// pyramid of 18 vertices per spot light, a box of 36 per omni or tube light) and the per-frame
// light batches in the form the effect's constant arrays take them (one four-component vector or
// one matrix per light). The post-processing engine makes a vertex buffer and effect variables
// from them; nothing here touches a device. Main thread only.
//
// Volumes are bounded: a light's reach counts only up to the trace distance (the march ends
// there), and a light whose reach is 0 or below, or whose volume would not be finite, gets none.

#include "framework/core/KB_GrowingArray.h"
#include "platform/directxmath/DirectXMath.h"

#include <cstdint>

class KR_OmniLight;
class KR_SpotLight;
struct ID3D11ShaderResourceView;

class KR_VolumeLightGeometry
{
public:
    static constexpr std::uint32_t PYRAMID_VERTEX_COUNT = 18;
    static constexpr std::uint32_t BOX_VERTEX_COUNT = 36;
    static constexpr std::uint32_t MAX_SPOT_LIGHTS = 3;
    static constexpr std::uint32_t MAX_OMNI_LIGHTS = 18;
    // Beyond this |y| of the box axis the box is built on the x axis instead of the y axis.
    static constexpr float AXIS_SWITCH = 0.99f;
    static constexpr float DEGREES_TO_RADIANS = 0.017453292f;

    // Appends the pyramid of a spot light at time t: apex at the light, base where the light's
    // shadow frustum ends, or at fTraceDistance from the light when the frustum reaches further.
    // False, nothing appended, for a null light, a light without a valid view, a reach of 0 or
    // less, or a pyramid that is not finite.
    static bool BuildSpotLightPyramid(KB_GrowingArray<DirectX::XMFLOAT3>* pVertices, double fTime,
                                      KR_SpotLight* pLight, float fTraceDistance);
    // Appends the box around an omni light at time t, turned towards the camera position. False,
    // nothing appended, as for the pyramid.
    static bool BuildOmniLightBrick(KB_GrowingArray<DirectX::XMFLOAT3>* pVertices, double fTime,
                                    KR_OmniLight* pLight, const DirectX::XMVECTOR& vCameraPosition,
                                    float fTraceDistance);
    // Appends the box around a tube light's segment at time t. False, nothing appended, as above.
    static bool BuildTubeLightBrick(KB_GrowingArray<DirectX::XMFLOAT3>* pVertices, double fTime,
                                    KR_OmniLight* pLight, float fTraceDistance);

    // The pure parts the builders use. The half size of a box: the light's reach bounded by the
    // trace distance; 0 (no box) when either is 0 or below or not a number, or the trace distance
    // is not finite.
    static float GetBrickHalfSize(float fMaxLightDistance, float fTraceDistance);
    // The box's cross axes a and b for its main axis d (unit length): a = cross(d, y) normalised,
    // or cross(d, x) when |d.y| > AXIS_SWITCH; b = cross(d, a) normalised.
    static void GetBrickAxes(const DirectX::XMVECTOR& vAxis, DirectX::XMVECTOR* pA, DirectX::XMVECTOR* pB);
    // The eight corners of the box from p1 - d m to p2 + d m along d and +-m along a and b, for
    // a unit axis d (a zero one becomes z). Corner i takes +a when bit 0 is set, +b with bit 1 and
    // the p2 end with bit 2. False when a corner is not finite.
    static bool GetBrickCorners(const DirectX::XMVECTOR& vP1, const DirectX::XMVECTOR& vP2,
                                const DirectX::XMVECTOR& vAxis, float fHalfSize,
                                DirectX::XMFLOAT3 (&corners)[8]);
    // The 12 triangles (36 vertices) of a box with corners numbered as above.
    static void AppendBox(KB_GrowingArray<DirectX::XMFLOAT3>* pVertices,
                          const DirectX::XMFLOAT3 (&corners)[8]);

    // The spot lights of one frame, at most the capacity (MAX_SPOT_LIGHTS or less). The arrays hold
    // room for MAX_SPOT_LIGHTS from the start: a frame fills them without allocating.
    struct SpotLightBatch
    {
        KB_GrowingArray<ID3D11ShaderResourceView*> m_gShadowMaps{MAX_SPOT_LIGHTS}; // not owned
        KB_GrowingArray<DirectX::XMFLOAT4X4> m_gProjections{MAX_SPOT_LIGHTS};
        KB_GrowingArray<DirectX::XMFLOAT4> m_gPositions{MAX_SPOT_LIGHTS};  // w 1
        KB_GrowingArray<DirectX::XMFLOAT4> m_gDirections{MAX_SPOT_LIGHTS}; // unit or zero, w 0
        KB_GrowingArray<DirectX::XMFLOAT4> m_gColors{MAX_SPOT_LIGHTS};     // RGB, w 1
        // cos FOV, cos falloff, difference, flag
        KB_GrowingArray<DirectX::XMFLOAT4> m_gCones{MAX_SPOT_LIGHTS};
        // constant, linear, quadratic, strength
        KB_GrowingArray<DirectX::XMFLOAT4> m_gAttenuations{MAX_SPOT_LIGHTS};
        // base, adaptive width, 0, 0
        KB_GrowingArray<DirectX::XMFLOAT4> m_gShadowBiases{MAX_SPOT_LIGHTS};
        std::uint32_t m_uiCapacity = MAX_SPOT_LIGHTS;

        // Empties the batch; the capacity becomes the smaller of uiArrayLength and MAX_SPOT_LIGHTS.
        void Reset(std::uint32_t uiArrayLength);
        // False (not added) for a null light, a full batch or a strength at t of 0 or less.
        bool Add(double fTime, KR_SpotLight* pLight);
        std::uint32_t GetCount() const { return m_gPositions.GetNumMembers(); }
    };

    // The omni and tube lights of one frame. At most MAX_OMNI_LIGHTS omni lights; tube lights do
    // not count against that, but omni and tube lights together never exceed the length of the
    // effect's arrays. The arrays hold room for MAX_OMNI_LIGHTS from the start.
    struct OmniLightBatch
    {
        KB_GrowingArray<DirectX::XMFLOAT4> m_gOmniColors{MAX_OMNI_LIGHTS}; // RGB, specular strength
        // constant, linear, quadratic, strength
        KB_GrowingArray<DirectX::XMFLOAT4> m_gOmniAttenuations{MAX_OMNI_LIGHTS};
        KB_GrowingArray<DirectX::XMFLOAT4> m_gOmniPositions{MAX_OMNI_LIGHTS}; // w 1
        KB_GrowingArray<DirectX::XMFLOAT4> m_gTubeColors{MAX_OMNI_LIGHTS};
        KB_GrowingArray<DirectX::XMFLOAT4> m_gTubeAttenuations{MAX_OMNI_LIGHTS};
        KB_GrowingArray<DirectX::XMFLOAT4> m_gTubePositions{MAX_OMNI_LIGHTS};
        KB_GrowingArray<DirectX::XMFLOAT4> m_gTubeSecondPositions{MAX_OMNI_LIGHTS};
        std::uint32_t m_uiArrayLength = 0;

        // Empties the batch for effect arrays of uiArrayLength elements.
        void Reset(std::uint32_t uiArrayLength);
        // False (not added) for a null light, a batch with MAX_OMNI_LIGHTS omni lights or with
        // full arrays, or a strength at t of 0 or less.
        bool Add(double fTime, KR_OmniLight* pLight);
        std::uint32_t GetOmniCount() const { return m_gOmniPositions.GetNumMembers(); }
        std::uint32_t GetTubeCount() const { return m_gTubePositions.GetNumMembers(); }
        // The arrays as the effect takes them: the tube lights first, then the omni lights.
        void GetCombined(KB_GrowingArray<DirectX::XMFLOAT4>* pColors,
                         KB_GrowingArray<DirectX::XMFLOAT4>* pAttenuations,
                         KB_GrowingArray<DirectX::XMFLOAT4>* pPositions) const;
    };
};
