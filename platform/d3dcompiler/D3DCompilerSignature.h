#pragma once
// Internal to the HLSL compiler stand-in: the input registers a parameter or struct member with a
// semantic fills in a stage's input signature, each one element with its own semantic index,
// counting up from the semantic's ("float4x4 m : WORLD" fills WORLD0 to WORLD3). A scalar or a
// vector fills one register. A matrix fills one per column, each holding the column's components,
// or one per row when it is row_major: column_major is the default, and nothing changes it here
// (the preprocessor drops "#pragma pack_matrix" unread, and the compile flags are not read). An
// array fills its element's registers once for each element.

#include "platform/d3dcompiler/D3DCompilerTokenReader.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace d3dcompiler_internal
{

// The registers one value of the type fills: sType as the parser joins a declaration's type
// ("float4", "unsigned int", "float4x3", "matrix", "matrix<float,3,2>"), bRowMajor when row_major
// is written before it. A matrix is "matrix" (a float4x4), or "matrix<base,rows,columns>" or the
// base type followed by "<rows>x<columns>", each size from 1 to 4, of the base types bool, int,
// uint, dword, half, float and the minimum-precision kinds. Every other type fills one, as do the
// sizes HLSL has no matrix of and matrices of doubles (a double fills two components, a layout
// these rules do not take up).
std::uint32_t InputRegisters(const std::string& sType, bool bRowMajor);

// Whether the last of row_major and column_major among the tokens from uiBegin to uiEnd (the
// modifiers of a declaration) is row_major.
bool WritesRowMajor(const TokenReader& reader, std::size_t uiBegin, std::size_t uiEnd);

} // namespace d3dcompiler_internal
