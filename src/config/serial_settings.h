#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

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

// The timing a [Ports] entry sets for its port, in milliseconds (keys COM<n>.ReplyAllowanceMs and
// COM<n>.LateReplyMs); what it leaves unset comes from the kind of device.
struct PortTimingOverride {
    std::optional<std::int32_t> replyAllowanceMs;
    std::optional<std::int32_t> lateReplyHorizonMs;
};

// Which device file stands behind "COM n": key COM<n> of the settings file's "Ports" section
// (a relative path is taken relative to the application directory; a device server's address
// or, on Windows, a port's system name is kept as written), else /dev/ttyS<n-1>.
class PortMap {
public:
    void SetBaseDirectory(std::filesystem::path dir) { baseDir_ = std::move(dir); }
    void Set(int port, std::string path) { paths_[port] = std::move(path); }
    void SetTiming(int port, PortTimingOverride timing) { timings_[port] = timing; }
    void Clear() {
        paths_.clear();
        timings_.clear();
    }
    std::string DevicePath(int port) const;
    // The serial default of COM port: /dev/ttyS<port-1>, the machine's own serial port (on
    // Windows \\.\COM<port>); from the system's part (config_platform_*.cpp).
    static std::string DefaultDevicePath(int port);
    // Whether an entry names one of the system's devices rather than a file, and so is kept as
    // written: on Windows COM5 or \\.\COM5; on Linux none (every device is a file).
    static bool NamesSystemDevice(std::string_view entry);

    // Whether COM port has an entry of its own (rather than the serial default).
    bool HasEntry(int port) const { return paths_.contains(port); }
    // The COM number whose entry opens path (compared as DevicePath gives it); 0 when none.
    int NumberNaming(const std::string& path) const;
    // Every entry, by COM number, as written (a relative path is not yet resolved).
    const std::map<int, std::string>& Entries() const { return paths_; }
    // The timing COM port's entry sets (nothing set when it has none).
    PortTimingOverride Timing(int port) const;

private:
    std::filesystem::path baseDir_;
    std::map<int, std::string> paths_;
    std::map<int, PortTimingOverride> timings_;
};

}  // namespace kestrova
