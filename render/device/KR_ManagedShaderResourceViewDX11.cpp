#include "render/device/KR_ManagedShaderResourceViewDX11.h"

#include "platform/d3d11/d3d11.h"

KR_ManagedShaderResourceViewDX11::KR_ManagedShaderResourceViewDX11(ID3D11ShaderResourceView* pView)
    : m_pView(pView)
{
    if (pView != nullptr)
        pView->AddRef();
}

KR_ManagedShaderResourceViewDX11::~KR_ManagedShaderResourceViewDX11()
{
    ID3D11ShaderResourceView* pView = m_pView.exchange(nullptr);
    if (pView != nullptr)
        pView->Release();
}

ID3D11ShaderResourceView* KR_ManagedShaderResourceViewDX11::GetShaderResourceView()
{
    return m_pView.load(std::memory_order_acquire);
}

void KR_ManagedShaderResourceViewDX11::SetShaderResourceView(ID3D11ShaderResourceView* pView)
{
    if (pView == nullptr)
        return;
    pView->AddRef();
    ID3D11ShaderResourceView* pOld = m_pView.exchange(pView, std::memory_order_acq_rel);
    if (pOld != nullptr)
        pOld->Release();
}
