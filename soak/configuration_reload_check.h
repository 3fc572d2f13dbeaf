#pragma once

#include <string>

#include "config/window_placement.h"
#include "core/app_service.h"
#include "soak/run_folder.h"
#include "soak/soak_checks.h"
#include "soak/soak_logic.h"

namespace kestrova::soak {

// Loads the configuration files the core wrote at exit into a fresh point table, settings and
// project configuration, and compares them with the core's own state and with the values the
// operator wrote last. stopError is what CoreStop raised while writing them, if anything.
Check CheckConfigurationReload(const AppService& core, const RunFolder& folder,
                               const WriteLedger& ledger, const PlainWindowPlacement& placement,
                               const std::string& stopError);

}  // namespace kestrova::soak
