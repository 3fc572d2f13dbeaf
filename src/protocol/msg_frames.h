#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// RTDM frames: the request frames the utility sends to the wheel controller, the checksum that
// closes every frame, and the judging of the controller's replies.
//
// Request frames (all numbers little-endian, no escaping, no length byte):
//   read   $ m addr(4) count(2) # crc(2)                    11 bytes
//   write  $ M addr(4) count(2) data(n) # crc(2)            n + 11 bytes, n = count when <= 53
// Reply frames:
//   good read   + $ data(count) # crc(2)                    count + 5 bytes
//   good write  + $ O K # crc(2)                            7 bytes
//   error       - $ E code # crc(2)                         7 bytes
// The checksum covers every byte before it, from the leading $, + or - through the closing #.
namespace kestrova {

inline constexpr std::uint8_t FrameStartChar = 0x24;    // $
inline constexpr std::uint8_t ReadCommandChar = 0x6D;   // m
inline constexpr std::uint8_t WriteCommandChar = 0x4D;  // M
inline constexpr std::uint8_t FrameEndChar = 0x23;      // #
inline constexpr std::uint8_t GoodReplyChar = 0x2B;     // +
inline constexpr std::uint8_t ErrorReplyChar = 0x2D;    // -
inline constexpr std::uint8_t ErrorMarkChar = 0x45;     // E
inline constexpr std::uint8_t OkChar1 = 0x4F;           // O
inline constexpr std::uint8_t OkChar2 = 0x4B;           // K

inline constexpr std::uint16_t Crc16Start = 0xFFFF;
inline constexpr std::uint16_t Crc16Polynomial = 0xA001;

inline constexpr std::size_t FrameBufferSize = 128;
inline constexpr std::size_t ChannelReplyBufferSize = 128;
inline constexpr std::size_t PayloadBufferSize = 64;
inline constexpr std::size_t RequestDataWordCount = 32;
inline constexpr std::uint16_t MaxInlineWriteCount = 53;  // larger writes carry no data bytes
inline constexpr std::uint16_t ReadRequestLength = 11;
inline constexpr std::uint16_t WriteRequestOverhead = 11;  // plus the data bytes
inline constexpr std::uint16_t ReadReplyOverhead = 5;      // plus the data bytes
inline constexpr std::uint16_t WriteReplyLength = 7;
inline constexpr std::uint16_t ErrorReplyLength = 7;

// The verdict on a reply. A well-formed error reply carrying error code c gives ErrorReply - c
// (see ErrorReplyResult), so the values from -128 down to -383 are all error replies.
enum class ReplyResult : std::int16_t {
    Good = 0,
    ChecksumError = -1,
    ReadMalformed = -9,
    WriteMalformed = -10,
    UnknownStart = -64,
    ErrorReply = -128,
};

// The verdict on a well-formed error reply with error code byte code.
constexpr ReplyResult ErrorReplyResult(std::uint8_t code) {
    return static_cast<ReplyResult>(static_cast<int>(ReplyResult::ErrorReply) - code);
}

// CRC-16 (the Modbus RTU one): polynomial 0xA001 processed least-significant bit first, no final
// exclusive-or, computed bit by bit. Callers pass start 0xFFFF. On the wire low byte first.
std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t count, std::uint16_t start);

// The working state of the frame builders and the reply parser. The message blocks fill the
// request fields, run a builder and copy the frame out; the receiver copies a reply in with
// SetReply and runs ParseReply.
class RequestChannel {
public:
    std::uint32_t RequestAddress = 0;
    std::uint16_t RequestCount = 2;
    std::array<std::uint32_t, RequestDataWordCount> RequestData{};
    std::array<std::uint8_t, FrameBufferSize> TxFrame{};
    std::uint16_t FrameLength = 0;
    std::uint16_t ExpectedReplyLength = 0;
    // The received reply followed by zero bytes: SetReply clears everything past the reply, so
    // no byte of an earlier reply is ever looked at.
    std::array<std::uint8_t, ChannelReplyBufferSize + 1> Reply{};
    std::uint16_t ReplyLength = 0;
    std::array<std::uint8_t, PayloadBufferSize> Payload{};
    std::uint16_t PayloadLength = 2;
    ReplyResult Result = ReplyResult::Good;

    // Back to the start values (address 0, count 2, data words 0, lengths 0, payload length 2,
    // result Good; buffers cleared).
    void Reset();
    friend bool operator==(const RequestChannel&, const RequestChannel&) = default;

    // Fills TxFrame with the 11-byte read frame for RequestAddress and RequestCount; sets
    // FrameLength 11 and ExpectedReplyLength count + 5 (held at 65535 for the largest counts).
    void BuildReadRequest();

    // Fills TxFrame with the write frame for RequestAddress, RequestCount and RequestData, with
    // element size elementSize (1, 2 or 4; 0 counts as 1, more than 4 as 4): each data word gives
    // its lowest elementSize bytes, least significant first, until the count is placed. A count
    // above 53 goes out with no data bytes. Sets FrameLength n + 11 and ExpectedReplyLength 7.
    void BuildWriteRequest(int elementSize);

    // Puts a received reply into the reply buffer, result and reply length reset first. A reply
    // longer than the buffer is cut at 128 bytes. Returns the number of bytes kept.
    std::size_t SetReply(const std::uint8_t* bytes, std::size_t count);

    // Judges the reply buffer against the request that was sent: command is the command
    // character (m or M), count the count of a read. Sets Result and returns it; for a read
    // reply whose checksum is good the payload (reply bytes 2 to L-4) is copied to Payload.
    ReplyResult ParseReply(std::uint8_t command, std::uint16_t count);

    // The same, with the command taken from TxFrame[1] and the count from RequestCount.
    ReplyResult ParseReply() { return ParseReply(TxFrame[1], RequestCount); }
};

}  // namespace kestrova
