#pragma once
// Vector and matrix library stand-in: the register and storage types, the angle constants and the
// few named vector constants. Every function of the library is exact scalar code on these types.
//
// Conventions (as the library publishes them):
// - XMVECTOR is four float lanes (x, y, z, w), 16-byte aligned; a quaternion is (x, y, z, w) with
//   w the scalar part; a plane is (a, b, c, d) with a x + b y + c z + d = 0.
// - XMMATRIX is four row vectors; points are row vectors (v' = v x M), the translation is r[3] and
//   the product A x B applies A first.
// - XMFLOAT2/3/4 and XMFLOAT4X4 are unaligned storage, converted by XMLoad*/XMStore*.
//
// Does NOT: use SIMD, fused multiply-add or approximated trigonometry; the whole project builds
// with -ffp-contract=off, so every result is the IEEE single-precision result of the written
// order of operations.

#include <cstddef>
#include <cstdint>

// Calling-convention marker of the library's signatures; nothing on this platform.
#define XM_CALLCONV

namespace DirectX
{

constexpr float XM_PI = 3.141592654f;
constexpr float XM_2PI = 6.283185307f;
constexpr float XM_1DIVPI = 0.318309886f;
constexpr float XM_1DIV2PI = 0.159154943f;
constexpr float XM_PIDIV2 = 1.570796327f;
constexpr float XM_PIDIV4 = 0.785398163f;

constexpr float XMConvertToRadians(float fDegrees)
{
    return fDegrees * (XM_PI / 180.0f);
}
constexpr float XMConvertToDegrees(float fRadians)
{
    return fRadians * (180.0f / XM_PI);
}

// A register-like four-float vector, 16-byte aligned. A plain aggregate: XMVECTOR{{x, y, z, w}}.
struct alignas(16) XMVECTOR
{
    float f[4];
};

// Four row vectors; used with row vectors (v' = v x M), translation in r[3].
struct alignas(16) XMMATRIX
{
    XMVECTOR r[4];

    XMMATRIX() = default;
    constexpr XMMATRIX(const XMVECTOR& R0, const XMVECTOR& R1, const XMVECTOR& R2, const XMVECTOR& R3)
        : r{R0, R1, R2, R3}
    {
    }
    constexpr XMMATRIX(float m00, float m01, float m02, float m03, float m10, float m11, float m12, float m13,
                       float m20, float m21, float m22, float m23, float m30, float m31, float m32, float m33)
        : r{{{m00, m01, m02, m03}}, {{m10, m11, m12, m13}}, {{m20, m21, m22, m23}}, {{m30, m31, m32, m33}}}
    {
    }
    // Sixteen floats, row by row.
    explicit XMMATRIX(const float* pArray)
    {
        for (int i = 0; i < 16; ++i)
            r[i / 4].f[i % 4] = pArray[i];
    }

    float operator()(std::size_t row, std::size_t column) const { return r[row].f[column]; }
    float& operator()(std::size_t row, std::size_t column) { return r[row].f[column]; }
};

// Parameter types of the library's signatures (by value or by reference, as on x64).
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
    explicit XMFLOAT2(const float* pArray) : x(pArray[0]), y(pArray[1]) {}
};

struct XMFLOAT3
{
    float x;
    float y;
    float z;
    XMFLOAT3() = default;
    constexpr XMFLOAT3(float _x, float _y, float _z) : x(_x), y(_y), z(_z) {}
    explicit XMFLOAT3(const float* pArray) : x(pArray[0]), y(pArray[1]), z(pArray[2]) {}
};

struct XMFLOAT4
{
    float x;
    float y;
    float z;
    float w;
    XMFLOAT4() = default;
    constexpr XMFLOAT4(float _x, float _y, float _z, float _w) : x(_x), y(_y), z(_z), w(_w) {}
    explicit XMFLOAT4(const float* pArray) : x(pArray[0]), y(pArray[1]), z(pArray[2]), w(pArray[3]) {}
};

// Row-major 4x4 storage, 64 bytes.
struct XMFLOAT4X4
{
    float m[4][4];
    XMFLOAT4X4() = default;
    constexpr XMFLOAT4X4(float m00, float m01, float m02, float m03, float m10, float m11, float m12,
                         float m13, float m20, float m21, float m22, float m23, float m30, float m31,
                         float m32, float m33)
        : m{{m00, m01, m02, m03}, {m10, m11, m12, m13}, {m20, m21, m22, m23}, {m30, m31, m32, m33}}
    {
    }
    explicit XMFLOAT4X4(const float* pArray)
    {
        for (int i = 0; i < 16; ++i)
            m[i / 4][i % 4] = pArray[i];
    }

    float operator()(std::size_t row, std::size_t column) const { return m[row][column]; }
    float& operator()(std::size_t row, std::size_t column) { return m[row][column]; }
};

// A vector constant written as four floats: XMVECTORF32 c = {{{1.0f, 0.0f, 0.0f, 0.0f}}};
// it converts to XMVECTOR wherever one is expected. Only f is ever written.
struct alignas(16) XMVECTORF32
{
    union
    {
        float f[4];
        XMVECTOR v;
    };

    constexpr operator XMVECTOR() const { return XMVECTOR{{f[0], f[1], f[2], f[3]}}; }
    constexpr operator const float*() const { return f; }
};

inline constexpr XMVECTORF32 g_XMIdentityR0 = {{{1.0f, 0.0f, 0.0f, 0.0f}}};
inline constexpr XMVECTORF32 g_XMIdentityR1 = {{{0.0f, 1.0f, 0.0f, 0.0f}}};
inline constexpr XMVECTORF32 g_XMIdentityR2 = {{{0.0f, 0.0f, 1.0f, 0.0f}}};
inline constexpr XMVECTORF32 g_XMIdentityR3 = {{{0.0f, 0.0f, 0.0f, 1.0f}}};
inline constexpr XMVECTORF32 g_XMZero = {{{0.0f, 0.0f, 0.0f, 0.0f}}};
inline constexpr XMVECTORF32 g_XMOne = {{{1.0f, 1.0f, 1.0f, 1.0f}}};
inline constexpr XMVECTORF32 g_XMNegativeOne = {{{-1.0f, -1.0f, -1.0f, -1.0f}}};
inline constexpr XMVECTORF32 g_XMOneHalf = {{{0.5f, 0.5f, 0.5f, 0.5f}}};
// FLT_EPSILON in every lane: the library's threshold for "near zero".
inline constexpr XMVECTORF32 g_XMEpsilon = {
    {{1.192092896e-7f, 1.192092896e-7f, 1.192092896e-7f, 1.192092896e-7f}}};

} // namespace DirectX
