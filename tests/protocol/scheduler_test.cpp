// Transmit scheduler: which points go into which blocks, in which order, and the frames, reply
// lengths and limits the blocks carry.
#include <gtest/gtest.h>

#include <vector>

#include "protocol_fixture.h"
#include "support/reply_frames.h"

namespace kestrova::test {
namespace {

using SchedulerTest = ProtocolTest;

std::vector<std::uint8_t> TxFrame(const MsgBlock& b) {
    return {b.TxBytes.begin(), b.TxBytes.begin() + b.TxLength};
}

TEST_F(SchedulerTest, RestartLeavesWhatANewProtocolShows) {
    controller.Attach(line);
    controller.memory[0x1000] = 7;
    Define(BlockReadPoint, TypeU8, PtNetRead, 0x1000).Mem_Type = 0x00000308;
    RequestRead(BlockReadPoint);
    ASSERT_TRUE(TickUntil([&] { return proto.BlockSetComplete(); }));
    Pt(BlockReadPoint).Mem_Type = 0x00090308;  // a reply then rejected
    RequestRead(BlockReadPoint);
    ASSERT_TRUE(TickUntil([&] { return proto.RejectedBlockReplies() == 1; }));
    proto.Restart();
    const Protocol fresh(db, port);
    EXPECT_EQ(proto.MsgBlockTable(), fresh.MsgBlockTable());
    EXPECT_EQ(proto.Channel(), fresh.Channel());
    EXPECT_EQ(proto.ProtocolState(), fresh.ProtocolState());
    EXPECT_EQ(proto.ReplyTimeBase(), fresh.ReplyTimeBase());
    EXPECT_EQ(proto.ReadCursor(), fresh.ReadCursor());
    EXPECT_EQ(proto.BlockStore(), fresh.BlockStore());
    EXPECT_FALSE(proto.BlockSetComplete());
    EXPECT_EQ(proto.RejectedBlockReplies(), 0u);
    EXPECT_EQ(proto.LinkStatistics(), fresh.LinkStatistics());
    EXPECT_EQ(proto.Trace().Size(), 0u);
}

TEST_F(SchedulerTest, InitLeavesEveryBlockIdleAndEveryPointWithoutSlot) {
    Pt(7).Read_Idx = 3;
    Pt(8).Write_Idx = 9;
    Block(5).Flags = MsgBlockPending;
    Block(5).MsgType = MsgKind::ReadMemory;
    InternalsProbe::WriteCursor(proto) = 12;
    InternalsProbe::ReadCursor(proto) = 13;

    proto.ProtocolInit();

    EXPECT_EQ(proto.ReplyTimePerByte(), 2);
    EXPECT_EQ(proto.ReplyTimeBase(), 20);
    EXPECT_EQ(proto.WriteCursor(), 0);
    EXPECT_EQ(proto.ReadCursor(), 0);
    EXPECT_EQ(proto.ProtocolState(), PollState::Stopped);
    EXPECT_EQ(proto.BlockCursor(), 0);
    EXPECT_EQ(Pt(7).Read_Idx, -1);
    EXPECT_EQ(Pt(8).Write_Idx, -1);
    for (int k = 0; k < MsgBlockCount; ++k) {
        SCOPED_TRACE(k);
        const MsgBlock& b = Block(k);
        EXPECT_EQ(b.Flags, 0u);
        EXPECT_EQ(b.MsgType, MsgKind::Idle);
        EXPECT_EQ(b.ReplyLimit, 1);
        EXPECT_EQ(b.ReplyLength, 1);
        EXPECT_EQ(b.EndChar, 0);
        EXPECT_EQ(b.MemAddress, 0u);
        EXPECT_EQ(b.ByteCount, 1u);
        EXPECT_EQ(b.PointNo, 0);
        EXPECT_EQ(b.TxLength, 0);
        EXPECT_EQ(b.TxBytes[0], 0);
        EXPECT_TRUE(b.Result.Good());
    }
}

TEST_F(SchedulerTest, WritesFillTheFirstBlocksThenReads) {
    for (int p : {10, 20, 30}) {
        Define(p, TypeS16, PtNetReadWrite, 0x0A50 + p);
        db.WritePoint(p, 5.0);
    }
    for (int p : {11, 12, 21, 22, 31}) {
        Define(p, TypeS16, PtNetRead, 0x0A50 + p);
        RequestRead(p);
    }

    proto.ResetAllBlocks();
    proto.ScheduleCycle();

    const int writes[] = {10, 20, 30};
    const int reads[] = {11, 12, 21, 22, 31};
    for (int i = 0; i < 3; ++i) {
        const MsgBlock& b = Block(1 + i);
        EXPECT_EQ(b.PointNo, writes[i]);
        EXPECT_EQ(b.MsgType, MsgKind::WriteMemory);
        EXPECT_EQ(b.Flags & MsgBlockPending, MsgBlockPending);
        EXPECT_EQ(Pt(writes[i]).Write_Idx, 1 + i);
    }
    for (int i = 0; i < 5; ++i) {
        const MsgBlock& b = Block(4 + i);
        EXPECT_EQ(b.PointNo, reads[i]);
        EXPECT_EQ(b.MsgType, MsgKind::ReadMemory);
        EXPECT_EQ(b.Flags & MsgBlockPending, MsgBlockPending);
        EXPECT_EQ(Pt(reads[i]).Read_Idx, 4 + i);
    }
    EXPECT_EQ(Block(9).Flags, 0u);
    EXPECT_EQ(Block(9).MsgType, MsgKind::Idle);
    EXPECT_EQ(Block(0).Flags, 0u);

    // A point already carried by a block is not chosen again in the next fill.
    proto.ResetAllBlocks();
    proto.ScheduleCycle();
    EXPECT_EQ(Block(1).Flags, 0u);

    // A point with both requests gets two blocks, the write first.
    proto.ProtocolReset();
    for (int p = 0; p < MaxPoints; ++p) Pt(p).Msg_Flags = 0;
    db.WritePoint(20, 7.0);
    RequestRead(20);
    proto.ResetAllBlocks();
    proto.ScheduleCycle();
    EXPECT_EQ(Block(1).PointNo, 20);
    EXPECT_EQ(Block(1).MsgType, MsgKind::WriteMemory);
    EXPECT_EQ(Block(2).PointNo, 20);
    EXPECT_EQ(Block(2).MsgType, MsgKind::ReadMemory);
    EXPECT_EQ(Pt(20).Write_Idx, 1);
    EXPECT_EQ(Pt(20).Read_Idx, 2);
}

TEST_F(SchedulerTest, CursorsRotateOverThePoints) {
    // The search begins after the cursor: with the cursor at 5, point 7 comes before point 2.
    for (int p : {2, 7}) {
        Define(p, TypeS16, PtNetWrite, 0x100 + p);
        db.WritePoint(p, 1.0);
    }
    InternalsProbe::WriteCursor(proto) = 5;
    proto.ResetAllBlocks();
    proto.ScheduleCycle();
    EXPECT_EQ(Block(1).PointNo, 7);
    EXPECT_EQ(Block(2).PointNo, 2);
    EXPECT_EQ(Block(3).Flags, 0u);
    EXPECT_EQ(proto.WriteCursor(), 2);

    // A search that comes all the way round ends on the cursor's own point.
    proto.ProtocolReset();
    for (int p = 0; p < MaxPoints; ++p) Pt(p).Msg_Flags = 0;
    Define(9, TypeS16, PtNetRead, 0x200);
    RequestRead(9);
    InternalsProbe::ReadCursor(proto) = 9;
    proto.ResetAllBlocks();
    proto.ScheduleCycle();
    EXPECT_EQ(Block(1).PointNo, 9);
    EXPECT_EQ(proto.ReadCursor(), 9);

    // A point of another network address is never chosen.
    proto.ProtocolReset();
    Pt(9).Network_0 = 3;
    proto.ResetAllBlocks();
    proto.ScheduleCycle();
    EXPECT_EQ(Block(1).Flags, 0u);
}

TEST_F(SchedulerTest, AFullTableLeavesTheRestForTheNextCycleInRotation) {
    // 35 writes and one read: the first cycle carries 31 writes, the next the other 4 and then
    // the read.
    for (int p = 5; p < MaxPoints; ++p) {
        Define(p, TypeU8, PtNetReadWrite, 0x300 + p);
        db.WritePoint(p, 1.0);
    }
    RequestRead(6);

    proto.ResetAllBlocks();
    proto.ScheduleCycle();
    for (int k = 1; k <= 31; ++k) {
        EXPECT_EQ(Block(k).MsgType, MsgKind::WriteMemory) << k;
        EXPECT_EQ(Block(k).PointNo, 4 + k) << k;
    }
    EXPECT_EQ(Pt(6).Read_Idx, -1);
    EXPECT_EQ(proto.WriteCursor(), 35);

    // The exchanges end well: slots released, write requests cleared.
    for (int k = 1; k <= 31; ++k) {
        db.ClearPointWriteIdx(Block(k).PointNo);
        db.CompletePointTransfer(Block(k).PointNo, false, false);
    }
    proto.ResetAllBlocks();
    proto.ScheduleCycle();
    const int expected[] = {36, 37, 38, 39};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Block(1 + i).PointNo, expected[i]);
        EXPECT_EQ(Block(1 + i).MsgType, MsgKind::WriteMemory);
    }
    EXPECT_EQ(Block(5).PointNo, 6);
    EXPECT_EQ(Block(5).MsgType, MsgKind::ReadMemory);
    EXPECT_EQ(Block(6).Flags, 0u);
}

