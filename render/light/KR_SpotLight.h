#pragma once
// A shadow-casting spot light: its cone (angles in degrees), the view-projection its shadow map
// is rendered with (row-vector convention), the shadow bias and the view of its current shadow
// map, which the scene makes and the shader core manager binds.

#include "platform/d3d11/d3d11.h"
#include "platform/directxmath/DirectXMath.h"
#include "render/light/KR_LightBase.h"

#include <cstdint>

class KR_SpotLight : public KR_LightBase
{
public:
    // Bit of the spot light's own flag byte, set by the constructor; the shader core manager
    // stores 0 in the cone's w while it is set and 1 while it is clear.
    static constexpr std::uint8_t SPOT_FLAG_OPTION = 1u << 0;

    KR_SpotLight() = default;

    virtual float GetLightFOV() { return m_fFOV; }
    virtual float GetLightFOVFalloff() { return m_fFOVFalloff; }
    virtual DirectX::XMMATRIX GetViewProjectionMatrix(double fTime);
    // Base bias and adaptive width into *pOut, which is returned.
    virtual DirectX::XMFLOAT2* GetShadowBias(DirectX::XMFLOAT2* pOut);

    void SetLightFOV(float fDegrees) { m_fFOV = fDegrees; }
    void SetLightFOVFalloff(float fDegrees) { m_fFOVFalloff = fDegrees; }
    void SetViewProjectionMatrix(const DirectX::XMMATRIX& mViewProjection);
    void SetShadowBias(const DirectX::XMFLOAT2& bias) { m_vShadowBias = bias; }
    void SetSpotFlags(std::uint8_t uiFlags) { m_uiSpotFlags = uiFlags; }
    std::uint8_t GetSpotFlags() const { return m_uiSpotFlags; }

    // The current shadow map's view (borrowed); null without one.
    ID3D11ShaderResourceView* m_pShadowMapView = nullptr;

private:
    float m_fFOV = 45.0f;
    float m_fFOVFalloff = 60.0f;
    DirectX::XMFLOAT4X4 m_mViewProjection{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    DirectX::XMFLOAT2 m_vShadowBias{0.0f, 0.0f};
    std::uint8_t m_uiSpotFlags = SPOT_FLAG_OPTION;
};
