#pragma once

#include <cstddef>

namespace kestrova::test {

// Calls of the global operator new in this program so far. Counting replaces operator new, so
// a program links the counter (kestrova_alloc_counter) only when it asks for the count.
long AllocationCount();
// Bytes asked of the global operator new so far, freed or not: a bound on the peak of any stretch.
std::size_t AllocatedBytes();

}  // namespace kestrova::test
