#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "port/network_target.h"
#include "port/serial_line.h"
#include "port/telnet_codec.h"

namespace kestrova {

struct NameResolution;

// The line settings a SerialLine is asked for, in its own terms.
struct RequestedSettings {
    std::int32_t baud = 0;
    std::int32_t dataBits = 8;
    std::int32_t parity = 0;
    std::int32_t stopBits = 1;
};

// A serial line on a device server, reached over TCP: raw ("tcp://") or telnet with the
// com-port option ("rfc2217://"). Nothing blocks: Open starts the name resolution on a worker
// thread and returns at once; the connect runs non-blocking and is carried on by every later
// call. Until it is up, writes are queued (a bounded amount) and no bytes are read. A failed
// connect or a lost connection shows as CE_DEVICE_GONE, with the reason in FailureText.
class TcpSerialLine final : public SerialLine {
public:
    static constexpr std::chrono::milliseconds ConnectTimeout{3000};
    static constexpr std::size_t BufferSize = 4096;

    TcpSerialLine();
    ~TcpSerialLine() override;
    TcpSerialLine(const TcpSerialLine&) = delete;
    TcpSerialLine& operator=(const TcpSerialLine&) = delete;

    OpenFailure Open(const std::string& path) override;
    OpenFailure Configure(std::int32_t baud, std::int32_t dataBits, std::int32_t parity,
                          std::int32_t stopBits) override;
    LineKind Kind() override { return LineKind::Network; }
    bool RequestLowLatency() override { return false; }
    void SetDtr(bool on) override;
    void SetRts(bool on) override;
    std::int32_t QueuedInput() override;
    std::uint32_t LineErrors() override;
    std::int32_t Read(std::uint8_t* buffer, std::int32_t count) override;
    bool Write(const std::uint8_t* bytes, std::int32_t count) override;
    bool Close() override;
    std::string_view FailureText() override { return failure_; }
    std::string_view TakeNotice() override;

    // Whether the connection is up (as of the last call).
    bool Connected() const { return stage_ == Stage::Connected; }
    // The settings the server reported in use (com-port mode only).
    const telnet::ComPortState& ServerSettings() const { return decoder_.ComPort(); }

private:
    enum class Stage { Closed, Resolving, Connecting, Connected, Gone };

    void Pump();
    void TakeResolution();
    void ConnectNext();
    void CheckConnect();
    void OnConnected();
    void Receive();
    void Flush();
    void Fail(std::string_view reason);
    bool Queue(const std::uint8_t* bytes, std::size_t count);
    void QueueCommand(std::uint8_t command, std::uint32_t value, std::size_t valueBytes);
    void SendSettings();
    void SendControl();
    void CheckAnswers();
    void SetNotice(std::string_view text);
    bool ComPortMode() const { return target_.mode == NetworkMode::Rfc2217; }

    NetworkTarget target_;
    std::string path_;
    Stage stage_ = Stage::Closed;
    std::intptr_t socket_ = -1;  // a net::Socket; -1 (net::NoSocket) when there is none
    std::shared_ptr<NameResolution> resolution_;
    std::size_t nextAddress_ = 0;
    std::chrono::steady_clock::time_point connectDeadline_{};

    telnet::Decoder decoder_;
    RequestedSettings settings_;
    bool settingsWanted_ = false;  // Configure called; sent once the connection is up
    bool dtr_ = false;
    bool rts_ = false;
    std::uint32_t answersSeen_ = 0;
    std::uint32_t settingsAsked_ = 0;  // settings requests sent on this connection
    std::uint8_t lineErrors_ = 0;

    std::array<std::uint8_t, BufferSize> raw_{};
    std::array<std::uint8_t, BufferSize> in_{};
    std::size_t inStart_ = 0;
    std::size_t inEnd_ = 0;
    std::array<std::uint8_t, BufferSize> out_{};
    std::size_t outLength_ = 0;

    std::string failure_;
    std::string rawNoticeGiven_;  // the raw address whose settings notice was given
    std::array<char, 160> notice_{};
    bool noticePending_ = false;
};

}  // namespace kestrova
