#pragma once
// The key hashing shared by the resource manager's caches. Every key hash starts from seed 0.
// Fields enter as seed ^= (v ^ 0xdeadbeef) + 0x9e3779b9 + (seed << 6) + (seed >> 2) with v the
// field widened to 64 bits (signed fields sign-extended, floats by their value truncated toward
// zero); strings enter by their FNV-1a-64 folded to (h >> 32) ^ h, without the 0xdeadbeef mask.
// The hashes pick the bucket only: the caches compare whole keys, so a collision never makes two
// different descriptions share one object. Static only; any thread.

#include "platform/d3d11/d3d11.h"

#include <cstddef>
#include <cstdint>

class KR_KeyHashing
{
public:
    KR_KeyHashing() = delete;

    static void HashCombine(std::uint64_t& uiSeed, std::int32_t iValue);
    static void HashCombine(std::uint64_t& uiSeed, std::uint32_t uiValue);
    // Truncated toward zero; NaN and values outside the 64-bit range enter as 0.
    static void HashCombine(std::uint64_t& uiSeed, float fValue);
    static void HashCombine(std::uint64_t& uiSeed, std::uint8_t uiValue);
    // Null counts as "".
    static void HashString(std::uint64_t& uiSeed, const char* pText);
    static std::uint64_t FoldedFNV1a64(const char* pText);

    static std::uint64_t HashBlendDesc(const D3D11_BLEND_DESC& desc);
    static std::uint64_t HashRasterizerDesc(const D3D11_RASTERIZER_DESC& desc);
    static std::uint64_t HashDepthStencilDesc(const D3D11_DEPTH_STENCIL_DESC& desc);

    // Field-by-field equality (floats by value), as the caches compare keys.
    static bool Equal(const D3D11_BLEND_DESC& a, const D3D11_BLEND_DESC& b);
    static bool Equal(const D3D11_RASTERIZER_DESC& a, const D3D11_RASTERIZER_DESC& b);
    static bool Equal(const D3D11_DEPTH_STENCIL_DESC& a, const D3D11_DEPTH_STENCIL_DESC& b);

    // Hash and equality of the three descriptions for the standard hash tables.
    struct DescriptionHash
    {
        std::size_t operator()(const D3D11_BLEND_DESC& desc) const { return HashBlendDesc(desc); }
        std::size_t operator()(const D3D11_RASTERIZER_DESC& desc) const { return HashRasterizerDesc(desc); }
        std::size_t operator()(const D3D11_DEPTH_STENCIL_DESC& desc) const
        {
            return HashDepthStencilDesc(desc);
        }
    };
    struct DescriptionEqual
    {
        template <class TDesc>
        bool operator()(const TDesc& a, const TDesc& b) const
        {
            return Equal(a, b);
        }
    };
};
