#pragma once

#include <cstdint>
#include <string>

#include <termios.h>

#include "port/serial_line.h"

namespace kestrova {

// Error counters of a serial driver, as far as the line errors are concerned.
struct LineErrorCounts {
    int frame = 0;
    int overrun = 0;  // UART overrun
    int parity = 0;
    int bufOverrun = 0;  // tty input buffer overflow
};

// CE_* flags of every counter that moved between two readings.
std::uint32_t LineErrorFlags(const LineErrorCounts& before, const LineErrorCounts& now);

// errno of a failed open or configuration -> open failure code (positive errno when none fits).
OpenFailure OpenFailureFromErrno(int err);

// True when the baud rate is one of the standard termios rates (50 .. 4000000).
bool IsStandardBaudRate(std::int32_t baud);

// Makes tio a raw line at the baud rate with the framing of SerialLine::Configure, no flow
// control and reads that return at once. False when the rate is not a standard termios rate.
bool FillTermios(termios& tio, std::int32_t baud, std::int32_t dataBits, std::int32_t parity,
                 std::int32_t stopBits);

// What the device at path is, from its device number and its place in sysfs.
LineKind KindOfDevice(const std::string& path);

// A tty device used through termios, opened non-blocking and exclusively (TIOCEXCL and an
// advisory flock, so a second opener fails even with CAP_SYS_ADMIN).
class PosixSerialLine final : public SerialLine {
public:
    PosixSerialLine() = default;
    ~PosixSerialLine() override;
    PosixSerialLine(const PosixSerialLine&) = delete;
    PosixSerialLine& operator=(const PosixSerialLine&) = delete;

    OpenFailure Open(const std::string& path) override;
    OpenFailure Configure(std::int32_t baud, std::int32_t dataBits, std::int32_t parity,
                          std::int32_t stopBits) override;
    LineKind Kind() override { return kind_; }
    bool RequestLowLatency() override;
    void SetDtr(bool on) override;
    void SetRts(bool on) override;
    std::int32_t QueuedInput() override;
    std::uint32_t LineErrors() override;
    std::int32_t Read(std::uint8_t* buffer, std::int32_t count) override;
    bool Write(const std::uint8_t* bytes, std::int32_t count) override;
    bool Close() override;

    bool IsOpen() const { return fd_ >= 0; }

private:
    bool ReadCounts(LineErrorCounts& counts) const;
    void SetModemBit(int bit, bool on);

    int fd_ = -1;
    LineKind kind_ = LineKind::Other;
    bool haveCounts_ = false;  // the driver keeps error counters
    LineErrorCounts counts_;
    bool gone_ = false;  // a read or write found the device gone, or the tty hung up
};

}  // namespace kestrova
