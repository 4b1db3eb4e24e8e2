#pragma once
// Test control of the C-runtime stand-in. Engine code never includes this header.

#include <cstdint>

namespace CrtControl
{

// From now on wincrt::clock returns exactly this value, on every thread, until changed.
void SetClock(long milliseconds);
// Moves the manual clock forward (switches to the manual clock at its current reading first).
void AdvanceClock(long milliseconds);
// Back to the real wall clock.
void UseRealClock();
bool IsClockManual();

// The calling thread's random state, as srand would leave it.
std::uint32_t GetRandState();

// Real clock again and the calling thread's random state back to 1.
void Reset();

} // namespace CrtControl
