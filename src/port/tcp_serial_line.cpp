#include "port/tcp_serial_line.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "port/stream_socket.h"

namespace kestrova {

// The outcome of one name lookup, shared with the worker thread that makes it. The thread owns
// a reference until it is done, so a line closed meanwhile leaves it nothing dangling.
struct NameResolution {
    std::atomic<bool> done{false};
    net::Lookup lookup = net::Lookup::Failed;
    std::string text;  // the system's reason for a failed lookup
    std::vector<net::Address> addresses;
};

namespace {

void Resolve(const std::shared_ptr<NameResolution>& job, const std::string& host,
             std::uint16_t port) {
    job->lookup = net::Resolve(host, port, job->addresses, job->text);
    job->done.store(true, std::memory_order_release);
}

constexpr std::uint8_t LineStateErrors = telnet::LineErrorMask;

}  // namespace

TcpSerialLine::TcpSerialLine() = default;

TcpSerialLine::~TcpSerialLine() { Close(); }

OpenFailure TcpSerialLine::Open(const std::string& path) {
    if (stage_ != Stage::Closed) Close();
    const std::optional<NetworkTarget> target = ParseNetworkTarget(path);
    if (!target) return OpenFailure::DeviceInvalid;
    target_ = *target;
    path_ = path;
    failure_.clear();
    noticePending_ = false;
    settingsWanted_ = false;
    answersSeen_ = 0;
    settingsAsked_ = 0;
    lineErrors_ = 0;
    inStart_ = inEnd_ = outLength_ = 0;
    decoder_ = telnet::Decoder{};
    if (ComPortMode()) {
        decoder_.Start();
    } else if (path != rawNoticeGiven_) {
        // Once per address, not again at every reconnection.
        rawNoticeGiven_ = path;
        SetNotice(path + ": raw TCP, the serial settings are the server's");
    }

    resolution_ = std::make_shared<NameResolution>();
    std::thread(Resolve, resolution_, target_.host, target_.port).detach();
    stage_ = Stage::Resolving;
    // A name service that does not answer holds the line no longer than a connect may take.
    connectDeadline_ = std::chrono::steady_clock::now() + ConnectTimeout;
    return OpenFailure::None;
}

void TcpSerialLine::Fail(std::string_view reason) {
    net::Close(socket_);
    socket_ = net::NoSocket;
    resolution_.reset();
    failure_ = path_ + ": " + std::string(reason);
    stage_ = Stage::Gone;
}

void TcpSerialLine::Pump() {
    if (stage_ == Stage::Resolving) TakeResolution();
    if (stage_ == Stage::Connecting) CheckConnect();
    if (stage_ == Stage::Connected) {
        Receive();
        if (stage_ == Stage::Connected) Flush();
    }
}

void TcpSerialLine::TakeResolution() {
    if (!resolution_->done.load(std::memory_order_acquire)) {
        if (std::chrono::steady_clock::now() >= connectDeadline_) {
            Fail("name not found (the name service did not answer)");
        }
        return;
    }
    switch (resolution_->lookup) {
        case net::Lookup::Found: break;
        case net::Lookup::NoAnswer:
            Fail("name not found (the name service did not answer)");
            return;
        case net::Lookup::NotFound: Fail("name not found"); return;
        case net::Lookup::Failed: Fail(resolution_->text); return;
    }
    nextAddress_ = 0;
    stage_ = Stage::Connecting;
    ConnectNext();
}

void TcpSerialLine::ConnectNext() {
    // Each address of the name gets its own time-out; the last one's failure is the reason.
    std::string lastProblem = "connection refused";
    while (nextAddress_ < resolution_->addresses.size()) {
        const net::Address& address = resolution_->addresses[nextAddress_];
        ++nextAddress_;
        net::Close(socket_);
        int error = 0;
        socket_ = net::Open(address, error);
        if (socket_ == net::NoSocket) {
            lastProblem = net::ErrorText(error);
            continue;
        }
        switch (net::Connect(socket_, address, error)) {
            case net::Progress::Done: OnConnected(); return;
            case net::Progress::Pending:
                connectDeadline_ = std::chrono::steady_clock::now() + ConnectTimeout;
                return;
            case net::Progress::Failed: lastProblem = net::ErrorText(error); break;
        }
    }
    Fail(lastProblem);
}

void TcpSerialLine::CheckConnect() {
    int error = 0;
    const net::Progress outcome = net::ConnectOutcome(socket_, error);
    if (outcome == net::Progress::Done) {
        OnConnected();
        return;
    }
    if (outcome == net::Progress::Failed) {
        if (nextAddress_ < resolution_->addresses.size()) {
            ConnectNext();
            return;
        }
        Fail(net::ErrorText(error));
        return;
    }
    if (std::chrono::steady_clock::now() < connectDeadline_) return;
    if (nextAddress_ < resolution_->addresses.size()) {
        ConnectNext();
    } else {
        Fail("timed out");
    }
}

void TcpSerialLine::OnConnected() {
    stage_ = Stage::Connected;
    resolution_.reset();
    if (!ComPortMode()) {
        Flush();
        return;
    }
    // The negotiation goes first, then the settings, then anything written while connecting.
    const std::size_t queued = outLength_;
    std::array<std::uint8_t, BufferSize> early;
    std::copy_n(out_.begin(), queued, early.begin());
    outLength_ = 0;
    (void)Queue(decoder_.Replies(), decoder_.ReplyLength());
    decoder_.Consumed(decoder_.ReplyLength());
    QueueCommand(telnet::SetLineStateMask, LineStateErrors, 1);
    // Whatever the server still holds from an earlier connection is not this session's.
    QueueCommand(telnet::PurgeData, telnet::PurgeBoth, 1);
    if (settingsWanted_) SendSettings();
    SendControl();
    (void)Queue(early.data(), queued);
    Flush();
}

bool TcpSerialLine::Queue(const std::uint8_t* bytes, std::size_t count) {
    if (count > out_.size() - outLength_) return false;
    std::copy_n(bytes, count, out_.begin() + static_cast<std::ptrdiff_t>(outLength_));
    outLength_ += count;
    return true;
}

void TcpSerialLine::QueueCommand(std::uint8_t command, std::uint32_t value,
                                 std::size_t valueBytes) {
    std::array<std::uint8_t, telnet::MaxCommandBytes> frame{};
    const std::size_t length = telnet::BuildCommand(command, value, valueBytes, frame.data());
    (void)Queue(frame.data(), length);
}

void TcpSerialLine::SendSettings() {
    const auto parity = static_cast<std::uint32_t>(settings_.parity == 1   ? 2
                                                   : settings_.parity == 2 ? 3
                                                                           : 1);
    const std::uint32_t dataSize =
        settings_.dataBits >= 5 && settings_.dataBits <= 8 ? settings_.dataBits : 8;
    settingsAsked_ += 4;
    QueueCommand(telnet::SetBaudRate, static_cast<std::uint32_t>(settings_.baud), 4);
    QueueCommand(telnet::SetDataSize, dataSize, 1);
    QueueCommand(telnet::SetParity, parity, 1);
    QueueCommand(telnet::SetStopSize, settings_.stopBits == 2 ? 2 : 1, 1);
}

void TcpSerialLine::SendControl() {
    // No answer is awaited: some servers acknowledge no modem line changes.
    QueueCommand(telnet::SetControl, dtr_ ? telnet::ControlDtrOn : telnet::ControlDtrOff, 1);
    QueueCommand(telnet::SetControl, rts_ ? telnet::ControlRtsOn : telnet::ControlRtsOff, 1);
}

void TcpSerialLine::Receive() {
    // Bytes stay in the socket while the decoded queue is full: the server waits, nothing is lost.
    if (inStart_ == inEnd_) inStart_ = inEnd_ = 0;
    if (inStart_ > 0 && inEnd_ == in_.size()) {
        std::copy(in_.begin() + static_cast<std::ptrdiff_t>(inStart_), in_.end(), in_.begin());
        inEnd_ -= inStart_;
        inStart_ = 0;
    }
    const std::size_t room = in_.size() - inEnd_;
    if (room == 0) return;
    std::uint8_t* target = ComPortMode() ? raw_.data() : in_.data() + inEnd_;
    int error = 0;
    const long got = net::Receive(socket_, target, room, error);
    if (got == 0) {
        Fail("connection closed by the server");
        return;
    }
    if (got < 0) {
        if (error != 0) Fail(net::ErrorText(error));
        return;
    }
    const auto count = static_cast<std::size_t>(got);
    if (!ComPortMode()) {
        inEnd_ += count;
        return;
    }
    inEnd_ += decoder_.Decode(raw_.data(), count, in_.data() + inEnd_);
    lineErrors_ |= decoder_.TakeLineErrors();
    if (decoder_.ReplyLength() > 0 && Queue(decoder_.Replies(), decoder_.ReplyLength())) {
        decoder_.Consumed(decoder_.ReplyLength());
    }
    CheckAnswers();
}

void TcpSerialLine::Flush() {
    if (outLength_ == 0) return;
    int error = 0;
    const long put = net::Send(socket_, out_.data(), outLength_, error);
    if (put < 0) {
        if (error != 0) Fail(net::ErrorText(error));
        return;
    }
    const auto sent = static_cast<std::size_t>(put);
    std::copy(out_.begin() + static_cast<std::ptrdiff_t>(sent),
              out_.begin() + static_cast<std::ptrdiff_t>(outLength_), out_.begin());
    outLength_ -= sent;
}

void TcpSerialLine::CheckAnswers() {
    const telnet::ComPortState& server = decoder_.ComPort();
    // Judged only once every setting asked for is answered: an answer to an earlier request is
    // no difference from the latest one.
    if (server.answers == answersSeen_ || server.answers < settingsAsked_) return;
    answersSeen_ = server.answers;
    const std::uint32_t parityWanted = settings_.parity == 1 ? 2 : settings_.parity == 2 ? 3 : 1;
    char text[160];
    if (server.baud != 0 && server.baud != static_cast<std::uint32_t>(settings_.baud)) {
        std::snprintf(text, sizeof text, "%s: the server runs %u baud, not %d", path_.c_str(),
                      server.baud, settings_.baud);
    } else if (server.dataSize != 0 &&
               server.dataSize != static_cast<std::uint32_t>(settings_.dataBits)) {
        std::snprintf(text, sizeof text, "%s: the server runs %u data bits, not %d", path_.c_str(),
                      server.dataSize, settings_.dataBits);
    } else if (server.parity != 0 && server.parity != parityWanted) {
        std::snprintf(text, sizeof text, "%s: the server runs parity code %u, not %u",
                      path_.c_str(), server.parity, parityWanted);
    } else if (server.stopSize != 0 && server.stopSize != (settings_.stopBits == 2 ? 2u : 1u)) {
        std::snprintf(text, sizeof text, "%s: the server runs stop size code %u, not %d",
                      path_.c_str(), server.stopSize, settings_.stopBits == 2 ? 2 : 1);
    } else {
        return;
    }
    SetNotice(text);
}

void TcpSerialLine::SetNotice(std::string_view text) {
    const std::size_t length = std::min(text.size(), notice_.size() - 1);
    std::copy_n(text.begin(), length, notice_.begin());
    notice_[length] = '\0';
    noticePending_ = true;
}

std::string_view TcpSerialLine::TakeNotice() {
    if (!noticePending_) return {};
    noticePending_ = false;
    return notice_.data();
}

OpenFailure TcpSerialLine::Configure(std::int32_t baud, std::int32_t dataBits, std::int32_t parity,
                                     std::int32_t stopBits) {
    if (stage_ == Stage::Closed) return OpenFailure::NotOpen;
    if (baud <= 0) return OpenFailure::BaudRateNotSupported;
    settings_ = {baud, dataBits, parity, stopBits};
    settingsWanted_ = true;
    if (stage_ == Stage::Connected && ComPortMode()) {
        SendSettings();
        Flush();
    }
    return OpenFailure::None;
}

void TcpSerialLine::SetDtr(bool on) {
    dtr_ = on;
    if (stage_ == Stage::Connected && ComPortMode()) {
        QueueCommand(telnet::SetControl, on ? telnet::ControlDtrOn : telnet::ControlDtrOff, 1);
        Flush();
    }
}

void TcpSerialLine::SetRts(bool on) {
    rts_ = on;
    if (stage_ == Stage::Connected && ComPortMode()) {
        QueueCommand(telnet::SetControl, on ? telnet::ControlRtsOn : telnet::ControlRtsOff, 1);
        Flush();
    }
}

std::int32_t TcpSerialLine::QueuedInput() {
    Pump();
    return static_cast<std::int32_t>(inEnd_ - inStart_);
}

std::uint32_t TcpSerialLine::LineErrors() {
    if (stage_ == Stage::Closed) return 0;
    Pump();
    std::uint32_t flags = stage_ == Stage::Gone ? CE_DEVICE_GONE : 0;
    // A break reads on a UART as a framing error of an all-zero character.
    if (lineErrors_ & (telnet::LineFraming | telnet::LineBreak)) flags |= CE_FRAME;
    if (lineErrors_ & telnet::LineParity) flags |= CE_RXPARITY;
    if (lineErrors_ & telnet::LineOverrun) flags |= CE_OVERRUN;
    lineErrors_ = 0;
    return flags;
}

std::int32_t TcpSerialLine::Read(std::uint8_t* buffer, std::int32_t count) {
    if (stage_ == Stage::Closed || buffer == nullptr || count < 0) return -1;
    if (inStart_ == inEnd_) Pump();
    const std::size_t taken = std::min(static_cast<std::size_t>(count), inEnd_ - inStart_);
    std::copy_n(in_.begin() + static_cast<std::ptrdiff_t>(inStart_), taken, buffer);
    inStart_ += taken;
    if (taken == 0 && stage_ == Stage::Gone) return -1;
    return static_cast<std::int32_t>(taken);
}

bool TcpSerialLine::Write(const std::uint8_t* bytes, std::int32_t count) {
    if (stage_ == Stage::Closed || stage_ == Stage::Gone || count < 0 ||
        (bytes == nullptr && count > 0)) {
        return false;
    }
    if (count == 0) return true;
    const auto length = static_cast<std::size_t>(count);
    if (ComPortMode()) {
        std::size_t consumed = 0;
        const std::size_t room = out_.size() - outLength_;
        const std::size_t escaped =
            telnet::EscapeData(bytes, length, out_.data() + outLength_, room, consumed);
        if (consumed != length) return false;  // a partial frame is as bad as none
        outLength_ += escaped;
    } else if (!Queue(bytes, length)) {
        return false;
    }
    Pump();
    return stage_ != Stage::Gone;
}

bool TcpSerialLine::Close() {
    net::Close(socket_);
    socket_ = net::NoSocket;
    resolution_.reset();
    stage_ = Stage::Closed;
    inStart_ = inEnd_ = outLength_ = 0;
    return true;
}

}  // namespace kestrova
