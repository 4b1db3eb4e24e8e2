#pragma once
// Test control of the effects stand-in. Engine code never includes this header. Every function
// is thread-safe.

#include "platform/win32/WinTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace Effects11Control
{

// No failures queued, counters 0. Live effects are not touched.
void Reset();
// The next call of that name ("D3DX11CreateEffectFromMemory") fails with hr; queued failures
// are taken in order, each once.
void FailNext(const std::string& sCall, HRESULT hr = E_FAIL);
// Successful effect creations since Reset.
std::uint64_t GetCreateCount();
// Effects not yet released.
std::size_t GetLiveEffectCount();

} // namespace Effects11Control
