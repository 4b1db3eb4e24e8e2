#pragma once
// Counts the heap allocations of the program it is linked into, and tells the engine's apart
// from the platform stand-ins'. Test and benchmark code only: linking it replaces the C library's
// malloc, calloc, realloc, posix_memalign, aligned_alloc and memalign with counting forwarders to
// glibc's own allocator (operator new, KB_String's aligned blocks and everything else end there),
// so it changes no allocation, only counts them. Sanitizer builds keep their own allocator: there
// the counter is unavailable and counts nothing.
//
// Telling owners apart: an attributed count unwinds the stack of each allocation and looks its
// return addresses up in the program's own symbol table; the innermost frame that is engine or
// stand-in code owns the allocation. Engine code is what carries the engine's prefixes (classes,
// namespaces and functions named K<capitals>_..., and file-local functions of the K..._ source
// files). Stand-in code is every other named function of the program: the stand-ins' namespaces
// and classes (d3d11_internal, FMOD, forms, DirectX, ...), the foreign API's global functions
// (PeekMessageA, D3DX11SaveTextureToFileA, ...) and the file-local functions of their source
// files. The C++ library, the C library, shared libraries, operators and unnamed code are walked
// through: a std::vector growing in an engine method is the engine's. The engine's few global
// helpers without a prefix (ray and plane math, wildcard matching) would count as the stand-in's;
// none of them allocates.
//
// Counting is process-wide (every thread); a thread holding a Pause is left out (a test's or a
// benchmark's own hooks). Thread-safe.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace CountingAllocator
{

struct Counts
{
    std::uint64_t Engine = 0;  // attributed counts only
    std::uint64_t StandIn = 0; // attributed counts only
    std::uint64_t Other = 0;   // no engine or stand-in frame on the stack (attributed counts only)
    std::uint64_t Total = 0;   // every counted allocation
    std::uint64_t Bytes = 0;   // bytes asked for by the counted allocations
    bool Attributed = false;   // the count told owners apart (Start(true) with the symbols read)
};

// One allocating function and how many allocations it made.
struct Site
{
    std::string Function; // demangled, without parameters: "owner <- its caller"
    std::uint64_t Count = 0;
};

// False in sanitizer builds, where the allocator is not replaced.
bool IsAvailable();
// Clears the counts and starts counting; bAttributed also unwinds every allocation to find its
// owner (a few microseconds each). The first attributed start reads the program's symbol table.
void Start(bool bAttributed);
// For tests of what reads the counts: while on, an attributed start counts as it does where the
// program's symbols cannot be read (a stripped program), without attribution.
void ForceUnattributed(bool bForce);
// Stops counting; the counts stay readable.
void Stop();
Counts GetCounts();
// The engine's (bEngine) or the stand-in's allocating functions of the attributed count, most
// allocations first, at most uiMax of them.
std::vector<Site> GetSites(bool bEngine, std::size_t uiMax);
// "function xN" lines of GetSites, for a test's failure message.
std::string DescribeSites(bool bEngine, std::size_t uiMax);

// While one lives, the calling thread's allocations are not counted.
class Pause
{
public:
    Pause();
    ~Pause();
    Pause(const Pause&) = delete;
    Pause& operator=(const Pause&) = delete;
};

} // namespace CountingAllocator
