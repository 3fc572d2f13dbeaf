#pragma once

namespace kestrova::test {
// Calls of the global operator new made while counting is on.
extern long g_countedAllocations;
extern bool g_countAllocations;
}  // namespace kestrova::test
