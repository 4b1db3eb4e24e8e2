#pragma once
// Vector and matrix library stand-in: exact scalar code with the published semantics.
// Storage types and their load/store conversions; the arithmetic grows from here.

#include <cstdint>

namespace DirectX
{

// A register-like four-float vector, 16-byte aligned.
struct alignas(16) XMVECTOR
{
    float f[4];
};

// Four row vectors; used with row vectors (v' = v x M), translation in r[3].
struct alignas(16) XMMATRIX
{
    XMVECTOR r[4];
};

using FXMVECTOR = const XMVECTOR;
using GXMVECTOR = const XMVECTOR;
using HXMVECTOR = const XMVECTOR;
using CXMVECTOR = const XMVECTOR&;
using FXMMATRIX = const XMMATRIX&;
using CXMMATRIX = const XMMATRIX&;

struct XMFLOAT2
{
    float x;
    float y;
    XMFLOAT2() = default;
    constexpr XMFLOAT2(float _x, float _y) : x(_x), y(_y) {}
};

struct XMFLOAT3
{
    float x;
    float y;
    float z;
    XMFLOAT3() = default;
    constexpr XMFLOAT3(float _x, float _y, float _z) : x(_x), y(_y), z(_z) {}
};

struct XMFLOAT4
{
    float x;
    float y;
    float z;
    float w;
    XMFLOAT4() = default;
    constexpr XMFLOAT4(float _x, float _y, float _z, float _w) : x(_x), y(_y), z(_z), w(_w) {}
};

struct XMFLOAT4X4
{
    float m[4][4];
    XMFLOAT4X4() = default;
};

inline XMVECTOR XMLoadFloat2(const XMFLOAT2* p) { return XMVECTOR{{p->x, p->y, 0.0f, 0.0f}}; }
inline XMVECTOR XMLoadFloat3(const XMFLOAT3* p) { return XMVECTOR{{p->x, p->y, p->z, 0.0f}}; }
inline XMVECTOR XMLoadFloat4(const XMFLOAT4* p) { return XMVECTOR{{p->x, p->y, p->z, p->w}}; }

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
