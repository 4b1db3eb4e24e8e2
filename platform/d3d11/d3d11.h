#pragma once
// Direct3D 11 stand-in: a software device. Resources keep real CPU memory per subresource, views
// and states keep their descriptions, and the immediate context records bound state and really
// performs clears and resolves on that memory. Nothing is drawn to a screen. The device is safe
// to call from several threads (atomic reference counts, locked object registry); the immediate
// context belongs to one thread at a time, as on Windows. Tests configure and observe it through
// platform/d3d11/D3D11Control.h.

#include "platform/d3d11/Unknwn.h"
#include "platform/d3d11/d3dcommon.h"
#include "platform/d3d11/dxgi.h"
#include "platform/d3d11/dxgiformat.h"
#include "platform/win32/WinTypes.h"

constexpr UINT D3D11_SDK_VERSION = 7;

constexpr UINT D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT = 8;
constexpr UINT D3D11_PS_CS_UAV_REGISTER_COUNT = 8;
constexpr UINT D3D11_KEEP_RENDER_TARGETS_AND_DEPTH_STENCIL = 0xffffffffu;
constexpr UINT D3D11_KEEP_UNORDERED_ACCESS_VIEWS = 0xffffffffu;
constexpr UINT D3D11_VIEWPORT_AND_SCISSORRECT_OBJECT_COUNT_PER_PIPELINE = 16;
constexpr UINT D3D11_REQ_TEXTURE1D_U_DIMENSION = 16384;
constexpr UINT D3D11_REQ_TEXTURE1D_ARRAY_AXIS_DIMENSION = 2048;
constexpr UINT D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION = 16384;
constexpr UINT D3D11_REQ_TEXTURE2D_ARRAY_AXIS_DIMENSION = 2048;
constexpr UINT D3D11_REQ_TEXTURE3D_U_V_OR_W_DIMENSION = 2048;
constexpr UINT D3D11_REQ_TEXTURECUBE_DIMENSION = 16384;
constexpr UINT D3D11_REQ_CONSTANT_BUFFER_ELEMENT_COUNT = 4096;
constexpr UINT D3D11_MAX_MULTISAMPLE_SAMPLE_COUNT = 32;

enum D3D11_USAGE : UINT // fixed width: loaders store "default" (all bits set) in it
{
    D3D11_USAGE_DEFAULT = 0,
    D3D11_USAGE_IMMUTABLE = 1,
    D3D11_USAGE_DYNAMIC = 2,
    D3D11_USAGE_STAGING = 3
};

enum D3D11_BIND_FLAG
{
    D3D11_BIND_VERTEX_BUFFER = 0x1,
    D3D11_BIND_INDEX_BUFFER = 0x2,
    D3D11_BIND_CONSTANT_BUFFER = 0x4,
    D3D11_BIND_SHADER_RESOURCE = 0x8,
    D3D11_BIND_STREAM_OUTPUT = 0x10,
    D3D11_BIND_RENDER_TARGET = 0x20,
    D3D11_BIND_DEPTH_STENCIL = 0x40,
    D3D11_BIND_UNORDERED_ACCESS = 0x80
};

enum D3D11_CPU_ACCESS_FLAG
{
    D3D11_CPU_ACCESS_WRITE = 0x10000,
    D3D11_CPU_ACCESS_READ = 0x20000
};

enum D3D11_RESOURCE_MISC_FLAG
{
    D3D11_RESOURCE_MISC_GENERATE_MIPS = 0x1,
    D3D11_RESOURCE_MISC_SHARED = 0x2,
    D3D11_RESOURCE_MISC_TEXTURECUBE = 0x4,
    D3D11_RESOURCE_MISC_DRAWINDIRECT_ARGS = 0x10,
    D3D11_RESOURCE_MISC_BUFFER_ALLOW_RAW_VIEWS = 0x20,
    D3D11_RESOURCE_MISC_BUFFER_STRUCTURED = 0x40,
    D3D11_RESOURCE_MISC_RESOURCE_CLAMP = 0x80,
    D3D11_RESOURCE_MISC_SHARED_KEYEDMUTEX = 0x100,
    D3D11_RESOURCE_MISC_GDI_COMPATIBLE = 0x200
};

enum D3D11_RESOURCE_DIMENSION
{
    D3D11_RESOURCE_DIMENSION_UNKNOWN = 0,
    D3D11_RESOURCE_DIMENSION_BUFFER = 1,
    D3D11_RESOURCE_DIMENSION_TEXTURE1D = 2,
    D3D11_RESOURCE_DIMENSION_TEXTURE2D = 3,
    D3D11_RESOURCE_DIMENSION_TEXTURE3D = 4
};

enum D3D11_RTV_DIMENSION
{
    D3D11_RTV_DIMENSION_UNKNOWN = 0,
    D3D11_RTV_DIMENSION_BUFFER = 1,
    D3D11_RTV_DIMENSION_TEXTURE1D = 2,
    D3D11_RTV_DIMENSION_TEXTURE1DARRAY = 3,
    D3D11_RTV_DIMENSION_TEXTURE2D = 4,
    D3D11_RTV_DIMENSION_TEXTURE2DARRAY = 5,
    D3D11_RTV_DIMENSION_TEXTURE2DMS = 6,
    D3D11_RTV_DIMENSION_TEXTURE2DMSARRAY = 7,
    D3D11_RTV_DIMENSION_TEXTURE3D = 8
};

enum D3D11_DSV_DIMENSION
{
    D3D11_DSV_DIMENSION_UNKNOWN = 0,
    D3D11_DSV_DIMENSION_TEXTURE1D = 1,
    D3D11_DSV_DIMENSION_TEXTURE1DARRAY = 2,
    D3D11_DSV_DIMENSION_TEXTURE2D = 3,
    D3D11_DSV_DIMENSION_TEXTURE2DARRAY = 4,
    D3D11_DSV_DIMENSION_TEXTURE2DMS = 5,
    D3D11_DSV_DIMENSION_TEXTURE2DMSARRAY = 6
};

enum D3D11_SRV_DIMENSION
{
    D3D11_SRV_DIMENSION_UNKNOWN = 0,
    D3D11_SRV_DIMENSION_BUFFER = 1,
    D3D11_SRV_DIMENSION_TEXTURE1D = 2,
    D3D11_SRV_DIMENSION_TEXTURE1DARRAY = 3,
    D3D11_SRV_DIMENSION_TEXTURE2D = 4,
    D3D11_SRV_DIMENSION_TEXTURE2DARRAY = 5,
    D3D11_SRV_DIMENSION_TEXTURE2DMS = 6,
    D3D11_SRV_DIMENSION_TEXTURE2DMSARRAY = 7,
    D3D11_SRV_DIMENSION_TEXTURE3D = 8,
    D3D11_SRV_DIMENSION_TEXTURECUBE = 9,
    D3D11_SRV_DIMENSION_TEXTURECUBEARRAY = 10,
    D3D11_SRV_DIMENSION_BUFFEREX = 11
};

