// What the configuration layer asks of Windows: where the program and the user's folder are,
// whether a folder may be written, which device a COM number opens by default and which [Ports]
// entries name a device rather than a file.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "common/file_create.h"
#include "common/number_text.h"
#include "common/utf8_path.h"
#include "config/config_folder.h"
#include "config/kestrova_ini.h"
#include "config/serial_settings.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

constexpr std::wstring_view WindowsUserFolderName = L"Kestrova Interface";

// The variable as UTF-8; empty when it is unset.
std::string EnvironmentValue(const wchar_t* name) {
    const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(name, value.data(), size);
    if (length == 0 || length >= size) return {};
    value.resize(length);
    return Utf8Of(fs::path(value));
}

}  // namespace

std::filesystem::path ExecutablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return fs::path(std::wstring(buffer.data(), length));
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

fs::path UserConfigFolder(const FolderEnvironment& environment) {
    const fs::path appData = PathFromUtf8(environment.xdgConfigHome);
    if (!appData.is_absolute()) return {};
    return appData / WindowsUserFolderName;
}

FolderEnvironment ProcessEnvironment() {
    return {EnvironmentValue(L"APPDATA"), EnvironmentValue(L"USERPROFILE")};
}

// Permissions on Windows are lists of rules (and a folder may be redirected): trying is the one
// sure answer.
bool FolderWritable(const fs::path& folder) { return TemporaryFile(folder).Valid(); }

std::string PortMap::DefaultDevicePath(int port) { return "\\\\.\\COM" + IntToText(port); }

// COM5 and \\.\COM5 are the system's names of a port, found in no folder.
bool PortMap::NamesSystemDevice(std::string_view entry) {
    if (entry.starts_with("\\\\.\\")) return true;
    if (entry.size() < 4) return false;
    const auto upper = [](char c) { return std::toupper(static_cast<unsigned char>(c)); };
    return upper(entry[0]) == 'C' && upper(entry[1]) == 'O' && upper(entry[2]) == 'M' &&
           std::all_of(entry.begin() + 3, entry.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace kestrova
