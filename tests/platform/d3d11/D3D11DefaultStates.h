#pragma once
// The device's default state descriptions, written out as Direct3D documents them: what a state
// block that sets nothing gives, and the start of a test's own descriptions.

#include "platform/d3d11/d3d11.h"

namespace d3d11_test
{

inline D3D11_BLEND_DESC DefaultBlend()
{
    D3D11_BLEND_DESC desc{};
    for (D3D11_RENDER_TARGET_BLEND_DESC& target : desc.RenderTarget)
        target = {FALSE,           D3D11_BLEND_ONE,  D3D11_BLEND_ZERO,   D3D11_BLEND_OP_ADD,
                  D3D11_BLEND_ONE, D3D11_BLEND_ZERO, D3D11_BLEND_OP_ADD, D3D11_COLOR_WRITE_ENABLE_ALL};
    return desc;
}

inline D3D11_DEPTH_STENCIL_DESC DefaultDepthStencil()
{
    const D3D11_DEPTH_STENCILOP_DESC face = {D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_KEEP,
                                             D3D11_STENCIL_OP_KEEP, D3D11_COMPARISON_ALWAYS};
    return {TRUE, D3D11_DEPTH_WRITE_MASK_ALL, D3D11_COMPARISON_LESS, FALSE, 0xFF, 0xFF, face, face};
}

inline D3D11_RASTERIZER_DESC DefaultRasterizer()
{
    return {D3D11_FILL_SOLID, D3D11_CULL_BACK, FALSE, 0, 0.0f, 0.0f, TRUE, FALSE, FALSE, FALSE};
}

} // namespace d3d11_test