enum D3D11_DSV_FLAG
{
    D3D11_DSV_READ_ONLY_DEPTH = 0x1,
    D3D11_DSV_READ_ONLY_STENCIL = 0x2
};

enum D3D11_BUFFEREX_SRV_FLAG
{
    D3D11_BUFFEREX_SRV_FLAG_RAW = 0x1
};

enum D3D11_CLEAR_FLAG
{
    D3D11_CLEAR_DEPTH = 0x1,
    D3D11_CLEAR_STENCIL = 0x2
};

enum D3D11_FILL_MODE
{
    D3D11_FILL_WIREFRAME = 2,
    D3D11_FILL_SOLID = 3
};

enum D3D11_CULL_MODE
{
    D3D11_CULL_NONE = 1,
    D3D11_CULL_FRONT = 2,
    D3D11_CULL_BACK = 3
};

struct D3D11_BUFFER_DESC
{
    UINT ByteWidth;
    D3D11_USAGE Usage;
    UINT BindFlags;
    UINT CPUAccessFlags;
    UINT MiscFlags;
    UINT StructureByteStride;
};

struct D3D11_TEXTURE1D_DESC
{
    UINT Width;
    UINT MipLevels;
    UINT ArraySize;
    DXGI_FORMAT Format;
    D3D11_USAGE Usage;
    UINT BindFlags;
    UINT CPUAccessFlags;
    UINT MiscFlags;
};

struct D3D11_TEXTURE2D_DESC
{
    UINT Width;
    UINT Height;
    UINT MipLevels;
    UINT ArraySize;
    DXGI_FORMAT Format;
    DXGI_SAMPLE_DESC SampleDesc;
    D3D11_USAGE Usage;
    UINT BindFlags;
    UINT CPUAccessFlags;
    UINT MiscFlags;
};

struct D3D11_TEXTURE3D_DESC
{
    UINT Width;
    UINT Height;
    UINT Depth;
    UINT MipLevels;
    DXGI_FORMAT Format;
    D3D11_USAGE Usage;
    UINT BindFlags;
    UINT CPUAccessFlags;
    UINT MiscFlags;
};

// Initial contents of one subresource; SysMemPitch is the distance between rows (rows of blocks
// for compressed formats), SysMemSlicePitch between depth slices of a 3-D texture.
struct D3D11_SUBRESOURCE_DATA
{
    const void* pSysMem;
    UINT SysMemPitch;
    UINT SysMemSlicePitch;
};

struct D3D11_BUFFER_RTV
{
    union
    {
        UINT FirstElement;
        UINT ElementOffset;
    };
    union
    {
        UINT NumElements;
        UINT ElementWidth;
    };
};

struct D3D11_TEX1D_RTV
{
    UINT MipSlice;
};

struct D3D11_TEX1D_ARRAY_RTV
{
    UINT MipSlice;
    UINT FirstArraySlice;
    UINT ArraySize;
};

struct D3D11_TEX2D_RTV
{
    UINT MipSlice;
};

struct D3D11_TEX2D_ARRAY_RTV
{
    UINT MipSlice;
    UINT FirstArraySlice;
    UINT ArraySize;
};

struct D3D11_TEX2DMS_RTV
{
    UINT UnusedField_NothingToDefine;
};

struct D3D11_TEX2DMS_ARRAY_RTV
{
    UINT FirstArraySlice;
    UINT ArraySize;
};

struct D3D11_TEX3D_RTV
{
    UINT MipSlice;
    UINT FirstWSlice;
    UINT WSize;
};

struct D3D11_RENDER_TARGET_VIEW_DESC
{
    DXGI_FORMAT Format;
    D3D11_RTV_DIMENSION ViewDimension;
    union
    {
        D3D11_BUFFER_RTV Buffer;
        D3D11_TEX1D_RTV Texture1D;
        D3D11_TEX1D_ARRAY_RTV Texture1DArray;
        D3D11_TEX2D_RTV Texture2D;
        D3D11_TEX2D_ARRAY_RTV Texture2DArray;
        D3D11_TEX2DMS_RTV Texture2DMS;
        D3D11_TEX2DMS_ARRAY_RTV Texture2DMSArray;
        D3D11_TEX3D_RTV Texture3D;
    };
};

struct D3D11_TEX1D_DSV
{
    UINT MipSlice;
};

struct D3D11_TEX1D_ARRAY_DSV
{
    UINT MipSlice;
    UINT FirstArraySlice;
    UINT ArraySize;
};

struct D3D11_TEX2D_DSV
{
    UINT MipSlice;
};

struct D3D11_TEX2D_ARRAY_DSV
{
    UINT MipSlice;
    UINT FirstArraySlice;
    UINT ArraySize;
};

struct D3D11_TEX2DMS_DSV
{
    UINT UnusedField_NothingToDefine;
};

struct D3D11_TEX2DMS_ARRAY_DSV
{
    UINT FirstArraySlice;
    UINT ArraySize;
};

struct D3D11_DEPTH_STENCIL_VIEW_DESC
{
    DXGI_FORMAT Format;
    D3D11_DSV_DIMENSION ViewDimension;
    UINT Flags;
    union
    {
        D3D11_TEX1D_DSV Texture1D;
        D3D11_TEX1D_ARRAY_DSV Texture1DArray;
        D3D11_TEX2D_DSV Texture2D;
        D3D11_TEX2D_ARRAY_DSV Texture2DArray;
        D3D11_TEX2DMS_DSV Texture2DMS;
        D3D11_TEX2DMS_ARRAY_DSV Texture2DMSArray;
    };
};

struct D3D11_BUFFER_SRV
{
    union
    {
        UINT FirstElement;
        UINT ElementOffset;
    };
    union
    {
        UINT NumElements;
        UINT ElementWidth;
    };
};

struct D3D11_BUFFEREX_SRV
{
    UINT FirstElement;
    UINT NumElements;
    UINT Flags;
};

struct D3D11_TEX1D_SRV
{
    UINT MostDetailedMip;
    UINT MipLevels;
};

struct D3D11_TEX1D_ARRAY_SRV
{
    UINT MostDetailedMip;
    UINT MipLevels;
    UINT FirstArraySlice;
    UINT ArraySize;
};

struct D3D11_TEX2D_SRV
{
    UINT MostDetailedMip;
    UINT MipLevels;
};

struct D3D11_TEX2D_ARRAY_SRV
{
    UINT MostDetailedMip;
    UINT MipLevels;
    UINT FirstArraySlice;
    UINT ArraySize;
};

struct D3D11_TEX2DMS_SRV
{
    UINT UnusedField_NothingToDefine;
};

struct D3D11_TEX2DMS_ARRAY_SRV
{
    UINT FirstArraySlice;
    UINT ArraySize;
};

struct D3D11_TEX3D_SRV
{
    UINT MostDetailedMip;
    UINT MipLevels;
};

struct D3D11_TEXCUBE_SRV
{
    UINT MostDetailedMip;
    UINT MipLevels;
};

