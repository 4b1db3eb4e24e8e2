#pragma once
// A point light; used as a tube light its second end point is the light's target.

#include "render/light/KR_LightBase.h"

#include <cstdint>

class KR_OmniLight : public KR_LightBase
{
public:
    // Bit of the omni light's own flag byte.
    static constexpr std::uint8_t OMNI_FLAG_TUBE_LIGHT = 1u << 0;

    virtual bool IsUsedAsTubeLight() { return (m_uiOmniFlags & OMNI_FLAG_TUBE_LIGHT) != 0; }
    void SetOmniFlags(std::uint8_t uiFlags) { m_uiOmniFlags = uiFlags; }
    std::uint8_t GetOmniFlags() const { return m_uiOmniFlags; }

private:
    std::uint8_t m_uiOmniFlags = 0;
};
