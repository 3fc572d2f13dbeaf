#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>

#include "port/serial_line.h"
#include "protocol/msg_frames.h"

namespace kestrova::test {

// A reply or request frame held in fixed storage, so building one allocates nothing.
struct FrameBytes {
    std::array<std::uint8_t, 256> bytes{};
    int length = 0;

    void Push(std::uint8_t b) { bytes[static_cast<std::size_t>(length++)] = b; }
    void PushCrc() {
        const std::uint16_t crc = Crc16(bytes.data(), static_cast<std::size_t>(length), Crc16Start);
        Push(static_cast<std::uint8_t>(crc & 0xFF));
        Push(static_cast<std::uint8_t>(crc >> 8));
    }
};

inline FrameBytes GoodReadReply(const std::uint8_t* data, int count) {
    FrameBytes f;
    f.Push('+');
    f.Push('$');
    for (int i = 0; i < count; ++i) f.Push(data[i]);
    f.Push('#');
    f.PushCrc();
    return f;
}

inline FrameBytes GoodReadReply(std::initializer_list<std::uint8_t> data) {
    return GoodReadReply(data.begin(), static_cast<int>(data.size()));
}

inline FrameBytes GoodWriteReply() {
    FrameBytes f;
    for (std::uint8_t b : {'+', '$', 'O', 'K', '#'}) f.Push(b);
    f.PushCrc();
    return f;
}

inline FrameBytes ErrorReply(std::uint8_t code) {
    FrameBytes f;
    for (std::uint8_t b : {std::uint8_t{'-'}, std::uint8_t{'$'}, std::uint8_t{'E'}, code,
                           std::uint8_t{'#'}}) {
        f.Push(b);
    }
    f.PushCrc();
    return f;
}

// A SerialLine driven by the test: every frame written is recorded, and a responder (when set)
// may put reply bytes on the line at once, as if the controller had answered before the next
// poll. Received bytes sit in a fixed queue and frames in a fixed log, so nothing here allocates
// while the protocol runs.
class ScriptedLine final : public SerialLine {
public:
    static constexpr int FrameLogSize = 512;

    using Responder = std::function<void(ScriptedLine& line, const std::uint8_t* frame, int length)>;
    Responder responder;

    std::int32_t openResult = 0;
    std::uint32_t pendingErrors = 0;  // reported (and cleared) by the next LineErrors
    bool open = false;

    // Frames written so far (the log keeps the last FrameLogSize).
    int frameCount = 0;
    const FrameBytes& Frame(int n) const {
        return frames_[static_cast<std::size_t>(n % FrameLogSize)];
    }
    const FrameBytes& LastFrame() const { return Frame(frameCount - 1); }

    void Arrive(const std::uint8_t* bytes, int count) {
        for (int i = 0; i < count; ++i) input_[(tail_++) % input_.size()] = bytes[i];
    }
    void Arrive(const FrameBytes& f) { Arrive(f.bytes.data(), f.length); }
    void Arrive(std::initializer_list<std::uint8_t> bytes) {
        Arrive(bytes.begin(), static_cast<int>(bytes.size()));
    }
    int Queued() const { return static_cast<int>(tail_ - head_); }

    std::int32_t Open(const std::string&) override {
        if (openResult == 0) open = true;
        return openResult;
    }
    std::int32_t Configure(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {
        return 0;
    }
    void SetDtr(bool) override {}
    void SetRts(bool) override {}
    std::int32_t QueuedInput() override { return Queued(); }
    std::uint32_t LineErrors() override {
        const std::uint32_t e = pendingErrors;
        pendingErrors = 0;
        return e;
    }
    std::int32_t Read(std::uint8_t* buffer, std::int32_t count) override {
        const int n = std::min(count, Queued());
        for (int i = 0; i < n; ++i) buffer[i] = input_[(head_++) % input_.size()];
        return n;
    }
    bool Write(const std::uint8_t* bytes, std::int32_t count) override {
        FrameBytes& f = frames_[static_cast<std::size_t>(frameCount % FrameLogSize)];
        f.length = std::min(count, static_cast<std::int32_t>(f.bytes.size()));
        std::memcpy(f.bytes.data(), bytes, static_cast<std::size_t>(f.length));
        ++frameCount;
        if (responder) responder(*this, bytes, count);
        return true;
    }
    bool Close() override {
        open = false;
        return true;
    }

private:
    std::array<FrameBytes, FrameLogSize> frames_{};
    std::array<std::uint8_t, 16384> input_{};
    std::size_t head_ = 0;
    std::size_t tail_ = 0;
};

// Little-endian fields of a request frame.
inline std::uint32_t FrameAddress(const FrameBytes& f) {
    return static_cast<std::uint32_t>(f.bytes[2]) | (static_cast<std::uint32_t>(f.bytes[3]) << 8) |
           (static_cast<std::uint32_t>(f.bytes[4]) << 16) |
           (static_cast<std::uint32_t>(f.bytes[5]) << 24);
}
inline std::uint16_t FrameCount(const FrameBytes& f) {
    return static_cast<std::uint16_t>(f.bytes[6] | (f.bytes[7] << 8));
}

// A small controller behind the scripted line: a flat memory that answers reads with its bytes
// and takes writes; a request reaching past the memory gets the error reply with code 2.
class MemoryController {
public:
    std::array<std::uint8_t, 0x2000> memory{};
    int reads = 0;
    int writes = 0;
    bool silent = false;  // answer nothing (the utility then times out)

    void Attach(ScriptedLine& line) {
        line.responder = [this](ScriptedLine& l, const std::uint8_t* frame, int length) {
            Answer(l, frame, length);
        };
    }

    void Answer(ScriptedLine& line, const std::uint8_t* frame, int length) {
        if (silent || length < 11) return;
        FrameBytes f;
        std::memcpy(f.bytes.data(), frame, static_cast<std::size_t>(std::min(length, 256)));
        f.length = length;
        const std::uint32_t address = FrameAddress(f);
        const std::uint16_t count = FrameCount(f);
        if (address + count > memory.size()) {
            line.Arrive(ErrorReply(2));
            return;
        }
        if (frame[1] == 'm') {
            ++reads;
            line.Arrive(GoodReadReply(memory.data() + address, count));
        } else {
            ++writes;
            std::memcpy(memory.data() + address, frame + 8, count);
            line.Arrive(GoodWriteReply());
        }
    }

    void Put16(std::uint32_t address, std::int16_t value) {
        memory[address] = static_cast<std::uint8_t>(value & 0xFF);
        memory[address + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    }
    std::int16_t Get16(std::uint32_t address) const {
        return static_cast<std::int16_t>(memory[address] | (memory[address + 1] << 8));
    }
};

}  // namespace kestrova::test