struct D3D11_TEXCUBE_ARRAY_SRV
{
    UINT MostDetailedMip;
    UINT MipLevels;
    UINT First2DArrayFace;
    UINT NumCubes;
};

// MipLevels (UINT)-1 means every level from MostDetailedMip on; GetDesc reports the resolved
// count.
struct D3D11_SHADER_RESOURCE_VIEW_DESC
{
    DXGI_FORMAT Format;
    D3D11_SRV_DIMENSION ViewDimension;
    union
    {
        D3D11_BUFFER_SRV Buffer;
        D3D11_TEX1D_SRV Texture1D;
        D3D11_TEX1D_ARRAY_SRV Texture1DArray;
        D3D11_TEX2D_SRV Texture2D;
        D3D11_TEX2D_ARRAY_SRV Texture2DArray;
        D3D11_TEX2DMS_SRV Texture2DMS;
        D3D11_TEX2DMS_ARRAY_SRV Texture2DMSArray;
        D3D11_TEX3D_SRV Texture3D;
        D3D11_TEXCUBE_SRV TextureCube;
        D3D11_TEXCUBE_ARRAY_SRV TextureCubeArray;
        D3D11_BUFFEREX_SRV BufferEx;
    };
};

struct D3D11_RASTERIZER_DESC
{
    D3D11_FILL_MODE FillMode;
    D3D11_CULL_MODE CullMode;
    BOOL FrontCounterClockwise;
    INT DepthBias;
    FLOAT DepthBiasClamp;
    FLOAT SlopeScaledDepthBias;
    BOOL DepthClipEnable;
    BOOL ScissorEnable;
    BOOL MultisampleEnable;
    BOOL AntialiasedLineEnable;
};

enum D3D11_BLEND
{
    D3D11_BLEND_ZERO = 1,
    D3D11_BLEND_ONE = 2,
    D3D11_BLEND_SRC_COLOR = 3,
    D3D11_BLEND_INV_SRC_COLOR = 4,
    D3D11_BLEND_SRC_ALPHA = 5,
    D3D11_BLEND_INV_SRC_ALPHA = 6,
    D3D11_BLEND_DEST_ALPHA = 7,
    D3D11_BLEND_INV_DEST_ALPHA = 8,
    D3D11_BLEND_DEST_COLOR = 9,
    D3D11_BLEND_INV_DEST_COLOR = 10,
    D3D11_BLEND_SRC_ALPHA_SAT = 11,
    D3D11_BLEND_BLEND_FACTOR = 14,
    D3D11_BLEND_INV_BLEND_FACTOR = 15,
    D3D11_BLEND_SRC1_COLOR = 16,
    D3D11_BLEND_INV_SRC1_COLOR = 17,
    D3D11_BLEND_SRC1_ALPHA = 18,
    D3D11_BLEND_INV_SRC1_ALPHA = 19
};

enum D3D11_BLEND_OP
{
    D3D11_BLEND_OP_ADD = 1,
    D3D11_BLEND_OP_SUBTRACT = 2,
    D3D11_BLEND_OP_REV_SUBTRACT = 3,
    D3D11_BLEND_OP_MIN = 4,
    D3D11_BLEND_OP_MAX = 5
};

enum D3D11_COLOR_WRITE_ENABLE
{
    D3D11_COLOR_WRITE_ENABLE_RED = 1,
    D3D11_COLOR_WRITE_ENABLE_GREEN = 2,
    D3D11_COLOR_WRITE_ENABLE_BLUE = 4,
    D3D11_COLOR_WRITE_ENABLE_ALPHA = 8,
    D3D11_COLOR_WRITE_ENABLE_ALL = 15
};

struct D3D11_RENDER_TARGET_BLEND_DESC
{
    BOOL BlendEnable;
    D3D11_BLEND SrcBlend;
    D3D11_BLEND DestBlend;
    D3D11_BLEND_OP BlendOp;
    D3D11_BLEND SrcBlendAlpha;
    D3D11_BLEND DestBlendAlpha;
    D3D11_BLEND_OP BlendOpAlpha;
    UINT8 RenderTargetWriteMask;
};

// Without independent blending only RenderTarget[0] is used (and checked).
struct D3D11_BLEND_DESC
{
    BOOL AlphaToCoverageEnable;
    BOOL IndependentBlendEnable;
    D3D11_RENDER_TARGET_BLEND_DESC RenderTarget[8];
};

enum D3D11_COMPARISON_FUNC
{
    D3D11_COMPARISON_NEVER = 1,
    D3D11_COMPARISON_LESS = 2,
    D3D11_COMPARISON_EQUAL = 3,
    D3D11_COMPARISON_LESS_EQUAL = 4,
    D3D11_COMPARISON_GREATER = 5,
    D3D11_COMPARISON_NOT_EQUAL = 6,
    D3D11_COMPARISON_GREATER_EQUAL = 7,
    D3D11_COMPARISON_ALWAYS = 8
};

enum D3D11_DEPTH_WRITE_MASK
{
    D3D11_DEPTH_WRITE_MASK_ZERO = 0,
    D3D11_DEPTH_WRITE_MASK_ALL = 1
};

enum D3D11_STENCIL_OP
{
    D3D11_STENCIL_OP_KEEP = 1,
    D3D11_STENCIL_OP_ZERO = 2,
    D3D11_STENCIL_OP_REPLACE = 3,
    D3D11_STENCIL_OP_INCR_SAT = 4,
    D3D11_STENCIL_OP_DECR_SAT = 5,
    D3D11_STENCIL_OP_INVERT = 6,
    D3D11_STENCIL_OP_INCR = 7,
    D3D11_STENCIL_OP_DECR = 8
};

struct D3D11_DEPTH_STENCILOP_DESC
{
    D3D11_STENCIL_OP StencilFailOp;
    D3D11_STENCIL_OP StencilDepthFailOp;
    D3D11_STENCIL_OP StencilPassOp;
    D3D11_COMPARISON_FUNC StencilFunc;
};

struct D3D11_DEPTH_STENCIL_DESC
{
    BOOL DepthEnable;
    D3D11_DEPTH_WRITE_MASK DepthWriteMask;
    D3D11_COMPARISON_FUNC DepthFunc;
    BOOL StencilEnable;
    UINT8 StencilReadMask;
    UINT8 StencilWriteMask;
    D3D11_DEPTH_STENCILOP_DESC FrontFace;
    D3D11_DEPTH_STENCILOP_DESC BackFace;
};

