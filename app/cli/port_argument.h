#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/serial_settings.h"

namespace kestrova::cli {

// The unit's port as the operator names it: "COM3", "\\.\COM3", "3" or a device path.
struct PortChoice {
    int comNumber = 0;     // 1..40
    std::string name;      // "COM3", or the device's file name, as output and file names show it
    std::string device;    // a device path argument made absolute; empty for a COM number
    std::string argument;  // as given
};

// The COM number the argument stands for. A relative device path is taken relative to the
// current folder. A device path that no "Ports" entry names is given the lowest COM number
// without an entry, in the map in memory only (the settings file belongs to the window and is
// never written by the command line). Throws CommandError (usage) for a number outside 1..40,
// and (link failure) when every number is taken.
PortChoice ChoosePort(std::string_view argument, PortMap& ports);

// Every port of a run, in the order given, chosen in one map so that different paths get
// different numbers, none of them a number given as such. Throws CommandError (usage), naming
// both arguments, when two of them stand for the same port: the same COM number (a path
// that a COM number opens has that number), or device files that are the same device.
std::vector<PortChoice> ChoosePorts(const std::vector<std::string>& arguments, PortMap& ports);

// Whether the two device files are one device: the same character device, or the same file
// reached through different names (port_argument_posix.cpp); on Windows the same file, or the
// same name in any case (port_argument_win32.cpp). Files that cannot be examined are left to the
// open to report.
bool SameDevice(const std::string& a, const std::string& b);

}  // namespace kestrova::cli
