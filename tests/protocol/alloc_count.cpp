// Counts every allocation of the test program, so a test can check that a stretch of protocol
// work allocates nothing.
#include "alloc_count.h"

#include <cstdlib>
#include <new>

namespace {
long g_allocations = 0;
}

namespace kestrova::test {
long AllocationCount() { return g_allocations; }
}  // namespace kestrova::test

void* operator new(std::size_t size)
{
    ++g_allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
