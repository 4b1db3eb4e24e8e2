#pragma once
// One record of the resource manager's texture table: the texture (2-D or 3-D), its views by
// bind flag (one render-target and one depth-stencil view per array slice) and the pooling flags.
// The record owns one reference on each object. Changed only under the texture-table lock.

#include "platform/d3d11/d3d11.h"
#include "render/device/KR_TextureResourceDescription.h"

#include <vector>

struct KR_TextureResource
{
    // Releases every object, empties the view arrays and clears the created flag.
    void Release();
    // Release, then makes the texture and its views on the device from the description. A 3-D
    // texture with the depth-stencil bind flag ends with no objects. View failures leave the view
    // null; the created flag says whether a texture exists.
    void Create(ID3D11Device* pDevice);

    ID3D11Texture2D* m_pTexture2D = nullptr;
    ID3D11Texture3D* m_pTexture3D = nullptr;
    std::vector<ID3D11RenderTargetView*> m_vRenderTargetViews; // by array slice
    std::vector<ID3D11DepthStencilView*> m_vDepthStencilViews; // by array slice
    ID3D11ShaderResourceView* m_pShaderResourceView = nullptr;
    ID3D11UnorderedAccessView* m_pUnorderedAccessView = nullptr;
    KR_TextureResourceDescription m_oDescription;
    bool m_bCreated = false;
    bool m_bInUse = false;
};
