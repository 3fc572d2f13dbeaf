// Receiver: the poll state machine over the real port driver, the storing of replies into points,
// error results and marks, the block read of point 4, and untrusted replies.
#include <gtest/gtest.h>

#include <functional>

#include "common/enum_int.h"
#include "protocol_fixture.h"
#include "support/alloc_counter.h"

namespace kestrova::test {
namespace {

using ReceiverTest = ProtocolTest;

TEST_F(ReceiverTest, ServesPendingBlocksInOrderOneExchangePerTwoTicks) {
    controller.Attach(line);
    controller.Put16(0x0A50, 100);
    controller.Put16(0x0A52, 200);
    controller.Put16(0x0A54, 300);
    for (int i = 0; i < 3; ++i) {
        Define(20 + i, TypeS16, PtNetRead, 0x0A50 + 2 * i);
        RequestRead(20 + i);
    }

    // Nothing pending yet: the first call ends the empty cycle, schedules, and sends block 1.
    Tick();
    EXPECT_EQ(line.frameCount, 1);
    EXPECT_EQ(proto.ProtocolState(), PollState::AwaitReply);
    EXPECT_EQ(proto.BlockCursor(), 1);
    Tick();  // reply handled; the next block waits for the next call
    EXPECT_EQ(line.frameCount, 1);
    EXPECT_EQ(proto.ProtocolState(), PollState::NextBlock);
    EXPECT_EQ(Pt(20).RawValue, 100);
    Tick();
    EXPECT_EQ(line.frameCount, 2);
    Ticks(3);
    EXPECT_EQ(line.frameCount, 3);
    EXPECT_EQ(FrameAddress(line.Frame(0)), 0x0A50u);
    EXPECT_EQ(FrameAddress(line.Frame(1)), 0x0A52u);
    EXPECT_EQ(FrameAddress(line.Frame(2)), 0x0A54u);
    EXPECT_EQ(Pt(21).RawValue, 200);
    EXPECT_EQ(Pt(22).RawValue, 300);
    for (int p = 20; p < 23; ++p) {
        EXPECT_EQ(Pt(p).Msg_Count, 1);
        EXPECT_EQ(Pt(p).Msg_Flags, 0u);
        EXPECT_EQ(Pt(p).Read_Idx, -1);
    }

    // With nothing left the cycle ends on every call and nothing is sent.
    Ticks(10);
    EXPECT_EQ(line.frameCount, 3);
    EXPECT_EQ(proto.ProtocolState(), PollState::NextBlock);
    EXPECT_EQ(proto.BlockCursor(), 0);

    // A new request is picked up at the next cycle end.
    RequestRead(21);
    Tick();
    EXPECT_EQ(line.frameCount, 4);
}

TEST_F(ReceiverTest, GoodRepliesAreStoredUnlessAWriteIsPending) {
    // Signed 16-bit F4 FF is -12, scaled with 0.5 and offset 1 to -5.
    PointRecord& p10 = Define(10, TypeS16, PtNetReadWrite, 0x0A50);
    p10.ScaleMult = 0.5;
    p10.ScaleOffset = 1.0;
    controller.Attach(line);
    controller.memory[0x0A50] = 0xF4;
    controller.memory[0x0A51] = 0xFF;
    RequestRead(10);
    ASSERT_TRUE(TickUntil([&] { return p10.Msg_Count == 1; }));
    EXPECT_EQ(p10.RawValue, -12);
    EXPECT_DOUBLE_EQ(p10.ScaledValue, -5.0);
    EXPECT_EQ(p10.Pt_Flags & PtRawChanged, 0u);
    EXPECT_EQ(p10.Msg_Flags, 0u);
    EXPECT_TRUE(Block(proto.BlockCursor()).Result.Good());

    // The operator writes while a read of the point is in flight: the old value read back is
    // dropped, the read still ends well and counts.
    controller.silent = true;
    RequestRead(10);
    ASSERT_TRUE(TickUntil(
        [&] { return p10.Read_Idx != -1 && proto.ProtocolState() == PollState::AwaitReply; }));
    db.WritePoint(10, 41.0);  // raw 80
    line.Arrive(GoodReadReply({0x01, 0x00}));
    ASSERT_TRUE(TickUntil([&] { return p10.Msg_Count == 2; }));
    EXPECT_EQ(p10.RawValue, 80);
    EXPECT_DOUBLE_EQ(p10.ScaledValue, 41.0);
    EXPECT_EQ(p10.Read_Idx, -1);
    EXPECT_EQ(p10.Msg_Flags & (MsgReadRequest | MsgReadError), 0u);
    EXPECT_EQ(p10.Msg_Flags & MsgWriteRequest, MsgWriteRequest);

    // The write then goes out with the operator's value.
    controller.silent = false;
    ASSERT_TRUE(TickUntil([&] { return p10.Msg_Count == 3; }));
    EXPECT_EQ(controller.Get16(0x0A50), 80);
    EXPECT_EQ(p10.Msg_Flags, 0u);

    // Points 2 and 3 are read as one byte at address 0 whose value is not kept.
    Define(3, TypeS16, PtNetRead, 0x0A52);
    Pt(3).RawValue = 77;
    controller.memory[0] = 5;
    RequestRead(3);
    ASSERT_TRUE(TickUntil([&] { return Pt(3).Msg_Count == 1; }));
    EXPECT_EQ(Pt(3).RawValue, 77);
    EXPECT_EQ(FrameAddress(line.LastFrame()), 0u);
    EXPECT_EQ(FrameCount(line.LastFrame()), 1);

    // A type without a size reads zero bytes and stores 0.
    Define(14, TypeNoSize, PtNetRead, 0x0A60);
    Pt(14).RawValue = 55;
    RequestRead(14);
    ASSERT_TRUE(TickUntil([&] { return Pt(14).Msg_Count == 1; }));
    EXPECT_EQ(Pt(14).RawValue, 0);
}

TEST_F(ReceiverTest, MsgCountRunsToOneThousandAndOneThenWraps) {
    controller.Attach(line);
    Define(6, TypeU8, PtNetRead, 0x0A04);
    Pt(6).Msg_Count = 1000;
    RequestRead(6);
    ASSERT_TRUE(TickUntil([&] { return Pt(6).Msg_Flags == 0; }));
    EXPECT_EQ(Pt(6).Msg_Count, 1001);
    RequestRead(6);
    ASSERT_TRUE(TickUntil([&] { return Pt(6).Msg_Flags == 0; }));
    EXPECT_EQ(Pt(6).Msg_Count, 0);

    // A failed exchange does not count.
    Define(7, TypeU8, PtNetRead, 0x3000);  // past the controller's memory: error reply
    Pt(7).Msg_Count = 5;
    RequestRead(7);
    ASSERT_TRUE(TickUntil([&] { return (Pt(7).Msg_Flags & MsgReadError) != 0; }));
    EXPECT_EQ(Pt(7).Msg_Count, 5);
}

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

TEST_F(ReceiverTest, FailedWritesKeepTheirRequestAndErrorBits) {
    PointRecord& p = Define(17, TypeU8, PtNetReadWrite, 0x0A5A);
    line.responder = [](FakeSerialLine& l, const std::uint8_t*, int) { l.Arrive(ErrorReply(5)); };
    db.WritePoint(17, 2.0);
    ASSERT_TRUE(TickUntil([&] { return (p.Msg_Flags & MsgWriteError) != 0; }));
    EXPECT_EQ(Block(proto.BlockCursor()).Result,
              ExchangeResult{.reply = static_cast<ReplyResult>(-133)});
    EXPECT_EQ(p.Msg_Flags & MsgWriteRequest, MsgWriteRequest);
    EXPECT_EQ(p.Write_Idx, -1);
    EXPECT_EQ(p.Msg_Count, 0);

    // Tried again in the next cycle; success clears the request, the error bit stays.
    controller.Attach(line);
    ASSERT_TRUE(TickUntil([&] { return p.Msg_Count == 1; }));
    EXPECT_EQ(controller.memory[0x0A5A], 2);
    EXPECT_EQ(p.Msg_Flags, MsgWriteError);

    // A reply that is no OK is a malformed write reply; with PersistantMode off the request goes.
    db.SetPersistantMode(false);
    line.responder = [](FakeSerialLine& l, const std::uint8_t*, int) {
        l.Arrive(GoodReadReply({'N', 'O'}));
    };
    db.ClearAllTransferErrors();
    db.WritePoint(17, 1.0);
    ASSERT_TRUE(TickUntil([&] { return (p.Msg_Flags & MsgWriteError) != 0; }));
    EXPECT_EQ(Block(proto.BlockCursor()).Result,
              ExchangeResult{.reply = ReplyResult::WriteMalformed});
    EXPECT_EQ(p.Msg_Flags & MsgWriteRequest, 0u);
}

TEST_F(ReceiverTest, AWithdrawnWriteWaitingInItsBlockIsNeverSentButOneOnTheWireIsAnswered) {
    PointRecord& first = Define(10, TypeS16, PtNetReadWrite, 0x0A52);
    PointRecord& queued = Define(11, TypeS16, PtNetReadWrite, 0x0A50);
    controller.Attach(line);
    db.WritePoint(10, 100.0);
    db.WritePoint(11, 200.0);
    ASSERT_TRUE(TickUntil(
        [&] { return first.Write_Idx != -1 && proto.ProtocolState() == PollState::AwaitReply; }));
    ASSERT_NE(queued.Write_Idx, -1);  // placed in a block behind the one on the wire
    db.ClearPointWriteRequest(10);
    db.ClearPointWriteRequest(11);
    proto.WithdrawQueuedWrites(10);
    proto.WithdrawQueuedWrites(11);
    EXPECT_EQ(queued.Write_Idx, -1);
    Ticks(100);
    EXPECT_EQ(controller.Get16(0x0A52), 100);
    EXPECT_EQ(controller.Get16(0x0A50), 0);
    EXPECT_EQ(controller.writes, 1);
    EXPECT_FALSE(db.PointWriteBusy(10));
}

TEST_F(ReceiverTest, AValueWrittenWhileItsWriteIsInFlightFollowsIt) {
    PointRecord& p = Define(10, TypeS16, PtNetReadWrite, 0x0A52);
    controller.Attach(line);
    const auto inFlight = [&] {
        return p.Write_Idx != -1 && proto.ProtocolState() == PollState::AwaitReply;
    };

    // The operator drags on while the block with the previous value is on the line: the good
    // reply to that block must not take the newer value's request with it.
    db.WritePoint(10, 100.0);
    ASSERT_TRUE(TickUntil(inFlight));
    EXPECT_EQ(controller.Get16(0x0A52), 100);
    db.WritePoint(10, 150.0);
    ASSERT_TRUE(TickUntil([&] { return !db.PointWriteBusy(10); }));
    EXPECT_EQ(controller.Get16(0x0A52), 150);
    EXPECT_EQ(controller.writes, 2);
    EXPECT_EQ(p.Msg_Flags, 0u);
    EXPECT_EQ(p.Msg_Count, 2);

    // The same value written again while in flight is already on its way: one write only.
    db.WritePoint(10, 60.0);
    ASSERT_TRUE(TickUntil(inFlight));
    db.WritePoint(10, 60.0);
    ASSERT_TRUE(TickUntil([&] { return !db.PointWriteBusy(10); }));
    Ticks(10);
    EXPECT_EQ(controller.Get16(0x0A52), 60);
    EXPECT_EQ(controller.writes, 3);

    // Without PersistantMode a failed write drops its own value, not a newer one: the newer
    // value keeps its request (the failure is still marked) and goes out next.
    db.SetPersistantMode(false);
    controller.silent = true;
    db.WritePoint(10, 70.0);
    ASSERT_TRUE(TickUntil(inFlight));
    db.WritePoint(10, 80.0);
    controller.silent = false;
    ASSERT_TRUE(TickUntil([&] { return (p.Msg_Flags & MsgWriteError) != 0; }));
    EXPECT_EQ(p.Msg_Flags & MsgWriteRequest, MsgWriteRequest);
    ASSERT_TRUE(TickUntil([&] { return !db.PointWriteBusy(10); }));
    EXPECT_EQ(controller.Get16(0x0A52), 80);
    EXPECT_EQ(controller.writes, 4);
}

TEST_F(ReceiverTest, BlockReadsWalkTheBlocksDownAndRecoverFromBadDescriptors) {
    controller.Attach(line);
    for (int i = 0; i < 24; ++i) controller.memory[0x1000 + i] = static_cast<std::uint8_t>(i + 1);
    PointRecord& p4 = Define(BlockReadPoint, TypeU8, PtNetRead, 0x1000);
    // 3 blocks of 8 bytes, index 0, an unused high byte that must survive.
    p4.Mem_Type = static_cast<std::int32_t>(0x5A000308);

    auto readOnce = [&] {
        const int count = p4.Msg_Count;
        RequestRead(BlockReadPoint);
        return TickUntil([&] { return p4.Msg_Count == count + 1; });
    };

    ASSERT_TRUE(readOnce());
    EXPECT_EQ(proto.BlockStore()[0][0], 1);
    EXPECT_EQ(proto.BlockStore()[0][7], 8);
    EXPECT_EQ(proto.BlockStore()[0][8], 0);  // only the block's size is copied
    EXPECT_EQ(p4.Mem_Type, static_cast<std::int32_t>(0x5A020308));
    EXPECT_TRUE(proto.BlockSetComplete());

    ASSERT_TRUE(readOnce());
    EXPECT_EQ(FrameAddress(line.LastFrame()), 0x1010u);
    EXPECT_EQ(proto.BlockStore()[2][0], 17);
    ASSERT_TRUE(readOnce());
    EXPECT_EQ(FrameAddress(line.LastFrame()), 0x1008u);
    EXPECT_EQ(proto.BlockStore()[1][7], 16);
    EXPECT_EQ(p4.Mem_Type, static_cast<std::int32_t>(0x5A000308));
    EXPECT_EQ(p4.RawValue, 0);  // block data never goes into the point's value
    EXPECT_EQ(proto.RejectedBlockReplies(), 0u);

    // An index beyond the blocks: read as the idle byte at 0, not stored, restarted from the top.
    const auto before = proto.BlockStore();
    p4.Mem_Type = 0x00090308;
    ASSERT_TRUE(readOnce());
    EXPECT_EQ(FrameAddress(line.LastFrame()), 0u);
    EXPECT_EQ(proto.BlockStore(), before);
    EXPECT_EQ(p4.Mem_Type, 0x00020308);
    EXPECT_EQ(proto.RejectedBlockReplies(), 1u);
    EXPECT_EQ(p4.Msg_Flags & MsgReadError, 0u);

    // Seven blocks is no valid set: nothing stored, the descriptor left as it is.
    p4.Mem_Type = 0x00080708;
    ASSERT_TRUE(readOnce());
    EXPECT_EQ(proto.BlockStore(), before);
    EXPECT_EQ(p4.Mem_Type, 0x00080708);
    EXPECT_EQ(proto.RejectedBlockReplies(), 2u);

    // A descriptor made invalid while its read was in flight is caught when the reply arrives.
    p4.Mem_Type = 0x00000308;
    controller.silent = true;
    RequestRead(BlockReadPoint);
    ASSERT_TRUE(TickUntil([&] { return proto.ProtocolState() == PollState::AwaitReply; }));
    p4.Mem_Type = 0x00FF0308;
    line.Arrive(GoodReadReply({9, 9, 9, 9, 9, 9, 9, 9}));
    ASSERT_TRUE(TickUntil([&] { return proto.ProtocolState() != PollState::AwaitReply; }));
    EXPECT_EQ(proto.BlockStore(), before);
    EXPECT_EQ(p4.Mem_Type, 0x00020308);
    EXPECT_EQ(proto.RejectedBlockReplies(), 3u);
}

TEST_F(ReceiverTest, LinkClosingMidExchangeKeepsTheSlotUntilReset) {
    PointRecord& p = Define(16, TypeS16, PtNetRead, 0x0A58);
    RequestRead(16);  // no responder: the reply never comes
    Tick();
    ASSERT_EQ(proto.ProtocolState(), PollState::AwaitReply);
    const int block = proto.BlockCursor();
    EXPECT_EQ(p.Read_Idx, block);

    port.PortClose();
    Tick();
    EXPECT_EQ(proto.ProtocolState(), PollState::Stopped);
    EXPECT_EQ(p.Read_Idx, block);
    EXPECT_EQ(p.Msg_Flags & (MsgReadError | MsgReadRequest), MsgReadRequest);
    Ticks(5);
    EXPECT_EQ(proto.ProtocolState(), PollState::Stopped);
    EXPECT_EQ(line.frameCount, 1);

    // Reopened without a reset, the point is not scheduled again.
    port.PortOpen();
    port.PortResetTransfer();
    controller.Attach(line);
    Ticks(10);
    EXPECT_EQ(line.frameCount, 1);
    EXPECT_EQ(p.Read_Idx, block);

    // A connect resets the protocol; the read then goes out and completes.
    port.PortClose();
    Connect();
    ASSERT_TRUE(TickUntil([&] { return p.Msg_Count == 1; }));
    EXPECT_EQ(p.Read_Idx, -1);
    EXPECT_EQ(p.Msg_Flags, 0u);
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

TEST_F(ReceiverTest, PollingAllocatesNothing) {
    controller.Attach(line);
    for (int p = 6; p < MaxPoints; ++p) {
        Define(p, p % 2 ? TypeS16 : TypeU8, PtNetReadWrite, 0x0A00 + 4 * p);
    }
    Define(BlockReadPoint, TypeU8, PtNetRead, 0x1000).Mem_Type = 0x00020410;
    for (int timer = 0; timer < ScanTimerCount; ++timer) db.SetScanPeriod(timer, 0);
    Ticks(5);  // anything lazily set up by the library is done before counting

    const long before = AllocationCount();
    for (int t = 0; t < 2000; ++t) {
        if (t % 10 == 0) {
            db.TickScanTimers();
            db.ScanPoints();
        }
        if (t % 50 == 0) db.WritePoint(6 + (t / 50) % 30, t);
        Tick();
    }
    EXPECT_EQ(AllocationCount() - before, 0);
    EXPECT_GT(controller.reads, 500);
    EXPECT_GT(controller.writes, 30);
}

}  // namespace
}  // namespace kestrova::test
