#include "port/telnet_codec.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace kestrova::telnet {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Feeds the parts one Decode call each and returns the data bytes.
Bytes DecodeParts(Decoder& decoder, const std::vector<Bytes>& parts) {
    Bytes data;
    for (const Bytes& part : parts) {
        Bytes out(part.size());
        out.resize(decoder.Decode(part.data(), part.size(), out.data()));
        data.insert(data.end(), out.begin(), out.end());
    }
    return data;
}

Bytes Replies(Decoder& decoder) {
    Bytes replies(decoder.Replies(), decoder.Replies() + decoder.ReplyLength());
    decoder.Consumed(decoder.ReplyLength());
    return replies;
}

TEST(TelnetDecoder, DataAndEscapesSplitAnywhere) {
    // A baud answer of 0x0000FFFF (escaped) between data holding an escaped 0xFF; every way of
    // cutting the stream in two decodes alike.
    const Bytes stream = {1,   Iac, Iac, 2,   Iac, Sb, OptComPort, 101,           0, 0, Iac,
                          Iac, Iac, Iac, Iac, Se,  3,  Iac,        241 /* NOP */, 4};
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        Decoder decoder;
        const Bytes data = DecodeParts(
            decoder, {Bytes(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut)),
                      Bytes(stream.begin() + static_cast<std::ptrdiff_t>(cut), stream.end())});
        EXPECT_EQ(data, (Bytes{1, 0xFF, 2, 3, 4})) << "cut at " << cut;
        EXPECT_EQ(decoder.ComPort().baud, 0xFFFFu) << "cut at " << cut;
        EXPECT_EQ(decoder.ComPort().answers, 1u);
    }
}

TEST(TelnetDecoder, NegotiationAnswers) {
    struct Row {
        Bytes received;
        Bytes answer;
    };
    const Row rows[] = {
        {{Iac, Do, 1 /* ECHO */}, {Iac, Wont, 1}},           // unknown, this side: refused
        {{Iac, Will, 1}, {Iac, Dont, 1}},                    // unknown, the server: refused
        {{Iac, Dont, 1}, {}},                                // already off: no answer
        {{Iac, Do, OptComPort}, {}},                         // asked for at start: agreed
        {{Iac, Will, OptBinary}, {}},                        // asked for at start
        {{Iac, Will, OptComPort}, {Iac, Do, OptComPort}},    // the server's own: accepted
        {{Iac, Wont, OptBinary, Iac, Wont, OptBinary}, {}},  // refusal of a request
    };
    for (const Row& row : rows) {
        Decoder decoder;
        decoder.Start();
        EXPECT_EQ(Replies(decoder),
                  (Bytes{Iac, Will, OptBinary, Iac, Do, OptBinary, Iac, Will, OptSuppressGoAhead,
                         Iac, Do, OptSuppressGoAhead, Iac, Will, OptComPort}));
        EXPECT_TRUE(DecodeParts(decoder, {row.received}).empty());
        EXPECT_EQ(Replies(decoder), row.answer)
            << int{row.received[1]} << " " << int{row.received[2]};
    }
    Decoder decoder;
    decoder.Start();
    EXPECT_FALSE(decoder.ComPortAccepted());
    DecodeParts(decoder, {{Iac, Do, OptComPort}});
    EXPECT_TRUE(decoder.ComPortAccepted());
}

TEST(TelnetDecoder, ComPortAnswersAndLineState) {
    Decoder decoder;
    DecodeParts(decoder,
                {{Iac, Sb,  OptComPort, 102, 7,  Iac,        Se,  Iac, Sb,  OptComPort, 103,
                  3,   Iac, Se,         Iac, Sb, OptComPort, 104, 2,   Iac, Se},
                 {Iac, Sb, OptComPort, 106, 0x7E, Iac, Se}});
    EXPECT_EQ(decoder.ComPort().dataSize, 7);
    EXPECT_EQ(decoder.ComPort().parity, 3);
    EXPECT_EQ(decoder.ComPort().stopSize, 2);
    EXPECT_EQ(decoder.TakeLineErrors(), LineErrorMask);
    EXPECT_EQ(decoder.TakeLineErrors(), 0);
}

TEST(TelnetDecoder, OverlongSubNegotiationDroppedAndFloodBounded) {
    Decoder decoder;
    Bytes overlong = {Iac, Sb, OptComPort, 101};
    overlong.insert(overlong.end(), 40, 1);
    overlong.insert(overlong.end(), {Iac, Se, 9});
    EXPECT_EQ(DecodeParts(decoder, {overlong}), Bytes{9});
    EXPECT_EQ(decoder.ComPort().answers, 0u);

    Bytes flood;
    for (int i = 0; i < 100; ++i) flood.insert(flood.end(), {Iac, Do, 1});
    DecodeParts(decoder, {flood});
    EXPECT_EQ(decoder.ReplyLength(), Decoder::ReplyCapacity);
    EXPECT_EQ(decoder.RepliesDropped(), 100u - Decoder::ReplyCapacity / 3);
}

TEST(TelnetEncoder, CommandsAndDataEscaped) {
    std::array<std::uint8_t, MaxCommandBytes> frame{};
    const std::size_t length = BuildCommand(SetBaudRate, 0x00FF96FF, 4, frame.data());
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(length)),
              (Bytes{Iac, Sb, OptComPort, SetBaudRate, 0, Iac, Iac, 0x96, Iac, Iac, Iac, Se}));

    const Bytes data = {1, 0xFF, 2, 0xFF};
    std::array<std::uint8_t, 5> out{};
    std::size_t consumed = 0;
    // Room for five bytes: the last 0xFF would not fit doubled and is left for later.
    EXPECT_EQ(EscapeData(data.data(), data.size(), out.data(), out.size(), consumed), 4u);
    EXPECT_EQ(consumed, 3u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), (Bytes{1, 0xFF, 0xFF, 2}));
}

}  // namespace
}  // namespace kestrova::telnet
