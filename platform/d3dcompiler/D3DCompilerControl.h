#pragma once
// Test control of the HLSL compiler stand-in: counters, failure injection and leak checks.
// Engine code never includes this header. Every function is thread-safe.

#include "platform/win32/WinTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace D3DCompilerControl
{

// No failures queued, counters 0. Live objects are not touched.
void Reset();

// The next call of that name ("D3DCompile", "D3DCreateBlob", "D3DReflect") fails with hr
// instead of doing its work; queued failures are taken in order, each once. An injected compile
// failure returns no error messages.
void FailNext(const std::string& sCall, HRESULT hr = E_FAIL);

// D3DCompile calls since Reset, failed ones included.
std::uint64_t GetCompileCount();
// Blobs and reflection objects not yet released.
std::size_t GetLiveObjectCount();

} // namespace D3DCompilerControl
