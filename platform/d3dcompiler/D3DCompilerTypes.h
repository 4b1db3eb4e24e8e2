#pragma once
// Internal to the HLSL compiler stand-in: the types HLSL has, by name, for the declarations the
// parser reads. A declaration of any other type is one of a struct, typedef, interface or class the
// text declares before it, or an error naming the type.

#include <cstdint>
#include <string_view>

namespace d3dcompiler_internal
{

// The name is one of HLSL's types: a scalar, vector or matrix of each base type ("bool", "int",
// "uint", "dword", "half", "float", "double", the minimum-precision and sized types) and size
// ("float4", "int2x3"), "vector" and "matrix", "string", the textures and buffers of every kind,
// the samplers, the state objects and the shader types; with the case they are documented with, or
// for the legacy keywords HLSL reads whatever their case ("texture", "Texture2D", "sampler2D",
// "vector", "PixelShader"...) with any. "void" and the two-word "unsigned int" are not among them:
// the parser reads those itself.
bool IsHlslType(std::string_view name);

// The name is one of HLSL's types as documented, case and all: a word that names no variable.
bool IsHlslTypeKeyword(std::string_view name);

// The name is a scalar, vector or matrix type ("float", "int2", "float4x3"): its base type in
// *pBase, and its rows and columns (0 and 0 for a scalar, 0 and n for a vector of n).
bool ReadNumericType(std::string_view name, std::string_view* pBase, std::uint32_t* pRows,
                     std::uint32_t* pColumns);

} // namespace d3dcompiler_internal
