#pragma once
// The HLSL compiler stand-in's limits on the text it is handed, for callers that read files for
// it: a source or an include larger than these fails to compile whatever it holds, so a reader
// may refuse such a file without reading it. Not part of the foreign API.

#include <cstddef>

namespace D3DCompilerLimits
{

// Bytes of the text being compiled.
constexpr std::size_t MAX_SOURCE_BYTES = 1u << 20;
// Bytes of one include.
constexpr std::size_t MAX_INCLUDED_BYTES = 1u << 20;

} // namespace D3DCompilerLimits