enum D3D11_FILTER
{
    D3D11_FILTER_MIN_MAG_MIP_POINT = 0,
    D3D11_FILTER_MIN_MAG_POINT_MIP_LINEAR = 0x1,
    D3D11_FILTER_MIN_POINT_MAG_LINEAR_MIP_POINT = 0x4,
    D3D11_FILTER_MIN_POINT_MAG_MIP_LINEAR = 0x5,
    D3D11_FILTER_MIN_LINEAR_MAG_MIP_POINT = 0x10,
    D3D11_FILTER_MIN_LINEAR_MAG_POINT_MIP_LINEAR = 0x11,
    D3D11_FILTER_MIN_MAG_LINEAR_MIP_POINT = 0x14,
    D3D11_FILTER_MIN_MAG_MIP_LINEAR = 0x15,
    D3D11_FILTER_ANISOTROPIC = 0x55,
    D3D11_FILTER_COMPARISON_MIN_MAG_MIP_POINT = 0x80,
    D3D11_FILTER_COMPARISON_MIN_MAG_LINEAR_MIP_POINT = 0x94,
    D3D11_FILTER_COMPARISON_MIN_MAG_MIP_LINEAR = 0x95,
    D3D11_FILTER_COMPARISON_ANISOTROPIC = 0xd5
};

enum D3D11_TEXTURE_ADDRESS_MODE
{
    D3D11_TEXTURE_ADDRESS_WRAP = 1,
    D3D11_TEXTURE_ADDRESS_MIRROR = 2,
    D3D11_TEXTURE_ADDRESS_CLAMP = 3,
    D3D11_TEXTURE_ADDRESS_BORDER = 4,
    D3D11_TEXTURE_ADDRESS_MIRROR_ONCE = 5
};

constexpr FLOAT D3D11_FLOAT32_MAX = 3.402823466e+38f;
constexpr UINT D3D11_MAX_MAXANISOTROPY = 16;

struct D3D11_SAMPLER_DESC
{
    D3D11_FILTER Filter;
    D3D11_TEXTURE_ADDRESS_MODE AddressU;
    D3D11_TEXTURE_ADDRESS_MODE AddressV;
    D3D11_TEXTURE_ADDRESS_MODE AddressW;
    FLOAT MipLODBias;
    UINT MaxAnisotropy;
    D3D11_COMPARISON_FUNC ComparisonFunc;
    FLOAT BorderColor[4];
    FLOAT MinLOD;
    FLOAT MaxLOD;
};

enum D3D11_UAV_DIMENSION
{
    D3D11_UAV_DIMENSION_UNKNOWN = 0,
    D3D11_UAV_DIMENSION_BUFFER = 1,
    D3D11_UAV_DIMENSION_TEXTURE1D = 2,
    D3D11_UAV_DIMENSION_TEXTURE1DARRAY = 3,
    D3D11_UAV_DIMENSION_TEXTURE2D = 4,
    D3D11_UAV_DIMENSION_TEXTURE2DARRAY = 5,
    D3D11_UAV_DIMENSION_TEXTURE3D = 8
};

enum D3D11_BUFFER_UAV_FLAG
{
    D3D11_BUFFER_UAV_FLAG_RAW = 0x1,
    D3D11_BUFFER_UAV_FLAG_APPEND = 0x2,
    D3D11_BUFFER_UAV_FLAG_COUNTER = 0x4
};

struct D3D11_BUFFER_UAV
{
    UINT FirstElement;
    UINT NumElements;
    UINT Flags;
};

struct D3D11_TEX1D_UAV
{
    UINT MipSlice;
};

struct D3D11_TEX1D_ARRAY_UAV
{
    UINT MipSlice;
    UINT FirstArraySlice;
    UINT ArraySize;
};

struct D3D11_TEX2D_UAV
{
    UINT MipSlice;
};

struct D3D11_TEX2D_ARRAY_UAV
{
    UINT MipSlice;
    UINT FirstArraySlice;
    UINT ArraySize;
};

// WSize (UINT)-1 means every depth slice from FirstWSlice on.
struct D3D11_TEX3D_UAV
{
    UINT MipSlice;
    UINT FirstWSlice;
    UINT WSize;
};

struct D3D11_UNORDERED_ACCESS_VIEW_DESC
{
    DXGI_FORMAT Format;
    D3D11_UAV_DIMENSION ViewDimension;
    union
    {
        D3D11_BUFFER_UAV Buffer;
        D3D11_TEX1D_UAV Texture1D;
        D3D11_TEX1D_ARRAY_UAV Texture1DArray;
        D3D11_TEX2D_UAV Texture2D;
        D3D11_TEX2D_ARRAY_UAV Texture2DArray;
        D3D11_TEX3D_UAV Texture3D;
    };
};

enum D3D11_PRIMITIVE_TOPOLOGY
{
    D3D11_PRIMITIVE_TOPOLOGY_UNDEFINED = 0,
    D3D11_PRIMITIVE_TOPOLOGY_POINTLIST = 1,
    D3D11_PRIMITIVE_TOPOLOGY_LINELIST = 2,
    D3D11_PRIMITIVE_TOPOLOGY_LINESTRIP = 3,
    D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST = 4,
    D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP = 5
};

enum D3D11_INPUT_CLASSIFICATION
{
    D3D11_INPUT_PER_VERTEX_DATA = 0,
    D3D11_INPUT_PER_INSTANCE_DATA = 1
};

constexpr UINT D3D11_APPEND_ALIGNED_ELEMENT = 0xffffffffu;
constexpr UINT D3D11_IA_VERTEX_INPUT_RESOURCE_SLOT_COUNT = 32;
// Per-stage slots of the shader stages.
constexpr UINT D3D11_COMMONSHADER_CONSTANT_BUFFER_API_SLOT_COUNT = 14;
constexpr UINT D3D11_COMMONSHADER_SAMPLER_SLOT_COUNT = 16;
constexpr UINT D3D11_COMMONSHADER_INPUT_RESOURCE_SLOT_COUNT = 128;
constexpr UINT D3D11_SO_BUFFER_SLOT_COUNT = 4;
constexpr UINT D3D11_IA_VERTEX_INPUT_STRUCTURE_ELEMENT_COUNT = 32;

struct D3D11_INPUT_ELEMENT_DESC
{
    LPCSTR SemanticName;
    UINT SemanticIndex;
    DXGI_FORMAT Format;
    UINT InputSlot;
    UINT AlignedByteOffset;
    D3D11_INPUT_CLASSIFICATION InputSlotClass;
    UINT InstanceDataStepRate;
};

struct D3D11_VIEWPORT
{
    FLOAT TopLeftX;
    FLOAT TopLeftY;
    FLOAT Width;
    FLOAT Height;
    FLOAT MinDepth;
    FLOAT MaxDepth;
};

enum D3D11_MAP
{
    D3D11_MAP_READ = 1,
    D3D11_MAP_WRITE = 2,
    D3D11_MAP_READ_WRITE = 3,
    D3D11_MAP_WRITE_DISCARD = 4,
    D3D11_MAP_WRITE_NO_OVERWRITE = 5
};

struct D3D11_MAPPED_SUBRESOURCE
{
    void* pData;
    UINT RowPitch;
    UINT DepthPitch;
};

// Texels for textures, bytes for buffers; right, bottom and back lie one past the box.
struct D3D11_BOX
{
    UINT left;
    UINT top;
    UINT front;
    UINT right;
    UINT bottom;
    UINT back;
};

// Subresource index of a mip level in an array slice.
inline constexpr UINT D3D11CalcSubresource(UINT MipSlice, UINT ArraySlice, UINT MipLevels)
{
    return MipSlice + ArraySlice * MipLevels;
}

