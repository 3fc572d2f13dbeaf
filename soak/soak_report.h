#pragma once

#include <vector>

#include "soak/run_figures.h"
#include "soak/soak_checks.h"
#include "soak/soak_display.h"
#include "soak/soak_logic.h"

namespace kestrova::soak {

// Prints the summary of a finished run on stdout: its figures, then one PASS/FAIL line per check.
void PrintSummary(const SoakOptions& options, const RunFigures& run, const SoakDisplay& display,
                  const WriteLedger& ledger, const std::vector<Check>& checks);

}  // namespace kestrova::soak
