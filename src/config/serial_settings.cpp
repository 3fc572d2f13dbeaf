#include "config/serial_settings.h"

#include "common/utf8_path.h"

namespace kestrova {

std::string PortMap::DevicePath(int port) const {
    if (const auto found = paths_.find(port); found != paths_.end()) {
        // A device server's address ("tcp://host:port") and a system's device name are no file
        // paths: they stay as written.
        if (found->second.find("://") != std::string::npos || NamesSystemDevice(found->second)) {
            return found->second;
        }
        const std::filesystem::path device = PathFromUtf8(found->second);
        if (device.is_relative()) return Utf8Of(baseDir_ / device);
        return Utf8Of(device);
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
