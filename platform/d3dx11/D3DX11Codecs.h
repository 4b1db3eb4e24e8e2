#pragma once
// Internal to the D3DX11 stand-in: image files to images and back. DDS goes through our own
// parser; PNG, JPEG, BMP and GIF through stb_image; PNG is written with stb_image_write.

#include "platform/d3dx11/D3DX11Image.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace d3dx11_internal
{

// Description only (no surfaces) when bHeaderOnly; E_FAIL for data of no known kind or damaged.
HRESULT DecodeImage(const std::uint8_t* pData, std::size_t uiSize, bool bHeaderOnly, Image* pOut);

// One 2-D surface of four 8-bit channels (R8G8B8A8) as a PNG file.
HRESULT EncodePng(const Surface& surface, std::vector<std::uint8_t>* pOut);

} // namespace d3dx11_internal
