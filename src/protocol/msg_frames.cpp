#include "protocol/msg_frames.h"

#include <algorithm>
#include <cstring>

namespace kestrova {

std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t count, std::uint16_t start) {
    std::uint16_t crc = start;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t byte = bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            if (((crc ^ byte) & 0x01) != 0) {
                crc = static_cast<std::uint16_t>((crc >> 1) ^ Crc16Polynomial);
            } else {
                crc = static_cast<std::uint16_t>(crc >> 1);
            }
            byte = static_cast<std::uint8_t>(byte >> 1);
        }
    }
    return crc;
}

namespace {

void PutU16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value & 0xFF);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutU32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
    }
}

// Writes the header $ cmd addr count into frame[0..7].
void PutHeader(std::uint8_t* frame, std::uint8_t command, std::uint32_t address,
               std::uint16_t count) {
    frame[0] = FrameStartChar;
    frame[1] = command;
    PutU32(frame + 2, address);
    PutU16(frame + 6, count);
}

// Closes a frame whose body fills frame[0..bodyLength-1]: '#' and the checksum. Returns the
// frame length.
std::uint16_t CloseFrame(std::uint8_t* frame, std::size_t bodyLength) {
    frame[bodyLength] = FrameEndChar;
    const std::uint16_t crc = Crc16(frame, bodyLength + 1, Crc16Start);
    PutU16(frame + bodyLength + 1, crc);
    return static_cast<std::uint16_t>(bodyLength + 3);
}

}  // namespace

void RequestChannel::Reset() {
    RequestAddress = 0;
    RequestCount = 2;
    RequestData.fill(0);
    TxFrame.fill(0);
    FrameLength = 0;
    ExpectedReplyLength = 0;
    Reply.fill(0);
    ReplyLength = 0;
    Payload.fill(0);
    PayloadLength = 2;
    Result = ReplyResult::Good;
}

void RequestChannel::BuildReadRequest() {
    PutHeader(TxFrame.data(), ReadCommandChar, RequestAddress, RequestCount);
    FrameLength = CloseFrame(TxFrame.data(), 8);
    const std::uint32_t expected = std::uint32_t{RequestCount} + ReadReplyOverhead;
    ExpectedReplyLength = static_cast<std::uint16_t>(std::min<std::uint32_t>(expected, 0xFFFF));
}

void RequestChannel::BuildWriteRequest(int elementSize) {
    const std::size_t size = static_cast<std::size_t>(std::clamp(elementSize, 1, 4));
    const std::size_t n = RequestCount <= MaxInlineWriteCount ? RequestCount : 0;

    PutHeader(TxFrame.data(), WriteCommandChar, RequestAddress, RequestCount);
    for (std::size_t i = 0; i < n; ++i) {
        // With one-byte elements 53 bytes would need more words than the channel holds; the
        // bytes past the last word are sent as 0 rather than read from beyond it.
        const std::size_t word = i / size;
        const std::size_t shift = 8 * (i % size);
        TxFrame[8 + i] = word < RequestData.size()
                             ? static_cast<std::uint8_t>((RequestData[word] >> shift) & 0xFF)
                             : 0;
    }
    FrameLength = CloseFrame(TxFrame.data(), 8 + n);
    ExpectedReplyLength = WriteReplyLength;
}

std::size_t RequestChannel::SetReply(const std::uint8_t* bytes, std::size_t count) {
    const std::size_t kept = std::min(count, ChannelReplyBufferSize);
    Result = ReplyResult::Good;
    Reply.fill(0);
    if (kept > 0) {
        std::memcpy(Reply.data(), bytes, kept);
    }
    ReplyLength = static_cast<std::uint16_t>(kept);
    return kept;
}

ReplyResult RequestChannel::ParseReply(std::uint8_t command, std::uint16_t count) {
    // The length is trusted only as far as the buffer reaches.
    const std::size_t length = std::min<std::size_t>(ReplyLength, ChannelReplyBufferSize);
    const std::uint8_t* b = Reply.data();

    if (length == 0 || (b[0] != GoodReplyChar && b[0] != ErrorReplyChar)) {
        // Nothing received, or no + or - in front: not a reply at all.
        Result = ReplyResult::UnknownStart;
        return Result;
    }

    // Checksum before shape. A frame of fewer than 3 bytes cannot even hold its checksum.
    if (length < 3) {
        Result = ReplyResult::ChecksumError;
        return Result;
    }
    const std::uint16_t crc = Crc16(b, length - 2, Crc16Start);
    if (b[length - 2] != (crc & 0xFF) || b[length - 1] != (crc >> 8)) {
        Result = ReplyResult::ChecksumError;
        return Result;
    }

    if (b[0] == ErrorReplyChar) {
        if (b[1] == FrameStartChar && b[2] == ErrorMarkChar && b[4] == FrameEndChar) {
            Result = ErrorReplyResult(b[3]);
        } else {
            Result = ReplyResult::ErrorReply;
        }
        return Result;
    }

    if (command == WriteCommandChar) {
        const bool ok =
            b[1] == FrameStartChar && b[2] == OkChar1 && b[3] == OkChar2 && b[4] == FrameEndChar;
        Result = ok ? ReplyResult::Good : ReplyResult::WriteMalformed;
        return Result;
    }

    if (command == ReadCommandChar) {
        // Data bytes are those between "+$" and "#crc". A reply of 3 or 4 bytes has none (and is
        // malformed); a payload that would not fit the payload buffer is cut there and the reply
        // is reported malformed, never as good with data missing.
        const std::size_t dataLength = length >= ReadReplyOverhead ? length - ReadReplyOverhead : 0;
        const std::size_t copied = std::min(dataLength, PayloadBufferSize);
        const bool malformed = length < ReadReplyOverhead || b[1] != FrameStartChar ||
                               b[length - 3] != FrameEndChar || dataLength != count ||
                               dataLength > PayloadBufferSize;
        Result = malformed ? ReplyResult::ReadMalformed : ReplyResult::Good;
        PayloadLength = static_cast<std::uint16_t>(copied);
        if (copied > 0) {
            std::memcpy(Payload.data(), b + 2, copied);
        }
    }
    return Result;
}

}  // namespace kestrova
