#pragma once
// Test control of the D3DX11 stand-in: failure injection and counters. Engine code never
// includes this header. Every function is thread-safe.

#include "platform/win32/WinTypes.h"

#include <cstdint>
#include <string>

namespace D3DX11Control
{

// No failures queued, counters at zero.
void Reset();

// The next call of that name ("D3DX11CreateTextureFromMemory", "D3DX11GetImageInfoFromMemory",
// "D3DX11CreateShaderResourceViewFromMemory", "D3DX11SaveTextureToFileA") fails with hr before
// doing any work. Queued failures are taken in order, each once.
void FailNext(const std::string& call, HRESULT hr = E_FAIL);

// Images decoded (headers only not counted) since Reset, successful or not.
std::uint64_t GetDecodeCount();

} // namespace D3DX11Control
