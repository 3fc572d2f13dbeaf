#include "port/port_drv.h"

#include <algorithm>
#include <cstring>

namespace kestrova {

namespace {

void CopySettings(SerialSettings& to, const SerialSettings& from) {
    to.Port = from.Port;
    to.BAUD = from.BAUD;
    to.Data = from.Data;
    to.Parity = from.Parity;
    to.Stop = from.Stop;
}

}  // namespace

const char* PortOpenFailureText(OpenFailure code) {
    switch (code) {
        case OpenFailure::DeviceInvalid: return "Device ID Invalid/Not Supported";
        case OpenFailure::AlreadyOpen: return "Device Already Open";
        case OpenFailure::NotOpen: return "Device Is Not Open";
        case OpenFailure::CannotAllocate: return "Function Cannot Allocate Queues";
        case OpenFailure::BadParameters: return "Default Parameters In Error";
        case OpenFailure::HardwareUnavailable: return "Hardware Is Not Available";
        case OpenFailure::ByteSizeInvalid: return "Byte Size Invalid";
        case OpenFailure::BaudRateNotSupported: return "Baud Rate Not Supported";
        default: return "Unknown error description";
    }
}

PortDrv::PortDrv(SerialLine& line, SerialSettings& settings, const PortMap& ports)
    : line_(line), settings_(settings), ports_(ports) {}

// ---------------------------------------------------------------------------------------------
// Link

void PortDrv::SetErrorText(const char* text) {
    const std::size_t length = std::min(std::strlen(text), errorText_.size() - 1);
    std::memcpy(errorText_.data(), text, length);
    errorText_[length] = '\0';
}

void PortDrv::PortInit() {
    CopySettings(current_, settings_);
    linkState_ = PortLinkState::Closed;
    // A line still held from an earlier run of the driver is released rather than leaked.
    if (handleValid_) line_.Close();
    handleValid_ = false;
}

void PortDrv::PortOpen() {
    if (linkState_ == PortLinkState::Open) return;

    handleValid_ = false;
    deviceGone_ = false;
    ClearQuietWait();
    SetErrorText("");
    deviceName_ = ports_.DevicePath(current_.Port);

    OpenFailure failure = line_.Open(deviceName_);
    lastOpenFailure_ = failure;
    if (failure != OpenFailure::None) {
        linkState_ = PortLinkState::OpenFailed;
        SetErrorText(PortOpenFailureText(failure));
        return;
    }
    handleValid_ = true;

    // A line that cannot take the settings (a baud rate it cannot run, say) cannot talk to the
    // controller: the open fails instead of reporting a link at the wrong speed.
    failure = line_.Configure(current_.BAUD, current_.Data, current_.Parity, current_.Stop);
    lastOpenFailure_ = failure;
    if (failure != OpenFailure::None) {
        line_.Close();
        handleValid_ = false;
        linkState_ = PortLinkState::OpenFailed;
        SetErrorText(PortOpenFailureText(failure));
        return;
    }
    // Writing the configuration enables both modem lines ...
    line_.SetDtr(true);
    line_.SetRts(true);

    linkState_ = PortLinkState::Open;

    // ... after which they take their remembered levels, so a fresh open ends with both low.
    line_.SetDtr(dtrOn_);
    line_.SetRts(rtsOn_);

    // A USB adapter holds received bytes back for its latency timer unless told otherwise.
    kind_ = line_.Kind();
    lowLatency_ = LowLatency::NotAsked;
    if (kind_ == LineKind::UsbAdapter) {
        lowLatency_ = line_.RequestLowLatency() ? LowLatency::Granted : LowLatency::Refused;
    }
    timing_ = EffectiveLinkTiming(kind_, ports_.Timing(current_.Port));

    // The reply of an exchange that had not ended well when this very device was closed may
    // still come; another device owes none.
    if (!owesLateReply_.empty() && deviceName_ == owesLateReply_) {
        PortRequireQuietLine(QuietTime::LateReplyHorizon);
    }
    owesLateReply_.clear();
}

void PortDrv::PortClose() {
    if (linkState_ != PortLinkState::Open) return;
    const bool replyMayCome = quietWait_ || transferState_ == PortTransferState::Receiving ||
                              transferState_ == PortTransferState::Failed;
    owesLateReply_ = replyMayCome && !deviceGone_ ? deviceName_ : std::string();
    if (handleValid_ && line_.Close()) handleValid_ = false;
    linkState_ = PortLinkState::Closed;
    ClearQuietWait();
}

void PortDrv::PortDeviceGone() {
    if (linkState_ != PortLinkState::Open) return;
    if (transferState_ == PortTransferState::Sending ||
        transferState_ == PortTransferState::Receiving) {
        errorCode_ = PortErrorCode::LineError;
        transferState_ = PortTransferState::Failed;
    }
    deviceGone_ = true;  // what was on its way went with the device
    PortClose();
}

// ---------------------------------------------------------------------------------------------
// Transfer

void PortDrv::PortSend(std::int32_t length, const std::uint8_t* bytes) {
    if (transferState_ != PortTransferState::Idle) return;

    // A frame that does not fit the transmit buffer is not sent at all (it would be cut short);
    // the transfer then runs on like one whose write failed.
    frameValid_ = length >= 0 && length <= TransmitBufferSize && (bytes != nullptr || length == 0);
    transmitLength_ = frameValid_ ? length : 0;
    if (transmitLength_ > 0) std::memcpy(transmit_.data(), bytes, static_cast<std::size_t>(length));

    transferState_ = PortTransferState::Sending;
    PortPoll();
}

void PortDrv::AdvanceWatchedTime() {
    const std::int64_t now = clock_();
    const std::int64_t gap = pollClockMicros_ ? now - *pollClockMicros_ : 0;
    pollClockMicros_ = now;
    watchedMicros_ += std::clamp<std::int64_t>(gap, 0, LongestWatchedGapMicros);
}

void PortDrv::PortPoll() {
    AdvanceWatchedTime();
    if (linkState_ != PortLinkState::Open) transferState_ = PortTransferState::Idle;

    if (transferState_ == PortTransferState::Idle &&
        settingsRequest_ == SettingsRequestState::Ready) {
        PortBeginApply();
        PortApplySettings();
        PortEndApply();
    }

    if (transferState_ == PortTransferState::Sending) {
        // Reads and writes are synchronous, so no operation is pending that would need
        // aborting. Bytes still queued belong to an exchange that has ended (a reply that came
        // after its time limit, or bytes past its expected length): frames carry no address,
        // so taken as the start of this reply they would be stored into the wrong point.
        const std::uint64_t droppedBefore = lateBytesDropped_;
        const std::uint32_t errors = DiscardStaleInput();
        if (errors & CE_DEVICE_GONE) {
            PortDeviceGone();
            return;
        }
        // After a failed exchange the frame stays here until the line is quiet.
        if (!QuietTimeOver(errors != 0 || lateBytesDropped_ != droppedBefore)) return;
        const bool written = frameValid_ && line_.Write(transmit_.data(), transmitLength_);
        if (!written) {
            line_.SetRts(true);
            rtsOn_ = true;
        }
        pollCount_ = 0;
        replyLength_ = 0;
        sentAtMicros_ = watchedMicros_;
        replyMicros_ = 0;
        transferState_ =
            expectedLength_ > 0 ? PortTransferState::Receiving : PortTransferState::Complete;
    }

    if (transferState_ == PortTransferState::Receiving) Receive();
}

std::uint32_t PortDrv::DiscardStaleInput() {
    // Bounded by the platform's input queue; line errors of the dropped bytes go with them.
    constexpr int MaxChunks = 32;
    for (int i = 0; i < MaxChunks; ++i) {
        const std::int32_t queued = line_.QueuedInput();
        if (queued <= 0) break;
        const std::int32_t got =
            line_.Read(chunk_.data(), std::min<std::int32_t>(queued, ChunkSize));
        if (got <= 0) break;
        lateBytesDropped_ += static_cast<std::uint64_t>(got);
    }
    return line_.LineErrors();
}

std::int64_t PortDrv::CharacterGapMicros() const {
    // 3.5 characters of 10 bits are 35 bit times. A line that holds bytes back (a USB adapter's
    // latency timer, a bridge) may pass the rest of a burst on that much later: stray bytes
    // ahead of a reply can complete a frame while the reply's own end is still held.
    constexpr std::int64_t GapBits = 35;
    const std::int64_t baud = current_.BAUD;
    const std::int64_t gap = baud > 0 ? (GapBits * 1'000'000 + baud - 1) / baud : 0;
    return std::max(gap, std::int64_t{timing_.replyAllowanceMs} * 1000);
}

void PortDrv::PortRequireQuietLine(QuietTime quiet) {
    quietMicros_ = quiet == QuietTime::CharacterGap
                       ? CharacterGapMicros()
                       : std::int64_t{timing_.lateReplyHorizonMs} * 1000;
    silentSinceMicros_ = watchedMicros_;
    quietWait_ = true;
}

bool PortDrv::QuietTimeOver(bool lineActive) {
    if (!quietWait_) return true;
    if (lineActive) silentSinceMicros_ = watchedMicros_;
    if (watchedMicros_ - silentSinceMicros_ < quietMicros_) return false;
    quietWait_ = false;
    return true;
}

std::int64_t PortDrv::ReplyLimitMicros() const {
    return std::int64_t{replyLimit_} * MicrosPerPoll +
           std::int64_t{timing_.replyAllowanceMs} * 1000;
}

void PortDrv::Receive() {
    ++pollCount_;
    const std::uint32_t errors = line_.LineErrors();
    if (errors & CE_DEVICE_GONE) {
        PortDeviceGone();
        return;
    }
    if (errors != 0) {
        // Later matches win: a framing and a parity error together report the parity error.
        errorCode_ = PortErrorCode::LineError;
        if (errors & CE_FRAME) errorCode_ = PortErrorCode::FramingError;
        if (errors & CE_OVERRUN) errorCode_ = PortErrorCode::OverrunError;
        if (errors & CE_RXOVER) errorCode_ = PortErrorCode::InputOverflow;
        if (errors & CE_RXPARITY) errorCode_ = PortErrorCode::ParityError;
        transferState_ = PortTransferState::Failed;
    } else {
        ReadReplyChunk();
    }
    // Bytes already queued are taken before the limit is judged: a reply that came in time
    // while the ticks were held up is a good reply.
    const std::int64_t elapsed = watchedMicros_ - sentAtMicros_;
    if (transferState_ == PortTransferState::Receiving && elapsed >= ReplyLimitMicros()) {
        errorCode_ = PortErrorCode::ReplyTimeout;
        transferState_ = PortTransferState::Failed;
    }
    if (transferState_ != PortTransferState::Receiving) replyMicros_ = elapsed;
}

void PortDrv::ReadReplyChunk() {
    const std::int32_t queued = line_.QueuedInput();
    if (queued <= 0) return;
    // At most one chunk per poll; the rest stays queued for the next poll.
    const std::int32_t wanted = std::min(queued, static_cast<std::int32_t>(ChunkSize));
    std::int32_t got = line_.Read(chunk_.data(), wanted);
    if (got <= 0) return;
    got = std::min(got, wanted);

    for (std::int32_t i = 0; i < got; ++i) {
        const std::uint8_t byte = chunk_[static_cast<std::size_t>(i)];
        // From 255 bytes on, each further byte overwrites the last position.
        reply_[static_cast<std::size_t>(replyLength_)] = byte;
        if (replyLength_ < MaxReplyLength) ++replyLength_;
        if (endChar_ != 0 && byte == endChar_) transferState_ = PortTransferState::Complete;
        if (replyLength_ == expectedLength_) transferState_ = PortTransferState::Complete;
    }
}

void PortDrv::PortClearTransfer() {
    transferState_ = PortTransferState::Idle;
    pollCount_ = 0;
    errorCode_ = PortErrorCode::None;
    replyLength_ = 0;
    std::fill_n(reply_.begin(), ClearedReplyBytes, std::uint8_t{0});
}

void PortDrv::PortResetTransfer() {
    replyLimit_ = DefaultReplyLimit;
    endChar_ = 0;
    PortClearTransfer();
}

// ---------------------------------------------------------------------------------------------
// Settings change

bool PortDrv::PortBeginSettings() {
    if (settingsRequest_ != SettingsRequestState::Idle) return false;
    settingsRequest_ = SettingsRequestState::Filling;
    return true;
}

bool PortDrv::PortSetNewPort(std::int32_t port) {
    next_.Port = port;
    return true;
}

bool PortDrv::PortSetNewBaud(std::int32_t baud) {
    next_.BAUD = baud;
    return true;
}

bool PortDrv::PortSetNewData(std::int32_t dataBits) {
    next_.Data = dataBits;
    return true;
}

bool PortDrv::PortSetNewParity(std::int32_t parity) {
    next_.Parity = parity;
    return true;
}

bool PortDrv::PortSetNewStop(std::int32_t stopBits) {
    next_.Stop = stopBits;
    return true;
}

bool PortDrv::PortCommitSettings() {
    if (settingsRequest_ != SettingsRequestState::Filling) return false;
    settingsRequest_ = SettingsRequestState::Ready;
    return true;
}

bool PortDrv::PortBeginApply() {
    if (settingsRequest_ != SettingsRequestState::Ready) return false;
    settingsRequest_ = SettingsRequestState::Applying;
    return true;
}

bool PortDrv::PortApplySettings() {
    if (linkState_ == PortLinkState::Open) {
        if (!handleValid_) return false;
        // The open port keeps its device; a new port number takes effect at the next open.
        SerialSettings wanted = current_;
        wanted.BAUD = next_.BAUD;
        wanted.Data = next_.Data;
        wanted.Parity = next_.Parity;
        wanted.Stop = next_.Stop;
        // A line that refuses the new settings keeps running with the current ones, and the
        // current settings go on describing it.
        if (line_.Configure(wanted.BAUD, wanted.Data, wanted.Parity, wanted.Stop) !=
            OpenFailure::None) {
            return false;
        }
        line_.SetDtr(true);
        line_.SetRts(true);
        CopySettings(current_, wanted);
    } else {
        CopySettings(current_, next_);
    }
    // Back into the settings file's values, so they are saved at exit.
    CopySettings(settings_, current_);
    return true;
}

bool PortDrv::PortEndApply() {
    if (settingsRequest_ != SettingsRequestState::Applying) return false;
    settingsRequest_ = SettingsRequestState::Idle;
    return true;
}

}  // namespace kestrova
