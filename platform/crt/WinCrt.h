#pragma once
// The parts of the Windows C runtime whose answers differ from glibc's, or which glibc lacks.
//
// rand, srand and clock clash with glibc's names and macros, so they live in namespace wincrt
// with the Windows behaviour; engine code calls wincrt::rand, wincrt::srand and wincrt::clock and
// never the glibc functions. The Windows-only names (_stricmp, _strlwr_s, _aligned_malloc, ...)
// keep their own names at global scope.
//
// Thread-safe: the random state is per thread, the clock may be read from any thread.
// Tests drive the clock and the random state through platform/crt/CrtControl.h.

#include <cstddef>
#include <cstdint>

namespace wincrt
{

constexpr int WIN_RAND_MAX = 32767;
constexpr long WIN_CLOCKS_PER_SEC = 1000;

// Windows generator: state = state * 214013 + 2531011, result (state >> 16) & 0x7FFF.
// Each thread has its own state, which starts at 1 as if srand(1) had been called.
int rand();
void srand(unsigned int seed);

// Wall-clock milliseconds since the process started (not CPU time, as on Windows).
long clock();

} // namespace wincrt

// ASCII case-insensitive compare: both sides lowered, then compared as unsigned bytes.
// Returns the difference of the first differing lowered bytes (<0, 0, >0).
int _stricmp(const char* a, const char* b);
int _strnicmp(const char* a, const char* b, std::size_t count);

// In-place ASCII case conversion of a NUL-terminated string within size bytes.
// Returns 0, or EINVAL when str is null or has no NUL within size bytes.
int _strlwr_s(char* str, std::size_t size);
int _strupr_s(char* str, std::size_t size);

// Heap blocks aligned to alignment (a power of two). Null on failure or a bad alignment.
// Blocks from _aligned_malloc must be released with _aligned_free (null is ignored).
void* _aligned_malloc(std::size_t size, std::size_t alignment);
void _aligned_free(void* block);