struct ID3D11Device;

struct ID3D11DeviceChild : public IUnknown
{
};

struct ID3D11Resource : public ID3D11DeviceChild
{
    virtual void GetType(D3D11_RESOURCE_DIMENSION* pResourceDimension) = 0;
};

struct ID3D11Buffer : public ID3D11Resource
{
    virtual void GetDesc(D3D11_BUFFER_DESC* pDesc) = 0;
};

// GetDesc of the textures reports the resolved mip count when 0 (full chain) was asked.
struct ID3D11Texture1D : public ID3D11Resource
{
    virtual void GetDesc(D3D11_TEXTURE1D_DESC* pDesc) = 0;
};

struct ID3D11Texture2D : public ID3D11Resource
{
    virtual void GetDesc(D3D11_TEXTURE2D_DESC* pDesc) = 0;
};

struct ID3D11Texture3D : public ID3D11Resource
{
    virtual void GetDesc(D3D11_TEXTURE3D_DESC* pDesc) = 0;
};

// A view holds a reference on its resource for its whole life.
struct ID3D11View : public ID3D11DeviceChild
{
    // AddRef'd.
    virtual void GetResource(ID3D11Resource** ppResource) = 0;
};

struct ID3D11RenderTargetView : public ID3D11View
{
    virtual void GetDesc(D3D11_RENDER_TARGET_VIEW_DESC* pDesc) = 0;
};

struct ID3D11DepthStencilView : public ID3D11View
{
    virtual void GetDesc(D3D11_DEPTH_STENCIL_VIEW_DESC* pDesc) = 0;
};

struct ID3D11ShaderResourceView : public ID3D11View
{
    virtual void GetDesc(D3D11_SHADER_RESOURCE_VIEW_DESC* pDesc) = 0;
};

struct ID3D11RasterizerState : public ID3D11DeviceChild
{
    virtual void GetDesc(D3D11_RASTERIZER_DESC* pDesc) = 0;
};

struct ID3D11BlendState : public ID3D11DeviceChild
{
    virtual void GetDesc(D3D11_BLEND_DESC* pDesc) = 0;
};

struct ID3D11DepthStencilState : public ID3D11DeviceChild
{
    virtual void GetDesc(D3D11_DEPTH_STENCIL_DESC* pDesc) = 0;
};

struct ID3D11SamplerState : public ID3D11DeviceChild
{
    virtual void GetDesc(D3D11_SAMPLER_DESC* pDesc) = 0;
};

struct ID3D11UnorderedAccessView : public ID3D11View
{
    virtual void GetDesc(D3D11_UNORDERED_ACCESS_VIEW_DESC* pDesc) = 0;
};

// Shaders are made from the bytecode of the HLSL compiler stand-in (platform/d3dcompiler) for
// their stage.
struct ID3D11VertexShader : public ID3D11DeviceChild
{
};

struct ID3D11PixelShader : public ID3D11DeviceChild
{
};

struct ID3D11GeometryShader : public ID3D11DeviceChild
{
};

struct ID3D11ComputeShader : public ID3D11DeviceChild
{
};

struct ID3D11InputLayout : public ID3D11DeviceChild
{
};

// Queries: only event queries, which tell when the GPU has finished the work issued before End.
// Int-sized as the compiler the engine was written for makes every enum, so the other kinds a
// caller may ask for (refused here) are valid values.
enum D3D11_QUERY : int
{
    D3D11_QUERY_EVENT = 0
};

struct D3D11_QUERY_DESC
{
    D3D11_QUERY Query;
    UINT MiscFlags;
};

struct ID3D11Asynchronous : public ID3D11DeviceChild
{
    // Bytes GetData writes: sizeof(BOOL) for an event query.
    virtual UINT GetDataSize() = 0;
};

struct ID3D11Query : public ID3D11Asynchronous
{
    virtual void GetDesc(D3D11_QUERY_DESC* pDesc) = 0;
};

// Dynamic shader linkage is not supported: creation calls take null here, and binding a shader
// takes no class instances.
struct ID3D11ClassLinkage;
struct ID3D11ClassInstance;

// The immediate context holds a reference on every object bound to it until it is unbound
// (ClearState unbinds everything). Invalid arguments make a call do nothing, as the runtime
// does without its debug layer; the stand-in logs such a call with E_INVALIDARG. A depth-stencil
// view bound with a render target of another size leaves nothing bound (OMSetRenderTargets).
struct ID3D11DeviceContext : public ID3D11DeviceChild
{
    virtual void OMSetRenderTargets(UINT NumViews, ID3D11RenderTargetView* const* ppRenderTargetViews,
                                    ID3D11DepthStencilView* pDepthStencilView) = 0;
    // AddRef'd; slots past the bound ones and an unbound depth view give null.
    virtual void OMGetRenderTargets(UINT NumViews, ID3D11RenderTargetView** ppRenderTargetViews,
                                    ID3D11DepthStencilView** ppDepthStencilView) = 0;
    // Render targets as OMSetRenderTargets (D3D11_KEEP_RENDER_TARGETS_AND_DEPTH_STENCIL keeps
    // them), then the pixel-stage UAVs at UAVStartSlot (at or past the render targets) to
    // D3D11_PS_CS_UAV_REGISTER_COUNT; the other UAV slots are unbound. An initial count other than
    // 0xFFFFFFFF sets the hidden counter of a view made with the append or counter flag.
    // D3D11_KEEP_UNORDERED_ACCESS_VIEWS keeps the UAVs.
    virtual void OMSetRenderTargetsAndUnorderedAccessViews(
        UINT NumRTVs, ID3D11RenderTargetView* const* ppRenderTargetViews,
        ID3D11DepthStencilView* pDepthStencilView, UINT UAVStartSlot, UINT NumUAVs,
        ID3D11UnorderedAccessView* const* ppUnorderedAccessViews, const UINT* pUAVInitialCounts) = 0;
    // Raw and structured buffer views: every 32-bit word gets Values[0]. Other views: each
    // component gets the low bits of its value (packed and compressed formats are refused).
    virtual void ClearUnorderedAccessViewUint(ID3D11UnorderedAccessView* pUnorderedAccessView,
                                              const UINT Values[4]) = 0;
    virtual void RSSetViewports(UINT NumViewports, const D3D11_VIEWPORT* pViewports) = 0;
    // With pViewports null: the number bound into *pNumViewports. Otherwise the first
    // *pNumViewports bound viewports; entries beyond those bound are zeroed.
    virtual void RSGetViewports(UINT* pNumViewports, D3D11_VIEWPORT* pViewports) = 0;
    virtual void RSSetState(ID3D11RasterizerState* pRasterizerState) = 0;
    // AddRef'd; null when no state is bound.
    virtual void RSGetState(ID3D11RasterizerState** ppRasterizerState) = 0;
    // Writes the colour, converted to the view's format, into every element the view covers.
    virtual void ClearRenderTargetView(ID3D11RenderTargetView* pRenderTargetView,
                                       const FLOAT ColorRGBA[4]) = 0;
    virtual void ClearDepthStencilView(ID3D11DepthStencilView* pDepthStencilView, UINT ClearFlags,
                                       FLOAT Depth, UINT8 Stencil) = 0;
    // Copies sample 0 of every pixel of a multisampled subresource into a single-sampled one of
    // the same size; Format must fit both resources.
    virtual void ResolveSubresource(ID3D11Resource* pDstResource, UINT DstSubresource,
                                    ID3D11Resource* pSrcResource, UINT SrcSubresource,
                                    DXGI_FORMAT Format) = 0;
    // Fills every mip level of the view below its most detailed one, in each slice it covers, from
    // the level above with a box filter. The texture must be made with
    // D3D11_RESOURCE_MISC_GENERATE_MIPS, render-target and shader-resource binding. The stand-in
    // filters 8- and 16-bit UNORM and 32-bit FLOAT formats; other formats are left as they are and
    // the call is logged with E_NOTIMPL.
    virtual void GenerateMips(ID3D11ShaderResourceView* pShaderResourceView) = 0;
    virtual void ClearState() = 0;
    virtual void Flush() = 0;

