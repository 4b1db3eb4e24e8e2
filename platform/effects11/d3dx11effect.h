#pragma once
// Effects stand-in: effects made from the fx_5_0 bytecode of the HLSL compiler stand-in (or an
// ".fxo" file, which holds the same bytes). An effect keeps everything its bytecode describes
// (techniques, passes with their shaders and states, variables with their types and array
// sizes); for now only its creation and release are offered. Creation is safe from several
// threads at once. Tests observe it through platform/effects11/Effects11Control.h.

#include "platform/d3d11/Unknwn.h"
#include "platform/d3d11/d3d11.h"
#include "platform/win32/WinTypes.h"

// An effect holds a reference on its device for its whole life.
struct ID3DX11Effect : public IUnknown
{
};

inline constexpr IID IID_ID3DX11Effect = {
    0xfa61ca24, 0xe4ba, 0x43a7, {0x9c, 0xf6, 0x4a, 0x9e, 0x2c, 0x3c, 0x4d, 0x2e}};

// pData must be whole fx_5_0 bytecode of the compiler stand-in and pDevice non-null, else
// E_INVALIDARG; FXFlags is not looked at. *ppEffect is null on failure.
HRESULT D3DX11CreateEffectFromMemory(LPCVOID pData, SIZE_T DataLength, UINT FXFlags, ID3D11Device* pDevice,
                                     ID3DX11Effect** ppEffect);
