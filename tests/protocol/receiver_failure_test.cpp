// Receiver: time-outs, late replies, the hold after a failed exchange, and untrusted replies.
#include <gtest/gtest.h>

#include <functional>

#include "common/enum_int.h"
#include "protocol_fixture.h"

namespace kestrova::test {
namespace {

using ReceiverTest = ProtocolTest;

TEST_F(ReceiverTest, TimedOutRepliesAreJudgedOnlyFromSevenBytes) {
    // A 4-byte read expects 9 bytes; a 7-byte error reply with code 2 times out and is judged.
    PointRecord& p = Define(11, TypeS32, PtNetRead, 0x0800);
    p.RawValue = 9;
    line.responder = [](FakeSerialLine& l, const std::uint8_t*, int) { l.Arrive(ErrorReply(2)); };
    RequestRead(11);
    Tick();  // sends
    ASSERT_EQ(line.frameCount, 1);
    const int block = proto.BlockCursor();
    // The limit is 38 polls of half a millisecond, 19 ms from the request's departure.
    Ticks(18);
    EXPECT_EQ(port.TransferState(), PortTransferState::Receiving);
    EXPECT_EQ(p.Msg_Flags & MsgReadError, 0u);
    Tick();  // 19 ms after the request left: the limit runs out on this tick's second poll
    EXPECT_EQ(port.TransferState(), PortTransferState::Failed);
    Tick();  // this tick's protocol poll judges the 7 bytes
    EXPECT_EQ(Block(block).Result, ExchangeResult{.reply = static_cast<ReplyResult>(-130)});
    EXPECT_EQ(p.Msg_Flags & MsgReadError, MsgReadError);
    EXPECT_EQ(p.Msg_Flags & MsgReadRequest, MsgReadRequest);  // persistent: tried again
    EXPECT_EQ(p.Read_Idx, -1);
    EXPECT_EQ(p.Msg_Count, 0);
    EXPECT_EQ(p.RawValue, 9);
    // The error reply came whole: nothing more of it is coming, so the next cycle's read waits
    // only 3.5 characters (0.9 ms at 38400 baud) and leaves in the next tick.
    Tick();
    EXPECT_EQ(p.Read_Idx, 1);
    EXPECT_EQ(line.frameCount, 2);

    // Six bytes are too few to judge: the result is the time-out.
    line.responder = [](FakeSerialLine& l, const std::uint8_t*, int) {
        const FrameBytes f = ErrorReply(2);
        l.Arrive(f.bytes.data(), 6);
    };
    const int before = line.frameCount;
    ASSERT_TRUE(TickUntil([&] { return line.frameCount > before; }));
    const int block2 = proto.BlockCursor();
    ASSERT_TRUE(TickUntil([&] { return proto.ProtocolState() != PollState::AwaitReply; }));
    EXPECT_EQ(Block(block2).Result, ExchangeResult{.transferError = PortErrorCode::ReplyTimeout});
    EXPECT_EQ(ToInt(Block(block2).Result.transferError), 16642);

    // A line error ends the exchange with its code, without a parse.
    line.responder = [](FakeSerialLine& l, const std::uint8_t*, int) {
        l.pendingErrors = CE_FRAME;
        l.Arrive(GoodReadReply({1, 0, 0, 0}));
    };
    const int before3 = line.frameCount;
    ASSERT_TRUE(TickUntil([&] { return line.frameCount > before3; }));
    const int block3 = proto.BlockCursor();
    ASSERT_TRUE(TickUntil([&] { return proto.ProtocolState() != PollState::AwaitReply; }));
    EXPECT_EQ(Block(block3).Result, ExchangeResult{.transferError = PortErrorCode::FramingError});
    EXPECT_EQ(p.RawValue, 9);
}

TEST_F(ReceiverTest, ALateReplyIsNotTakenForTheNextPointsReply) {
    // Point 13's reply comes only after its time limit, just before point 16's read goes out.
    // Frames carry no address: were the late bytes kept, they would complete point 16's reply.
    PointRecord& slow = Define(13, TypeS16, PtNetRead, 0x0A54);
    PointRecord& next = Define(16, TypeS16, PtNetRead, 0x0A58);
    int frames = 0;
    line.responder = [&frames](FakeSerialLine& l, const std::uint8_t*, int) {
        if (++frames == 2) l.Arrive(GoodReadReply({0xAF, 0x07}));  // 1967, point 16's value
    };
    RequestRead(13);
    RequestRead(16);
    ASSERT_TRUE(TickUntil([&] { return (slow.Msg_Flags & MsgReadError) != 0; }));
    line.Arrive(GoodReadReply({80, 0}));  // point 13's reply, too late
    ASSERT_TRUE(TickUntil([&] { return next.Msg_Count > 0 || (next.Msg_Flags & MsgReadError); }));
    EXPECT_EQ(next.RawValue, 1967);
    EXPECT_EQ(next.Msg_Flags & MsgReadError, 0u);
    EXPECT_EQ(slow.RawValue, 0);
    EXPECT_EQ(line.Queued(), 0);
}

TEST_F(ReceiverTest, ALateReplyArrivingWhenTheNextRequestWouldLeaveIsDropped) {
    // The first exchange times out and its reply comes the given number of ticks (milliseconds)
    // later: just when the next request would go out, or 200 ms on. Frames carry no address: a
    // late write acknowledgement reads as a good 2-byte read of 0x4B4F (19279), and a late read
    // reply as the next point's value.
    struct Case {
        const char* name;
        int late, next;
        bool write;
        FrameBytes reply;
        int lateTicks;
    };
    const Case cases[] = {
        {"write acknowledgement", 13, 16, true, GoodWriteReply(), 1},
        {"read reply of another point", 23, 26, false, GoodReadReply({80, 0}), 1},
        {"read reply 200 ms after its time-out", 33, 36, false, GoodReadReply({80, 0}), 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        line.responder = nullptr;  // the controller is slow to answer the first request
        PointRecord& late = Define(c.late, TypeS16, PtNetReadWrite, 0x0A00 + 4 * c.late);
        PointRecord& next = Define(c.next, TypeS16, PtNetRead, 0x0A00 + 4 * c.next);
        controller.Put16(static_cast<std::uint32_t>(next.Address), 1967);
        if (c.write) {
            db.WritePoint(c.late, 80.0);
        } else {
            RequestRead(c.late);
        }
        RequestRead(c.next);
        const int framesBefore = line.frameCount;
        const std::uint32_t lateError = c.write ? MsgWriteError : MsgReadError;
        ASSERT_TRUE(TickUntil([&] { return (late.Msg_Flags & lateError) != 0; }));
        Ticks(c.lateTicks);
        ASSERT_EQ(line.frameCount, framesBefore + 1);  // nothing went out meanwhile
        const std::uint64_t dropped = port.LateBytesDropped();
        line.Arrive(c.reply);
        controller.Attach(line);

        ASSERT_TRUE(
            TickUntil([&] { return next.Msg_Count > 0 || (next.Msg_Flags & MsgReadError); }));
        EXPECT_EQ(next.RawValue, 1967);
        EXPECT_EQ(next.Msg_Flags & MsgReadError, 0u);
        EXPECT_EQ(port.LateBytesDropped(), dropped + static_cast<std::uint64_t>(c.reply.length));
        ASSERT_TRUE(TickUntil([&] {
            return !db.PointWriteBusy(c.late) && (late.Msg_Flags & MsgReadRequest) == 0 &&
                   late.Read_Idx == -1;
        }));
    }
}

TEST_F(ReceiverTest, AFailedExchangeHoldsTheNextRequestForAsLongAsItsReplyMayStillCome) {
    // Point 13's exchange ends as the row says; point 16's read follows in the same cycle. A whole
    // frame leaves nothing on its way: the next request waits only 3.5 characters (under a
    // millisecond at 38400 baud). After a line error or a time-out the rest may still come: it
    // waits the late-reply horizon of 250 ms (a tick is a millisecond).
    db.SetPersistantMode(false);
    Define(13, TypeS16, PtNetRead, 0x0A54);
    PointRecord& next = Define(16, TypeS16, PtNetRead, 0x0A58);
    FrameBytes damaged = GoodReadReply({1, 0});
    damaged.bytes[static_cast<std::size_t>(damaged.length - 1)] ^= 0x5A;
    struct Case {
        const char* name;
        std::function<void(FakeSerialLine&)> answer;
        int minTicks, maxTicks;
    };
    const Case cases[] = {
        {"good reply",
         [](FakeSerialLine& l) {
             l.Arrive(GoodReadReply({1, 0}));
         },
         1, 1},
        {"error reply", [](FakeSerialLine& l) { l.Arrive(ErrorReply(2)); }, 1, 2},
        {"checksum error", [&](FakeSerialLine& l) { l.Arrive(damaged); }, 1, 2},
        {"line error",
         [](FakeSerialLine& l) {
             l.pendingErrors = CE_FRAME;
             l.Arrive(GoodReadReply({1, 0}));
         },
         250, 251},
        {"no reply", [](FakeSerialLine&) {}, 250, 251},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        line.responder = [&c](FakeSerialLine& l, const std::uint8_t* frame, int) {
            if (frame[2] == 0x54) {
                c.answer(l);
            } else {
                l.Arrive(GoodReadReply({7, 0}));
            }
        };
        const std::int64_t first = line.frameCount + 1;
        const int count = next.Msg_Count;
        RequestRead(13);
        RequestRead(16);
        ASSERT_TRUE(TickUntil([&] { return line.frameCount == first && Pt(13).Read_Idx == -1; }));
        int ticks = 0;
        while (line.frameCount == first && ticks < 400) {
            Tick();
            ++ticks;
        }
        EXPECT_GE(ticks, c.minTicks);
        EXPECT_LE(ticks, c.maxTicks);
        ASSERT_TRUE(TickUntil([&] { return next.Msg_Count == count + 1; }));
    }
}

TEST_F(ReceiverTest, UntrustedRepliesStayInsideTheirBuffers) {
    // A 40-byte block read expects 45 bytes. 40 arrive, then a 128-byte chunk: the port holds
    // 168 bytes, the channel keeps 128 and finds no valid frame there.
    PointRecord& p4 = Define(BlockReadPoint, TypeU8, PtNetRead, 0x1000);
    p4.Mem_Type = 0x00000128;
    line.responder = [](FakeSerialLine& l, const std::uint8_t*, int) {
        FrameBytes f;
        f.Push('+');
        f.Push('$');
        for (int i = 0; i < 38; ++i) f.Push(0xAA);
        l.Arrive(f);
    };
    RequestRead(BlockReadPoint);
    Tick();
    ASSERT_EQ(proto.ProtocolState(), PollState::AwaitReply);
    FrameBytes tail;
    for (int i = 0; i < 128; ++i) tail.Push(0xBB);
    line.Arrive(tail);
    Tick();
    EXPECT_EQ(proto.ProtocolState(), PollState::NextBlock);
    EXPECT_EQ(proto.Channel().ReplyLength, 128);
    EXPECT_EQ(proto.Channel().Reply[128], 0);
    EXPECT_EQ(Block(1).Result, ExchangeResult{.reply = ReplyResult::ChecksumError});
    EXPECT_EQ(proto.BlockStore()[0][0], 0);
    EXPECT_EQ(p4.Msg_Flags & MsgReadError, MsgReadError);

    // A point's data type changed while its read was in flight: the stored values never go past
    // the last point. Point 38 was asked for 4 bytes and is now a one-byte point: the four bytes
    // would fill points 38 to 41; 38 and 39 get theirs and the walk stops.
    line.responder = nullptr;
    Define(38, TypeS32, PtNetRead, 0x0B00);
    Define(39, TypeU8, PtNetRead, 0x0B04);
    RequestRead(38);
    // The block read above keeps failing: each request leaves once the line has been quiet.
    ASSERT_TRUE(TickUntil([&] {
        return proto.ProtocolState() == PollState::AwaitReply &&
               Block(proto.BlockCursor()).PointNo == 38 &&
               port.TransferState() == PortTransferState::Receiving;
    }));
    Pt(38).Pt_Flags = TypeU8 | PtNetRead;
    line.Arrive(GoodReadReply({7, 8, 9, 10}));
    ASSERT_TRUE(TickUntil([&] { return Pt(38).Msg_Count == 1; }));
    EXPECT_EQ(Pt(38).RawValue, 7);
    EXPECT_EQ(Pt(39).RawValue, 8);

    // The same with a type that has no size: the walk no longer advances through the payload,
    // and still ends at the last point.
    RequestRead(38);
    Pt(38).Pt_Flags = TypeS32 | PtNetRead;
    ASSERT_TRUE(TickUntil([&] {
        return proto.ProtocolState() == PollState::AwaitReply &&
               Block(proto.BlockCursor()).PointNo == 38 &&
               port.TransferState() == PortTransferState::Receiving;
    }));
    Pt(38).Pt_Flags = TypeNoSize | PtNetRead;
    Pt(39).RawValue = 5;
    line.Arrive(GoodReadReply({7, 8, 9, 10}));
    ASSERT_TRUE(TickUntil([&] { return Pt(38).Msg_Count == 2; }));
    EXPECT_EQ(Pt(38).RawValue, 0);
    EXPECT_EQ(Pt(39).RawValue, 0);
}

}  // namespace
}  // namespace kestrova::test