    // The subresource's own memory with its row and depth pitches. READ needs CPU read access,
    // WRITE and READ_WRITE the matching access on a staging resource, WRITE_DISCARD and
    // WRITE_NO_OVERWRITE a dynamic resource with CPU write access. A subresource is mapped once
    // until Unmap; a mapped subresource may not be copied to or from.
    virtual HRESULT Map(ID3D11Resource* pResource, UINT Subresource, D3D11_MAP MapType, UINT MapFlags,
                        D3D11_MAPPED_SUBRESOURCE* pMappedResource) = 0;
    virtual void Unmap(ID3D11Resource* pResource, UINT Subresource) = 0;
    // Copies caller memory (rows SrcRowPitch apart, slices SrcDepthPitch apart) into the box of a
    // default-usage, single-sampled subresource; the whole subresource when the box is null.
    virtual void UpdateSubresource(ID3D11Resource* pDstResource, UINT DstSubresource,
                                   const D3D11_BOX* pDstBox, const void* pSrcData, UINT SrcRowPitch,
                                   UINT SrcDepthPitch) = 0;
    // Every subresource of one resource into another of the same type, size and format family.
    virtual void CopyResource(ID3D11Resource* pDstResource, ID3D11Resource* pSrcResource) = 0;
    virtual void CopySubresourceRegion(ID3D11Resource* pDstResource, UINT DstSubresource, UINT DstX,
                                       UINT DstY, UINT DstZ, ID3D11Resource* pSrcResource,
                                       UINT SrcSubresource, const D3D11_BOX* pSrcBox) = 0;

    // Input assembly. Buffers must carry the matching bind flag; index buffers take
    // DXGI_FORMAT_R16_UINT or DXGI_FORMAT_R32_UINT. Null unbinds.
    virtual void IASetInputLayout(ID3D11InputLayout* pInputLayout) = 0;
    virtual void IASetVertexBuffers(UINT StartSlot, UINT NumBuffers, ID3D11Buffer* const* ppVertexBuffers,
                                    const UINT* pStrides, const UINT* pOffsets) = 0;
    virtual void IASetIndexBuffer(ID3D11Buffer* pIndexBuffer, DXGI_FORMAT Format, UINT Offset) = 0;
    virtual void IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY Topology) = 0;
    // Nothing is rasterised: draws are only logged with their arguments.
    virtual void Draw(UINT VertexCount, UINT StartVertexLocation) = 0;
    virtual void DrawIndexed(UINT IndexCount, UINT StartIndexLocation, INT BaseVertexLocation) = 0;
    virtual void DrawIndexedInstanced(UINT IndexCountPerInstance, UINT InstanceCount, UINT StartIndexLocation,
                                      INT BaseVertexLocation, UINT StartInstanceLocation) = 0;
    virtual void DrawInstanced(UINT VertexCountPerInstance, UINT InstanceCount, UINT StartVertexLocation,
                               UINT StartInstanceLocation) = 0;

    // Shader stages: the shader (null switches the stage off; no class instances), then per-stage
    // slots: constant buffers 0 to 13 (bind flag CONSTANT_BUFFER), samplers 0 to 15 and shader
    // resource views 0 to 127. A null entry unbinds its slot; a range past the last slot is refused.
    virtual void VSSetShader(ID3D11VertexShader* pVertexShader, ID3D11ClassInstance* const* ppClassInstances,
                             UINT NumClassInstances) = 0;
    virtual void VSSetConstantBuffers(UINT StartSlot, UINT NumBuffers,
                                      ID3D11Buffer* const* ppConstantBuffers) = 0;
    virtual void VSSetSamplers(UINT StartSlot, UINT NumSamplers, ID3D11SamplerState* const* ppSamplers) = 0;
    virtual void VSSetShaderResources(UINT StartSlot, UINT NumViews,
                                      ID3D11ShaderResourceView* const* ppShaderResourceViews) = 0;
    virtual void PSSetShader(ID3D11PixelShader* pPixelShader, ID3D11ClassInstance* const* ppClassInstances,
                             UINT NumClassInstances) = 0;
    virtual void PSSetConstantBuffers(UINT StartSlot, UINT NumBuffers,
                                      ID3D11Buffer* const* ppConstantBuffers) = 0;
    virtual void PSSetSamplers(UINT StartSlot, UINT NumSamplers, ID3D11SamplerState* const* ppSamplers) = 0;
    virtual void PSSetShaderResources(UINT StartSlot, UINT NumViews,
                                      ID3D11ShaderResourceView* const* ppShaderResourceViews) = 0;
    virtual void GSSetShader(ID3D11GeometryShader* pShader, ID3D11ClassInstance* const* ppClassInstances,
                             UINT NumClassInstances) = 0;
    virtual void GSSetConstantBuffers(UINT StartSlot, UINT NumBuffers,
                                      ID3D11Buffer* const* ppConstantBuffers) = 0;
    virtual void GSSetSamplers(UINT StartSlot, UINT NumSamplers, ID3D11SamplerState* const* ppSamplers) = 0;
    virtual void GSSetShaderResources(UINT StartSlot, UINT NumViews,
                                      ID3D11ShaderResourceView* const* ppShaderResourceViews) = 0;

    // Stream output: buffers with bind flag STREAM_OUTPUT in slots 0 to 3; the slots past
    // NumBuffers are unbound. Null pOffsets means offset 0 everywhere; an offset of 0xFFFFFFFF
    // appends to what the buffer already holds. A null entry unbinds its slot.
    virtual void SOSetTargets(UINT NumBuffers, ID3D11Buffer* const* ppSOTargets, const UINT* pOffsets) = 0;
    // Draws the vertices a stream-output pass last wrote into the buffer of vertex slot 0. No
    // shader runs here, so the count is not known: the draw is only logged.
    virtual void DrawAuto() = 0;
    virtual void CSSetShader(ID3D11ComputeShader* pComputeShader,
                             ID3D11ClassInstance* const* ppClassInstances, UINT NumClassInstances) = 0;
    virtual void CSSetConstantBuffers(UINT StartSlot, UINT NumBuffers,
                                      ID3D11Buffer* const* ppConstantBuffers) = 0;
    virtual void CSSetSamplers(UINT StartSlot, UINT NumSamplers, ID3D11SamplerState* const* ppSamplers) = 0;
    virtual void CSSetShaderResources(UINT StartSlot, UINT NumViews,
                                      ID3D11ShaderResourceView* const* ppShaderResourceViews) = 0;

    // Output merger states; null binds the default state.
    virtual void OMSetBlendState(ID3D11BlendState* pBlendState, const FLOAT BlendFactor[4],
                                 UINT SampleMask) = 0;
    virtual void OMSetDepthStencilState(ID3D11DepthStencilState* pDepthStencilState, UINT StencilRef) = 0;

    // Queries. An event query takes no Begin (refused); End issues it. GetData before the first
    // End answers DXGI_ERROR_INVALID_CALL; afterwards S_FALSE for as many polls as the stand-in is
    // told to wait (none by default, as a GPU that has finished), then S_OK with TRUE written when
    // pData is given (DataSize must then be sizeof(BOOL), else E_INVALIDARG).
    virtual void Begin(ID3D11Asynchronous* pAsync) = 0;
    virtual void End(ID3D11Asynchronous* pAsync) = 0;
    virtual HRESULT GetData(ID3D11Asynchronous* pAsync, void* pData, UINT DataSize, UINT GetDataFlags) = 0;
};

