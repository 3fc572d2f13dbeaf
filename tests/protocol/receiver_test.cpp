// Receiver: the poll state machine over the real port driver, storing replies, writes, block reads.
#include <gtest/gtest.h>

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
