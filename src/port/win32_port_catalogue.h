#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "port/port_catalogue.h"
#include "port/serial_line.h"

namespace kestrova {

// The COM ports Windows lists (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), each as "\\.\COM<n>", with
// what SetupAPI tells of it where it has an entry: the friendly name as product, the
// manufacturer, the driver service, USB ids from the hardware id, the serial number from the
// instance id and an FTDI adapter's LatencyTimer. Sorted by COM number.
std::vector<PortInfo> ListComPorts();

// What stands behind the port: a USB adapter when its ids are USB ids, a UART when SetupAPI
// lists it otherwise, Other when it has no entry there (a virtual port).
LineKind KindOfComPort(const std::string& deviceName);

// Ports come and go with their adapters; the list is read again at most once a second when
// Changed is asked, through fixed buffers.
class Win32PortCatalogue final : public PortCatalogue {
public:
    std::vector<PortInfo> Scan() override { return ListComPorts(); }
    bool Changed() override;

private:
    std::uint64_t lastLookMs_ = 0;
    std::uint64_t listHash_ = 0;
    bool looked_ = false;
};

}  // namespace kestrova
