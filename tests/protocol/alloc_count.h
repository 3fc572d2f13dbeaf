#pragma once

namespace kestrova::test {
// Number of calls of the global operator new in this test program so far.
long AllocationCount();
}  // namespace kestrova::test
