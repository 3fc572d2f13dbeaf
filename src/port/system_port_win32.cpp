#include "port/system_port.h"
#include "port/win32_port_catalogue.h"
#include "port/win32_serial_line.h"

namespace kestrova {

std::unique_ptr<SerialLine> MakeDeviceLine() { return std::make_unique<Win32SerialLine>(); }

// The TCP line is not built for Windows yet.
std::unique_ptr<SerialLine> MakeNetworkLine() { return nullptr; }

std::unique_ptr<PortCatalogue> MakePortCatalogue() {
    return std::make_unique<Win32PortCatalogue>();
}

}  // namespace kestrova
