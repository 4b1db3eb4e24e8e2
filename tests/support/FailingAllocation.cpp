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

void* operator new(std::size_t uiSize)
{
    if (uiSize != 0 && uiSize == t_uiFailingSize)
    {
        ++t_uiFailures;
        throw std::bad_alloc();
    }
    void* p = std::malloc(uiSize != 0 ? uiSize : 1);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
