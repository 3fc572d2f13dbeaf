#include "port/win32_serial_line.h"

// After the line's own header: windows.h defines the CE_* names as macros of the same values.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "common/utf8_path.h"
#include "port/win32_port_catalogue.h"

namespace kestrova {
namespace {

constexpr DWORD QueueSize = 2048;
constexpr DWORD XonXoffLimit = 10;
// Writes: 3 ms a byte and 5 ms more before a write gives up; a frame of 127 bytes goes into the
// output queue long before.
constexpr DWORD WriteMsPerByte = 3;
constexpr DWORD WriteMsExtra = 5;

HANDLE HandleOf(void* handle) { return static_cast<HANDLE>(handle); }

bool IsComName(std::string_view text) {
    if (text.size() < 4) return false;
    for (std::size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) != "COM"[i]) return false;
    }
    return std::all_of(text.begin() + 3, text.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

// The errors of a handle whose device is no longer there (an unplugged USB adapter).
bool MeansDeviceGone(DWORD error) {
    return error == ERROR_DEVICE_REMOVED || error == ERROR_BAD_COMMAND ||
           error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_ACCESS_DENIED ||
           error == ERROR_INVALID_HANDLE || error == ERROR_GEN_FAILURE;
}

}  // namespace

std::string Win32DeviceName(const std::string& path) {
    if (!IsComName(path)) return path;
    std::string name = "\\\\.\\COM";
    name.append(path, 3);
    return name;
}

std::string PortClaimName(const std::string& deviceName) {
    std::string_view device = deviceName;
    if (device.starts_with("\\\\.\\")) device.remove_prefix(4);
    std::string name = "Global\\Kestrova.Port.";
    for (char c : device) {
        name += c == '\\' ? '.' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return name;
}

OpenFailure OpenFailureFromWin32(std::uint32_t error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME: return OpenFailure::DeviceInvalid;
        // Share mode 0: a port another handle holds is refused with access denied.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION: return OpenFailure::AlreadyOpen;
        case ERROR_NOT_READY:
        case ERROR_GEN_FAILURE:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED: return OpenFailure::HardwareUnavailable;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return OpenFailure::CannotAllocate;
        case ERROR_INVALID_PARAMETER: return OpenFailure::BadParameters;
        default: return static_cast<OpenFailure>(static_cast<std::int32_t>(error));
    }
}

void FillDcb(DCB& dcb, std::int32_t baud, std::int32_t dataBits, std::int32_t parity,
             std::int32_t stopBits) {
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.fBinary = TRUE;
    dcb.fParity = parity == 1 || parity == 2 ? TRUE : FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    dcb.XonLim = XonXoffLimit;
    dcb.XoffLim = XonXoffLimit;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = 0;
    dcb.EofChar = 0;
    dcb.EvtChar = 0;
    dcb.ByteSize = static_cast<BYTE>(dataBits >= 5 && dataBits <= 8 ? dataBits : 8);
    dcb.Parity = parity == 1 ? ODDPARITY : parity == 2 ? EVENPARITY : NOPARITY;
    dcb.StopBits = stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
}

Win32SerialLine::~Win32SerialLine() { Close(); }

OpenFailure Win32SerialLine::Open(const std::string& path) {
    if (handle_ != nullptr) Close();
    const std::string name = Win32DeviceName(path);
    const std::string claimText = PortClaimName(name);
    const std::filesystem::path claimName = PathFromUtf8(claimText);
    const HANDLE claim = ::CreateMutexW(nullptr, FALSE, claimName.c_str());
    if (claim == nullptr) return OpenFailureFromWin32(::GetLastError());
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(claim);
        return OpenFailure::AlreadyOpen;
    }
    const std::filesystem::path wide = PathFromUtf8(name);
    const HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(claim);
        return OpenFailureFromWin32(error);
    }
    // A file opens as well, but is no port.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle, &dcb)) {
        ::CloseHandle(handle);
        ::CloseHandle(claim);
        return OpenFailure::DeviceInvalid;
    }
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutMultiplier = WriteMsPerByte;
    timeouts.WriteTotalTimeoutConstant = WriteMsExtra;
    if (!::SetupComm(handle, QueueSize, QueueSize) || !::SetCommTimeouts(handle, &timeouts)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(handle);
        ::CloseHandle(claim);
        return OpenFailureFromWin32(error);
    }
    handle_ = handle;
    claim_ = claim;
    errors_ = 0;
    gone_ = false;
    kind_ = KindOfComPort(name);
    // Errors seen before the open are not this session's.
    std::uint32_t queued = 0;
    (void)PollStatus(queued);
    errors_ = 0;
    return OpenFailure::None;
}

