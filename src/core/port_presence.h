#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/serial_settings.h"
#include "port/port_catalogue.h"

namespace kestrova {

// What stands behind one COM number: the device it opens and whether that device is there.
struct PortPresence {
    std::string path;
    bool present = false;
    bool network = false;  // a device server's address: present or not shows only on connecting
    std::optional<PortInfo> device;  // the catalogue's entry for it, when the catalogue lists it
};

// The device COM port opens by the port map, looked for among the devices present (by its stable
// path, its node or where its link leads), else on the file system.
PortPresence PresenceOf(const PortMap& ports, int port, const std::vector<PortInfo>& present);

}  // namespace kestrova
