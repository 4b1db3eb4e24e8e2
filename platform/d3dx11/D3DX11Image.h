#pragma once
// Internal to the D3DX11 stand-in: a decoded image (every mip level of every array item or cube
// face, in one DXGI format) and what the loader does to it between the file and the texture:
// format conversion, resizing, dropping the top mip levels and building a mip chain.

#include "platform/d3d11/D3D11Resources.h"
#include "platform/d3dx11/d3dx11.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace d3dx11_internal
{

// Largest image the loader accepts, in bytes of decoded data; the device refuses more anyway.
constexpr std::uint64_t MAX_IMAGE_BYTES = std::uint64_t{1} << 30;

struct Surface
{
    UINT width = 0;
    UINT height = 0;
    UINT depth = 1;
    UINT rowPitch = 0;   // bytes of one row of blocks
    UINT rowCount = 0;   // rows of blocks
    UINT slicePitch = 0; // rowPitch * rowCount
    // The surface's own bytes, or, when pView is set, a view of the file's bytes that stays valid
    // while the call that decoded them runs (loading a file as stored copies nothing).
    d3d11_internal::ByteBuffer bytes;
    const std::uint8_t* pView = nullptr;

    const std::uint8_t* Data() const { return pView != nullptr ? pView : bytes.data(); }
    std::size_t Size() const { return std::size_t{slicePitch} * depth; }
};

struct Image
{
    D3D11_RESOURCE_DIMENSION dimension = D3D11_RESOURCE_DIMENSION_TEXTURE2D;
    DXGI_FORMAT format = DXGI_FORMAT_UNKNOWN;
    UINT width = 0;
    UINT height = 1;
    UINT depth = 1;
    UINT arraySize = 1; // cube maps: six per cube
    UINT mipLevels = 1;
    bool cube = false;
    D3DX11_IMAGE_FILE_FORMAT fileFormat = D3DX11_IFF_PNG;
    std::vector<Surface> surfaces; // surfaces[item * mipLevels + mip], the subresource order

    D3DX11_IMAGE_INFO GetInfo() const;
    Surface& At(UINT uiItem, UINT uiMip) { return surfaces[std::size_t{uiItem} * mipLevels + uiMip]; }
};

// A surface of that size in that format whose bytes the caller fills whole; false for an unknown
// format or a size past MAX_IMAGE_BYTES. With pView, the surface is a view of those bytes instead.
bool MakeSurface(DXGI_FORMAT format, UINT uiWidth, UINT uiHeight, UINT uiDepth, Surface* pOut,
                 const std::uint8_t* pView = nullptr);

// Formats whose pixels the loader can read and write as four floats.
bool CanConvert(DXGI_FORMAT format);

// Rewrites every surface in another format; E_FAIL when either format cannot be converted.
HRESULT ConvertImage(Image* pImage, DXGI_FORMAT format);

// Drops the first uiFirst mip levels of every item; E_INVALIDARG when none would be left.
HRESULT DropTopMips(Image* pImage, UINT uiFirst);

// Scales the top level of every item of a 1-D or 2-D image to the size and drops the other levels.
HRESULT ResizeImage(Image* pImage, UINT uiWidth, UINT uiHeight, UINT uiFilter);

// Gives every item uiLevels mip levels: surplus levels are dropped, missing ones built from the
// level above with the filter. Images whose levels cannot be built (block-compressed formats,
// volumes) keep the levels they have when more are asked for.
HRESULT SetMipLevels(Image* pImage, UINT uiLevels, UINT uiMipFilter);

// Levels of a full chain for that size.
UINT FullMipCount(UINT uiWidth, UINT uiHeight, UINT uiDepth);

} // namespace d3dx11_internal
