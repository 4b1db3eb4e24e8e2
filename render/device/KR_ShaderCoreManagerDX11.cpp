#include "render/device/KR_ShaderCoreManagerDX11.h"

KR_ShaderCoreManagerDX11::KR_ShaderCoreManagerDX11() = default;

KR_ShaderCoreManagerDX11::~KR_ShaderCoreManagerDX11() = default;

bool KR_ShaderCoreManagerDX11::Initialize()
{
    return true;
}

bool KR_ShaderCoreManagerDX11::CreateResources()
{
    return true;
}

bool KR_ShaderCoreManagerDX11::CreateSizeDependentResources()
{
    return true;
}

bool KR_ShaderCoreManagerDX11::ReleaseResources()
{
    return true;
}

bool KR_ShaderCoreManagerDX11::ReleaseSizeDependentResources()
{
    return true;
}

void KR_ShaderCoreManagerDX11::SetBoneMatrices(const KB_GrowingArray<DirectX::XMMATRIX>&)
{
}

void KR_ShaderCoreManagerDX11::SetWorldViewProjectionMatrix(const DirectX::XMMATRIX& mWorldViewProjection)
{
    m_mWorldViewProjection = mWorldViewProjection;
}

void KR_ShaderCoreManagerDX11::SetObjectColor(const DirectX::XMFLOAT4& color)
{
    m_vObjectColor = color;
}
