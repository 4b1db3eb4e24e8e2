#pragma once
// A point light; used as a tube light it emits along the segment from its position to its target
// (the second end point), fixed or on a rail. Stored in one ".omn" file: the keys d, s, e, pv, tv,
// cv, av, lm, ls, lss, vl and the curve paths pp, tp, cp, sp; "tv" or "tp" makes a tube light. A
// tube light's target rail is saved with the file (after the position rail), so that saving a
// scene never loses it.

#include "render/light/KR_LightBase.h"

#include <cstdint>

class KR_OmniLight : public KR_LightBase
{
public:
    static constexpr const char* TITLE = "# Simple Omni Light file";
    // Bit of the omni light's own flag byte.
    static constexpr std::uint8_t OMNI_FLAG_TUBE_LIGHT = 1u << 0;
    // Where a new tube's far end goes when it has none: this far along +x from the position.
    static constexpr float DEFAULT_TUBE_LENGTH = 300.0f;

    // Registers on channel 5; the omni light's colours.
    KR_OmniLight();
    ~KR_OmniLight() override;

    virtual bool IsUsedAsTubeLight() { return (m_uiOmniFlags & OMNI_FLAG_TUBE_LIGHT) != 0; }
    // Sets the tube bit and rebuilds the target's marker, rail, visualisation and handle: none for
    // a point light; for a tube the rail its path names (with its visualisation), or without a
    // path a handle, the target moved to the default length when it is exactly zero. The target
    // rail path and the stored target are kept either way.
    void SetUseAsTubeLight(bool bTube);
    void SetOmniFlags(std::uint8_t uiFlags) { m_uiOmniFlags = uiFlags; }
    std::uint8_t GetOmniFlags() const { return m_uiOmniFlags; }

    // Resets the file's fields (not the target, its rail path, the specular strength, the debug
    // name or the tube bit), reads the ".omn" file, reloads the curves and sets the tube bit from
    // "tv"/"tp" (kept when neither is there). False, after the reset, when no repository has it.
    bool LoadFromFile(const KB_String& sPath) override;
    // Saves the curves beside the file, then writes it; the result is the file's write.
    bool SaveToFile(const KB_String& sPath) override;
    // The ".omn" text of the current state.
    KB_String CreateLightText() const;

private:
    std::uint8_t m_uiOmniFlags = 0;
};
