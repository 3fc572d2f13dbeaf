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

private:
    std::filesystem::path baseDir_;
    std::map<int, std::string> paths_;
};

}  // namespace kestrova
