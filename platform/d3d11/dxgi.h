#pragma once
// DXGI stand-in: the factory, one configurable list of adapters and outputs with their display
// modes, and swap chains whose back buffer is a software texture of the Direct3D 11 stand-in.
// Nothing reaches a screen; Present counts frames. Tests configure and observe it through
// platform/d3d11/D3D11Control.h.

#include "platform/d3d11/Unknwn.h"
#include "platform/d3d11/dxgiformat.h"
#include "platform/win32/WinTypes.h"

constexpr HRESULT DXGI_ERROR_INVALID_CALL = static_cast<HRESULT>(0x887A0001u);
constexpr HRESULT DXGI_ERROR_NOT_FOUND = static_cast<HRESULT>(0x887A0002u);
constexpr HRESULT DXGI_ERROR_MORE_DATA = static_cast<HRESULT>(0x887A0003u);
constexpr HRESULT DXGI_ERROR_UNSUPPORTED = static_cast<HRESULT>(0x887A0004u);
constexpr HRESULT DXGI_ERROR_DEVICE_REMOVED = static_cast<HRESULT>(0x887A0005u);

constexpr UINT DXGI_ENUM_MODES_INTERLACED = 1;
constexpr UINT DXGI_ENUM_MODES_SCALING = 2;

using DXGI_USAGE = UINT;
constexpr DXGI_USAGE DXGI_USAGE_SHADER_INPUT = 0x00000010u;
constexpr DXGI_USAGE DXGI_USAGE_RENDER_TARGET_OUTPUT = 0x00000020u;
constexpr DXGI_USAGE DXGI_USAGE_BACK_BUFFER = 0x00000040u;
constexpr DXGI_USAGE DXGI_USAGE_SHARED = 0x00000080u;
constexpr DXGI_USAGE DXGI_USAGE_READ_ONLY = 0x00000100u;
constexpr DXGI_USAGE DXGI_USAGE_DISCARD_ON_PRESENT = 0x00000200u;
constexpr DXGI_USAGE DXGI_USAGE_UNORDERED_ACCESS = 0x00000400u;

struct DXGI_RATIONAL
{
    UINT Numerator;
    UINT Denominator;
};

struct DXGI_SAMPLE_DESC
{
    UINT Count;
    UINT Quality;
};

enum DXGI_MODE_SCANLINE_ORDER
{
    DXGI_MODE_SCANLINE_ORDER_UNSPECIFIED = 0,
    DXGI_MODE_SCANLINE_ORDER_PROGRESSIVE = 1,
    DXGI_MODE_SCANLINE_ORDER_UPPER_FIELD_FIRST = 2,
    DXGI_MODE_SCANLINE_ORDER_LOWER_FIELD_FIRST = 3
};

enum DXGI_MODE_SCALING
{
    DXGI_MODE_SCALING_UNSPECIFIED = 0,
    DXGI_MODE_SCALING_CENTERED = 1,
    DXGI_MODE_SCALING_STRETCHED = 2
};

enum DXGI_MODE_ROTATION
{
    DXGI_MODE_ROTATION_UNSPECIFIED = 0,
    DXGI_MODE_ROTATION_IDENTITY = 1,
    DXGI_MODE_ROTATION_ROTATE90 = 2,
    DXGI_MODE_ROTATION_ROTATE180 = 3,
    DXGI_MODE_ROTATION_ROTATE270 = 4
};

struct DXGI_MODE_DESC
{
    UINT Width;
    UINT Height;
    DXGI_RATIONAL RefreshRate;
    DXGI_FORMAT Format;
    DXGI_MODE_SCANLINE_ORDER ScanlineOrdering;
    DXGI_MODE_SCALING Scaling;
};

enum DXGI_SWAP_EFFECT
{
    DXGI_SWAP_EFFECT_DISCARD = 0,
    DXGI_SWAP_EFFECT_SEQUENTIAL = 1
};

struct DXGI_SWAP_CHAIN_DESC
{
    DXGI_MODE_DESC BufferDesc;
    DXGI_SAMPLE_DESC SampleDesc;
    DXGI_USAGE BufferUsage;
    UINT BufferCount;
    HWND OutputWindow;
    BOOL Windowed;
    DXGI_SWAP_EFFECT SwapEffect;
    UINT Flags;
};

struct DXGI_ADAPTER_DESC
{
    WCHAR Description[128];
    UINT VendorId;
    UINT DeviceId;
    UINT SubSysId;
    UINT Revision;
    SIZE_T DedicatedVideoMemory;
    SIZE_T DedicatedSystemMemory;
    SIZE_T SharedSystemMemory;
    LUID AdapterLuid;
};