// Creation calls fail with E_INVALIDARG on a description the runtime rejects and E_OUTOFMEMORY
// when the memory cannot be had; a null output pointer only validates (S_FALSE).
struct ID3D11Device : public IUnknown
{
    virtual HRESULT CreateBuffer(const D3D11_BUFFER_DESC* pDesc, const D3D11_SUBRESOURCE_DATA* pInitialData,
                                 ID3D11Buffer** ppBuffer) = 0;
    virtual HRESULT CreateTexture1D(const D3D11_TEXTURE1D_DESC* pDesc,
                                    const D3D11_SUBRESOURCE_DATA* pInitialData,
                                    ID3D11Texture1D** ppTexture1D) = 0;
    virtual HRESULT CreateTexture2D(const D3D11_TEXTURE2D_DESC* pDesc,
                                    const D3D11_SUBRESOURCE_DATA* pInitialData,
                                    ID3D11Texture2D** ppTexture2D) = 0;
    virtual HRESULT CreateTexture3D(const D3D11_TEXTURE3D_DESC* pDesc,
                                    const D3D11_SUBRESOURCE_DATA* pInitialData,
                                    ID3D11Texture3D** ppTexture3D) = 0;
    virtual HRESULT CreateShaderResourceView(ID3D11Resource* pResource,
                                             const D3D11_SHADER_RESOURCE_VIEW_DESC* pDesc,
                                             ID3D11ShaderResourceView** ppSRView) = 0;
    virtual HRESULT CreateRenderTargetView(ID3D11Resource* pResource,
                                           const D3D11_RENDER_TARGET_VIEW_DESC* pDesc,
                                           ID3D11RenderTargetView** ppRTView) = 0;
    virtual HRESULT CreateDepthStencilView(ID3D11Resource* pResource,
                                           const D3D11_DEPTH_STENCIL_VIEW_DESC* pDesc,
                                           ID3D11DepthStencilView** ppDepthStencilView) = 0;
    virtual HRESULT CreateRasterizerState(const D3D11_RASTERIZER_DESC* pRasterizerDesc,
                                          ID3D11RasterizerState** ppRasterizerState) = 0;
    // Equal descriptions give distinct objects (the runtime's own sharing is not imitated).
    virtual HRESULT CreateBlendState(const D3D11_BLEND_DESC* pBlendStateDesc,
                                     ID3D11BlendState** ppBlendState) = 0;
    virtual HRESULT CreateDepthStencilState(const D3D11_DEPTH_STENCIL_DESC* pDepthStencilDesc,
                                            ID3D11DepthStencilState** ppDepthStencilState) = 0;
    virtual HRESULT CreateSamplerState(const D3D11_SAMPLER_DESC* pSamplerDesc,
                                       ID3D11SamplerState** ppSamplerState) = 0;
    // The resource needs D3D11_BIND_UNORDERED_ACCESS. Buffers: a structured buffer takes format
    // UNKNOWN (COUNTER and APPEND allowed), a raw view R32_TYPELESS on a buffer that allows raw
    // views, other views a typed format.
    virtual HRESULT CreateUnorderedAccessView(ID3D11Resource* pResource,
                                              const D3D11_UNORDERED_ACCESS_VIEW_DESC* pDesc,
                                              ID3D11UnorderedAccessView** ppUAView) = 0;
    // The bytecode must be the compiler stand-in's output for the stage ("vs_5_0", "ps_5_0",
    // "gs_5_0", "cs_5_0"), else E_INVALIDARG. pClassLinkage must be null.
    virtual HRESULT CreateVertexShader(const void* pShaderBytecode, SIZE_T BytecodeLength,
                                       ID3D11ClassLinkage* pClassLinkage,
                                       ID3D11VertexShader** ppVertexShader) = 0;
    virtual HRESULT CreateGeometryShader(const void* pShaderBytecode, SIZE_T BytecodeLength,
                                         ID3D11ClassLinkage* pClassLinkage,
                                         ID3D11GeometryShader** ppGeometryShader) = 0;
    virtual HRESULT CreatePixelShader(const void* pShaderBytecode, SIZE_T BytecodeLength,
                                      ID3D11ClassLinkage* pClassLinkage,
                                      ID3D11PixelShader** ppPixelShader) = 0;
    virtual HRESULT CreateComputeShader(const void* pShaderBytecode, SIZE_T BytecodeLength,
                                        ID3D11ClassLinkage* pClassLinkage,
                                        ID3D11ComputeShader** ppComputeShader) = 0;
    // The bytecode is a vertex shader's; every element of its input signature other than a
    // system value ("SV_" names) must be matched by an element of the same semantic name
    // (letter case aside) and index, else E_INVALIDARG. Elements need a known format.
    virtual HRESULT CreateInputLayout(const D3D11_INPUT_ELEMENT_DESC* pInputElementDescs, UINT NumElements,
                                      const void* pShaderBytecodeWithInputSignature, SIZE_T BytecodeLength,
                                      ID3D11InputLayout** ppInputLayout) = 0;
    // Event queries only; MiscFlags must be 0.
    virtual HRESULT CreateQuery(const D3D11_QUERY_DESC* pQueryDesc, ID3D11Query** ppQuery) = 0;
    // *pNumQualityLevels is 0 when the format cannot be multisampled with that count.
    virtual HRESULT CheckMultisampleQualityLevels(DXGI_FORMAT Format, UINT SampleCount,
                                                  UINT* pNumQualityLevels) = 0;
};

