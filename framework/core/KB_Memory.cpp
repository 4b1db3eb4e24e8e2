#include "framework/core/KB_Memory.h"

#include "platform/crt/WinCrt.h"

#include <cstddef>

void* KB_Memory::Allocate(std::uint64_t size)
{
    return _aligned_malloc(static_cast<std::size_t>(size), static_cast<std::size_t>(KB_MEMORY_ALIGNMENT));
}

void KB_Memory::Free(void* pBlock)
{
    _aligned_free(pBlock);
}

bool KB_Memory::IsAligned(const void* p)
{
    return (reinterpret_cast<std::uintptr_t>(p) % KB_MEMORY_ALIGNMENT) == 0;
}
