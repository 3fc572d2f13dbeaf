#pragma once

namespace kestrova::test {

// Calls of the global operator new in this program so far. Counting replaces operator new, so
// a program links the counter (kestrova_alloc_counter) only when it asks for the count.
long AllocationCount();

}  // namespace kestrova::test
