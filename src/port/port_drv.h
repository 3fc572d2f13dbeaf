#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/monotonic_clock.h"
#include "config/serial_settings.h"
#include "port/link_timing.h"
#include "port/serial_line.h"

namespace kestrova {

enum class PortLinkState : std::int32_t { Closed = 0, Open = 1, OpenFailed = -1 };

enum class PortTransferState : std::int32_t {
    Idle = 0,
    Sending = 1,
    Receiving = 2,
    Complete = 3,
    Failed = 10,
};

// Why a transfer failed (None when it did not).
enum class PortErrorCode : std::int32_t {
    None = 0,
    ReplyTimeout = 0x4102,
    LineError = 0x4110,
    FramingError = 0x4111,
    OverrunError = 0x4112,
    InputOverflow = 0x4113,
    ParityError = 0x4114,
};

// Where a settings change stands: staged by the setters while Filling, applied from Ready.
enum class SettingsRequestState : std::int32_t {
    Idle = 0,
    Filling = 16,
    Ready = 128,
    Applying = 2048,
};

// Operator-facing description of an open failure code.
const char* PortOpenFailureText(OpenFailure code);

// Owner of the one serial port to the wheel controller: opens and configures it, stages and
// applies settings changes, and runs a polled transfer engine that sends one request frame and
// collects its reply from the bytes already queued. Polled from the comms tick; never blocks.
class PortDrv {
public:
    static constexpr int PortReplyBufferSize = 256;
    static constexpr int MaxReplyLength = 255;
    // Clearing a transfer zeroes only this front part of the reply buffer; the bytes behind it
    // are overwritten before they are counted in a reply length.
    static constexpr int ClearedReplyBytes = 128;
    static constexpr int ChunkSize = 128;
    static constexpr int TransmitBufferSize = 132;
    static constexpr std::int32_t DefaultReplyLimit = 1000;
    // A reply limit counts port polls of half a millisecond each (the comms tick polls twice a
    // millisecond); the driver measures it on the monotonic clock.
    static constexpr std::int64_t MicrosPerPoll = 500;
    // Reply limits and quiet times run on the time the driver watched the line: a gap between two
    // polls counts at most this long. When the machine holds this program up for longer, it may
    // well have held up the bytes on their way too (the kernel's tty work, a bridge, a simulator),
    // so the stall counts neither as waiting for a reply nor as a silent line.
    static constexpr std::int64_t LongestWatchedGapMicros = 5000;

    PortDrv(SerialLine& line, SerialSettings& settings, const PortMap& ports);
    // Where the driver reads the time for reply limits and quiet times (the system's monotonic
    // clock by default).
    void SetClock(MonotonicClock clock) { clock_ = std::move(clock); }
    PortDrv(const PortDrv&) = delete;
    PortDrv& operator=(const PortDrv&) = delete;

    // Link.
    void PortInit();
    void PortOpen();
    void PortClose();
    // The open line's device went away (the line reported it, or the system reported the device
    // removed): fails the transfer in flight and closes the link. Nothing when not open.
    void PortDeviceGone();
    PortLinkState LinkState() const { return linkState_; }
    // True from a closure because the device went away until the next open.
    bool DeviceGone() const { return deviceGone_; }
    // The failure of the last open or configuration at open; None after a successful open.
    OpenFailure LastOpenFailure() const { return lastOpenFailure_; }
    std::string_view PortErrorText() const { return errorText_.data(); }
    const std::string& DeviceName() const { return deviceName_; }
    bool DtrOn() const { return dtrOn_; }
    // What the open (or last opened) device is, the timing it gets, and whether it took the
    // request for low latency.
    LineKind Kind() const { return kind_; }
    const LinkTiming& Timing() const { return timing_; }
    LowLatency LowLatencyState() const { return lowLatency_; }
    bool RtsOn() const { return rtsOn_; }
    // The line's own account of why it went away (a network line's "connection refused", say),
    // and a remark of the line's for the log that is new since the last call; both may be empty.
    std::string_view LineFailureText() { return line_.FailureText(); }
    std::string_view TakeLineNotice() { return line_.TakeNotice(); }

    // Transfer.
    void PortSend(std::int32_t length, const std::uint8_t* bytes);
    void PortPoll();
    PortTransferState TransferState() const { return transferState_; }
    PortErrorCode TransferError() const { return errorCode_; }
    const std::array<std::uint8_t, PortReplyBufferSize>& ReplyBuffer() const { return reply_; }
    std::int32_t ReplyLength() const { return replyLength_; }
    // Microseconds the driver watched the line from the request's departure to the end of its
    // transfer.
    std::int64_t ReplyMicros() const { return replyMicros_; }
    void PortSetReplyLimit(std::int32_t polls) { replyLimit_ = polls; }
    void PortSetEndChar(std::uint8_t character) { endChar_ = character; }
    void PortSetReplyLength(std::int32_t bytes) { expectedLength_ = bytes; }
    void PortClearTransfer();
    void PortResetTransfer();

