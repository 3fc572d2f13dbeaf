#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "port/serial_line.h"
#include "support/reply_frames.h"

namespace kestrova::test {

// The calls of a SerialLine, as FakeSerialLine::beforeCall names them.
enum class LineCall { Open, Configure, SetDtr, SetRts, QueuedInput, LineErrors, Read, Write, Close };

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
    using Responder = std::function<void(FakeSerialLine& line, const std::uint8_t* frame,
                                         int length)>;

    FakeSerialLine() = default;
    explicit FakeSerialLine(SerialLine& device) : device_(&device) {}

    // Results of the calls (of a line without a device).
    std::int32_t openResult = 0;
    std::int32_t configureResult = 0;
    bool writeResult = true;
    bool closeResult = true;
    bool readFails = false;                    // Read returns -1
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
    int readCalls = 0;
    std::int32_t largestRead = 0;
    std::int64_t frameCount = 0;  // frames written
    std::int64_t refusedWrites = 0;
    const FrameBytes& Frame(std::int64_t n) const {
        return frames_[static_cast<std::size_t>(n % FrameLogSize)];
    }
    const FrameBytes& LastFrame() const { return Frame(frameCount - 1); }

    // Bytes as if they had arrived on the line.
    void Arrive(const std::uint8_t* bytes, int count);
    void Arrive(const FrameBytes& frame) { Arrive(frame.bytes.data(), frame.length); }
    void Arrive(std::initializer_list<std::uint8_t> bytes) {
        Arrive(bytes.begin(), static_cast<int>(bytes.size()));
    }
    void ArriveRepeated(std::uint8_t byte, int count);
    int Queued() const { return static_cast<int>(tail_ - head_); }

    std::int32_t Open(const std::string& path) override;
    std::int32_t Configure(std::int32_t baud, std::int32_t data, std::int32_t parity,
                           std::int32_t stop) override;
    void SetDtr(bool on) override;
    void SetRts(bool on) override;
    std::int32_t QueuedInput() override;
    std::uint32_t LineErrors() override;
    std::int32_t Read(std::uint8_t* buffer, std::int32_t count) override;
    bool Write(const std::uint8_t* bytes, std::int32_t count) override;
    bool Close() override;

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
