#include "protocol/msg_frames.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/enum_int.h"
#include "support/reply_frames.h"

namespace kestrova {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::WithCrc;

Bytes FrameOf(const RequestChannel& ch) {
    return Bytes(ch.TxFrame.begin(), ch.TxFrame.begin() + ch.FrameLength);
}

std::int16_t Parse(RequestChannel& ch, const Bytes& reply, std::uint8_t command,
                   std::uint16_t count) {
    ch.SetReply(reply.data(), reply.size());
    return ToInt(ch.ParseReply(command, count));
}

TEST(Crc16, KnownCheckValues) {
    const std::string digits = "123456789";
    const std::string abc = "abc";
    EXPECT_EQ(Crc16(reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size(), 0xFFFF),
              0x4B37);
    EXPECT_EQ(Crc16(reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size(), 0xFFFF), 0x5749);
    EXPECT_EQ(Crc16(nullptr, 0, 0xFFFF), 0xFFFF);
    // The start value is taken as given: continuing over a split input gives the same result.
    const auto* d = reinterpret_cast<const std::uint8_t*>(digits.data());
    EXPECT_EQ(Crc16(d + 4, 5, Crc16(d, 4, 0xFFFF)), 0x4B37);
}

TEST(RequestChannel, StartValuesAndReset) {
    RequestChannel ch;
    EXPECT_EQ(ch.RequestAddress, 0u);
    EXPECT_EQ(ch.RequestCount, 2);
    EXPECT_EQ(ch.PayloadLength, 2);
    EXPECT_EQ(ch.Result, ReplyResult::Good);
    EXPECT_EQ(ch.FrameLength, 0);
    EXPECT_EQ(ch.ReplyLength, 0);

    ch.RequestAddress = 7;
    ch.RequestCount = 9;
    ch.RequestData[3] = 5;
    ch.BuildReadRequest();
    ch.Result = ReplyResult::ReadMalformed;
    ch.PayloadLength = 0;
    ch.Reset();
    EXPECT_EQ(ch.RequestAddress, 0u);
    EXPECT_EQ(ch.RequestCount, 2);
    EXPECT_EQ(ch.RequestData[3], 0u);
    EXPECT_EQ(ch.FrameLength, 0);
    EXPECT_EQ(ch.ExpectedReplyLength, 0);
    EXPECT_EQ(ch.PayloadLength, 2);
    EXPECT_EQ(ch.Result, ReplyResult::Good);
}

TEST(RequestChannel, ReadRequestFrame) {
    RequestChannel ch;
    ch.RequestAddress = 0x0A50;
    ch.RequestCount = 2;
    ch.BuildReadRequest();
    EXPECT_EQ(FrameOf(ch),
              (Bytes{0x24, 0x6D, 0x50, 0x0A, 0x00, 0x00, 0x02, 0x00, 0x23, 0xD6, 0xF6}));
    EXPECT_EQ(ch.ExpectedReplyLength, 7);

    // All four address bytes and both count bytes little-endian; the reply length follows the
    // count, held at 65535 where count + 5 would not fit 16 bits.
    ch.RequestAddress = 0x12345678;
    ch.RequestCount = 0x0140;
    ch.BuildReadRequest();
    ASSERT_EQ(ch.FrameLength, 11);
    EXPECT_EQ(Bytes(ch.TxFrame.begin() + 2, ch.TxFrame.begin() + 8),
              (Bytes{0x78, 0x56, 0x34, 0x12, 0x40, 0x01}));
    EXPECT_EQ(ch.ExpectedReplyLength, 0x0145);
    EXPECT_EQ(Crc16(ch.TxFrame.data(), 11, 0xFFFF), 0);  // a frame with its CRC checks to 0

    ch.RequestCount = 65535;
    ch.BuildReadRequest();
    EXPECT_EQ(ch.ExpectedReplyLength, 65535);
}

TEST(RequestChannel, WriteRequestFrame) {
    RequestChannel ch;
    ch.RequestAddress = 0x0A50;
    ch.RequestCount = 2;
    ch.RequestData[0] = 500;
    ch.BuildWriteRequest(2);
    EXPECT_EQ(FrameOf(ch), (Bytes{0x24, 0x4D, 0x50, 0x0A, 0x00, 0x00, 0x02, 0x00, 0xF4, 0x01, 0x23,
                                  0x2F, 0x3D}));
    EXPECT_EQ(ch.ExpectedReplyLength, 7);

    // Count 3 from 16-bit elements: the second value gives only its low byte.
    ch.RequestCount = 3;
    ch.RequestData[0] = 0x1234;
    ch.RequestData[1] = 0x5678;
    ch.BuildWriteRequest(2);
    ASSERT_EQ(ch.FrameLength, 14);
    EXPECT_EQ(Bytes(ch.TxFrame.begin() + 8, ch.TxFrame.begin() + 11), (Bytes{0x34, 0x12, 0x78}));
    EXPECT_EQ(ch.TxFrame[11], 0x23);

    // Size 0 acts as 1: one byte from each value.
    ch.RequestCount = 2;
    ch.RequestData[0] = 0x1FF;
    ch.RequestData[1] = 0x2AB;
    ch.BuildWriteRequest(0);
    EXPECT_EQ(Bytes(ch.TxFrame.begin() + 8, ch.TxFrame.begin() + 10), (Bytes{0xFF, 0xAB}));

    // Size 4, a negative raw value: all four bytes.
    ch.RequestCount = 4;
    ch.RequestData[0] = static_cast<std::uint32_t>(-2);
    ch.BuildWriteRequest(4);
    EXPECT_EQ(Bytes(ch.TxFrame.begin() + 8, ch.TxFrame.begin() + 12),
              (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Crc16(ch.TxFrame.data(), ch.FrameLength, 0xFFFF), 0);

    // A count above 53 goes out with the count field and no data.
    ch.RequestCount = 60;
    ch.BuildWriteRequest(2);
    ASSERT_EQ(ch.FrameLength, 11);
    EXPECT_EQ(ch.TxFrame[6], 60);
    EXPECT_EQ(ch.TxFrame[7], 0);
    EXPECT_EQ(ch.TxFrame[8], 0x23);
    EXPECT_EQ(Crc16(ch.TxFrame.data(), 11, 0xFFFF), 0);
}

TEST(RequestChannel, LargestWriteStaysInsideTheDataWords) {
    // 53 one-byte elements would need 53 values; the channel holds 32, the rest go out as 0.
    RequestChannel ch;
    for (std::size_t i = 0; i < ch.RequestData.size(); ++i) {
        ch.RequestData[i] = 0x100 + static_cast<std::uint32_t>(i) + 1;
    }
    ch.RequestCount = 53;
    ch.BuildWriteRequest(1);
    ASSERT_EQ(ch.FrameLength, 64);
    EXPECT_EQ(ch.TxFrame[8], 1);
    EXPECT_EQ(ch.TxFrame[8 + 31], 32);
    for (int i = 32; i < 53; ++i) {
        EXPECT_EQ(ch.TxFrame[8 + i], 0) << i;
    }
    EXPECT_EQ(ch.TxFrame[61], 0x23);
    EXPECT_EQ(Crc16(ch.TxFrame.data(), 64, 0xFFFF), 0);
}

TEST(ParseReply, GoodReplies) {
    RequestChannel ch;
    const Bytes read500{0x2B, 0x24, 0xF4, 0x01, 0x23, 0x0B, 0x4D};
    EXPECT_EQ(Parse(ch, read500, 'm', 2), 0);
    EXPECT_EQ(ch.Result, ReplyResult::Good);
    ASSERT_EQ(ch.PayloadLength, 2);
    EXPECT_EQ(ch.Payload[0], 0xF4);
    EXPECT_EQ(ch.Payload[1], 0x01);

    EXPECT_EQ(Parse(ch, Bytes{0x2B, 0x24, 0x4F, 0x4B, 0x23, 0x4C, 0x08}, 'M', 0), 0);

    // Read of count 0: "+$#" and the checksum.
    EXPECT_EQ(Parse(ch, WithCrc({0x2B, 0x24, 0x23}), 'm', 0), 0);
    EXPECT_EQ(ch.PayloadLength, 0);

    // A payload may hold the framing characters.
    EXPECT_EQ(Parse(ch, WithCrc({0x2B, 0x24, 0x23, 0x2B, 0x24, 0x23}), 'm', 3), 0);
    EXPECT_EQ(ch.Payload[0], 0x23);
    EXPECT_EQ(ch.Payload[1], 0x2B);
    EXPECT_EQ(ch.Payload[2], 0x24);

    // The no-argument form takes the command from the frame and the count from the channel.
    ch.RequestAddress = 0x0A50;
    ch.RequestCount = 2;
    ch.BuildReadRequest();
    ch.SetReply(read500.data(), read500.size());
    EXPECT_EQ(ToInt(ch.ParseReply()), 0);
    ch.RequestCount = 4;
    ch.SetReply(read500.data(), read500.size());
    EXPECT_EQ(ToInt(ch.ParseReply()), -9);
}

TEST(ParseReply, MalformedReplies) {
    RequestChannel ch;
    const Bytes read500{0x2B, 0x24, 0xF4, 0x01, 0x23, 0x0B, 0x4D};
    // Wrong count: malformed, but the payload is still copied with its own length.
    EXPECT_EQ(Parse(ch, read500, 'm', 4), -9);
    EXPECT_EQ(ch.PayloadLength, 2);
    EXPECT_EQ(ch.Payload[0], 0xF4);
    // No $ after +, no # before the checksum.
    EXPECT_EQ(Parse(ch, WithCrc({0x2B, 0x25, 0xF4, 0x01, 0x23}), 'm', 2), -9);
    EXPECT_EQ(Parse(ch, WithCrc({0x2B, 0x24, 0xF4, 0x01, 0x24}), 'm', 2), -9);
    // A write reply that is not + $ O K #, and a good read reply judged as a write reply.
    EXPECT_EQ(Parse(ch, WithCrc({0x2B, 0x24, 0x4F, 0x4C, 0x23}), 'M', 0), -10);
    EXPECT_EQ(Parse(ch, read500, 'M', 0), -10);
    // The checksum is tested first: damaged shape and checksum give -1.
    EXPECT_EQ(Parse(ch, Bytes{0x2B, 0x25, 0xF4, 0x01, 0x23, 0x0B, 0x4D}, 'm', 2), -1);
    EXPECT_EQ(Parse(ch, Bytes{0x2B, 0x24, 0xF4, 0x01, 0x23, 0x0B, 0x4E}, 'm', 2), -1);
    EXPECT_EQ(Parse(ch, Bytes{0x2B, 0x24, 0x4F, 0x4B, 0x23, 0x4D, 0x08}, 'M', 0), -1);
    // First byte neither + nor -: no checksum test at all.
    EXPECT_EQ(Parse(ch, Bytes{0x24, 0x24, 0xF4, 0x01, 0x23, 0x0B, 0x4D}, 'm', 2), -64);
    EXPECT_EQ(Parse(ch, WithCrc({0x00, 0x24, 0xF4, 0x01, 0x23}), 'm', 2), -64);
}

TEST(ParseReply, ErrorReplies) {
    RequestChannel ch;
    EXPECT_EQ(Parse(ch, WithCrc({0x2D, 0x24, 0x45, 0x05, 0x23}), 'm', 2), -133);
    EXPECT_EQ(Parse(ch, WithCrc({0x2D, 0x24, 0x45, 0x05, 0x23}), 'M', 0), -133);
    EXPECT_EQ(Parse(ch, WithCrc({0x2D, 0x24, 0x45, 0x00, 0x23}), 'm', 2), -128);
    EXPECT_EQ(Parse(ch, WithCrc({0x2D, 0x24, 0x45, 0x01, 0x23}), 'm', 2), -129);
    EXPECT_EQ(Parse(ch, WithCrc({0x2D, 0x24, 0x45, 0xFF, 0x23}), 'm', 2), -383);
    // Wrong shape: -128 whatever the code byte.
    EXPECT_EQ(Parse(ch, WithCrc({0x2D, 0x24, 0x46, 0x05, 0x23}), 'm', 2), -128);
    EXPECT_EQ(Parse(ch, WithCrc({0x2D, 0x24, 0x45, 0x05, 0x24}), 'm', 2), -128);
    // Wrong checksum.
    Bytes bad = WithCrc({0x2D, 0x24, 0x45, 0x05, 0x23});
    bad[5] ^= 0x01;
    EXPECT_EQ(Parse(ch, bad, 'm', 2), -1);
}

TEST(ParseReply, ShortRepliesNeverReadOutsideTheReply) {
    RequestChannel ch;
    // A previous long reply leaves nothing behind that a short one could pick up.
    const Bytes okWrite{0x2B, 0x24, 0x4F, 0x4B, 0x23, 0x4C, 0x08};
    EXPECT_EQ(Parse(ch, okWrite, 'M', 0), 0);

    EXPECT_EQ(Parse(ch, Bytes{}, 'M', 0), -64);
    EXPECT_EQ(Parse(ch, Bytes{0x2B}, 'M', 0), -1);
    EXPECT_EQ(Parse(ch, Bytes{0x2D}, 'm', 2), -1);
    EXPECT_EQ(Parse(ch, Bytes{0x2B, 0x24}, 'm', 2), -1);
    // "+" with a correct checksum: no room for data, the payload becomes empty.
    ch.PayloadLength = 9;
    EXPECT_EQ(Parse(ch, WithCrc({0x2B}), 'm', 0), -9);
    EXPECT_EQ(ch.PayloadLength, 0);
    EXPECT_EQ(Parse(ch, WithCrc({0x2B, 0x24}), 'm', 0), -9);
    EXPECT_EQ(ch.PayloadLength, 0);
    EXPECT_EQ(Parse(ch, WithCrc({0x2B}), 'M', 0), -10);
    EXPECT_EQ(Parse(ch, WithCrc({0x2D}), 'M', 0), -128);
}

TEST(ParseReply, OversizedRepliesAreCutAtTheBuffers) {
    RequestChannel ch;
    // More than the reply buffer: cut at 128 bytes, and the cut frame fails its checksum.
    Bytes huge{0x2B, 0x24};
    huge.resize(200, 0x55);
    EXPECT_EQ(ch.SetReply(huge.data(), huge.size()), 128u);
    EXPECT_EQ(ch.ReplyLength, 128);
    EXPECT_EQ(ch.Reply[128], 0);
    EXPECT_EQ(ToInt(ch.ParseReply('m', 195)), -1);

    // A well-formed reply with more data than the payload buffer holds: the payload is cut at
    // 64 bytes and the reply is not reported good, even when the count matches.
    Bytes big{0x2B, 0x24};
    for (int i = 0; i < 100; ++i) {
        big.push_back(static_cast<std::uint8_t>(i));
    }
    big.push_back(0x23);
    big = WithCrc(big);
    EXPECT_EQ(Parse(ch, big, 'm', 100), -9);
    EXPECT_EQ(ch.PayloadLength, 64);
    EXPECT_EQ(ch.Payload[63], 63);

    // A reply length set directly beyond the buffer is taken as the whole buffer.
    ch.SetReply(huge.data(), huge.size());
    ch.ReplyLength = 1000;
    EXPECT_EQ(ToInt(ch.ParseReply('m', 195)), -1);
    ch.SetReply(big.data(), big.size());
    ch.ReplyLength = 1000;
    EXPECT_EQ(ToInt(ch.ParseReply('m', 123)), -9);
    EXPECT_EQ(ch.PayloadLength, 64);
}

}  // namespace
}  // namespace kestrova