TEST_F(SchedulerTest, BlocksCarryFramesLengthsAndLimits) {
    // 16-bit write of raw -2 at 0x0A50: data FE FF, reply 7 bytes, limit 7 x 2 + 20.
    Define(10, TypeS16, PtNetReadWrite, 0x0A50);
    db.WritePoint(10, -2.0);
    // 32-bit read at 0x0800: count 4, reply 9 bytes, limit 38.
    Define(11, TypeS32, PtNetRead, 0x0800);
    RequestRead(11);
    // 8-bit read: limit 32.
    Define(12, TypeU8, PtNetRead, 0x0810);
    RequestRead(12);
    // A type without a size: count 0, reply 5 bytes, limit 30.
    Define(13, TypeNoSize, PtNetRead, 0x0820);
    RequestRead(13);
    // Point 3: address 0, count 1, the lowest byte of its raw value.
    Define(3, TypeS16, PtNetReadWrite, 0x0999);
    db.WritePoint(3, 0x1234);
    // Point 2 read: the idle one-byte read at address 0.
    Define(2, TypeS16, PtNetRead, 0x0998);
    RequestRead(2);

    proto.ResetAllBlocks();
    proto.ScheduleCycle();

    // Writes first in point order from the cursor: 3, 10; then reads 2, 11, 12, 13.
    const MsgBlock& w3 = Block(1);
    ASSERT_EQ(w3.PointNo, 3);
    EXPECT_EQ(w3.MemAddress, 0u);
    EXPECT_EQ(w3.ByteCount, 1u);
    EXPECT_EQ(TxFrame(w3), WithCrc({0x24, 0x4D, 0, 0, 0, 0, 1, 0, 0x34, 0x23}));

    const MsgBlock& w10 = Block(2);
    ASSERT_EQ(w10.PointNo, 10);
    EXPECT_EQ(w10.MemAddress, 0x0A50u);
    EXPECT_EQ(w10.ByteCount, 2u);
    EXPECT_EQ(TxFrame(w10), WithCrc({0x24, 0x4D, 0x50, 0x0A, 0, 0, 2, 0, 0xFE, 0xFF, 0x23}));
    EXPECT_EQ(w10.TxLength, 13);
    EXPECT_EQ(w10.ReplyLength, 7);
    EXPECT_EQ(w10.ReplyLimit, 34);
    EXPECT_EQ(w10.EndChar, 0);

    const MsgBlock& r2 = Block(3);
    ASSERT_EQ(r2.PointNo, 2);
    EXPECT_EQ(TxFrame(r2), WithCrc({0x24, 0x6D, 0, 0, 0, 0, 1, 0, 0x23}));
    EXPECT_EQ(r2.ReplyLength, 6);

    const MsgBlock& r11 = Block(4);
    ASSERT_EQ(r11.PointNo, 11);
    EXPECT_EQ(TxFrame(r11), WithCrc({0x24, 0x6D, 0x00, 0x08, 0, 0, 4, 0, 0x23}));
    EXPECT_EQ(r11.ReplyLength, 9);
    EXPECT_EQ(r11.ReplyLimit, 38);

    EXPECT_EQ(Block(5).PointNo, 12);
    EXPECT_EQ(Block(5).ReplyLimit, 32);

    const MsgBlock& r13 = Block(6);
    ASSERT_EQ(r13.PointNo, 13);
    EXPECT_EQ(r13.ByteCount, 0u);
    EXPECT_EQ(r13.ReplyLength, 5);
    EXPECT_EQ(r13.ReplyLimit, 30);
    for (int k = 1; k <= 6; ++k) EXPECT_TRUE(Block(k).Result.Good());
}

