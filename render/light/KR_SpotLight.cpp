#include "render/light/KR_SpotLight.h"

DirectX::XMMATRIX KR_SpotLight::GetViewProjectionMatrix(double)
{
    return DirectX::XMLoadFloat4x4(&m_mViewProjection);
}

DirectX::XMFLOAT2* KR_SpotLight::GetShadowBias(DirectX::XMFLOAT2* pOut)
{
    *pOut = m_vShadowBias;
    return pOut;
}

void KR_SpotLight::SetViewProjectionMatrix(const DirectX::XMMATRIX& mViewProjection)
{
    DirectX::XMStoreFloat4x4(&m_mViewProjection, mViewProjection);
}
