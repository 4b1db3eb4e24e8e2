#pragma once
// A shadow-casting spot light: a light with an aim point (the target, fixed or on a rail), an up
// vector, an inner and an outer cone angle (degrees), a near distance, a shadow bias pair and the
// side of its square shadow map. The scene renders its shadow map with GetViewProjectionMatrix and
// hands the map's view back through SetShadowMapView; the shader core manager reads the getters.
//
// ".spt" files: the keys of ".omn" (d, s, e, pv, tv, cv, av, lm, ls, lss, vl, pp, tp, cp, sp;
// "tv" and "tp" set no flag here) plus upv (up vector), ln (near distance), lb (base bias and
// adaptive width), lf and lff (cone angles) and r (shadow-map side). The side is kept as read;
// where shadow textures are made it is bounded by GetShadowTextureResolution.

#include "platform/d3d11/d3d11.h"
#include "platform/directxmath/DirectXMath.h"
#include "render/light/KR_LightBase.h"

#include <cstdint>

class KR_SpotLight : public KR_LightBase
{
public:
    static constexpr const char* TITLE = "# Simple Spot Light file";
    // Bit of the spot light's own flag byte, set by the constructor; the shader core manager
    // stores 0 in the cone's w while it is set and 1 while it is clear.
    static constexpr std::uint8_t SPOT_FLAG_OPTION = 1u << 0;
    static constexpr std::uint32_t DEFAULT_SHADOW_MAP_RESOLUTION = 1024;
    // Shadow texture sides are clamped to this range where textures are made.
    static constexpr std::uint32_t MIN_SHADOW_MAP_RESOLUTION = 1;
    static constexpr std::uint32_t MAX_SHADOW_MAP_RESOLUTION = 16384;

    // Registers on channel 5; the spot light's colours; in developer builds the target marker.
    KR_SpotLight();
    ~KR_SpotLight() override;

    virtual float GetLightFOV() { return m_fFOV; }
    virtual float GetLightFOVFalloff() { return m_fFOVFalloff; }
    // Look-to from the position at t towards the target at t with the up vector (row vectors).
    DirectX::XMMATRIX GetViewMatrix(double fTime);
    // The view times a perspective of 2 x falloff vertical field of view, aspect 1, near 1 and far
    // GetMaxLightDistance(t). Identity while the view is degenerate (HasValidView false).
    virtual DirectX::XMMATRIX GetViewProjectionMatrix(double fTime);
    // False when the position equals the target or the up vector is parallel to the direction
    // (the view would be NaN); the scene skips such a light's shadow pass.
    bool HasValidView(double fTime);
    // Base bias and adaptive width into *pOut, which is returned.
    virtual DirectX::XMFLOAT2* GetShadowBias(DirectX::XMFLOAT2* pOut);

    void SetLightFOV(float fDegrees) { m_fFOV = fDegrees; }
    void SetLightFOVFalloff(float fDegrees) { m_fFOVFalloff = fDegrees; }
    void SetShadowBias(const DirectX::XMFLOAT2& bias) { m_vShadowBias = bias; }
    DirectX::XMFLOAT3 GetUpVector() const { return DirectX::XMFLOAT3(m_vUp.x, m_vUp.y, m_vUp.z); }
    void SetUpVector(const DirectX::XMFLOAT4& vUp) { m_vUp = vUp; }
    std::uint32_t GetShadowMapResolution() const { return m_uiShadowMapResolution; }
    void SetShadowMapResolution(std::uint32_t uiSide) { m_uiShadowMapResolution = uiSide; }
    // The side a shadow texture is made with: the stored one clamped to 1..16384.
    std::uint32_t GetShadowTextureResolution() const;
    float GetNearLightDistance() const { return m_fNearDistance; }
    void SetNearLightDistance(float fDistance) { m_fNearDistance = fDistance; }
    ID3D11ShaderResourceView* GetShadowMapView() const { return m_pShadowMapView; }
    void SetShadowMapView(ID3D11ShaderResourceView* pView) { m_pShadowMapView = pView; }
    void SetSpotFlags(std::uint8_t uiFlags) { m_uiSpotFlags = uiFlags; }
    std::uint8_t GetSpotFlags() const { return m_uiSpotFlags; }

    // Resets the file's fields (not the specular strength, the up vector or the debug name), reads
    // the ".spt" file and reloads the curves. False, after the reset, when no repository has it.
    bool LoadFromFile(const KB_String& sPath) override;
    // Saves the curves beside the file, then writes it; the result is the file's write.
    bool SaveToFile(const KB_String& sPath) override;
    // The ".spt" text of the current state.
    KB_String CreateLightText() const;

    // The current shadow map's view (borrowed); null without one.
    ID3D11ShaderResourceView* m_pShadowMapView = nullptr;

private:
    DirectX::XMFLOAT4 m_vUp = {0.0f, 1.0f, 0.0f, 0.0f};
    DirectX::XMFLOAT2 m_vShadowBias = {6.5f, 5.0f};
    std::uint32_t m_uiShadowMapResolution = DEFAULT_SHADOW_MAP_RESOLUTION;
    float m_fNearDistance = 5.0f;
    float m_fFOV = 20.0f;
    float m_fFOVFalloff = 30.0f;
    std::uint8_t m_uiSpotFlags = SPOT_FLAG_OPTION;
};
