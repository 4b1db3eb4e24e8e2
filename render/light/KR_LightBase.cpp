#include "render/light/KR_LightBase.h"

#include "timing/KU_VertexInterpolation.h"

namespace
{

DirectX::XMFLOAT3 RailValue(KU_VertexInterpolation* pRail, double fTime)
{
    DirectX::XMVECTOR vValue = DirectX::XMVectorZero();
    pRail->GetValueAt(&vValue, fTime - pRail->GetStartTime());
    DirectX::XMFLOAT3 value;
    DirectX::XMStoreFloat3(&value, vValue);
    return value;
}

} // namespace

float KR_LightBase::GetLightStrength(double)
{
    return m_fStrength;
}

float KR_LightBase::GetLightSpecularStrength(double)
{
    return m_fSpecularStrength;
}

KB_Color* KR_LightBase::GetLightColor(KB_Color* pOut, double)
{
    *pOut = m_Color;
    return pOut;
}

DirectX::XMFLOAT3* KR_LightBase::GetLightAttenuation(DirectX::XMFLOAT3* pOut)
{
    *pOut = m_vAttenuation;
    return pOut;
}

DirectX::XMFLOAT3 KR_LightBase::GetPositionAt(double fTime) const
{
    return m_pPositionRail != nullptr ? RailValue(m_pPositionRail, fTime) : m_vPosition;
}

DirectX::XMFLOAT3 KR_LightBase::GetTargetAt(double fTime) const
{
    if (m_pTargetRail == nullptr || (m_uiFlags & FLAG_TARGET_RAIL_OFF) != 0)
        return m_vTarget;
    return RailValue(m_pTargetRail, fTime);
}
