#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "soak/run_figures.h"
#include "soak/soak_display.h"
#include "soak/soak_logic.h"

namespace kestrova::soak {

// One line of the verdict: PASS or FAIL, with what was seen.
struct Check {
    std::string name;
    bool passed = false;
    std::string detail;
};

bool AllPassed(const std::vector<Check>& checks);

// The run completed and the simulator ended cleanly; simExit is its exit code (-1 when it was no
// longer running at the end).
Check CheckNoCrash(const RunFigures& run, int simExit);
// Every checkpoint found the controller holding the values written, the final one included.
Check CheckWritesReachedController(const RunFigures& run);
// Every loss of comms ended, including the one after the kill (the dashboard reconnects by itself
// once the device is back; the operator picks COM 1 again after a loss that lasts).
Check CheckCommsRecovered(const RunFigures& run, const CommsCaptionTracker& comms);
// VmRSS grew by less than RssGrowthLimitKiB after the baseline.
Check CheckMemoryGrowth(const RunFigures& run, std::int64_t runMs);
// Nothing was raised out of a tick or event and no event was left unprocessed.
Check CheckNoErrors(const RunFigures& run, const SoakDisplay& display);
// Read replies were checked, and each value stored was the one the simulator sent for the point.
Check CheckNoMisfiledValues(const RunFigures& run);

}  // namespace kestrova::soak
