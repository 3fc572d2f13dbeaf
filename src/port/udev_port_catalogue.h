#pragma once

#include <vector>

#include "port/port_catalogue.h"

struct udev;
struct udev_monitor;

namespace kestrova {

// The serial devices as libudev knows them: every tty device that sits on real hardware (a USB
// adapter, a PCI card, a UART the firmware describes). Left out: ttys without a parent device
// (virtual consoles, pseudo-terminals) and serial-core ports whose UART type is unknown (the
// placeholders the kernel registers as /dev/ttyS4../dev/ttyS31 whether or not a UART is there).
// Without udev (no daemon, no netlink) it lists what sysfs shows with fewer details, and reports
// no changes.
class UdevPortCatalogue final : public PortCatalogue {
public:
    UdevPortCatalogue();
    ~UdevPortCatalogue() override;
    UdevPortCatalogue(const UdevPortCatalogue&) = delete;
    UdevPortCatalogue& operator=(const UdevPortCatalogue&) = delete;

    std::vector<PortInfo> Scan() override;
    bool Changed() override;

private:
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;  // null when events cannot be received
};

}  // namespace kestrova
