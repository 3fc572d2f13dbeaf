#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace kestrova::test {

// A frame held in fixed storage, so building or logging one allocates nothing.
struct FrameBytes {
    std::array<std::uint8_t, 256> bytes{};
    int length = 0;

    void Push(std::uint8_t b) { bytes[static_cast<std::size_t>(length++)] = b; }
    // Appends the checksum of everything before it, low byte first.
    void PushCrc();
    std::vector<std::uint8_t> Bytes() const { return {bytes.begin(), bytes.begin() + length}; }
};

// Controller replies with a good checksum.
FrameBytes GoodReadReply(const std::uint8_t* data, int count);
FrameBytes GoodReadReply(std::initializer_list<std::uint8_t> data);
FrameBytes GoodWriteReply();
FrameBytes ErrorReply(std::uint8_t code);

// body followed by its checksum, low byte first.
std::vector<std::uint8_t> WithCrc(std::vector<std::uint8_t> body);

// Little-endian fields of a request frame: the address and the byte count it asks for.
std::uint32_t FrameAddress(const FrameBytes& request);
std::uint16_t FrameCount(const FrameBytes& request);

}  // namespace kestrova::test
