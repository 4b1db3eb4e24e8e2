#pragma once
// The input elements of each vertex format: in slot 0, per-vertex data, packed in component
// order ("SV_POSITION", "NORMAL", "TANGENT", "TEXCOORD" 0 to 3, "BONEWEIGHTS", "BONEINDICES").
// Only the 28 masks of the vertex formats have a list. Static only; any thread.

#include "platform/d3d11/d3d11.h"

#include <cstdint>

class KR_InputLayouts
{
public:
    static constexpr std::uint32_t MAX_ELEMENTS = 9;

    KR_InputLayouts() = delete;

    // The constant list of the mask and its element count; null (count 0) for a mask that is not
    // a vertex format.
    static const D3D11_INPUT_ELEMENT_DESC* GetElements(std::uint8_t uiMask, std::uint32_t* pCount);
    // Bytes one vertex of the list takes (the end of its last element).
    static std::uint32_t GetElementsSize(const D3D11_INPUT_ELEMENT_DESC* pElements, std::uint32_t uiCount);
};
