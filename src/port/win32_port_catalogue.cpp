#include "port/win32_port_catalogue.h"

// After the catalogue's header: windows.h defines the CE_* names as macros of the same values.
#include <windows.h>
// The setup headers need windows.h first.
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <string_view>

#include "common/utf8_path.h"

namespace kestrova {
namespace {

constexpr wchar_t SerialCommKey[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr std::string_view DevicePrefix = "\\\\.\\";
constexpr std::uint64_t LookIntervalMs = 1000;

std::string Utf8(std::wstring_view text) { return Utf8Of(std::filesystem::path(text)); }

int ComNumber(std::string_view name) {
    if (name.size() < 4 || name.substr(0, 3) != "COM") return 0;
    int number = 0;
    for (char c : name.substr(3)) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
        number = number * 10 + (c - '0');
    }
    return number;
}

// "COM5" for every port the system lists.
std::vector<std::string> ListedNames() {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, SerialCommKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        std::array<wchar_t, 256> valueName{};
        std::array<wchar_t, 64> data{};
        DWORD nameLength = valueName.size();
        DWORD dataBytes = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG result =
            ::RegEnumValueW(key, index, valueName.data(), &nameLength, nullptr, &type,
                            reinterpret_cast<BYTE*>(data.data()), &dataBytes);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        names.push_back(Utf8(data.data()));
    }
    ::RegCloseKey(key);
    return names;
}

std::string RegistryText(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
    std::array<wchar_t, 512> buffer{};
    DWORD type = 0;
    if (!::SetupDiGetDeviceRegistryPropertyW(devices, &device, property, &type,
                                             reinterpret_cast<BYTE*>(buffer.data()),
                                             sizeof buffer - sizeof(wchar_t), nullptr)) {
        return {};
    }
    // A list of texts (the hardware ids) gives its first.
    return Utf8(buffer.data());
}

// The four hex digits after key ("VID_" or "PID_") in a hardware id, lower case; empty when
// they are not there.
std::string UsbId(const std::string& hardwareId, std::string_view key) {
    const std::size_t at = hardwareId.find(key);
    if (at == std::string::npos || hardwareId.size() < at + key.size() + 4) return {};
    std::string id = hardwareId.substr(at + key.size(), 4);
    for (char& c : id) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return id;
}

// The adapter's own serial number: the last part of a USB instance id, unless Windows made
// that part up (it then holds '&').
std::string SerialNumber(HDEVINFO devices, SP_DEVINFO_DATA& device) {
    std::array<wchar_t, 512> id{};
    if (!::SetupDiGetDeviceInstanceIdW(devices, &device, id.data(), id.size() - 1, nullptr)) {
        return {};
    }
    const std::string text = Utf8(id.data());
    if (text.rfind("USB\\", 0) != 0) return {};
    const std::string last = text.substr(text.rfind('\\') + 1);
    return last.find('&') == std::string::npos ? last : std::string();
}

// Adds what SetupAPI knows of each port it lists to the entry of the same name.
void AddDetails(std::vector<PortInfo>& ports) {
    const HDEVINFO devices =
        ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        const HKEY key =
            ::SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) continue;
        std::array<wchar_t, 64> portName{};
        DWORD bytes = sizeof portName - sizeof(wchar_t);
        DWORD latency = 0;
        DWORD latencyBytes = sizeof latency;
        const bool named =
            ::RegQueryValueExW(key, L"PortName", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(portName.data()), &bytes) == ERROR_SUCCESS;
        const bool hasLatency =
            ::RegQueryValueExW(key, L"LatencyTimer", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&latency), &latencyBytes) == ERROR_SUCCESS;
        ::RegCloseKey(key);
        if (!named) continue;
        const std::string node = std::string(DevicePrefix) + Utf8(portName.data());
        const auto port = std::find_if(ports.begin(), ports.end(),
                                       [&](const PortInfo& info) { return info.node == node; });
        if (port == ports.end()) continue;
        const std::string hardwareId = RegistryText(devices, device, SPDRP_HARDWAREID);
        port->vendorId = UsbId(hardwareId, "VID_");
        port->productId = port->vendorId.empty() ? std::string() : UsbId(hardwareId, "PID_");
        if (port->productId.empty()) port->vendorId.clear();
        port->manufacturer = RegistryText(devices, device, SPDRP_MFG);
        port->product = RegistryText(devices, device, SPDRP_FRIENDLYNAME);
        port->driver = RegistryText(devices, device, SPDRP_SERVICE);
        port->serial = SerialNumber(devices, device);
        if (hasLatency) port->latencyMs = static_cast<std::int32_t>(latency);
    }
    ::SetupDiDestroyDeviceInfoList(devices);
}

std::uint64_t Fnv1a(std::uint64_t hash, const void* data, std::size_t bytes) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < bytes; ++i) hash = (hash ^ p[i]) * 0x100000001b3ull;
    return hash;
}

// A digest of the listed ports' names and devices, read through fixed buffers.
std::uint64_t ListHash() {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, SerialCommKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return hash;
    }
    for (DWORD index = 0;; ++index) {
        std::array<wchar_t, 256> valueName{};
        std::array<wchar_t, 64> data{};
        DWORD nameLength = valueName.size();
        DWORD dataBytes = sizeof data - sizeof(wchar_t);
        const LONG result =
            ::RegEnumValueW(key, index, valueName.data(), &nameLength, nullptr, nullptr,
                            reinterpret_cast<BYTE*>(data.data()), &dataBytes);
        if (result == ERROR_NO_MORE_ITEMS) break;
        hash = Fnv1a(hash, valueName.data(), nameLength * sizeof(wchar_t));
        hash = Fnv1a(hash, data.data(), dataBytes);
    }
    ::RegCloseKey(key);
    return hash;
}

}  // namespace

std::vector<PortInfo> ListComPorts() {
    std::vector<PortInfo> ports;
    for (const std::string& name : ListedNames()) {
        if (ComNumber(name) == 0) continue;
        PortInfo info;
        info.node = std::string(DevicePrefix) + name;
        info.stablePath = info.node;
        ports.push_back(std::move(info));
    }
    std::sort(ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) {
        return ComNumber(a.node.substr(DevicePrefix.size())) <
               ComNumber(b.node.substr(DevicePrefix.size()));
    });
    ports.erase(std::unique(ports.begin(), ports.end(),
                            [](const PortInfo& a, const PortInfo& b) { return a.node == b.node; }),
                ports.end());
    AddDetails(ports);
    return ports;
}

LineKind KindOfComPort(const std::string& deviceName) {
    std::vector<PortInfo> ports;
    PortInfo info;
    info.node = deviceName;
    ports.push_back(info);
    AddDetails(ports);
    const PortInfo& found = ports.front();
    if (!found.vendorId.empty()) return LineKind::UsbAdapter;
    return found.driver.empty() && found.product.empty() ? LineKind::Other : LineKind::Uart;
}

bool Win32PortCatalogue::Changed() {
    const std::uint64_t now = ::GetTickCount64();
    if (looked_ && now - lastLookMs_ < LookIntervalMs) return false;
    lastLookMs_ = now;
    const std::uint64_t hash = ListHash();
    const bool changed = looked_ && hash != listHash_;
    listHash_ = hash;
    looked_ = true;
    return changed;
}

}  // namespace kestrova
