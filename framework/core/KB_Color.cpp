#include "framework/core/KB_Color.h"

#include <cmath>
#include <cstdint>
#include <sstream>

namespace
{

constexpr float BYTE_TO_UNIT = 0.003921569f; // 1/255 as f32
constexpr float TO_LINEAR_EXPONENT = 2.2f;
constexpr float TO_GAMMA_EXPONENT = 0.45454544f;

// c x 255 truncated, clamped first so an out-of-range channel saturates instead of wrapping.
std::uint32_t ChannelToByte(float c)
{
    float scaled = c * 255.0f;
    if (!(scaled > 0.0f)) // also catches NaN
        scaled = 0.0f;
    if (scaled > 255.0f)
        scaled = 255.0f;
    return static_cast<std::uint32_t>(scaled);
}

} // namespace

KB_Color::KB_Color(float r, float g, float b, float a) : m_fR(r), m_fG(g), m_fB(b), m_fA(a)
{
}

KB_Color::KB_Color(const DirectX::XMFLOAT4& rgba) : m_fR(rgba.x), m_fG(rgba.y), m_fB(rgba.z), m_fA(rgba.w)
{
}

KB_Color::KB_Color(const DirectX::XMFLOAT3& rgb) : m_fR(rgb.x), m_fG(rgb.y), m_fB(rgb.z), m_fA(1.0f)
{
}

KB_Color::KB_Color(const DirectX::XMFLOAT3& rgb, float a) : m_fR(rgb.x), m_fG(rgb.y), m_fB(rgb.z), m_fA(a)
{
}

void KB_Color::ParseFromWebColor(const KB_String& text)
{
    *this = KB_Color();
    if (text.GetLength() == 0)
        return;
    const char* pDigits = text.GetBuffer();
    if (pDigits[0] == '#')
        ++pDigits;
    std::istringstream stream(pDigits);
    std::uint32_t v = 0;
    stream >> std::hex >> v; // a failed read leaves 0 (or the maximum on overflow)
    m_fR = static_cast<float>((v >> 16) & 255) * BYTE_TO_UNIT;
    m_fG = static_cast<float>((v >> 8) & 255) * BYTE_TO_UNIT;
    m_fB = static_cast<float>(v & 255) * BYTE_TO_UNIT;
    m_fA = static_cast<float>(v >> 24) * BYTE_TO_UNIT;
}

KB_String KB_Color::GetWebColorRGB() const
{
    const std::uint32_t value = ChannelToByte(m_fR) << 16 | ChannelToByte(m_fG) << 8 | ChannelToByte(m_fB);
    return KB_String::Formatted("#%.6X", value);
}

KB_String KB_Color::GetWebColorRGBA() const
{
    const std::uint32_t value = ChannelToByte(m_fA) << 24 | ChannelToByte(m_fR) << 16 |
                                ChannelToByte(m_fG) << 8 | ChannelToByte(m_fB);
    return KB_String::Formatted("#%.8X", value);
}

void KB_Color::ToLinear()
{
    m_fR = std::pow(m_fR, TO_LINEAR_EXPONENT);
    m_fG = std::pow(m_fG, TO_LINEAR_EXPONENT);
    m_fB = std::pow(m_fB, TO_LINEAR_EXPONENT);
}

void KB_Color::ToGamma()
{
    m_fR = std::pow(m_fR, TO_GAMMA_EXPONENT);
    m_fG = std::pow(m_fG, TO_GAMMA_EXPONENT);
    m_fB = std::pow(m_fB, TO_GAMMA_EXPONENT);
}
