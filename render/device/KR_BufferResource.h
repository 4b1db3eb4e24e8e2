#pragma once
// One record of the resource manager's buffer table: the buffer, its unordered-access and
// shader-resource views and the pooling flags. Owns one reference on each object. Changed only
// under the buffer-table lock.

#include "platform/d3d11/d3d11.h"
#include "render/device/KR_BufferResourceDescription.h"

struct KR_BufferResource
{
    void Release();
    // Release, then makes the buffer (no initial data) and its views from the description. A
    // byte width that does not fit 32 bits makes nothing.
    void Create(ID3D11Device* pDevice);

    ID3D11Buffer* m_pBuffer = nullptr;
    ID3D11UnorderedAccessView* m_pUnordererAccessView = nullptr;
    ID3D11ShaderResourceView* m_pShaderResourceView = nullptr;
    KR_BufferResourceDescription m_oDescription;
    bool m_bCreated = false;
    bool m_bInUse = false;
};
