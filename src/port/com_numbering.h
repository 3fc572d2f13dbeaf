#pragma once

#include <string>
#include <vector>

#include "config/serial_settings.h"
#include "port/port_catalogue.h"

namespace kestrova {

inline constexpr int FirstAdapterComNumber = 3;
inline constexpr int LastComNumber = 40;

struct ComNumbering {
    // Numbers given now, as (COM number, stable path); already set in the port map.
    std::vector<std::pair<int, std::string>> assigned;
    // Stable paths of adapters that found no free number.
    std::vector<std::string> unnumbered;
};

// Gives every present adapter whose stable path no "Ports" entry names the lowest COM number
// from 3 to 40 that has no entry yet, and enters it in the map. Entries already in the map are
// never changed or removed. The machine's own ports (/dev/ttyS0 to /dev/ttyS39) are never
// numbered: each has its serial default, or no number when an entry took it.
ComNumbering NumberNewAdapters(PortMap& ports, const std::vector<PortInfo>& present);

}  // namespace kestrova
