#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "protocol/msg_frames.h"

namespace kestrova::test {

// A frame held in fixed storage, so building or logging one allocates nothing.
struct FrameBytes {
    std::array<std::uint8_t, 256> bytes{};
    int length = 0;

    void Push(std::uint8_t b) { bytes[static_cast<std::size_t>(length++)] = b; }
    void Push(std::initializer_list<std::uint8_t> list) {
        for (std::uint8_t b : list) Push(b);
    }
    // Appends the checksum of everything before it, low byte first.
    void PushCrc() {
        const std::uint16_t crc = Crc16(bytes.data(), static_cast<std::size_t>(length), Crc16Start);
        Push({static_cast<std::uint8_t>(crc & 0xFF), static_cast<std::uint8_t>(crc >> 8)});
    }
    std::vector<std::uint8_t> Bytes() const { return {bytes.begin(), bytes.begin() + length}; }
};

// Controller replies with a good checksum.
inline FrameBytes GoodReadReply(const std::uint8_t* data, int count) {
    FrameBytes f;
    f.Push({GoodReplyChar, FrameStartChar});
    for (int i = 0; i < count; ++i) f.Push(data[i]);
    f.Push(FrameEndChar);
    f.PushCrc();
    return f;
}
inline FrameBytes GoodReadReply(std::initializer_list<std::uint8_t> data) {
    return GoodReadReply(data.begin(), static_cast<int>(data.size()));
}
inline FrameBytes GoodWriteReply() {
    FrameBytes f;
    f.Push({GoodReplyChar, FrameStartChar, OkChar1, OkChar2, FrameEndChar});
    f.PushCrc();
    return f;
}
inline FrameBytes ErrorReply(std::uint8_t code) {
    FrameBytes f;
    f.Push({ErrorReplyChar, FrameStartChar, ErrorMarkChar, code, FrameEndChar});
    f.PushCrc();
    return f;
}

// body followed by its checksum, low byte first.
inline std::vector<std::uint8_t> WithCrc(std::vector<std::uint8_t> body) {
    const std::uint16_t crc = Crc16(body.data(), body.size(), Crc16Start);
    body.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    body.push_back(static_cast<std::uint8_t>(crc >> 8));
    return body;
}

// Little-endian fields of a request frame: the address and the byte count it asks for.
inline std::uint32_t FrameAddress(const FrameBytes& request) {
    return static_cast<std::uint32_t>(request.bytes[2]) |
           (static_cast<std::uint32_t>(request.bytes[3]) << 8) |
           (static_cast<std::uint32_t>(request.bytes[4]) << 16) |
           (static_cast<std::uint32_t>(request.bytes[5]) << 24);
}
inline std::uint16_t FrameCount(const FrameBytes& request) {
    return static_cast<std::uint16_t>(request.bytes[6] | (request.bytes[7] << 8));
}

}  // namespace kestrova::test
