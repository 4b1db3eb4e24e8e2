#pragma once
// The part of a scene light that the shader core manager reads each frame: strength, specular
// strength, colour and attenuation, and where the light is and what it points at (a position and a
// target rail, either may be null, with stored values used without a rail). The getters are
// virtual so that lights with curves (and test doubles) can answer for a time.

#include "framework/core/KB_Color.h"
#include "platform/directxmath/DirectXMath.h"

#include <cstdint>

class KU_VertexInterpolation;

class KR_LightBase
{
public:
    // Bit of the flag byte: while set, the target rail is not used (the stored target is).
    static constexpr std::uint8_t FLAG_TARGET_RAIL_OFF = 1u << 2;

    KR_LightBase() = default;
    virtual ~KR_LightBase() = default;

    KR_LightBase(const KR_LightBase&) = delete;
    KR_LightBase& operator=(const KR_LightBase&) = delete;

    virtual float GetLightStrength(double fTime);
    virtual float GetLightSpecularStrength(double fTime);
    // The colour at that time into *pOut, which is returned.
    virtual KB_Color* GetLightColor(KB_Color* pOut, double fTime);
    // Constant, linear and quadratic attenuation into *pOut, which is returned.
    virtual DirectX::XMFLOAT3* GetLightAttenuation(DirectX::XMFLOAT3* pOut);

    // The position at that time: the position rail at fTime minus its start time, else the
    // stored position.
    DirectX::XMFLOAT3 GetPositionAt(double fTime) const;
    // The target at that time: the target rail likewise, else (no rail, or the rail switched off)
    // the stored target.
    DirectX::XMFLOAT3 GetTargetAt(double fTime) const;

    void SetLightStrength(float fStrength) { m_fStrength = fStrength; }
    void SetLightSpecularStrength(float fStrength) { m_fSpecularStrength = fStrength; }
    void SetLightColor(const KB_Color& color) { m_Color = color; }
    void SetLightAttenuation(const DirectX::XMFLOAT3& attenuation) { m_vAttenuation = attenuation; }
    void SetPosition(const DirectX::XMFLOAT3& position) { m_vPosition = position; }
    void SetTarget(const DirectX::XMFLOAT3& target) { m_vTarget = target; }
    // Rails are borrowed: the owner of the light keeps them alive.
    void SetPositionRail(KU_VertexInterpolation* pRail) { m_pPositionRail = pRail; }
    void SetTargetRail(KU_VertexInterpolation* pRail) { m_pTargetRail = pRail; }
    void SetFlags(std::uint8_t uiFlags) { m_uiFlags = uiFlags; }
    std::uint8_t GetFlags() const { return m_uiFlags; }

private:
    float m_fStrength = 1.0f;
    float m_fSpecularStrength = 1.0f;
    KB_Color m_Color{1.0f, 1.0f, 1.0f, 1.0f};
    DirectX::XMFLOAT3 m_vAttenuation{1.0f, 0.0f, 0.0f};
    DirectX::XMFLOAT3 m_vPosition{0.0f, 0.0f, 0.0f};
    DirectX::XMFLOAT3 m_vTarget{0.0f, 0.0f, 1.0f};
    KU_VertexInterpolation* m_pPositionRail = nullptr; // borrowed
    KU_VertexInterpolation* m_pTargetRail = nullptr;   // borrowed
    std::uint8_t m_uiFlags = 0;
};
