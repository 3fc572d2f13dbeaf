// Counts every allocation of the test program, so a test can check that a stretch of code
// allocates nothing.
#include <cstdlib>
#include <new>

#include "alloc_counter.h"

namespace kestrova::test {
long g_allocationCount = 0;
}

void* operator new(std::size_t size) {
    ++kestrova::test::g_allocationCount;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
