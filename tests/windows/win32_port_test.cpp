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

// From the error a failed open gets to what the operator reads.
TEST(Win32Port, OpenErrorsReachTheOperatorAsTheirReason) {
    const struct {
        DWORD error;
        const char* path;
        OpenProblem problem;
        const char* text;
    } rows[] = {
        {ERROR_FILE_NOT_FOUND, "\\\\.\\COM7", OpenProblem::NoDevice, "COM7: no such port"},
        {ERROR_PATH_NOT_FOUND, "\\\\.\\COM7", OpenProblem::NoDevice, "COM7: no such port"},
        {ERROR_FILE_NOT_FOUND, "tcp://host", OpenProblem::NoDevice,
         "tcp://host: not a network address (rfc2217://HOST:PORT or tcp://HOST:PORT)"},
        {ERROR_ACCESS_DENIED, "\\\\.\\COM5", OpenProblem::InUse, "COM5: in use by another program"},
        {ERROR_SHARING_VIOLATION, "\\\\.\\COM5", OpenProblem::InUse,
         "COM5: in use by another program"},
        {ERROR_GEN_FAILURE, "\\\\.\\COM5", OpenProblem::NotResponding,
         "COM5: the device does not respond"},
        {ERROR_INVALID_PARAMETER, "\\\\.\\COM5", OpenProblem::SettingsRefused,
         "COM5: the device refuses the line settings (Default Parameters In Error)"},
    };
    for (const auto& row : rows) {
        const OpenFailureReason reason =
            ExplainOpenFailure(OpenFailureFromWin32(row.error), row.path);
        EXPECT_EQ(reason.problem, row.problem) << row.text;
        EXPECT_EQ(reason.text, row.text);
    }
    const OpenFailureReason rate =
        ExplainOpenFailure(OpenFailure::BaudRateNotSupported, "\\\\.\\COM5");
    EXPECT_EQ(rate.text, "COM5: the device refuses the line settings (Baud Rate Not Supported)");
    // An error without a better description gets the system's own text.
    const OpenFailureReason other =
        ExplainOpenFailure(OpenFailureFromWin32(ERROR_BUSY), "\\\\.\\COM5");
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
