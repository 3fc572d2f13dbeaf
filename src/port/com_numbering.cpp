#include "port/com_numbering.h"

#include <algorithm>

namespace kestrova {

namespace {

// The COM number that already opens the adapter: an entry naming its stable path or its node,
// or the serial default of a number up to 40 without an entry (/dev/ttyS4 is COM5). 0: none.
int NumberOpening(const PortMap& ports, const PortInfo& adapter) {
    if (const int named = ports.NumberNaming(adapter.stablePath)) return named;
    if (const int named = ports.NumberNaming(adapter.node)) return named;
    for (int port = 1; port <= LastComNumber; ++port) {
        if (!ports.HasEntry(port) && ports.DevicePath(port) == adapter.node) return port;
    }
    return 0;
}

// One of the machine's own serial ports (/dev/ttyS0 is COM1's): it has its own number, or none
// when an entry gives that number to another device, but never an adapter's number.
bool BuiltIn(const PortInfo& adapter) {
    for (int port = 1; port <= LastComNumber; ++port) {
        if (PortMap::DefaultDevicePath(port) == adapter.node) return true;
    }
    return false;
}

}  // namespace

ComNumbering NumberNewAdapters(PortMap& ports, const std::vector<PortInfo>& present) {
    // A number whose serial default is a device present now stays that device's, even without
    // an entry: a new adapter entered there would hide it.
    std::vector<int> heldByDefault;
    for (const PortInfo& adapter : present) {
        const int port = NumberOpening(ports, adapter);
        if (port != 0 && !ports.HasEntry(port)) heldByDefault.push_back(port);
    }
    const auto isFree = [&](int port) {
        return !ports.HasEntry(port) &&
               std::find(heldByDefault.begin(), heldByDefault.end(), port) == heldByDefault.end();
    };

    ComNumbering result;
    for (const PortInfo& adapter : present) {
        if (NumberOpening(ports, adapter) != 0 || BuiltIn(adapter)) continue;
        const std::string& path = adapter.stablePath.empty() ? adapter.node : adapter.stablePath;
        int port = FirstAdapterComNumber;
        while (port <= LastComNumber && !isFree(port)) ++port;
        if (port > LastComNumber) {
            result.unnumbered.push_back(path);
            continue;
        }
        ports.Set(port, path);
        result.assigned.emplace_back(port, path);
    }
    return result;
}

}  // namespace kestrova
