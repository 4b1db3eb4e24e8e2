#pragma once
// The view proxy of the Direct3D 11 resource manager: holds one reference on its current view.
// A load job swaps the view on a worker thread while the main thread reads it to bind, so the
// pointer is atomic and a swap references the new view, stores it, and only then releases the
// old one: a reader sees either view, each still alive (the old one is the placeholder, which the
// manager keeps). Null is never stored, so once made on a view the proxy never hands out null.

#include "render/device/KR_ManagedShaderResourceView.h"

#include <atomic>

class KR_ManagedShaderResourceViewDX11 : public KR_ManagedShaderResourceView
{
public:
    // Holds a reference on pView (which may be null when there is no device at all).
    explicit KR_ManagedShaderResourceViewDX11(ID3D11ShaderResourceView* pView);
    ~KR_ManagedShaderResourceViewDX11() override; // releases the held view

    ID3D11ShaderResourceView* GetShaderResourceView() override;
    // Null is ignored: the current view stays.
    void SetShaderResourceView(ID3D11ShaderResourceView* pView) override;

private:
    std::atomic<ID3D11ShaderResourceView*> m_pView;
};
