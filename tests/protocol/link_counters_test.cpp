// Link counters: which count each exchange result raises, the reply times, the last failure, and
// the receiver counting its exchanges with the time from its clock.
#include <gtest/gtest.h>

#include <cstdint>

#include "protocol/link_counters.h"
#include "protocol_fixture.h"

namespace kestrova::test {
namespace {

struct CountRow {
    ExchangeResult result;
    std::uint64_t LinkCounters::*counter;
    const char* text;
};

TEST(LinkCountersTest, EachResultRaisesItsOwnCountAndHasItsWords) {
    const CountRow rows[] = {
        {{}, &LinkCounters::goodReplies, "good"},
        {{.transferError = PortErrorCode::ReplyTimeout}, &LinkCounters::timeouts, "time-out"},
        {{.reply = ReplyResult::ChecksumError}, &LinkCounters::checksumErrors, "checksum error"},
        {{.reply = ErrorReplyResult(16)}, &LinkCounters::errorReplies, "error reply"},
        {{.reply = ReplyResult::ErrorReply}, &LinkCounters::errorReplies, "error reply"},
        {{.reply = ReplyResult::ReadMalformed},
         &LinkCounters::malformedReplies,
         "malformed read reply"},
        {{.reply = ReplyResult::WriteMalformed},
         &LinkCounters::malformedReplies,
         "malformed write reply"},
        {{.reply = ReplyResult::UnknownStart},
         &LinkCounters::malformedReplies,
         "unknown reply start"},
        {{.transferError = PortErrorCode::FramingError},
         &LinkCounters::framingErrors,
         "framing error"},
        {{.transferError = PortErrorCode::OverrunError},
         &LinkCounters::overrunErrors,
         "overrun error"},
        {{.transferError = PortErrorCode::InputOverflow},
         &LinkCounters::inputOverflows,
         "input overflow"},
        {{.transferError = PortErrorCode::ParityError},
         &LinkCounters::parityErrors,
         "parity error"},
        {{.transferError = PortErrorCode::LineError}, &LinkCounters::otherLineErrors, "line error"},
    };
    for (const CountRow& row : rows) {
        SCOPED_TRACE(row.text);
        LinkCounters c;
        c.Count(row.result, 4, 1000, 11);
        EXPECT_EQ(c.exchanges, 1u);
        EXPECT_EQ(c.*row.counter, 1u);
        // No other count moved: the sum of all of them is the one exchange.
        const std::uint64_t sum = c.goodReplies + c.timeouts + c.checksumErrors + c.errorReplies +
                                  c.malformedReplies + c.LineErrors();
        EXPECT_EQ(sum, 1u);
        EXPECT_STREQ(ExchangeResultText(row.result), row.text);
    }
    EXPECT_EQ(ErrorReplyCode({.reply = ErrorReplyResult(16)}), 16);
    EXPECT_EQ(ErrorReplyCode({.reply = ReplyResult::ChecksumError}), -1);
}

TEST(LinkCountersTest, ReplyTimesOfGoodRepliesAndTheLastFailure) {
    LinkCounters c;
    EXPECT_EQ(c.GoodPercent(), 0.0);
    EXPECT_EQ(c.ReplyMsMean(), 0.0);
    c.Count({}, 3000, 100, 11);
    c.Count({}, 1000, 200, 21);
    c.Count({.transferError = PortErrorCode::ReplyTimeout}, 17000, 300, 16);  // no reply time
    c.Count({}, 2000, 400, 31);
    c.Count({.reply = ReplyResult::ChecksumError}, 4000, 500, 26);
    EXPECT_EQ(c.ReplyMsMin(), 1.0);
    EXPECT_EQ(c.ReplyMsMean(), 2.0);
    EXPECT_EQ(c.ReplyMsMax(), 3.0);
    EXPECT_EQ(c.GoodPercent(), 60.0);
    EXPECT_EQ(c.Failures(), 2u);
    EXPECT_EQ(c.lastFailure, (ExchangeResult{.reply = ReplyResult::ChecksumError}));
    EXPECT_EQ(c.lastFailurePoint, 26);
    EXPECT_EQ(c.lastFailureTimeMs, 500);
    c.Reset();
    EXPECT_EQ(c.exchanges, 0u);
    EXPECT_EQ(c.lastFailurePoint, -1);
}

using ReceiverCountsTest = ProtocolTest;

TEST_F(ReceiverCountsTest, CountsEveryExchangeWithItsReplyTimeAndTheClocksTime) {
    std::int64_t now = 5000;
    proto.SetWallClock([&now] { return now; });
    Define(11, TypeS16, PtNetRead, 0x0A52);
    Define(16, TypeS16, PtNetRead, 0x0A58);
    line.responder = [](FakeSerialLine& l, const std::uint8_t* frame, int) {
        if (frame[2] == 0x52) l.Arrive(GoodReadReply({1, 0}));  // point 11 answers at once
    };
    RequestRead(11);
    RequestRead(16);
    ASSERT_TRUE(TickUntil([&] { return proto.LinkStatistics().exchanges == 2; }));
    now = 7000;
    // Bytes arriving while nothing is awaited are dropped and counted with the rest.
    line.Arrive(GoodReadReply({2, 0}));
    RequestRead(11);
    ASSERT_TRUE(TickUntil([&] { return proto.LinkStatistics().exchanges == 3; }));

    LinkCounters c = proto.LinkStatistics();
    EXPECT_EQ(c.goodReplies, 2u);
    EXPECT_EQ(c.timeouts, 1u);
    EXPECT_EQ(c.lastFailurePoint, 16);
    EXPECT_EQ(c.lastFailureTimeMs, 5000);
    // The fake line answers as the request is written; the reply is read in the same poll, before
    // the clock moves on.
    EXPECT_EQ(c.replyMicrosMin, 0);
    EXPECT_EQ(c.replyMicrosMax, 0);
    EXPECT_EQ(c.lateBytesDropped, 7u);

    proto.ResetLinkStatistics();
    c = proto.LinkStatistics();
    EXPECT_EQ(c.exchanges, 0u);
    EXPECT_EQ(c.lateBytesDropped, 0u);
}

}  // namespace
}  // namespace kestrova::test
