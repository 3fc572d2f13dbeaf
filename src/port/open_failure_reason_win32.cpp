// Why a COM port could not be opened on Windows, in the operator's terms.
#include "port/open_failure_reason.h"

// After the reason's header: windows.h defines the CE_* names as macros of the same values.
#include <windows.h>

#include <array>
#include <filesystem>

#include "common/utf8_path.h"
#include "port/network_target.h"
#include "port/port_drv.h"

namespace kestrova {
namespace {

// The system's own text for a Windows error code, on one line.
std::string SystemText(DWORD code) {
    std::array<wchar_t, 256> buffer{};
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                         0, buffer.data(), buffer.size(), nullptr);
    std::wstring text(buffer.data(), length);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.')) {
        text.pop_back();
    }
    if (text.empty()) return "Windows error " + std::to_string(code);
    return Utf8Of(std::filesystem::path(text));
}

}  // namespace

OpenFailureReason ExplainOpenFailure(OpenFailure failure, const std::string& device) {
    // "COM5", as the operator names it, rather than the device name "\\.\COM5".
    constexpr std::string_view DevicePrefix = "\\\\.\\";
    const std::string path = device.starts_with(DevicePrefix) ? device.substr(4) : device;
    switch (failure) {
        case OpenFailure::DeviceInvalid:
            if (IsNetworkTarget(path)) {
                return {OpenProblem::NoDevice,
                        path + ": not a network address (rfc2217://HOST:PORT or tcp://HOST:PORT)"};
            }
            return {OpenProblem::NoDevice, path + ": no such port"};
        // Windows does not tell who holds a port.
        case OpenFailure::AlreadyOpen:
            return {OpenProblem::InUse, path + ": in use by another program"};
        case OpenFailure::HardwareUnavailable:
            return {OpenProblem::NotResponding, path + ": the device does not respond"};
        case OpenFailure::BaudRateNotSupported:
        case OpenFailure::BadParameters:
        case OpenFailure::ByteSizeInvalid:
            return {OpenProblem::SettingsRefused, path +
                                                      ": the device refuses the line settings (" +
                                                      PortOpenFailureText(failure) + ")"};
        default: break;
    }
    // Positive codes are the Windows error of the failed call.
    const auto code = static_cast<std::int32_t>(failure);
    if (code > 0) return {OpenProblem::Other, path + ": " + SystemText(static_cast<DWORD>(code))};
    return {OpenProblem::Other, path + ": " + PortOpenFailureText(failure)};
}

}  // namespace kestrova
