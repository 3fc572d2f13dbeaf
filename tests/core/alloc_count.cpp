// Replaces the global operator new of the test program so that a test can count the
// allocations of a stretch of code.
#include <cstdlib>
#include <new>

#include "alloc_count.h"

namespace kestrova::test {
long g_countedAllocations = 0;
bool g_countAllocations = false;
}  // namespace kestrova::test

void* operator new(std::size_t size) {
    if (kestrova::test::g_countAllocations) ++kestrova::test::g_countedAllocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
