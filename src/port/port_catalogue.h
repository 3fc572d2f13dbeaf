#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

// One serial device present on the machine.
struct PortInfo {
    std::string node;        // the device node, e.g. /dev/ttyUSB0
    std::string stablePath;  // /dev/serial/by-id/..., else /dev/serial/by-path/..., else node
    std::string vendorId;    // USB ids as four lower-case hex digits; empty when not USB
    std::string productId;
    std::string manufacturer;  // empty when the device does not say
    std::string product;
    std::string serial;
    std::string driver;  // kernel driver, e.g. ftdi_sio, cp210x, cdc_acm
    // The adapter's latency timer in milliseconds (ftdi_sio shows it); -1 when not shown.
    std::int32_t latencyMs = -1;
};

// The serial devices the system knows of now, and word of devices coming and going.
// Pseudo-terminals are not listed.
class PortCatalogue {
public:
    virtual ~PortCatalogue() = default;

    // The serial devices present now, in a stable order (by device node).
    virtual std::vector<PortInfo> Scan() = 0;

    // True when a serial device was added or removed since the last call. Never waits; cheap
    // enough to ask on every system tick.
    virtual bool Changed() = 0;
};

}  // namespace kestrova
