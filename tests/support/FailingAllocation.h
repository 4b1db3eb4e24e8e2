#pragma once
// Makes heap allocations fail on demand, for tests of what code does when it cannot allocate.
// Linking it replaces the program's global operator new and delete with forwarders to malloc and
// free. While a FailingAllocation lives, every operator new of exactly its size made on the thread
// that constructed it throws std::bad_alloc, so new (std::nothrow) of an object of that size answers
// null; other sizes, other threads and the aligned forms are served as usual. Pick a size no
// standard container of the code under test asks for at the same time. One at a time per thread;
// test code only, it uses no GoogleTest.

#include <cstddef>
#include <cstdint>

class FailingAllocation
{
public:
    explicit FailingAllocation(std::size_t uiSize);
    ~FailingAllocation();

    FailingAllocation(const FailingAllocation&) = delete;
    FailingAllocation& operator=(const FailingAllocation&) = delete;

    // How many allocations failed since construction.
    std::uint32_t GetFailures() const;
};