struct DXGI_OUTPUT_DESC
{
    WCHAR DeviceName[32];
    RECT DesktopCoordinates;
    BOOL AttachedToDesktop;
    DXGI_MODE_ROTATION Rotation;
    HMONITOR Monitor;
};

struct IDXGIObject : public IUnknown
{
};

struct IDXGIDeviceSubObject : public IDXGIObject
{
};

struct IDXGIOutput : public IDXGIObject
{
    virtual HRESULT GetDesc(DXGI_OUTPUT_DESC* pDesc) = 0;
    // pDesc null: *pNumModes receives the number of modes of that format. Otherwise *pNumModes is
    // the capacity of pDesc on entry and the number written on return (DXGI_ERROR_MORE_DATA when
    // the list did not fit).
    virtual HRESULT GetDisplayModeList(DXGI_FORMAT EnumFormat, UINT Flags, UINT* pNumModes,
                                       DXGI_MODE_DESC* pDesc) = 0;
};

struct IDXGIAdapter : public IDXGIObject
{
    // DXGI_ERROR_NOT_FOUND past the last output.
    virtual HRESULT EnumOutputs(UINT Output, IDXGIOutput** ppOutput) = 0;
    virtual HRESULT GetDesc(DXGI_ADAPTER_DESC* pDesc) = 0;
};

struct IDXGISwapChain : public IDXGIDeviceSubObject
{
    // Ends a frame: counts it and records the sync interval (0 to 4).
    virtual HRESULT Present(UINT SyncInterval, UINT Flags) = 0;
    // With DXGI_SWAP_EFFECT_DISCARD only buffer 0 can be reached.
    virtual HRESULT GetBuffer(UINT Buffer, REFIID riid, void** ppSurface) = 0;
    virtual HRESULT SetFullscreenState(BOOL Fullscreen, IDXGIOutput* pTarget) = 0;
    virtual HRESULT GetDesc(DXGI_SWAP_CHAIN_DESC* pDesc) = 0;
    // 0 keeps the buffer count, DXGI_FORMAT_UNKNOWN the format, a zero side the current side.
    // DXGI_ERROR_INVALID_CALL while references to a back buffer are still held.
    virtual HRESULT ResizeBuffers(UINT BufferCount, UINT Width, UINT Height, DXGI_FORMAT NewFormat,
                                  UINT SwapChainFlags) = 0;
};

struct IDXGIFactory : public IDXGIObject
{
    // DXGI_ERROR_NOT_FOUND past the last adapter.
    virtual HRESULT EnumAdapters(UINT Adapter, IDXGIAdapter** ppAdapter) = 0;
    virtual HRESULT CreateSwapChain(IUnknown* pDevice, DXGI_SWAP_CHAIN_DESC* pDesc,
                                    IDXGISwapChain** ppSwapChain) = 0;
};

inline constexpr IID IID_IDXGIObject = {
    0xaec22fb8, 0x76f3, 0x4639, {0x9b, 0xe0, 0x28, 0xeb, 0x43, 0xa6, 0x7a, 0x2e}};
inline constexpr IID IID_IDXGIDeviceSubObject = {
    0x3d3e0379, 0xf9de, 0x4d58, {0xbb, 0x6c, 0x18, 0xd6, 0x29, 0x92, 0xf1, 0xa6}};
inline constexpr IID IID_IDXGIOutput = {
    0xae02eedb, 0xc735, 0x4690, {0x8d, 0x52, 0x5a, 0x8d, 0xc2, 0x02, 0x13, 0xaa}};
inline constexpr IID IID_IDXGIAdapter = {
    0x2411e7e1, 0x12ac, 0x4ccf, {0xbd, 0x14, 0x97, 0x98, 0xe8, 0x53, 0x4d, 0xc0}};
inline constexpr IID IID_IDXGISwapChain = {
    0x310d36a0, 0xd2e7, 0x4c0a, {0xaa, 0x04, 0x6a, 0x9d, 0x23, 0xb8, 0x88, 0x6a}};
inline constexpr IID IID_IDXGIFactory = {
    0x7b7166ec, 0x21c7, 0x44ae, {0xb2, 0x1a, 0xc9, 0xae, 0x32, 0x1a, 0xe3, 0x69}};

// Exported by "dxgi.dll". riid must be IID_IDXGIFactory (or IID_IDXGIObject, IID_IUnknown).
HRESULT CreateDXGIFactory(REFIID riid, void** ppFactory);
