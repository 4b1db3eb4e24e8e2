#pragma once
// Static helpers around the HLSL compiler and Direct3D 11: compiling one shader stage, compiling
// or loading an effect, making a blob and working out a compute dispatch size. Sources are read
// through the engine's file repositories (KF_FileManager) and every read is given back with
// RemoveReference afterwards. Safe to call from any thread (the loading jobs compile on workers).
//
// A compile failure shows the compiler's messages (or "Could not compile shader file. No error
// messages returned." when it gave none) in a message box captioned "Shader Compile Error" and
// returns 1; a source larger than the compiler takes (D3DCompilerLimits.h) fails so unread when a
// repository can tell its size, the box saying so; a source that no repository has returns 1
// without a message.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "platform/d3d11/d3d11.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "platform/effects11/d3dx11effect.h"

#include <array>
#include <cstdint>

struct KR_ShaderProgram;

class KR_UtilitiesDX11
{
public:
    KR_UtilitiesDX11() = delete;

    // Compiles one stage (target "vs_5_0", "ps_5_0", "gs_5_0" or "cs_5_0") with strictness on;
    // includes resolve against the file's directory. 0 with the bytecode in *ppOut (owned by the
    // caller), 1 on any failure (*ppOut null).
    static std::int32_t CompileShader(const KB_String& sFile, const D3D_SHADER_MACRO* pMacros,
                                      const char* pEntry, const char* pTarget, ID3DBlob** ppOut);
    // Makes an effect on the graphics device's device. "<name>.fxo" is loaded instead of
    // compiling when a repository has it (the source need not exist then); otherwise the file is
    // compiled as "fx_5_0". 0 with the effect in *ppOut (owned by the caller), 1 on failure.
    static std::int32_t CompileEffect(const KB_String& sFile, const D3D_SHADER_MACRO* pMacros,
                                      ID3DX11Effect** ppOut);
    // Texture arrays with one slice per image file, read through the repositories and loaded as
    // R8G8B8A8_UNORM: the 1-D array takes the top row of each image with one level, the 2-D
    // array every level of a full mip chain. *ppTexture is made for the first image when it is
    // still null and kept when a later image fails. Every image must match the first in width,
    // height and mip count. The file list is taken by value. E_FAIL when an image cannot be read,
    // decoded or does not match (or without a device); else the result of making the view.
    static HRESULT CreateTexture1DArrayFromFiles(KB_GrowingArray<KB_String> gFiles,
                                                 ID3D11Texture1D** ppTexture,
                                                 ID3D11ShaderResourceView** ppView);
    static HRESULT CreateTexture2DArrayFromFiles(KB_GrowingArray<KB_String> gFiles,
                                                 ID3D11Texture2D** ppTexture,
                                                 ID3D11ShaderResourceView** ppView);
    // The rasterizer the engine draws with: solid, counter-clockwise front faces, depth clipping,
    // no depth bias and no scissor test; the culling, multisampling and line antialiasing are the
    // caller's.
    static D3D11_RASTERIZER_DESC SolidRasterizerDesc(D3D11_CULL_MODE cull, bool bMultisample,
                                                     bool bAntialiasedLines);
    // A default-usage vertex buffer of the screen's four corners (x, y, 0) as a triangle strip;
    // null without a device or when the device cannot make it.
    static ID3D11Buffer* CreateScreenCornersBuffer(ID3D11Device* pDevice);
    // A zeroed blob of that size; null on failure.
    static ID3DBlob* CreateBlob(std::uint32_t uiSize);
    // Thread groups per axis to cover the threads with the program's compute thread-group size,
    // rounded up; (0, 0, 0) for no program, no compute stage or a zero group size.
    static std::array<std::uint32_t, 3> GetDispatchSize(const std::uint32_t threads[3],
                                                        const KR_ShaderProgram* pProgram);
};
