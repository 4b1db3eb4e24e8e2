#pragma once
// D3DX11 stand-in: textures from image files in memory, and textures saved as image files.
// PNG, JPEG, BMP and GIF are decoded with stb_image (to R8G8B8A8_UNORM, or R16G16B16A16_UNORM for
// 16-bit PNG); DDS is read by our own parser (1-D, 2-D, 3-D, cube maps, arrays, mip chains, plain
// and block-compressed formats, the legacy and the extended header). Textures are made through
// the device's own creation calls, so they are ordinary stand-in resources. Every size, pitch
// and count read from a file is checked before it is used; a damaged file fails its call and
// leaks nothing. Safe to call from several threads. Tests observe it through
// platform/d3dx11/D3DX11Control.h.

#include "platform/d3d11/d3d11.h"

// Load-info value meaning "as the file says" (sizes, mip count, format) or "the usual"
// (usage, flags, filters).
constexpr UINT D3DX11_DEFAULT = static_cast<UINT>(-1);
constexpr UINT D3DX11_FROM_FILE = static_cast<UINT>(-3);
constexpr DXGI_FORMAT DXGI_FORMAT_FROM_FILE = static_cast<DXGI_FORMAT>(-3);

enum D3DX11_FILTER_FLAG
{
    D3DX11_FILTER_NONE = 1 << 0,
    D3DX11_FILTER_POINT = 2 << 0,
    D3DX11_FILTER_LINEAR = 3 << 0,
    D3DX11_FILTER_TRIANGLE = 4 << 0,
    D3DX11_FILTER_BOX = 5 << 0,
    D3DX11_FILTER_MIRROR_U = 1 << 16,
    D3DX11_FILTER_MIRROR_V = 2 << 16,
    D3DX11_FILTER_MIRROR_W = 4 << 16,
    D3DX11_FILTER_MIRROR = 7 << 16,
    D3DX11_FILTER_DITHER = 1 << 19,
    D3DX11_FILTER_DITHER_DIFFUSION = 2 << 19,
    D3DX11_FILTER_SRGB_IN = 1 << 21,
    D3DX11_FILTER_SRGB_OUT = 2 << 21,
    D3DX11_FILTER_SRGB = 3 << 21
};

enum D3DX11_IMAGE_FILE_FORMAT
{
    D3DX11_IFF_BMP = 0,
    D3DX11_IFF_JPG = 1,
    D3DX11_IFF_PNG = 3,
    D3DX11_IFF_DDS = 4,
    D3DX11_IFF_TIFF = 10,
    D3DX11_IFF_GIF = 11,
    D3DX11_IFF_WMP = 12
};

struct D3DX11_IMAGE_INFO
{
    UINT Width;
    UINT Height;
    UINT Depth;
    UINT ArraySize; // cube maps count six per cube
    UINT MipLevels;
    UINT MiscFlags; // D3D11_RESOURCE_MISC_TEXTURECUBE for cube maps
    DXGI_FORMAT Format;
    D3D11_RESOURCE_DIMENSION ResourceDimension;
    D3DX11_IMAGE_FILE_FORMAT ImageFileFormat;
};

// Every member starts at "default": sizes and mip levels from the file (D3DX11_DEFAULT mip levels
// means a full chain, generated where the file has fewer), default usage, shader-resource binding,
// no CPU access, the cube flag where the file is a cube map, the file's format, triangle filtering
// for resizing and box filtering for mip generation.
struct D3DX11_IMAGE_LOAD_INFO
{
    UINT Width = D3DX11_DEFAULT;
    UINT Height = D3DX11_DEFAULT;
    UINT Depth = D3DX11_DEFAULT;
    UINT FirstMipLevel = D3DX11_DEFAULT;
    UINT MipLevels = D3DX11_DEFAULT;
    D3D11_USAGE Usage = static_cast<D3D11_USAGE>(D3DX11_DEFAULT);
    UINT BindFlags = D3DX11_DEFAULT;
    UINT CpuAccessFlags = D3DX11_DEFAULT;
    UINT MiscFlags = D3DX11_DEFAULT;
    DXGI_FORMAT Format = DXGI_FORMAT_FROM_FILE;
    UINT Filter = D3DX11_DEFAULT;
    UINT MipFilter = D3DX11_DEFAULT;
    D3DX11_IMAGE_INFO* pSrcInfo = nullptr; // receives the file's description when set
};

// Asynchronous loading is not offered: every pump argument must be null.
struct ID3DX11ThreadPump;

// pHResult, when given, receives the same result as the return value.
HRESULT D3DX11GetImageInfoFromMemory(LPCVOID pSrcData, SIZE_T SrcDataSize, ID3DX11ThreadPump* pPump,
                                     D3DX11_IMAGE_INFO* pSrcInfo, HRESULT* pHResult);

HRESULT D3DX11CreateTextureFromMemory(ID3D11Device* pDevice, LPCVOID pSrcData, SIZE_T SrcDataSize,
                                      D3DX11_IMAGE_LOAD_INFO* pLoadInfo, ID3DX11ThreadPump* pPump,
                                      ID3D11Resource** ppTexture, HRESULT* pHResult);

// The texture of CreateTextureFromMemory and a view of all of it (a cube view for cube maps).
HRESULT D3DX11CreateShaderResourceViewFromMemory(ID3D11Device* pDevice, LPCVOID pSrcData, SIZE_T SrcDataSize,
                                                 D3DX11_IMAGE_LOAD_INFO* pLoadInfo, ID3DX11ThreadPump* pPump,
                                                 ID3D11ShaderResourceView** ppShaderResourceView,
                                                 HRESULT* pHResult);

// PNG: the first subresource converted to 8-bit RGBA (floats clamped to [0, 1]). DDS: every
// subresource in the texture's own format. The file is written beside its final name and then
// renamed over it, so a failed save leaves an older file whole. A file that cannot be written
// answers HRESULT_FROM_WIN32 of the error Windows gives (ERROR_PATH_NOT_FOUND for a missing
// folder, ERROR_ACCESS_DENIED, ERROR_DISK_FULL, ERROR_FILE_TOO_LARGE), E_FAIL for any other.
HRESULT D3DX11SaveTextureToFileA(ID3D11DeviceContext* pContext, ID3D11Resource* pSrcTexture,
                                 D3DX11_IMAGE_FILE_FORMAT DestFormat, LPCSTR pDestFile);