    // The exchange just ended without a good reply. Frames carry no address, so whatever of its
    // reply is still on its way must not be taken for the next request's reply: the next request
    // waits until the line has been silent for the quiet time, and bytes arriving meanwhile are
    // dropped. After a complete frame (a checksum error, an error reply) that is the gap of 3.5
    // characters at the current speed, or the line's reply allowance where that is longer; after a
    // time-out, a partial frame or a line error it is the link's late-reply horizon. Called before
    // the transfer is cleared.
    void PortRequireQuietLine(QuietTime quiet);
    // Bytes that came while no reply was awaited and were dropped unread.
    std::uint64_t LateBytesDropped() const { return lateBytesDropped_; }

    // Settings change.
    SettingsRequestState SettingsRequest() const { return settingsRequest_; }
    bool PortBeginSettings();
    bool PortSetNewPort(std::int32_t port);
    bool PortSetNewBaud(std::int32_t baud);
    bool PortSetNewData(std::int32_t dataBits);
    bool PortSetNewParity(std::int32_t parity);
    bool PortSetNewStop(std::int32_t stopBits);
    bool PortCommitSettings();
    bool PortBeginApply();
    bool PortApplySettings();
    bool PortEndApply();

    // Current settings (those of the open port, or of the next open).
    std::int32_t CurrentPort() const { return current_.Port; }
    std::int32_t CurrentBaud() const { return current_.BAUD; }
    std::int32_t CurrentData() const { return current_.Data; }
    std::int32_t CurrentParity() const { return current_.Parity; }
    std::int32_t CurrentStop() const { return current_.Stop; }

private:
    void SetErrorText(const char* text);
    void ConfigureLine(const SerialSettings& s);
    std::uint32_t DiscardStaleInput();  // returns the line errors it dropped
    bool QuietTimeOver(bool lineActive);
    void ClearQuietWait() { quietWait_ = false; }
    void AdvanceWatchedTime();
    void Receive();
    void ReadReplyChunk();
    std::int64_t ReplyLimitMicros() const;
    std::int64_t CharacterGapMicros() const;

    SerialLine& line_;
    SerialSettings& settings_;
    const PortMap& ports_;

    PortLinkState linkState_ = PortLinkState::Closed;
    bool handleValid_ = false;
    bool deviceGone_ = false;
    OpenFailure lastOpenFailure_ = OpenFailure::None;
    std::string deviceName_;
    std::array<char, 256> errorText_{};
    bool dtrOn_ = false;
    bool rtsOn_ = false;

    SerialSettings current_;
    SerialSettings next_;
    SettingsRequestState settingsRequest_ = SettingsRequestState::Idle;

    PortTransferState transferState_ = PortTransferState::Idle;
    PortErrorCode errorCode_ = PortErrorCode::None;
    std::int32_t replyLimit_ = DefaultReplyLimit;
    std::int32_t pollCount_ = 0;  // polls in Receiving, the one that wrote the frame included
    std::uint8_t endChar_ = 0;
    std::int32_t expectedLength_ = 0;
    std::array<std::uint8_t, TransmitBufferSize> transmit_{};
    std::int32_t transmitLength_ = 0;
    bool frameValid_ = false;  // the frame fitted the transmit buffer
    std::array<std::uint8_t, PortReplyBufferSize> reply_{};
    std::int32_t replyLength_ = 0;
    std::array<std::uint8_t, ChunkSize> chunk_{};

    MonotonicClock clock_ = SteadyClockMicros;
    LineKind kind_ = LineKind::Other;
    LinkTiming timing_;
    LowLatency lowLatency_ = LowLatency::NotAsked;
    std::optional<std::int64_t> pollClockMicros_;  // the clock at the last poll
    std::int64_t watchedMicros_ = 0;               // the line watched, summed over the polls
    std::int64_t sentAtMicros_ = 0;
    std::int64_t replyMicros_ = 0;

    bool quietWait_ = false;              // the next request waits for a quiet line
    std::string owesLateReply_;           // the device closed while a reply of it may still come
    std::int64_t quietMicros_ = 0;        // how long the line must be silent
    std::int64_t silentSinceMicros_ = 0;  // the last byte or line error seen while waiting
    std::uint64_t lateBytesDropped_ = 0;
};

}  // namespace kestrova
