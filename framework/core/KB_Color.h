#pragma once
// An RGBA colour of four floats, each nominally in [0, 1]; default opaque black (0, 0, 0, 1).
// Read from and written as web colours ("#RRGGBB", "#AARRGGBB") in entity and curve files.

#include "framework/core/KB_String.h"
#include "platform/directxmath/DirectXMath.h"

class KB_Color
{
public:
    KB_Color() = default;
    KB_Color(float r, float g, float b, float a);
    explicit KB_Color(const DirectX::XMFLOAT4& rgba);
    explicit KB_Color(const DirectX::XMFLOAT3& rgb); // alpha 1
    KB_Color(const DirectX::XMFLOAT3& rgb, float a);

    // Starts from (0, 0, 0, 1); an empty text leaves it so. One leading '#' is skipped and the
    // rest read as a hexadecimal number v (unreadable text gives 0): AARRGGBB, so six digits
    // give alpha 0.
    void ParseFromWebColor(const KB_String& text);
    // "#RRGGBB" and "#AARRGGBB"; each channel is c x 255 truncated and clamped to [0, 255].
    KB_String GetWebColorRGB() const;
    KB_String GetWebColorRGBA() const;

    // r, g, b raised to 2.2 (to linear) or 1/2.2 (to gamma) in place; alpha unchanged.
    void ToLinear();
    void ToGamma();

    void SetR(float r) { m_fR = r; }
    void SetG(float g) { m_fG = g; }
    void SetB(float b) { m_fB = b; }
    void SetA(float a) { m_fA = a; }
    float GetR() const { return m_fR; }
    float GetG() const { return m_fG; }
    float GetB() const { return m_fB; }
    float GetA() const { return m_fA; }
    DirectX::XMFLOAT3 GetRGB() const { return DirectX::XMFLOAT3(m_fR, m_fG, m_fB); }
    DirectX::XMFLOAT4 GetRGBA() const { return DirectX::XMFLOAT4(m_fR, m_fG, m_fB, m_fA); }

private:
    float m_fR = 0.0f;
    float m_fG = 0.0f;
    float m_fB = 0.0f;
    float m_fA = 1.0f;
};
