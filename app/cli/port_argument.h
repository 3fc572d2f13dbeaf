#pragma once

#include <string>
#include <string_view>

#include "config/serial_settings.h"

namespace kestrova::cli {

// The unit's port as the operator names it: "COM3", "3" or a device path.
struct PortChoice {
    int comNumber = 0;  // 1..40
    std::string name;   // "COM3", or the device's file name, as output and file names show it
};

// The COM number the argument stands for. A device path that no "Ports" entry names is given the
// lowest COM number without an entry, in the map in memory only (the settings file belongs to
// the window and is never written by the command line). Throws CommandError (usage) for a
// number outside 1..40, and (link failure) when every number is taken.
PortChoice ChoosePort(std::string_view argument, PortMap& ports);

}  // namespace kestrova::cli
