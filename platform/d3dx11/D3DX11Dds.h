#pragma once
// Internal to the D3DX11 stand-in: DDS files. The reader takes the legacy header (FourCC and
// bit-mask formats) and the extended header with a DXGI format, 1-D, 2-D, 3-D, cube maps,
// arrays and mip chains; every size, count and the payload length are checked before anything
// is allocated. The writer uses the legacy header where a format has one, else the extended one.

#include "platform/d3dx11/D3DX11Image.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace d3dx11_internal
{

bool IsDds(const std::uint8_t* pData, std::size_t uiSize);

// Description only (no surfaces) when bHeaderOnly; E_FAIL for a damaged or unsupported file.
HRESULT ReadDds(const std::uint8_t* pData, std::size_t uiSize, bool bHeaderOnly, Image* pOut);

HRESULT WriteDds(const Image& image, std::vector<std::uint8_t>* pOut);

} // namespace d3dx11_internal
