#pragma once
// Loads from and stores to the unaligned storage types. Loads fill the lanes a storage type lacks
// with 0; stores write only the lanes the storage type has.

#include "platform/directxmath/DirectXMathTypes.h"

namespace DirectX
{

inline XMVECTOR XMLoadFloat(const float* p)
{
    return XMVECTOR{{*p, 0.0f, 0.0f, 0.0f}};
}
inline XMVECTOR XMLoadFloat2(const XMFLOAT2* p)
{
    return XMVECTOR{{p->x, p->y, 0.0f, 0.0f}};
}
inline XMVECTOR XMLoadFloat3(const XMFLOAT3* p)
{
    return XMVECTOR{{p->x, p->y, p->z, 0.0f}};
}
inline XMVECTOR XMLoadFloat4(const XMFLOAT4* p)
{
    return XMVECTOR{{p->x, p->y, p->z, p->w}};
}

inline void XMStoreFloat(float* p, FXMVECTOR v)
{
    *p = v.f[0];
}

inline void XMStoreFloat2(XMFLOAT2* p, FXMVECTOR v)
{
    p->x = v.f[0];
    p->y = v.f[1];
}

inline void XMStoreFloat3(XMFLOAT3* p, FXMVECTOR v)
{
    p->x = v.f[0];
    p->y = v.f[1];
    p->z = v.f[2];
}

inline void XMStoreFloat4(XMFLOAT4* p, FXMVECTOR v)
{
    p->x = v.f[0];
    p->y = v.f[1];
    p->z = v.f[2];
    p->w = v.f[3];
}

inline XMMATRIX XMLoadFloat4x4(const XMFLOAT4X4* p)
{
    XMMATRIX m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m.r[r].f[c] = p->m[r][c];
    return m;
}

inline void XMStoreFloat4x4(XMFLOAT4X4* p, FXMMATRIX m)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            p->m[r][c] = m.r[r].f[c];
}

} // namespace DirectX
