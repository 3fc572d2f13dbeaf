// What the configuration layer asks of a POSIX system: where the program and the user's folder
// are, whether a folder may be written, which device a COM number opens by default and which
// [Ports] entries name a device rather than a file.
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "common/number_text.h"
#include "config/config_folder.h"
#include "config/kestrova_ini.h"
#include "config/serial_settings.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

// The effective user's home in the password database; empty when it has none.
std::string PasswordHome() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    return found != nullptr && found->pw_dir != nullptr ? found->pw_dir : std::string();
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

std::filesystem::path ExecutablePath() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return path;
}

fs::path UserConfigFolder(const FolderEnvironment& environment) {
    // Relative values of XDG_CONFIG_HOME are to be ignored.
    const fs::path xdg(environment.xdgConfigHome);
    if (xdg.is_absolute()) return xdg / UserFolderName;
    if (environment.home.empty()) return {};
    return fs::path(environment.home) / ".config" / UserFolderName;
}

FolderEnvironment ProcessEnvironment() {
    FolderEnvironment environment{EnvironmentValue("XDG_CONFIG_HOME"), EnvironmentValue("HOME")};
    if (environment.home.empty()) environment.home = PasswordHome();
    return environment;
}

bool FolderWritable(const fs::path& folder) {
    return faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

std::string PortMap::DefaultDevicePath(int port) {
    // COM1 is the first serial device, ttyS0.
    return "/dev/ttyS" + IntToText(static_cast<std::int64_t>(port) - 1);
}

// Every serial device is a file here, named by its path.
bool PortMap::NamesSystemDevice(std::string_view) { return false; }

}  // namespace kestrova
