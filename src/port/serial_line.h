#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrova {

// Line error flags reported by SerialLine::LineErrors, with the classic comm error bit values.
inline constexpr std::uint32_t CE_RXOVER = 0x1;    // input queue overflow
inline constexpr std::uint32_t CE_OVERRUN = 0x2;   // hardware overrun
inline constexpr std::uint32_t CE_RXPARITY = 0x4;  // parity error
inline constexpr std::uint32_t CE_FRAME = 0x8;     // framing error
// Not a line error but the end of the line: the device went away (unplugged, hung up), so
// nothing more can be read or written until it is opened again.
inline constexpr std::uint32_t CE_DEVICE_GONE = 0x10000;

// Outcome of an open or a configuration: None is success, the negative codes are the known
// failures, and any positive value is a platform error code that has no better description.
enum class OpenFailure : std::int32_t {
    None = 0,
    DeviceInvalid = -1,
    AlreadyOpen = -2,
    NotOpen = -3,
    CannotAllocate = -4,
    BadParameters = -5,
    HardwareUnavailable = -10,
    ByteSizeInvalid = -11,
    BaudRateNotSupported = -12,
};

// What stands behind an open line; it tells how late a reply may come on top of its time on the
// wire. A UART passes bytes on at once; a USB adapter holds them up to its latency timer; a
// pseudo-terminal is usually a bridge to something else (a simulator, socat, a remote line); a
// network serial server adds the network's delay.
enum class LineKind : std::int32_t { Uart, UsbAdapter, PseudoTerminal, Network, Other };

// The few things the port driver needs of a serial device. Every call returns at once:
// reads take only bytes that are already queued, writes go into the output queue.
class SerialLine {
public:
    virtual ~SerialLine() = default;

    // Opens the device exclusively. Returns OpenFailure::None, a known failure, or a positive
    // platform code for a failure that has no better description.
    virtual OpenFailure Open(const std::string& path) = 0;

    // Sets baud rate and framing: data bits 5..8 (any other value is 8), parity 1 odd,
    // 2 even, otherwise none, stop bits 2 means two, otherwise one; raw bytes, no flow
    // control, non-blocking reads. Returns OpenFailure::None or the failure (BaudRateNotSupported
    // for a rate the device cannot run); a failed call leaves the line as it was.
    virtual OpenFailure Configure(std::int32_t baud, std::int32_t dataBits, std::int32_t parity,
                                  std::int32_t stopBits) = 0;

    // What the open device is (Other when it cannot tell).
    virtual LineKind Kind() = 0;

    // Asks the driver to pass received bytes on at once instead of holding them for its latency
    // timer. False when the driver refused or has no such setting.
    virtual bool RequestLowLatency() = 0;

    // Modem line levels; a device without modem lines ignores them.
    virtual void SetDtr(bool on) = 0;
    virtual void SetRts(bool on) = 0;

    // Number of received bytes waiting to be read (0 when unknown).
    virtual std::int32_t QueuedInput() = 0;

    // CE_* flags of the line errors seen since the last call (0 when the device cannot tell).
    virtual std::uint32_t LineErrors() = 0;

    // Reads up to count queued bytes without waiting; returns the number read, or -1.
    virtual std::int32_t Read(std::uint8_t* buffer, std::int32_t count) = 0;

    // Queues the whole frame for sending; false when it was refused or only partly taken.
    virtual bool Write(const std::uint8_t* bytes, std::int32_t count) = 0;

    // Releases the device; true when it was closed cleanly (or was not open).
    virtual bool Close() = 0;

    // Why the line went away or could not be reached, where its codes say too little (a network
    // line's "connection refused", say); empty otherwise. Kept until the next Open.
    virtual std::string_view FailureText() { return {}; }

    // A remark for the operator's log that is new since the last call (a setting the far end
    // answered differently, say); empty when there is none. Valid until the next call.
    virtual std::string_view TakeNotice() { return {}; }
};

}  // namespace kestrova
