#pragma once
// Builds a 3-D texture (a colour-grading cube) from a 2-D image of tiles: an image of W x H
// pixels cut into a tiles across and b tiles down gives a texture of (W / a) x (H / b) x (a x b)
// whose slice z is the tile in tile row z / a, tile column z mod a. A 1024 x 32 strip of 32
// tiles across becomes a 32 x 32 x 32 cube whose slice z is the z-th square from the left.
//
// Decodes through a staging texture that is mapped on the immediate context, so it runs on the
// main thread only. Refuses tile counts of 0, images smaller than their tiling and formats that
// are block-compressed or not a whole number of bytes per pixel; every call's result is checked
// and a failure leaks nothing.

#include "platform/d3d11/d3d11.h"

#include <cstdint>

class KR_Texture3DBuilder
{
public:
    KR_Texture3DBuilder() = delete;

    // A new view (the caller holds its one reference) on the new texture; null on any failure.
    static ID3D11ShaderResourceView* Create(ID3D11Device* pDevice, ID3D11DeviceContext* pContext,
                                            const std::uint8_t* pData, std::uint64_t uiSize,
                                            std::uint32_t uiTilesAcross, std::uint32_t uiTilesDown);
    // Bytes per pixel of a format whose pixels are whole bytes; 0 for block-compressed, packed
    // (two pixels sharing bytes), sub-byte, video and unknown formats.
    static std::uint32_t GetBytesPerPixel(DXGI_FORMAT format);
};
