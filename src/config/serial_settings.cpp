#include "config/serial_settings.h"

namespace kestrova {

std::string PortMap::DevicePath(int port) const {
    if (const auto found = paths_.find(port); found != paths_.end()) {
        // A device server's address ("tcp://host:port") is no file path: it stays as written.
        if (found->second.find("://") != std::string::npos) return found->second;
        const std::filesystem::path device(found->second);
        if (device.is_relative()) return (baseDir_ / device).string();
        return device.string();
    }
    return DefaultDevicePath(port);
}

PortTimingOverride PortMap::Timing(int port) const {
    const auto found = timings_.find(port);
    return found == timings_.end() ? PortTimingOverride{} : found->second;
}

int PortMap::NumberNaming(const std::string& path) const {
    for (const auto& entry : paths_) {
        if (DevicePath(entry.first) == path) return entry.first;
    }
    return 0;
}

}  // namespace kestrova
