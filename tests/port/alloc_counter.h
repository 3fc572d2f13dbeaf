#pragma once

namespace kestrova::test {
// Number of calls of the global operator new so far.
extern long g_allocationCount;
}  // namespace kestrova::test
