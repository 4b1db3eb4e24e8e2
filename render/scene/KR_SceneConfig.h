#pragma once
// The scene configuration ("Assets/sceneconfig.xml"): one entry per scene, in the order the scenes
// are added, with the scene's duration and its cameras' planes. The document's top-level elements
// from the first one on are the scene elements, as long as each name begins with "scene" in any
// case; the first other node ends the list. A scene element's child elements name a value by
// the hash of their name (duration, near_distance, far_distance, far_distance_tools) and hold it as
// text; a later value overrides an earlier one, other names are ignored. Children that are no
// elements (comments, text) and elements without text keep the default. Pure: no files, any thread.

#include "framework/core/KB_GrowingArray.h"

#include <cstdint>

class TiXmlDocument;

// The timing of one scene: its duration in seconds and its cameras' planes.
struct KR_SceneConfigEntry
{
    double fDuration = 10.0;
    double fNearPlane = 0.1;
    double fFarPlane = 200.0;
    double fEditorFarPlane = 500.0;
};

class KR_SceneConfig
{
public:
    // Name hashes (32-bit FNV-1a from the FNV prime) of the value elements.
    static constexpr std::uint32_t DURATION_HASH = 0x73a96807u;
    static constexpr std::uint32_t NEAR_PLANE_HASH = 0xe719db85u;
    static constexpr std::uint32_t FAR_PLANE_HASH = 0x2bba1c72u;
    static constexpr std::uint32_t EDITOR_FAR_PLANE_HASH = 0xe60b9356u;

    KR_SceneConfig() = delete;

    // Appends one entry per scene element to gEntries. Each entry is clamped: a far plane not
    // beyond the near plane becomes the near plane, an editor far plane not beyond the far plane
    // becomes the far plane. Returns the number of entries appended.
    static std::uint32_t Parse(const TiXmlDocument& document, KB_GrowingArray<KR_SceneConfigEntry>& gEntries);
    // The hash that selects a value by its element name.
    static std::uint32_t HashName(const char* pName);
};
