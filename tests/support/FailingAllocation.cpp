#include "tests/support/FailingAllocation.h"

#include <cstdlib>
#include <new>

namespace
{

thread_local std::size_t t_uiFailingSize = 0; // 0: nothing fails
thread_local std::uint32_t t_uiFailures = 0;

} // namespace

FailingAllocation::FailingAllocation(std::size_t uiSize)
{
    t_uiFailingSize = uiSize;
    t_uiFailures = 0;
}

FailingAllocation::~FailingAllocation()
{
    t_uiFailingSize = 0;
}

std::uint32_t FailingAllocation::GetFailures() const
{
    return t_uiFailures;
}

// Every plain form is replaced, so that each block is allocated and freed by the same pair (a
// sanitizer's runtime would otherwise serve some forms and report the mismatch). The aligned forms
// stay the library's, as pairs.
namespace
{

void* Allocate(std::size_t uiSize) noexcept
{
    if (uiSize != 0 && uiSize == t_uiFailingSize)
    {
        ++t_uiFailures;
        return nullptr;
    }
    return std::malloc(uiSize != 0 ? uiSize : 1);
}

void* AllocateOrThrow(std::size_t uiSize)
{
    void* p = Allocate(uiSize);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}

} // namespace

void* operator new(std::size_t uiSize)
{
    return AllocateOrThrow(uiSize);
}

void* operator new[](std::size_t uiSize)
{
    return AllocateOrThrow(uiSize);
}

void* operator new(std::size_t uiSize, const std::nothrow_t&) noexcept
{
    return Allocate(uiSize);
}

void* operator new[](std::size_t uiSize, const std::nothrow_t&) noexcept
{
    return Allocate(uiSize);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
