#pragma once
// HLSL compiler stand-in. D3DCompile really preprocesses the source (Boost.Wave: object-like and
// function-like macros, the caller's macro table, #include through the caller's ID3DInclude,
// #if/#ifdef/#ifndef/#elif/#else/#endif and defined), then checks what a compiler catches
// cheaply: balanced braces, parentheses and brackets, an entry point that exists as a function
// (vs_5_0, ps_5_0, gs_5_0, cs_5_0), at least one technique11 for fx_5_0. It does not translate
// the code: the "bytecode" is a record of our own (platform/d3d11/D3D11ShaderBytecode.h) that the
// Direct3D 11 stand-in accepts when it makes shaders and that the effects stand-in loads.
// Errors come back as text in the errors blob, one "file(line,col): error Xnnnn: text" line each.
// Text that nests or expands beyond the preprocessor's limits (D3DCompilerPreprocessor.h) fails
// with an X1000 error.
// Every function is safe to call from several threads at once. Tests observe and steer it
// through platform/d3dcompiler/D3DCompilerControl.h.

#include "platform/d3d11/Unknwn.h"
#include "platform/d3dcompiler/d3d11shader.h"
#include "platform/win32/WinTypes.h"

constexpr UINT D3DCOMPILE_DEBUG = 1u << 0;
constexpr UINT D3DCOMPILE_SKIP_VALIDATION = 1u << 1;
constexpr UINT D3DCOMPILE_SKIP_OPTIMIZATION = 1u << 2;
constexpr UINT D3DCOMPILE_PACK_MATRIX_ROW_MAJOR = 1u << 3;
constexpr UINT D3DCOMPILE_PACK_MATRIX_COLUMN_MAJOR = 1u << 4;
constexpr UINT D3DCOMPILE_PARTIAL_PRECISION = 1u << 5;
constexpr UINT D3DCOMPILE_NO_PRESHADER = 1u << 8;
constexpr UINT D3DCOMPILE_AVOID_FLOW_CONTROL = 1u << 9;
constexpr UINT D3DCOMPILE_PREFER_FLOW_CONTROL = 1u << 10;
constexpr UINT D3DCOMPILE_ENABLE_STRICTNESS = 1u << 11;
constexpr UINT D3DCOMPILE_ENABLE_BACKWARDS_COMPATIBILITY = 1u << 12;
constexpr UINT D3DCOMPILE_IEEE_STRICTNESS = 1u << 13;
constexpr UINT D3DCOMPILE_OPTIMIZATION_LEVEL0 = 1u << 14;
constexpr UINT D3DCOMPILE_OPTIMIZATION_LEVEL3 = 1u << 15;
constexpr UINT D3DCOMPILE_WARNINGS_ARE_ERRORS = 1u << 18;

// One macro of a table that ends with a pair of nulls. A null Definition defines the macro
// empty, like "".
struct D3D_SHADER_MACRO
{
    LPCSTR Name;
    LPCSTR Definition;
};

// A reference-counted byte buffer.
struct ID3D10Blob : public IUnknown
{
    virtual LPVOID GetBufferPointer() = 0;
    virtual SIZE_T GetBufferSize() = 0;
};
using ID3DBlob = ID3D10Blob;

enum D3D_INCLUDE_TYPE
{
    D3D_INCLUDE_LOCAL = 0,  // #include "name"
    D3D_INCLUDE_SYSTEM = 1, // #include <name>
};

// The caller's access to include files. The compiler passes the name exactly as written in the
// directive; pParentData is the data of the including file (the source itself at the top). Each
// successful Open is matched by one Close of its data before D3DCompile returns. Not a COM
// object: the compiler neither adds nor releases references.
struct ID3DInclude
{
    virtual HRESULT Open(D3D_INCLUDE_TYPE IncludeType, LPCSTR pFileName, LPCVOID pParentData, LPCVOID* ppData,
                         UINT* pBytes) = 0;
    virtual HRESULT Close(LPCVOID pData) = 0;

protected:
    ID3DInclude() = default;
    ID3DInclude(const ID3DInclude&) = default;
    ID3DInclude& operator=(const ID3DInclude&) = default;
    ~ID3DInclude() = default;
};

// pEntrypoint may be null only for fx_5_0. Targets: "vs_5_0", "ps_5_0", "gs_5_0", "cs_5_0",
// "fx_5_0"; anything else fails. On success *ppCode holds the bytecode; on failure it is null and
// *ppErrorMsgs (when given) holds the messages, E_FAIL being returned. ppErrorMsgs may be null.
HRESULT D3DCompile(LPCVOID pSrcData, SIZE_T SrcDataSize, LPCSTR pSourceName, const D3D_SHADER_MACRO* pDefines,
                   ID3DInclude* pInclude, LPCSTR pEntrypoint, LPCSTR pTarget, UINT Flags1, UINT Flags2,
                   ID3DBlob** ppCode, ID3DBlob** ppErrorMsgs);

// A blob of Size zeroed bytes.
HRESULT D3DCreateBlob(SIZE_T Size, ID3DBlob** ppBlob);

// pInterface must be IID_ID3D11ShaderReflection and the data a compiled shader stage (not an
// effect); else E_INVALIDARG (E_NOINTERFACE for another interface).
HRESULT D3DReflect(LPCVOID pSrcData, SIZE_T SrcDataSize, REFIID pInterface, void** ppReflector);