TEST_F(SchedulerTest, BlockReadAddressFollowsTheDescriptor) {
    PointRecord& p4 = Define(BlockReadPoint, TypeU8, PtNetRead, 0x1000);
    auto readBlock = [&](std::int32_t descriptor) {
        proto.ProtocolReset();
        p4.Mem_Type = descriptor;
        RequestRead(BlockReadPoint);
        proto.ResetAllBlocks();
        proto.ScheduleCycle();
        return Block(1);
    };

    // Size 8, 3 blocks, index 2: the third block, at 0x1010.
    MsgBlock b = readBlock(0x00020308);
    EXPECT_EQ(b.PointNo, BlockReadPoint);
    EXPECT_EQ(b.MemAddress, 0x1010u);
    EXPECT_EQ(b.ByteCount, 8u);
    EXPECT_EQ(b.ReplyLength, 13);
    EXPECT_EQ(b.ReplyLimit, 46);
    EXPECT_EQ(TxFrame(b), WithCrc({0x24, 0x6D, 0x10, 0x10, 0, 0, 8, 0, 0x23}));

    // Unused high bits do not disturb the descriptor; 6 blocks of 40 bytes are the largest.
    b = readBlock(static_cast<std::int32_t>(0x7F000628));
    EXPECT_EQ(b.MemAddress, 0x1000u);
    EXPECT_EQ(b.ByteCount, 40u);
    EXPECT_EQ(b.ReplyLimit, 110);

    // Invalid descriptors fall back on the idle one-byte read at address 0.
    for (std::int32_t bad : {0x00000708, 0x00030308, 0x00000029, 0x00000300, 0x00000008}) {
        SCOPED_TRACE(bad);
        b = readBlock(bad);
        EXPECT_EQ(b.MsgType, MsgKind::ReadMemory);
        EXPECT_EQ(b.MemAddress, 0u);
        EXPECT_EQ(b.ByteCount, 1u);
    }
}

}  // namespace
}  // namespace kestrova::test
