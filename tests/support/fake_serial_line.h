#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "port/serial_line.h"
#include "support/reply_frames.h"

namespace kestrova::test {

// The calls of a SerialLine, as FakeSerialLine::beforeCall names them.
enum class LineCall {
    Open,
    Configure,
    Kind,
    RequestLowLatency,
    SetDtr,
    SetRts,
    QueuedInput,
    LineErrors,
    Read,
    Write,
    Close
};

// A serial line for tests, fuzz targets and tools. On its own it is a device whose results are
// set by its user and whose received bytes are queued by it (Arrive); placed in front of another
// line it passes every call on, returns that line's results and only records. Received bytes sit
// in a fixed queue and written frames in a fixed log, so reading, writing and polling allocate
// nothing.
class FakeSerialLine final : public SerialLine {
public:
    static constexpr int InputCapacity = 16384;  // bytes arriving beyond it are lost
    static constexpr int FrameLogSize = 512;     // the log keeps the last this many frames

    struct Config {
        std::int32_t baud, data, parity, stop;
    };
    using Responder =
        std::function<void(FakeSerialLine& line, const std::uint8_t* frame, int length)>;

    FakeSerialLine() = default;
    explicit FakeSerialLine(SerialLine& device) : device_(&device) {}

    // Results of the calls (of a line without a device).
    OpenFailure openResult = OpenFailure::None;
    OpenFailure configureResult = OpenFailure::None;
    bool writeResult = true;
    bool closeResult = true;
    bool readFails = false;          // Read returns -1
    LineKind kind = LineKind::Uart;  // a UART adds no delay to replies
    bool lowLatencyResult = true;
    std::optional<std::int32_t> queuedReport;  // QueuedInput says this instead of the truth
    std::uint32_t pendingErrors = 0;           // reported (and cleared) by the next LineErrors

    // Runs first in every call: it may set that call's result, or look around before a close.
    std::function<void(LineCall call)> beforeCall;
    // Runs after every frame written; it may put bytes on the line at once, as if the controller
    // had answered before the next poll.
    Responder responder;

    // Recorded calls.
    bool open = false;
    std::string openedPath;
    int openCalls = 0;
    int closeCalls = 0;
    std::vector<std::string> events;  // "open <path>", "close" in call order
    std::vector<Config> configs;
    std::vector<std::string> lineCalls;  // "DTR+", "DTR-", "RTS+", "RTS-" in call order
    int lowLatencyRequests = 0;
    int readCalls = 0;
    std::int32_t largestRead = 0;
    std::int64_t frameCount = 0;  // frames written
    std::int64_t refusedWrites = 0;
    const FrameBytes& Frame(std::int64_t n) const {
        return frames_[static_cast<std::size_t>(n % FrameLogSize)];
    }
    const FrameBytes& LastFrame() const { return Frame(frameCount - 1); }

    // Bytes as if they had arrived on the line.
    void Arrive(const std::uint8_t* bytes, int count) {
        for (int i = 0; i < count && Queued() < InputCapacity; ++i) {
            input_[tail_++ % input_.size()] = bytes[i];
        }
    }
    void Arrive(const FrameBytes& frame) { Arrive(frame.bytes.data(), frame.length); }
    void Arrive(std::initializer_list<std::uint8_t> bytes) {
        Arrive(bytes.begin(), static_cast<int>(bytes.size()));
    }
    void ArriveRepeated(std::uint8_t byte, int count) {
        for (int i = 0; i < count; ++i) Arrive(&byte, 1);
    }
    int Queued() const { return static_cast<int>(tail_ - head_); }

    OpenFailure Open(const std::string& path) override {
        Before(LineCall::Open);
        ++openCalls;
        openedPath = path;
        events.push_back("open " + path);
        const OpenFailure result = device_ ? device_->Open(path) : openResult;
        if (result == OpenFailure::None) open = true;
        return result;
    }
    OpenFailure Configure(std::int32_t baud, std::int32_t data, std::int32_t parity,
                          std::int32_t stop) override {
        Before(LineCall::Configure);
        configs.push_back({baud, data, parity, stop});
        return device_ ? device_->Configure(baud, data, parity, stop) : configureResult;
    }
    LineKind Kind() override {
        Before(LineCall::Kind);
        return device_ ? device_->Kind() : kind;
    }
    bool RequestLowLatency() override {
        Before(LineCall::RequestLowLatency);
        ++lowLatencyRequests;
        return device_ ? device_->RequestLowLatency() : lowLatencyResult;
    }
    void SetDtr(bool on) override {
        Before(LineCall::SetDtr);
        lineCalls.push_back(on ? "DTR+" : "DTR-");
        if (device_) device_->SetDtr(on);
    }
    void SetRts(bool on) override {
        Before(LineCall::SetRts);
        lineCalls.push_back(on ? "RTS+" : "RTS-");
        if (device_) device_->SetRts(on);
    }
    std::int32_t QueuedInput() override {
        Before(LineCall::QueuedInput);
        if (device_) return device_->QueuedInput();
        return queuedReport ? *queuedReport : Queued();
    }
    std::uint32_t LineErrors() override {
        Before(LineCall::LineErrors);
        if (device_) return device_->LineErrors();
        return std::exchange(pendingErrors, 0);
    }
    std::int32_t Read(std::uint8_t* buffer, std::int32_t count) override {
        Before(LineCall::Read);
        ++readCalls;
        largestRead = std::max(largestRead, count);
        if (device_) return device_->Read(buffer, count);
        if (readFails) return -1;
        const int n = std::min(count, Queued());
        for (int i = 0; i < n; ++i) buffer[i] = input_[head_++ % input_.size()];
        return n;
    }
    bool Write(const std::uint8_t* bytes, std::int32_t count) override {
        Before(LineCall::Write);
        FrameBytes& f = frames_[static_cast<std::size_t>(frameCount++ % FrameLogSize)];
        f.length = std::clamp(count, 0, static_cast<std::int32_t>(f.bytes.size()));
        if (f.length > 0) std::memcpy(f.bytes.data(), bytes, static_cast<std::size_t>(f.length));
        if (responder) responder(*this, bytes, count);
        const bool written = device_ ? device_->Write(bytes, count) : writeResult;
        if (!written) ++refusedWrites;
        return written;
    }
    bool Close() override {
        Before(LineCall::Close);
        ++closeCalls;
        events.push_back("close");
        const bool closed = device_ ? device_->Close() : closeResult;
        if (closed) open = false;
        return closed;
    }
    // A wrapped device's texts pass through; the fake itself has none.
    std::string_view FailureText() override {
        return device_ ? device_->FailureText() : std::string_view{};
    }
    std::string_view TakeNotice() override {
        return device_ ? device_->TakeNotice() : std::string_view{};
    }

private:
    void Before(LineCall call) {
        if (beforeCall) beforeCall(call);
    }

    SerialLine* device_ = nullptr;
    std::array<FrameBytes, FrameLogSize> frames_{};
    std::array<std::uint8_t, InputCapacity> input_{};
    std::size_t head_ = 0;
    std::size_t tail_ = 0;
};

}  // namespace kestrova::test
