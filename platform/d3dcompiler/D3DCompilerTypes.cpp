#include "platform/d3dcompiler/D3DCompilerTypes.h"

#include <cstddef>

namespace d3dcompiler_internal
{

namespace
{

// The base types of scalars, vectors and matrices.
constexpr std::string_view BASE_TYPES[] = {
    "bool",       "int",        "uint",     "dword",    "half",      "float",     "double",
    "min16float", "min10float", "min16int", "min12int", "min16uint", "int16_t",   "uint16_t",
    "int32_t",    "uint32_t",   "int64_t",  "uint64_t", "float16_t", "float32_t", "float64_t"};

struct NamedType
{
    std::string_view Name;
    bool AnyCase; // a legacy keyword, read whatever its case
};

constexpr NamedType NAMED_TYPES[] = {
    {"vector", true},
    {"matrix", true},
    {"string", true},
    {"texture", true},
    {"texture1D", true},
    {"texture2D", true},
    {"texture3D", true},
    {"textureCUBE", true},
    {"Texture1D", true},
    {"Texture2D", true},
    {"Texture3D", true},
    {"TextureCube", true},
    {"Texture1DArray", false},
    {"Texture2DArray", false},
    {"Texture2DMS", false},
    {"Texture2DMSArray", false},
    {"TextureCubeArray", false},
    {"Buffer", false},
    {"RWBuffer", false},
    {"ByteAddressBuffer", false},
    {"RWByteAddressBuffer", false},
    {"StructuredBuffer", false},
    {"RWStructuredBuffer", false},
    {"AppendStructuredBuffer", false},
    {"ConsumeStructuredBuffer", false},
    {"RWTexture1D", false},
    {"RWTexture1DArray", false},
    {"RWTexture2D", false},
    {"RWTexture2DArray", false},
    {"RWTexture3D", false},
    {"RasterizerOrderedBuffer", false},
    {"RasterizerOrderedByteAddressBuffer", false},
    {"RasterizerOrderedStructuredBuffer", false},
    {"RasterizerOrderedTexture1D", false},
    {"RasterizerOrderedTexture1DArray", false},
    {"RasterizerOrderedTexture2D", false},
    {"RasterizerOrderedTexture2DArray", false},
    {"RasterizerOrderedTexture3D", false},
    {"ConstantBuffer", false},
    {"TextureBuffer", false},
    {"InputPatch", false},
    {"OutputPatch", false},
    {"PointStream", false},
    {"LineStream", false},
    {"TriangleStream", false},
    {"sampler", true},
    {"sampler1D", true},
    {"sampler2D", true},
    {"sampler3D", true},
    {"samplerCUBE", true},
    {"SamplerState", false},
    {"SamplerComparisonState", false},
    {"BlendState", false},
    {"DepthStencilState", false},
    {"RasterizerState", false},
    {"RenderTargetView", false},
    {"DepthStencilView", false},
    {"stateblock", false},
    {"VertexShader", true},
    {"PixelShader", true},
    {"GeometryShader", true},
    {"HullShader", true},
    {"DomainShader", true},
    {"ComputeShader", true},
    {"vertexfragment", false},
    {"pixelfragment", false},
};

bool EqualInAnyCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        const char ca = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        const char cb = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (ca != cb)
            return false;
    }
    return true;
}

bool IsSize(char c)
{
    return c >= '1' && c <= '4';
}

bool IsNumericType(std::string_view name)
{
    std::string_view base;
    std::uint32_t uiRows = 0;
    std::uint32_t uiColumns = 0;
    return ReadNumericType(name, &base, &uiRows, &uiColumns);
}

} // namespace

bool ReadNumericType(std::string_view name, std::string_view* pBase, std::uint32_t* pRows,
                     std::uint32_t* pColumns)
{
    for (std::string_view base : BASE_TYPES)
    {
        if (name.substr(0, base.size()) != base)
            continue;
        // Nothing for a scalar, a vector's size ("4") or a matrix's rows and columns ("4x3").
        const std::string_view size = name.substr(base.size());
        const bool bVector = size.size() == 1 && IsSize(size[0]);
        const bool bMatrix = size.size() == 3 && IsSize(size[0]) && size[1] == 'x' && IsSize(size[2]);
        if (!size.empty() && !bVector && !bMatrix)
            continue;
        *pBase = base;
        *pRows = bMatrix ? static_cast<std::uint32_t>(size[0] - '0') : 0;
        *pColumns = bMatrix || bVector ? static_cast<std::uint32_t>(size.back() - '0') : 0;
        return true;
    }
    return false;
}

bool IsHlslType(std::string_view name)
{
    if (IsNumericType(name))
        return true;
    for (const NamedType& type : NAMED_TYPES)
        if (type.AnyCase ? EqualInAnyCase(name, type.Name) : name == type.Name)
            return true;
    return false;
}

bool IsHlslTypeKeyword(std::string_view name)
{
    if (IsNumericType(name))
        return true;
    for (const NamedType& type : NAMED_TYPES)
        if (name == type.Name)
            return true;
    return false;
}

} // namespace d3dcompiler_internal
