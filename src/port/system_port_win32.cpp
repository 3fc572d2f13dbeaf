#include "port/system_port.h"
#include "port/tcp_serial_line.h"
#include "port/win32_port_catalogue.h"
#include "port/win32_serial_line.h"

namespace kestrova {

std::unique_ptr<SerialLine> MakeDeviceLine() { return std::make_unique<Win32SerialLine>(); }

std::unique_ptr<SerialLine> MakeNetworkLine() { return std::make_unique<TcpSerialLine>(); }

std::unique_ptr<PortCatalogue> MakePortCatalogue() {
    return std::make_unique<Win32PortCatalogue>();
}

}  // namespace kestrova
