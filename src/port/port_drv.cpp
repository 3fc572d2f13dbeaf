#include "port/port_drv.h"

#include <algorithm>
#include <cstring>

namespace kestrova {

namespace {

using LinkState = kestrova::PortLinkState;
using TransferState = kestrova::PortTransferState;
using ErrorCode = kestrova::PortErrorCode;

void CopySettings(SerialSettings& to, const SerialSettings& from) {
    to.Port = from.Port;
    to.BAUD = from.BAUD;
    to.Data = from.Data;
    to.Parity = from.Parity;
    to.Stop = from.Stop;
}

}  // namespace

const char* PortOpenFailureText(std::int32_t code) {
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
    linkState_ = LinkState::Closed;
    // A line still held from an earlier run of the driver is released rather than leaked.
    if (handleValid_) line_.Close();
    handleValid_ = false;
}

void PortDrv::PortOpen() {
    if (linkState_ == LinkState::Open) return;

    handleValid_ = false;
    SetErrorText("");
    deviceName_ = ports_.DevicePath(current_.Port);

    std::int32_t code = line_.Open(deviceName_);
    if (code != 0) {
        linkState_ = LinkState::OpenFailed;
        SetErrorText(PortOpenFailureText(code));
        return;
    }
    handleValid_ = true;

    // A line that cannot take the settings (a baud rate it cannot run, say) cannot talk to the
    // controller: the open fails instead of reporting a link at the wrong speed.
    code = line_.Configure(current_.BAUD, current_.Data, current_.Parity, current_.Stop);
    if (code != 0) {
        line_.Close();
        handleValid_ = false;
        linkState_ = LinkState::OpenFailed;
        SetErrorText(PortOpenFailureText(code));
        return;
    }
    // Writing the configuration enables both modem lines ...
    line_.SetDtr(true);
    line_.SetRts(true);

    linkState_ = LinkState::Open;

    // ... after which they take their remembered levels, so a fresh open ends with both low.
    line_.SetDtr(dtrOn_);
    line_.SetRts(rtsOn_);
}

void PortDrv::PortClose() {
    if (linkState_ != LinkState::Open) return;
    if (handleValid_ && line_.Close()) handleValid_ = false;
    linkState_ = LinkState::Closed;
}

// ---------------------------------------------------------------------------------------------
// Transfer

void PortDrv::PortSend(std::int32_t length, const std::uint8_t* bytes) {
    if (transferState_ != TransferState::Idle) return;

    // A frame that does not fit the transmit buffer is not sent at all (it would be cut short);
    // the transfer then runs on like one whose write failed.
    frameValid_ = length >= 0 && length <= TransmitBufferSize && (bytes != nullptr || length == 0);
    transmitLength_ = frameValid_ ? length : 0;
    if (transmitLength_ > 0) std::memcpy(transmit_.data(), bytes, static_cast<std::size_t>(length));

    transferState_ = TransferState::Sending;
    PortPoll();
}

void PortDrv::PortPoll() {
    if (linkState_ != LinkState::Open) transferState_ = TransferState::Idle;

    if (transferState_ == TransferState::Idle && settingsRequest_ == SettingsReady) {
        PortBeginApply();
        PortApplySettings();
        PortEndApply();
    }

    if (transferState_ == TransferState::Sending) {
        // Reads and writes are synchronous, so no operation is pending that would need
        // aborting. Bytes still queued belong to an exchange that has ended (a reply that came
        // after its time limit, or bytes past its expected length): frames carry no address,
        // so taken as the start of this reply they would be stored into the wrong point.
        DiscardStaleInput();
        const bool written = frameValid_ && line_.Write(transmit_.data(), transmitLength_);
        if (!written) {
            line_.SetRts(true);
            rtsOn_ = true;
        }
        pollCount_ = 0;
        replyLength_ = 0;
        transferState_ = expectedLength_ > 0 ? TransferState::Receiving : TransferState::Complete;
    }

    if (transferState_ == TransferState::Receiving) Receive();
}

void PortDrv::DiscardStaleInput() {
    // Bounded by the platform's input queue; line errors of the dropped bytes go with them.
    constexpr int MaxChunks = 32;
    for (int i = 0; i < MaxChunks; ++i) {
        const std::int32_t queued = line_.QueuedInput();
        if (queued <= 0) break;
        const std::int32_t got = line_.Read(chunk_.data(), std::min<std::int32_t>(queued, ChunkSize));
        if (got <= 0) break;
    }
    line_.LineErrors();
}

void PortDrv::Receive() {
    if (pollCount_ < replyLimit_) {
        ++pollCount_;
    } else {
        errorCode_ = ErrorCode::ReplyTimeout;
        transferState_ = TransferState::Failed;
        return;
    }

    const std::uint32_t errors = line_.LineErrors();
    if (errors != 0) {
        // Later matches win: a framing and a parity error together report the parity error.
        errorCode_ = ErrorCode::LineError;
        if (errors & CE_FRAME) errorCode_ = ErrorCode::FramingError;
        if (errors & CE_OVERRUN) errorCode_ = ErrorCode::OverrunError;
        if (errors & CE_RXOVER) errorCode_ = ErrorCode::InputOverflow;
        if (errors & CE_RXPARITY) errorCode_ = ErrorCode::ParityError;
        transferState_ = TransferState::Failed;
        return;
    }

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
        if (endChar_ != 0 && byte == endChar_) transferState_ = TransferState::Complete;
        if (replyLength_ == expectedLength_) transferState_ = TransferState::Complete;
    }
}

void PortDrv::PortClearTransfer() {
    transferState_ = TransferState::Idle;
    pollCount_ = 0;
    errorCode_ = ErrorCode::None;
    replyLength_ = 0;
    std::fill_n(reply_.begin(), 128, std::uint8_t{0});
}

void PortDrv::PortResetTransfer() {
    replyLimit_ = DefaultReplyLimit;
    endChar_ = 0;
    PortClearTransfer();
}

// ---------------------------------------------------------------------------------------------
// Settings change

bool PortDrv::PortBeginSettings() {
    if (settingsRequest_ != SettingsIdle) return false;
    settingsRequest_ = SettingsFilling;
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
    if (settingsRequest_ != SettingsFilling) return false;
    settingsRequest_ = SettingsReady;
    return true;
}

bool PortDrv::PortBeginApply() {
    if (settingsRequest_ != SettingsReady) return false;
    settingsRequest_ = SettingsApplying;
    return true;
}

bool PortDrv::PortApplySettings() {
    if (linkState_ == LinkState::Open) {
        if (!handleValid_) return false;
        // The open port keeps its device; a new port number takes effect at the next open.
        SerialSettings wanted = current_;
        wanted.BAUD = next_.BAUD;
        wanted.Data = next_.Data;
        wanted.Parity = next_.Parity;
        wanted.Stop = next_.Stop;
        // A line that refuses the new settings keeps running with the current ones, and the
        // current settings go on describing it.
        if (line_.Configure(wanted.BAUD, wanted.Data, wanted.Parity, wanted.Stop) != 0) return false;
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
    if (settingsRequest_ != SettingsApplying) return false;
    settingsRequest_ = SettingsIdle;
    return true;
}

}  // namespace kestrova
