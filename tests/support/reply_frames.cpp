#include "support/reply_frames.h"

#include "protocol/msg_frames.h"

namespace kestrova::test {

void FrameBytes::PushCrc() {
    const std::uint16_t crc = Crc16(bytes.data(), static_cast<std::size_t>(length), Crc16Start);
    Push(static_cast<std::uint8_t>(crc & 0xFF));
    Push(static_cast<std::uint8_t>(crc >> 8));
}

FrameBytes GoodReadReply(const std::uint8_t* data, int count) {
    FrameBytes f;
    f.Push(GoodReplyChar);
    f.Push(FrameStartChar);
    for (int i = 0; i < count; ++i) f.Push(data[i]);
    f.Push(FrameEndChar);
    f.PushCrc();
    return f;
}

FrameBytes GoodReadReply(std::initializer_list<std::uint8_t> data) {
    return GoodReadReply(data.begin(), static_cast<int>(data.size()));
}

FrameBytes GoodWriteReply() {
    FrameBytes f;
    for (std::uint8_t b : {GoodReplyChar, FrameStartChar, OkChar1, OkChar2, FrameEndChar}) {
        f.Push(b);
    }
    f.PushCrc();
    return f;
}

FrameBytes ErrorReply(std::uint8_t code) {
    FrameBytes f;
    for (std::uint8_t b : {ErrorReplyChar, FrameStartChar, ErrorMarkChar, code, FrameEndChar}) {
        f.Push(b);
    }
    f.PushCrc();
    return f;
}

std::vector<std::uint8_t> WithCrc(std::vector<std::uint8_t> body) {
    const std::uint16_t crc = Crc16(body.data(), body.size(), Crc16Start);
    body.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    body.push_back(static_cast<std::uint8_t>(crc >> 8));
    return body;
}

std::uint32_t FrameAddress(const FrameBytes& request) {
    return static_cast<std::uint32_t>(request.bytes[2]) |
           (static_cast<std::uint32_t>(request.bytes[3]) << 8) |
           (static_cast<std::uint32_t>(request.bytes[4]) << 16) |
           (static_cast<std::uint32_t>(request.bytes[5]) << 24);
}

std::uint16_t FrameCount(const FrameBytes& request) {
    return static_cast<std::uint16_t>(request.bytes[6] | (request.bytes[7] << 8));
}

}  // namespace kestrova::test
