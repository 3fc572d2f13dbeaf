#include "port/posix_serial_line.h"
#include "port/system_port.h"
#include "port/tcp_serial_line.h"
#include "port/udev_port_catalogue.h"

namespace kestrova {

std::unique_ptr<SerialLine> MakeDeviceLine() { return std::make_unique<PosixSerialLine>(); }

std::unique_ptr<SerialLine> MakeNetworkLine() { return std::make_unique<TcpSerialLine>(); }

std::unique_ptr<PortCatalogue> MakePortCatalogue() { return std::make_unique<UdevPortCatalogue>(); }

}  // namespace kestrova
