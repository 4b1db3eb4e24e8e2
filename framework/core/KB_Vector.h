#pragma once
// Small plain value types of two, three and four components, with conversions from and to the
// DirectXMath storage types and vector register. The default constructors leave the components
// unset, as plain value types do.

#include "platform/crt/WinCrt.h"
#include "platform/directxmath/DirectXMath.h"

template <typename T>
struct KB_Vector2
{
    T x;
    T y;

    KB_Vector2() = default;
    constexpr KB_Vector2(T _x, T _y) : x(_x), y(_y) {}
    KB_Vector2(const DirectX::XMFLOAT2& v) : x(static_cast<T>(v.x)), y(static_cast<T>(v.y)) {}
    explicit KB_Vector2(DirectX::FXMVECTOR v) : x(static_cast<T>(v.f[0])), y(static_cast<T>(v.f[1])) {}

    operator DirectX::XMFLOAT2() const
    {
        return DirectX::XMFLOAT2(static_cast<float>(x), static_cast<float>(y));
    }
    DirectX::XMVECTOR ToXMVECTOR() const
    {
        return DirectX::XMVECTOR{{static_cast<float>(x), static_cast<float>(y), 0.0f, 0.0f}};
    }

    bool operator==(const KB_Vector2& other) const = default;
};

template <typename T>
struct KB_Vector3
{
    T x;
    T y;
    T z;

    KB_Vector3() = default;
    constexpr KB_Vector3(T _x, T _y, T _z) : x(_x), y(_y), z(_z) {}
    KB_Vector3(const DirectX::XMFLOAT3& v) : x(v.x), y(v.y), z(v.z) {}
    explicit KB_Vector3(DirectX::FXMVECTOR v) : x(v.f[0]), y(v.f[1]), z(v.f[2]) {}

    operator DirectX::XMFLOAT3() const { return DirectX::XMFLOAT3(x, y, z); }
    DirectX::XMVECTOR ToXMVECTOR() const { return DirectX::XMVECTOR{{x, y, z, 0.0f}}; }

    bool operator==(const KB_Vector3& other) const = default;
};

template <typename T>
struct KB_Vector4
{
    T x;
    T y;
    T z;
    T w;

    KB_Vector4() = default;
    constexpr KB_Vector4(T _x, T _y, T _z, T _w) : x(_x), y(_y), z(_z), w(_w) {}
    KB_Vector4(const DirectX::XMFLOAT4& v) : x(v.x), y(v.y), z(v.z), w(v.w) {}
    explicit KB_Vector4(DirectX::FXMVECTOR v) : x(v.f[0]), y(v.f[1]), z(v.f[2]), w(v.f[3]) {}

    operator DirectX::XMFLOAT4() const { return DirectX::XMFLOAT4(x, y, z, w); }
    DirectX::XMVECTOR ToXMVECTOR() const { return DirectX::XMVECTOR{{x, y, z, w}}; }

    bool operator==(const KB_Vector4& other) const = default;

    // x, y, z uniform in [-extent, extent] per component, w uniform in [-1, 1]; each value is
    // rand / 32767 x 2 - 1 from wincrt::rand, drawn four times in the order x, y, z, w.
    static KB_Vector4<float> CreateRandom(const DirectX::XMFLOAT3& extent)
    {
        KB_Vector4<float> result;
        result.x = RandomSignedUnit() * extent.x;
        result.y = RandomSignedUnit() * extent.y;
        result.z = RandomSignedUnit() * extent.z;
        result.w = RandomSignedUnit();
        return result;
    }

    static void CreateRandom(KB_Vector4<float>* pOut, const DirectX::XMFLOAT3* pExtent)
    {
        *pOut = CreateRandom(*pExtent);
    }

private:
    static float RandomSignedUnit()
    {
        return static_cast<float>(wincrt::rand()) / static_cast<float>(wincrt::WIN_RAND_MAX) * 2.0f - 1.0f;
    }
};

static_assert(sizeof(KB_Vector4<float>) == 16, "four packed floats");
