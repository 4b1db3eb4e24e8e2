#pragma once
// The engine's aligned heap: blocks aligned to KB_MEMORY_ALIGNMENT for the buffers the core types
// manage themselves (string bytes, growing-array storage).
//
// Global operator new is not replaced: on this platform it already returns blocks aligned to 16
// bytes, and over-aligned types go through the aligned forms of new. Any thread.

#include <cstdint>

constexpr std::uint64_t KB_MEMORY_ALIGNMENT = 16;

class KB_Memory
{
public:
    // A block of at least size bytes (a zero size still gives a unique block). Allocation failure
    // is not handled: the heap is assumed to succeed.
    static void* Allocate(std::uint64_t size);
    // Releases a block from Allocate; null is ignored.
    static void Free(void* pBlock);
    static bool IsAligned(const void* p);
};
