#pragma once
// Reflection of a compiled shader of the HLSL compiler stand-in: what D3DReflect answers.

#include "platform/d3d11/Unknwn.h"
#include "platform/win32/WinTypes.h"

struct ID3D11ShaderReflection : public IUnknown
{
    // The [numthreads(x, y, z)] of a compute shader's entry point (each 0 for other stages);
    // any pointer may be null. Returns x * y * z.
    virtual UINT GetThreadGroupSize(UINT* pSizeX, UINT* pSizeY, UINT* pSizeZ) = 0;
};

inline constexpr IID IID_ID3D11ShaderReflection = {
    0x8d536ca1, 0x0cca, 0x4956, {0xa8, 0x37, 0x78, 0x69, 0x63, 0x75, 0x55, 0x84}};
