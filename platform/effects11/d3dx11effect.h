#pragma once
// Effects stand-in: effects made from the fx_5_0 bytecode of the HLSL compiler stand-in (or an
// ".fxo" file, which holds the same bytes). An effect keeps everything its bytecode describes:
// techniques, passes with their shaders and states, variables with their types and array sizes.
// Creation is safe from several threads at once; the rest is used by one thread at a time.
// Tests observe it through platform/effects11/Effects11Control.h.
//
// Techniques, passes, variables and types are not reference counted: they live as long as their
// effect. A lookup that finds nothing (unknown name, index out of range, a variable asked for a
// kind it is not) answers an invalid object whose IsValid is FALSE and whose setters fail with
// E_FAIL, never null.

#include "platform/d3d11/Unknwn.h"
#include "platform/d3d11/d3d11.h"
#include "platform/win32/WinTypes.h"

struct ID3DX11EffectScalarVariable;
struct ID3DX11EffectVectorVariable;
struct ID3DX11EffectMatrixVariable;
struct ID3DX11EffectShaderResourceVariable;
struct ID3DX11EffectUnorderedAccessViewVariable;

enum D3D_SHADER_VARIABLE_CLASS
{
    D3D_SVC_SCALAR = 0,
    D3D_SVC_VECTOR = 1,
    D3D_SVC_MATRIX_ROWS = 2,
    D3D_SVC_MATRIX_COLUMNS = 3,
    D3D_SVC_OBJECT = 4,
    D3D_SVC_STRUCT = 5
};

struct D3DX11_EFFECT_DESC
{
    UINT ConstantBuffers;
    UINT GlobalVariables;
    UINT InterfaceVariables;
    UINT Techniques;
    UINT Groups;
};

struct D3DX11_TECHNIQUE_DESC
{
    LPCSTR Name;
    UINT Passes;
    UINT Annotations;
};

// pIAInputSignature is the pass's vertex shader bytecode (null with size 0 when the pass sets
// none): what ID3D11Device::CreateInputLayout checks its elements against.
struct D3DX11_PASS_DESC
{
    LPCSTR Name;
    UINT Annotations;
    BYTE* pIAInputSignature;
    SIZE_T IAInputSignatureSize;
    UINT StencilRef;
    UINT SampleMask;
    FLOAT BlendFactor[4];
};

struct D3DX11_EFFECT_VARIABLE_DESC
{
    LPCSTR Name;
    LPCSTR Semantic; // null when the declaration has none
    UINT Flags;
    UINT Annotations;
    UINT BufferOffset;
    UINT ExplicitBindPoint;
};

// Elements is the declared array size (0 when not an array). Rows and Columns give the shape of
// numeric types (1 x N for vectors, 1 x 1 for scalars, 0 for objects).
struct D3DX11_EFFECT_TYPE_DESC
{
    LPCSTR TypeName;
    D3D_SHADER_VARIABLE_CLASS Class;
    UINT Elements;
    UINT Members;
    UINT Rows;
    UINT Columns;
    UINT PackedSize;
    UINT UnpackedSize;
    UINT Stride;
};

struct ID3DX11EffectType
{
    virtual BOOL IsValid() = 0;
    virtual HRESULT GetDesc(D3DX11_EFFECT_TYPE_DESC* pDesc) = 0;

protected:
    ~ID3DX11EffectType() = default;
};

struct ID3DX11EffectVariable
{
    virtual BOOL IsValid() = 0;
    virtual ID3DX11EffectType* GetType() = 0;
    virtual HRESULT GetDesc(D3DX11_EFFECT_VARIABLE_DESC* pDesc) = 0;
    // Each gives an invalid object when the variable is not of that kind.
    virtual ID3DX11EffectScalarVariable* AsScalar() = 0;
    virtual ID3DX11EffectVectorVariable* AsVector() = 0;
    virtual ID3DX11EffectMatrixVariable* AsMatrix() = 0;
    virtual ID3DX11EffectShaderResourceVariable* AsShaderResource() = 0;
    virtual ID3DX11EffectUnorderedAccessViewVariable* AsUnorderedAccessView() = 0;

protected:
    ~ID3DX11EffectVariable() = default;
};

// The array setters take Count elements starting at element Offset and refuse, with
// E_INVALIDARG and nothing changed, a range beyond the declared array (a variable that is not an
// array counts as one element). Count 0 is allowed. Integers are kept as floats.
struct ID3DX11EffectScalarVariable : public ID3DX11EffectVariable
{
    virtual HRESULT SetFloat(float Value) = 0;
    virtual HRESULT GetFloat(float* pValue) = 0;
    virtual HRESULT SetFloatArray(const float* pData, UINT Offset, UINT Count) = 0;
    virtual HRESULT SetInt(int Value) = 0;
    virtual HRESULT GetInt(int* pValue) = 0;
    virtual HRESULT SetIntArray(const int* pData, UINT Offset, UINT Count) = 0;
    virtual HRESULT SetBool(BOOL Value) = 0;

protected:
    ~ID3DX11EffectScalarVariable() = default;
};