OpenFailure Win32SerialLine::Configure(std::int32_t baud, std::int32_t dataBits,
                                       std::int32_t parity, std::int32_t stopBits) {
    if (handle_ == nullptr) return OpenFailure::NotOpen;
    if (baud <= 0) return OpenFailure::BaudRateNotSupported;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(HandleOf(handle_), &dcb)) return OpenFailureFromWin32(::GetLastError());
    FillDcb(dcb, baud, dataBits, parity, stopBits);
    // A refused configuration leaves the port as it was.
    if (!::SetCommState(HandleOf(handle_), &dcb)) {
        const DWORD error = ::GetLastError();
        return error == ERROR_INVALID_PARAMETER ? OpenFailure::BaudRateNotSupported
                                                : OpenFailureFromWin32(error);
    }
    return OpenFailure::None;
}

void Win32SerialLine::SetDtr(bool on) {
    // A port without modem lines refuses; that is harmless.
    if (handle_ != nullptr) (void)::EscapeCommFunction(HandleOf(handle_), on ? SETDTR : CLRDTR);
}

void Win32SerialLine::SetRts(bool on) {
    if (handle_ != nullptr) (void)::EscapeCommFunction(HandleOf(handle_), on ? SETRTS : CLRRTS);
}

bool Win32SerialLine::PollStatus(std::uint32_t& queued) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(HandleOf(handle_), &errors, &status)) {
        // An unplugged adapter's handle answers nothing any more.
        gone_ = true;
        queued = 0;
        return false;
    }
    // The CE_* bits of the line errors have the values Windows reports; the others (a break,
    // an I/O error, a full output queue) are line errors too.
    errors_ |= errors;
    queued = status.cbInQue;
    return true;
}

std::int32_t Win32SerialLine::QueuedInput() {
    if (handle_ == nullptr || gone_) return 0;
    std::uint32_t queued = 0;
    (void)PollStatus(queued);
    return static_cast<std::int32_t>(std::min<std::uint32_t>(queued, INT32_MAX));
}

std::uint32_t Win32SerialLine::LineErrors() {
    if (handle_ == nullptr) return 0;
    std::uint32_t queued = 0;
    if (!gone_) (void)PollStatus(queued);
    const std::uint32_t flags = errors_ | (gone_ ? CE_DEVICE_GONE : 0);
    errors_ = 0;
    return flags;
}

std::int32_t Win32SerialLine::Read(std::uint8_t* buffer, std::int32_t count) {
    if (handle_ == nullptr || buffer == nullptr || count < 0) return -1;
    if (count == 0) return 0;
    DWORD got = 0;
    if (!::ReadFile(HandleOf(handle_), buffer, static_cast<DWORD>(count), &got, nullptr)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
            if (MeansDeviceGone(error)) gone_ = true;
            return -1;
        }
    }
    return static_cast<std::int32_t>(got);
}

bool Win32SerialLine::Write(const std::uint8_t* bytes, std::int32_t count) {
    if (handle_ == nullptr || count < 0 || (bytes == nullptr && count > 0)) return false;
    if (count == 0) return true;
    DWORD put = 0;
    if (!::WriteFile(HandleOf(handle_), bytes, static_cast<DWORD>(count), &put, nullptr)) {
        if (MeansDeviceGone(::GetLastError())) gone_ = true;
        return false;
    }
    return put == static_cast<DWORD>(count);  // a partial frame is as bad as none
}

bool Win32SerialLine::Close() {
    if (handle_ == nullptr) return true;
    (void)::PurgeComm(HandleOf(handle_), PURGE_TXABORT | PURGE_RXABORT);
    const bool closed = ::CloseHandle(HandleOf(handle_)) != 0;
    ::CloseHandle(HandleOf(claim_));
    handle_ = nullptr;
    claim_ = nullptr;
    gone_ = false;
    errors_ = 0;
    return closed;
}

}  // namespace kestrova