inline constexpr IID IID_ID3D11DeviceChild = {
    0x1841e5c8, 0x16b0, 0x489b, {0xbc, 0xc8, 0x44, 0xcf, 0xb0, 0xd5, 0xde, 0xae}};
inline constexpr IID IID_ID3D11Resource = {
    0xdc8e63f3, 0xd12b, 0x4952, {0xb4, 0x7b, 0x5e, 0x45, 0x02, 0x6a, 0x86, 0x2d}};
inline constexpr IID IID_ID3D11Buffer = {
    0x48570b85, 0xd1ee, 0x4fcd, {0xa2, 0x50, 0xeb, 0x35, 0x07, 0x22, 0xb0, 0x37}};
inline constexpr IID IID_ID3D11Texture1D = {
    0xf8fb5c27, 0xc6b3, 0x4f75, {0xa4, 0xc8, 0x43, 0x9a, 0xf2, 0xef, 0x56, 0x4c}};
inline constexpr IID IID_ID3D11Texture2D = {
    0x6f15aaf2, 0xd208, 0x4e89, {0x9a, 0xb4, 0x48, 0x95, 0x35, 0xd3, 0x4f, 0x9c}};
inline constexpr IID IID_ID3D11Texture3D = {
    0x037e866e, 0xf56d, 0x4357, {0xa8, 0xaf, 0x9d, 0xab, 0xbe, 0x6e, 0x25, 0x0e}};
// The stand-in's own identifiers for the query interfaces.
inline constexpr IID IID_ID3D11Asynchronous = {
    0x6b3c1e20, 0x4a51, 0x4f0e, {0x9d, 0x27, 0x51, 0x0a, 0x6e, 0x13, 0x8c, 0x41}};
inline constexpr IID IID_ID3D11Query = {
    0x6b3c1e21, 0x4a51, 0x4f0e, {0x9d, 0x27, 0x51, 0x0a, 0x6e, 0x13, 0x8c, 0x41}};
inline constexpr IID IID_ID3D11View = {
    0x839d1216, 0xbb2e, 0x412b, {0xb7, 0xf4, 0xa9, 0xdb, 0xeb, 0xe0, 0x8e, 0xd1}};
inline constexpr IID IID_ID3D11ShaderResourceView = {
    0xb0e06fe0, 0x8192, 0x4e1a, {0xb1, 0xca, 0x36, 0xd7, 0x41, 0x47, 0x10, 0xb2}};
inline constexpr IID IID_ID3D11RenderTargetView = {
    0xdfdba067, 0x0b8d, 0x4865, {0x87, 0x5b, 0xd7, 0xb4, 0x51, 0x6c, 0xc1, 0x64}};
inline constexpr IID IID_ID3D11DepthStencilView = {
    0x9fdac92a, 0x1876, 0x48c3, {0xaf, 0xad, 0x25, 0xb9, 0x4f, 0x84, 0xa9, 0xb6}};
inline constexpr IID IID_ID3D11RasterizerState = {
    0x9bb4ab81, 0xab1a, 0x4d8f, {0xb5, 0x06, 0xfc, 0x04, 0x20, 0x0b, 0x6e, 0xe7}};
inline constexpr IID IID_ID3D11BlendState = {
    0x75b68faa, 0x347d, 0x4159, {0x8f, 0x45, 0xa0, 0x64, 0x0f, 0x01, 0xcd, 0x9a}};
inline constexpr IID IID_ID3D11DepthStencilState = {
    0x03823efb, 0x8d8f, 0x4e1c, {0x9a, 0xa2, 0xf6, 0x4b, 0xb2, 0xcb, 0xfd, 0xf1}};
inline constexpr IID IID_ID3D11SamplerState = {
    0xda6fea51, 0x564c, 0x4487, {0x98, 0x10, 0xf0, 0xd0, 0xf9, 0xb4, 0xe3, 0xa5}};
inline constexpr IID IID_ID3D11UnorderedAccessView = {
    0x28acf509, 0x7f5c, 0x48f6, {0x86, 0x11, 0xf3, 0x16, 0x01, 0x0a, 0x63, 0x80}};
inline constexpr IID IID_ID3D11VertexShader = {
    0x3b301d64, 0xd678, 0x4289, {0x88, 0x97, 0x22, 0xf8, 0x92, 0x8b, 0x72, 0xf3}};
inline constexpr IID IID_ID3D11PixelShader = {
    0xea82e40d, 0x51dc, 0x4f33, {0x93, 0xd4, 0xdb, 0x7c, 0x91, 0x25, 0xae, 0x8c}};
inline constexpr IID IID_ID3D11GeometryShader = {
    0x38325b96, 0xeffb, 0x4022, {0xba, 0x02, 0x2e, 0x79, 0x5b, 0x70, 0x27, 0x5c}};
inline constexpr IID IID_ID3D11ComputeShader = {
    0x4f5b196e, 0xc2bd, 0x495e, {0xbd, 0x01, 0x1f, 0xde, 0xd3, 0x8e, 0x49, 0x69}};
inline constexpr IID IID_ID3D11InputLayout = {
    0xe4819ddc, 0x4cf0, 0x4025, {0xbd, 0x26, 0x5d, 0xe8, 0x2a, 0x3e, 0x07, 0xb7}};
inline constexpr IID IID_ID3D11DeviceContext = {
    0xc0bfa96c, 0xe089, 0x44fb, {0x8e, 0xaf, 0x26, 0xf8, 0x79, 0x61, 0x90, 0xda}};
inline constexpr IID IID_ID3D11Device = {
    0xdb6f6ddb, 0xac77, 0x4e88, {0x82, 0x53, 0x81, 0x9d, 0xf9, 0xbb, 0xf1, 0x40}};

// Exported by "d3d11.dll". With an adapter the driver type must be D3D_DRIVER_TYPE_UNKNOWN;
// without one it must not be. pFeatureLevels null means 11_0, 10_1, 10_0, 9_3, 9_2, 9_1; the
// reached level is the first of the list the configured hardware level allows. SDKVersion must
// be D3D11_SDK_VERSION. ppDevice null only validates (S_FALSE).
HRESULT D3D11CreateDevice(IDXGIAdapter* pAdapter, D3D_DRIVER_TYPE DriverType, HMODULE Software, UINT Flags,
                          const D3D_FEATURE_LEVEL* pFeatureLevels, UINT FeatureLevels, UINT SDKVersion,
                          ID3D11Device** ppDevice, D3D_FEATURE_LEVEL* pFeatureLevel,
                          ID3D11DeviceContext** ppImmediateContext);

using PFN_D3D11_CREATE_DEVICE = HRESULT (*)(IDXGIAdapter*, D3D_DRIVER_TYPE, HMODULE, UINT,
                                            const D3D_FEATURE_LEVEL*, UINT, UINT, ID3D11Device**,
                                            D3D_FEATURE_LEVEL*, ID3D11DeviceContext**);
