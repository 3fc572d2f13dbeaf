// Exchange trace: the ring keeps the last exchanges oldest first, and the text writer gives each
// its time, point, decoded value, bytes both ways and result in words.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "protocol/trace_writer.h"
#include "protocol_fixture.h"
#include "support/reply_frames.h"

namespace kestrova::test {
namespace {

TEST(ExchangeTraceTest, KeepsTheLastExchangesOldestFirst) {
    ExchangeTrace trace(3);
    for (int i = 1; i <= 5; ++i) trace.Next().timeMs = i;
    ASSERT_EQ(trace.Size(), 3u);
    EXPECT_EQ(trace.At(0).timeMs, 3);
    EXPECT_EQ(trace.At(2).timeMs, 5);
    trace.Clear();
    trace.Next().timeMs = 9;
    ASSERT_EQ(trace.Size(), 1u);
    EXPECT_EQ(trace.At(0).timeMs, 9);
    EXPECT_EQ(ExchangeTrace().Capacity(), 10000u);
}

using TraceWriterTest = ProtocolTest;

TEST_F(TraceWriterTest, EachLineNamesItsPointValueBytesAndResult) {
    proto.SetWallClock([] { return std::int64_t{1714566896789}; });  // 2024-05-01T12:34:56.789Z
    Define(16, TypeS16, PtNetRead, 0x0A58).ScaleMult = 0.5;
    Pt(16).ScaleMin = -1000;
    Pt(16).ScaleMax = 1000;
    db.SetPointName(16, "Pan_Output");
    Define(26, TypeS16, PtNetRead, 0x0A5A);
    db.SetPointName(26, "Tilt_Output");
    Define(36, TypeS16, PtNetRead, 0x0A5C);
    Define(10, TypeS16, PtNetReadWrite, 0x0A50);
    db.SetPointName(10, "Pan_PosAdjust");
    line.responder = [](FakeSerialLine& l, const std::uint8_t* frame, int) {
        if (frame[1] == WriteCommandChar) l.Arrive(GoodWriteReply());
        if (frame[2] == 0x58) l.Arrive(GoodReadReply({0xF4, 0x01}));  // 500
        if (frame[2] == 0x5A) l.Arrive(ErrorReply(0x10));
        // 0x5C (point 36) gets no reply
    };
    db.WritePoint(10, 7);
    RequestRead(16);
    RequestRead(26);
    RequestRead(36);
    ASSERT_TRUE(TickUntil([&] { return proto.Trace().Size() == 4; }));

    std::ostringstream text;
    WriteExchangeTrace(text, proto.Trace(), db);
    std::vector<std::string> lines;
    std::istringstream in(text.str());
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0],
              "2024-05-01T12:34:56.789Z block 01 write point 10 Pan_PosAdjust address 0x0A50 "
              "count 2 value 7 (7) tx 24 4D 50 0A 00 00 02 00 07 00 23 DE 9E rx 2B 24 4F 4B 23 "
              "4C 08 : good");
    EXPECT_NE(lines[1].find("read  point 16 Pan_Output address 0x0A58 count 2 value 500 (250) "
                            "tx 24 6D 58 0A 00 00 02 00 23"),
              std::string::npos)
        << lines[1];
    EXPECT_NE(lines[1].find("rx 2B 24 F4 01 23 0B 4D : good"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("point 26 Tilt_Output"), std::string::npos) << lines[2];
    EXPECT_NE(lines[2].find("value - "), std::string::npos) << lines[2];
    EXPECT_NE(lines[2].find(": error reply (code 0x10)"), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find("point 36 "), std::string::npos) << lines[3];
    EXPECT_NE(lines[3].find("rx - : time-out"), std::string::npos) << lines[3];
}

}  // namespace
}  // namespace kestrova::test
