#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace kestrova {

// The serial line settings kept in the settings file ("Communications") and shared with the
// port driver, which takes them at start-up and writes its current settings back.
struct SerialSettings {
    std::int32_t Port = 7;
    std::int32_t BAUD = 38400;
    std::int32_t Data = 8;
    std::int32_t Parity = 0;
    std::int32_t Stop = 1;
};

// Which device file stands behind "COM n": key COM<n> of the settings file's "Ports" section
// (a relative path is taken relative to the application directory), else /dev/ttyS<n-1>.
class PortMap {
public:
    void SetBaseDirectory(std::filesystem::path dir) { baseDir_ = std::move(dir); }
    void Set(int port, std::string path) { paths_[port] = std::move(path); }
    void Clear() { paths_.clear(); }
    std::string DevicePath(int port) const;
    // The serial default of COM port: /dev/ttyS<port-1>, the machine's own serial port.
    static std::string DefaultDevicePath(int port);

    // Whether COM port has an entry of its own (rather than the serial default).
    bool HasEntry(int port) const { return paths_.contains(port); }
    // The COM number whose entry opens path (compared as DevicePath gives it); 0 when none.
    int NumberNaming(const std::string& path) const;
    // Every entry, by COM number, as written (a relative path is not yet resolved).
    const std::map<int, std::string>& Entries() const { return paths_; }

private:
    std::filesystem::path baseDir_;
    std::map<int, std::string> paths_;
};

}  // namespace kestrova
