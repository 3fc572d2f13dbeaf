#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/serial_settings.h"
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

// Transfer error codes (0 when the transfer did not fail).
struct PortErrorCode {
    static constexpr std::int32_t None = 0;
    static constexpr std::int32_t ReplyTimeout = 0x4102;
    static constexpr std::int32_t LineError = 0x4110;
    static constexpr std::int32_t FramingError = 0x4111;
    static constexpr std::int32_t OverrunError = 0x4112;
    static constexpr std::int32_t InputOverflow = 0x4113;
    static constexpr std::int32_t ParityError = 0x4114;
};

// Operator-facing description of an open failure code.
const char* PortOpenFailureText(std::int32_t code);

// Owner of the one serial port to the wheel controller: opens and configures it, stages and
// applies settings changes, and runs a polled transfer engine that sends one request frame and
// collects its reply from the bytes already queued. Polled from the comms tick; never blocks.
class PortDrv {
public:
    static constexpr int ReplyBufferSize = 256;
    static constexpr int MaxReplyLength = 255;
    static constexpr int ChunkSize = 128;
    static constexpr int TransmitBufferSize = 132;
    static constexpr std::int32_t DefaultReplyLimit = 1000;

    // SettingsRequest states.
    static constexpr std::int32_t SettingsIdle = 0;
    static constexpr std::int32_t SettingsFilling = 16;
    static constexpr std::int32_t SettingsReady = 128;
    static constexpr std::int32_t SettingsApplying = 2048;

    PortDrv(SerialLine& line, SerialSettings& settings, const PortMap& ports);
    PortDrv(const PortDrv&) = delete;
    PortDrv& operator=(const PortDrv&) = delete;

    // Link.
    void PortInit();
    void PortOpen();
    void PortClose();
    kestrova::PortLinkState PortLinkState() const { return linkState_; }
    std::string_view PortErrorText() const { return errorText_.data(); }
    const std::string& DeviceName() const { return deviceName_; }
    bool DtrOn() const { return dtrOn_; }
    bool RtsOn() const { return rtsOn_; }

    // Transfer.
    void PortSend(std::int32_t length, const std::uint8_t* bytes);
    void PortPoll();
    kestrova::PortTransferState PortTransferState() const { return transferState_; }
    std::int32_t PortErrorCode() const { return errorCode_; }
    const std::array<std::uint8_t, ReplyBufferSize>& ReplyBuffer() const { return reply_; }
    std::int32_t ReplyLength() const { return replyLength_; }
    void PortSetReplyLimit(std::int32_t polls) { replyLimit_ = polls; }
    void PortSetEndChar(std::uint8_t character) { endChar_ = character; }
    void PortSetReplyLength(std::int32_t bytes) { expectedLength_ = bytes; }
    void PortClearTransfer();
    void PortResetTransfer();

    // Settings change.
    std::int32_t SettingsRequest() const { return settingsRequest_; }
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
    void DiscardStaleInput();
    void Receive();

    SerialLine& line_;
    SerialSettings& settings_;
    const PortMap& ports_;

    kestrova::PortLinkState linkState_ = kestrova::PortLinkState::Closed;
    bool handleValid_ = false;
    std::string deviceName_;
    std::array<char, 256> errorText_{};
    bool dtrOn_ = false;
    bool rtsOn_ = false;

    SerialSettings current_;
    SerialSettings next_;
    std::int32_t settingsRequest_ = SettingsIdle;

    kestrova::PortTransferState transferState_ = kestrova::PortTransferState::Idle;
    std::int32_t errorCode_ = 0;
    std::int32_t replyLimit_ = DefaultReplyLimit;
    std::int32_t pollCount_ = 0;
    std::uint8_t endChar_ = 0;
    std::int32_t expectedLength_ = 0;
    std::array<std::uint8_t, TransmitBufferSize> transmit_{};
    std::int32_t transmitLength_ = 0;
    bool frameValid_ = false;  // the frame fitted the transmit buffer
    std::array<std::uint8_t, ReplyBufferSize> reply_{};
    std::int32_t replyLength_ = 0;
    std::array<std::uint8_t, ChunkSize> chunk_{};
};

}  // namespace kestrova
