#pragma once
// Internal to the HLSL compiler stand-in: the values of declarators' initializers ("float4 g =
// value;"), read to their end so that what follows a value is the declaration's next declarator,
// its ';' or an error, never more of the value.

#include "platform/d3dcompiler/D3DCompilerTokenReader.h"

#include <cstddef>
#include <set>
#include <string>

namespace d3dcompiler_internal
{

// The value at i (after "="), in a statement that ends at uiEnd at the latest: an expression of
// operands (numbers, strings, names, calls, constructors of template types, parentheses, casts to
// a type, members, indices) and C's unary, binary and conditional operators; a list of values in
// braces ("{ 1, { 2, 3 }, }", a last ',' allowed); "sampler_state { ... }" (its block is not read
// here); or "compile target entry(...)". setTypes holds the types the text has declared, which a
// cast may name. Past the value: the ',' or ';' after it, or uiEnd. NONE, with the error, at the
// first token that does not fit. Nesting is read without recursion.
std::size_t ReadValue(TokenReader& reader, std::size_t i, std::size_t uiEnd,
                      const std::set<std::string>& setTypes);

} // namespace d3dcompiler_internal