// A vector takes as many floats as its type has columns (a float3 reads 3, also per array
// element).
struct ID3DX11EffectVectorVariable : public ID3DX11EffectVariable
{
    virtual HRESULT SetFloatVector(const float* pData) = 0;
    virtual HRESULT GetFloatVector(float* pData) = 0;
    virtual HRESULT SetFloatVectorArray(const float* pData, UINT Offset, UINT Count) = 0;
    virtual HRESULT SetIntVector(const int* pData) = 0;

protected:
    ~ID3DX11EffectVectorVariable() = default;
};

// A matrix is 16 floats in row-major order, whatever its declared shape; the effect takes care of
// the shader's packing.
struct ID3DX11EffectMatrixVariable : public ID3DX11EffectVariable
{
    virtual HRESULT SetMatrix(const float* pData) = 0;
    virtual HRESULT GetMatrix(float* pData) = 0;
    virtual HRESULT SetMatrixArray(const float* pData, UINT Offset, UINT Count) = 0;

protected:
    ~ID3DX11EffectMatrixVariable() = default;
};

// The effect holds a reference on every view set (null allowed) until it is replaced or the
// effect is released.
struct ID3DX11EffectShaderResourceVariable : public ID3DX11EffectVariable
{
    virtual HRESULT SetResource(ID3D11ShaderResourceView* pResource) = 0;
    // Not AddRef'd.
    virtual HRESULT GetResource(ID3D11ShaderResourceView** ppResource) = 0;
    virtual HRESULT SetResourceArray(ID3D11ShaderResourceView* const* ppResources, UINT Offset,
                                     UINT Count) = 0;

protected:
    ~ID3DX11EffectShaderResourceVariable() = default;
};

struct ID3DX11EffectUnorderedAccessViewVariable : public ID3DX11EffectVariable
{
    virtual HRESULT SetUnorderedAccessView(ID3D11UnorderedAccessView* pResource) = 0;
    virtual HRESULT SetUnorderedAccessViewArray(ID3D11UnorderedAccessView* const* ppResources, UINT Offset,
                                                UINT Count) = 0;

protected:
    ~ID3DX11EffectUnorderedAccessViewVariable() = default;
};

struct ID3DX11EffectPass
{
    virtual BOOL IsValid() = 0;
    virtual HRESULT GetDesc(D3DX11_PASS_DESC* pDesc) = 0;
    // Flags must be 0. Binds the shaders the pass sets (a stage it does not name keeps what is
    // bound) and its blend, depth-stencil and rasterizer states on the context.
    virtual HRESULT Apply(UINT Flags, ID3D11DeviceContext* pContext) = 0;

protected:
    ~ID3DX11EffectPass() = default;
};

struct ID3DX11EffectTechnique
{
    virtual BOOL IsValid() = 0;
    virtual HRESULT GetDesc(D3DX11_TECHNIQUE_DESC* pDesc) = 0;
    virtual ID3DX11EffectPass* GetPassByIndex(UINT Index) = 0;
    virtual ID3DX11EffectPass* GetPassByName(LPCSTR Name) = 0;

protected:
    ~ID3DX11EffectTechnique() = default;
};

// An effect holds a reference on its device, and on the shaders and states its passes bind, for
// its whole life.
struct ID3DX11Effect : public IUnknown
{
    virtual BOOL IsValid() = 0;
    virtual HRESULT GetDesc(D3DX11_EFFECT_DESC* pDesc) = 0;
    virtual ID3DX11EffectTechnique* GetTechniqueByIndex(UINT Index) = 0;
    virtual ID3DX11EffectTechnique* GetTechniqueByName(LPCSTR Name) = 0;
    virtual ID3DX11EffectVariable* GetVariableByIndex(UINT Index) = 0;
    virtual ID3DX11EffectVariable* GetVariableByName(LPCSTR Name) = 0;
};

inline constexpr IID IID_ID3DX11Effect = {
    0xfa61ca24, 0xe4ba, 0x43a7, {0x9c, 0xf6, 0x4a, 0x9e, 0x2c, 0x3c, 0x4d, 0x2e}};

// pData must be whole fx_5_0 bytecode of the compiler stand-in and pDevice non-null, else
// E_INVALIDARG; a shader or state of a pass the device refuses gives that failure. FXFlags is not
// looked at. *ppEffect is null on failure.
HRESULT D3DX11CreateEffectFromMemory(LPCVOID pData, SIZE_T DataLength, UINT FXFlags, ID3D11Device* pDevice,
                                     ID3DX11Effect** ppEffect);
