#pragma once

#include <cstdint>
#include <string>

#include "port/serial_line.h"

struct _DCB;

namespace kestrova {

// The name CreateFile opens for a port: "COM5" and "com5" become "\\.\COM5" (the form every COM
// number needs, COM10 and above included); any other path is taken as it is.
std::string Win32DeviceName(const std::string& path);

// GetLastError of a failed open or configuration -> open failure code (the Windows code itself
// when none fits).
OpenFailure OpenFailureFromWin32(std::uint32_t error);

// Fills the port configuration from the line settings of SerialLine::Configure: binary, no flow
// control of any kind, no error replacement, nulls kept, DTR and RTS enabled; what the settings
// do not name stays as the driver reported it.
void FillDcb(_DCB& dcb, std::int32_t baud, std::int32_t dataBits, std::int32_t parity,
             std::int32_t stopBits);

// The name of the system-wide claim on a port: the device name without "\\.\", in capitals,
// backslashes as dots ("Global\Kestrova.Port.COM5" for "\\.\com5").
std::string PortClaimName(const std::string& deviceName);

// A COM port through the Win32 communications calls, opened exclusively and without overlapped
// I/O. Windows' serial drivers refuse a second open (share mode 0); Wine's do not, so the line
// also holds a named mutex for the port while it is open, and a port another line holds is
// refused the same way (AlreadyOpen). reads return at once with what is queued (ReadIntervalTimeout
// MAXDWORD, the other read time-outs 0) and writes go into the 2048-byte output queue.
class Win32SerialLine final : public SerialLine {
public:
    Win32SerialLine() = default;
    ~Win32SerialLine() override;
    Win32SerialLine(const Win32SerialLine&) = delete;
    Win32SerialLine& operator=(const Win32SerialLine&) = delete;

    OpenFailure Open(const std::string& path) override;
    OpenFailure Configure(std::int32_t baud, std::int32_t dataBits, std::int32_t parity,
                          std::int32_t stopBits) override;
    LineKind Kind() override { return kind_; }
    // The latency timer of a USB adapter on Windows is its driver's setting (Device Manager, the
    // port's Port Settings, Advanced); a program cannot change it.
    bool RequestLowLatency() override { return false; }
    void SetDtr(bool on) override;
    void SetRts(bool on) override;
    std::int32_t QueuedInput() override;
    std::uint32_t LineErrors() override;
    std::int32_t Read(std::uint8_t* buffer, std::int32_t count) override;
    bool Write(const std::uint8_t* bytes, std::int32_t count) override;
    bool Close() override;

    bool IsOpen() const { return handle_ != nullptr; }

private:
    // ClearCommError: the errors are kept until LineErrors takes them; false when the handle
    // no longer answers (the device went away).
    bool PollStatus(std::uint32_t& queued);

    void* handle_ = nullptr;  // null when closed
    void* claim_ = nullptr;   // the port's named mutex while open
    LineKind kind_ = LineKind::Other;
    std::uint32_t errors_ = 0;  // CE_* flags not yet taken by LineErrors
    bool gone_ = false;
};

}  // namespace kestrova
