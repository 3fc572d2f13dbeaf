#pragma once

#include <memory>

#include "port/port_catalogue.h"
#include "port/serial_line.h"

namespace kestrova {

// This system's serial devices, for RoutingSerialLine and the programs: a termios line and the
// udev catalogue on Linux (system_port_posix.cpp), a Win32 COM port and the registry's list on
// Windows (system_port_win32.cpp).
std::unique_ptr<SerialLine> MakeDeviceLine();
// A device server reached over TCP.
std::unique_ptr<SerialLine> MakeNetworkLine();
std::unique_ptr<PortCatalogue> MakePortCatalogue();

}  // namespace kestrova
