#pragma once
// Proxy of a shader-resource view handed out for a texture file: it shows a placeholder until the
// file has loaded, so callers read the view each time they bind it. The resource manager owns
// every proxy; callers never delete one.

struct ID3D11ShaderResourceView;

class KR_ManagedShaderResourceView
{
public:
    KR_ManagedShaderResourceView() = default;
    virtual ~KR_ManagedShaderResourceView() = default;

    KR_ManagedShaderResourceView(const KR_ManagedShaderResourceView&) = delete;
    KR_ManagedShaderResourceView& operator=(const KR_ManagedShaderResourceView&) = delete;

    // The current view, no reference added.
    virtual ID3D11ShaderResourceView* GetShaderResourceView() = 0;
    // Releases the held view and holds a new reference on this one.
    virtual void SetShaderResourceView(ID3D11ShaderResourceView* pView) = 0;
};
