// The Windows port layer's rules that need no port: device names, error codes, the port
// configuration and the operator's texts.
#include <gtest/gtest.h>

#include "config/serial_settings.h"
#include "port/open_failure_reason.h"
#include "port/win32_serial_line.h"

// After the port headers: windows.h defines the CE_* names as macros of the same values.
#include <windows.h>

namespace kestrova {
namespace {

TEST(Win32Port, DeviceNamesOfComPorts) {
    const struct {
        const char* given;
        const char* opened;
    } rows[] = {
        {"COM5", "\\\\.\\COM5"}, {"com12", "\\\\.\\COM12"}, {"\\\\.\\COM5", "\\\\.\\COM5"},
        {"COM", "COM"},          {"COMX", "COMX"},          {"C:\\ports\\a", "C:\\ports\\a"},
    };
    for (const auto& row : rows) EXPECT_EQ(Win32DeviceName(row.given), row.opened) << row.given;
    EXPECT_EQ(PortMap::DefaultDevicePath(7), "\\\\.\\COM7");
}

TEST(Win32Port, PortsEntriesNamingAPortAreNoFiles) {
    PortMap ports;
    ports.SetBaseDirectory("C:\\Kestrova");
    const struct {
        const char* entry;
        const char* device;
    } rows[] = {
        {"COM5", "COM5"},
        {"\\\\.\\COM5", "\\\\.\\COM5"},
        {"com12", "com12"},
        {"pty\\wheel", "C:\\Kestrova\\pty\\wheel"},
        {"COMX", "C:\\Kestrova\\COMX"},
        {"D:\\ports\\a", "D:\\ports\\a"},
    };
    for (const auto& row : rows) {
        ports.Set(3, row.entry);
        EXPECT_EQ(ports.DevicePath(3), row.device) << row.entry;
    }
}

TEST(Win32Port, OpenErrorsAsOpenFailures) {
    const struct {
        DWORD error;
        OpenFailure failure;
    } rows[] = {
        {ERROR_FILE_NOT_FOUND, OpenFailure::DeviceInvalid},
        {ERROR_PATH_NOT_FOUND, OpenFailure::DeviceInvalid},
        {ERROR_ACCESS_DENIED, OpenFailure::AlreadyOpen},
        {ERROR_SHARING_VIOLATION, OpenFailure::AlreadyOpen},
        {ERROR_GEN_FAILURE, OpenFailure::HardwareUnavailable},
        {ERROR_INVALID_PARAMETER, OpenFailure::BadParameters},
        {ERROR_BUSY, static_cast<OpenFailure>(ERROR_BUSY)},
    };
    for (const auto& row : rows)
        EXPECT_EQ(OpenFailureFromWin32(row.error), row.failure) << row.error;
}

TEST(Win32Port, ReasonsTheOperatorIsGiven) {
    const struct {
        OpenFailure failure;
        const char* path;
        OpenProblem problem;
        const char* text;
    } rows[] = {
        {OpenFailure::DeviceInvalid, "\\\\.\\COM7", OpenProblem::NoDevice, "COM7: no such port"},
        {OpenFailure::AlreadyOpen, "\\\\.\\COM5", OpenProblem::InUse,
         "COM5: in use by another program"},
        {OpenFailure::DeviceInvalid, "tcp://host", OpenProblem::NoDevice,
         "tcp://host: not a network address (rfc2217://HOST:PORT or tcp://HOST:PORT)"},
        {OpenFailure::BaudRateNotSupported, "\\\\.\\COM5", OpenProblem::SettingsRefused,
         "COM5: the device refuses the line settings (Baud Rate Not Supported)"},
    };
    for (const auto& row : rows) {
        const OpenFailureReason reason = ExplainOpenFailure(row.failure, row.path);
        EXPECT_EQ(reason.problem, row.problem) << row.text;
        EXPECT_EQ(reason.text, row.text);
    }
    // A code without a better description gets the system's own text.
    const OpenFailureReason other =
        ExplainOpenFailure(static_cast<OpenFailure>(ERROR_BUSY), "\\\\.\\COM5");
    EXPECT_EQ(other.problem, OpenProblem::Other);
    EXPECT_GT(other.text.size(), std::string("COM5: ").size());
    EXPECT_EQ(other.text.rfind("COM5: ", 0), 0u) << other.text;
}

TEST(Win32Port, ConfigurationFromTheLineSettings) {
    const struct {
        std::int32_t dataBits, parity, stopBits;
        BYTE byteSize, parityCode, stopCode;
        DWORD parityCheck;
    } rows[] = {
        {8, 0, 1, 8, NOPARITY, ONESTOPBIT, FALSE},  {7, 1, 2, 7, ODDPARITY, TWOSTOPBITS, TRUE},
        {5, 2, 1, 5, EVENPARITY, ONESTOPBIT, TRUE}, {9, 3, 0, 8, NOPARITY, ONESTOPBIT, FALSE},
        {4, 0, 1, 8, NOPARITY, ONESTOPBIT, FALSE},
    };
    for (const auto& row : rows) {
        DCB dcb{};
        dcb.fOutxCtsFlow = TRUE;  // as a driver may report it: every flow control on
        dcb.fOutX = TRUE;
        dcb.fInX = TRUE;
        dcb.fAbortOnError = TRUE;
        dcb.fNull = TRUE;
        FillDcb(dcb, 38400, row.dataBits, row.parity, row.stopBits);
        EXPECT_EQ(dcb.BaudRate, 38400u);
        EXPECT_EQ(dcb.ByteSize, row.byteSize) << row.dataBits;
        EXPECT_EQ(dcb.Parity, row.parityCode) << row.parity;
        EXPECT_EQ(dcb.StopBits, row.stopCode) << row.stopBits;
        EXPECT_EQ(dcb.fParity, row.parityCheck) << row.parity;
        EXPECT_EQ(dcb.fBinary, TRUE);
        EXPECT_EQ(dcb.fOutxCtsFlow | dcb.fOutxDsrFlow | dcb.fOutX | dcb.fInX, 0u);
        EXPECT_EQ(dcb.fAbortOnError | dcb.fNull | dcb.fErrorChar, 0u);
        EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
        EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    }
}

TEST(Win32Port, OneClaimNamePerPortWhateverItsSpelling) {
    EXPECT_EQ(PortClaimName("\\\\.\\COM5"), "Global\\Kestrova.Port.COM5");
    EXPECT_EQ(PortClaimName("\\\\.\\com5"), PortClaimName("\\\\.\\COM5"));
    EXPECT_NE(PortClaimName("\\\\.\\COM15"), PortClaimName("\\\\.\\COM5"));
}

}  // namespace
}  // namespace kestrova
