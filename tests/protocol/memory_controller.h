#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "support/fake_serial_line.h"
#include "support/reply_frames.h"

namespace kestrova::test {

// A small controller behind a fake line: a flat memory that answers reads with its bytes
// and takes writes; a request reaching past the memory gets the error reply with code 2.
class MemoryController {
public:
    std::array<std::uint8_t, 0x2000> memory{};
    int reads = 0;
    int writes = 0;
    bool silent = false;  // answer nothing (the utility then times out)

    void Attach(FakeSerialLine& line) {
        line.responder = [this](FakeSerialLine& l, const std::uint8_t* frame, int length) {
            Answer(l, frame, length);
        };
    }

    void Answer(FakeSerialLine& line, const std::uint8_t* frame, int length) {
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
