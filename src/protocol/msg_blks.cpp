// Transmit scheduler and message builders: fills the message block table at the end of every
// cycle, writes before reads, each picked in rotation over the points, and builds the frames.
#include <algorithm>
#include <cstring>

#include "protocol/protocol.h"

namespace kestrova {

namespace {

constexpr std::int32_t DefaultReplyTimePerByte = 2;
constexpr std::int32_t DefaultReplyTimeBase = 20;
constexpr std::uint32_t IdleAddress = 0;
constexpr std::uint32_t IdleByteCount = 1;

bool IsSpecialPoint(int point) { return point == 2 || point == 3 || point == BlockReadPoint; }

}  // namespace

BlockDescriptor BlockDescriptor::FromWord(std::int32_t word) {
    const auto w = static_cast<std::uint32_t>(word);
    return {static_cast<int>(w & 0xFF), static_cast<int>((w >> 8) & 0xFF),
            static_cast<int>((w >> 16) & 0xFF)};
}

bool BlockDescriptor::Valid() const {
    return number >= 1 && number <= BlockStoreCount && size >= 1 && size <= BlockStoreSize &&
           index >= 0 && index < number;
}

std::int32_t BlockDescriptor::WithIndex(std::int32_t word, int index) {
    const auto w = static_cast<std::uint32_t>(word);
    const std::uint32_t i = static_cast<std::uint32_t>(index) & 0xFF;
    return static_cast<std::int32_t>((w & ~0x00FF0000u) | (i << 16));
}

void Protocol::ProtocolInit() {
    replyTimePerByte_ = DefaultReplyTimePerByte;
    replyTimeBase_ = DefaultReplyTimeBase;
    ProtocolReset();
    ResetAllBlocks();
    writeCursor_ = 0;
    readCursor_ = 0;
}

void Protocol::ProtocolReset() {
    state_ = PollState::Stopped;
    blockCursor_ = 0;
    db_.ClearAllTransferSlots();
}

void Protocol::Restart() {
    msgBlocks_ = {};
    channel_.Reset();
    state_ = PollState::Stopped;
    blockCursor_ = 0;
    replyTimePerByte_ = 0;
    replyTimeBase_ = 0;
    writeCursor_ = 0;
    readCursor_ = 0;
    blockStore_ = {};
    blockSetComplete_ = false;
    rejectedBlockReplies_ = 0;
    clock_ = SystemWallClockMs;
    counters_.Reset();
    trace_.Clear();
    lateBytesAtReset_ = 0;
}

void Protocol::WithdrawQueuedWrites(int point) {
    for (int k = 1; k < MsgBlockCount; ++k) {
        MsgBlock& b = Block(k);
        const bool onTheWire = state_ == PollState::AwaitReply && k == blockCursor_;
        if (onTheWire || (b.Flags & MsgBlockPending) == 0 || b.MsgType != MsgKind::WriteMemory ||
            b.PointNo != point) {
            continue;
        }
        b.Flags &= ~MsgBlockPending;
        db_.ClearPointWriteIdx(point);
    }
}

void Protocol::ResetAllBlocks() {
    for (MsgBlock& b : msgBlocks_) b.MsgType = MsgKind::Reset;
    for (int k = 0; k < MsgBlockCount; ++k) BuildBlock(k);
}

void Protocol::IdleBlock(int block) {
    if (!ValidBlock(block)) return;
    MsgBlock& b = Block(block);
    b.Flags = 0;
    b.MsgType = MsgKind::Idle;
    b.ReplyLimit = 1;
    b.EndChar = 0;
    b.ReplyLength = 1;
    b.MemAddress = IdleAddress;
    b.ByteCount = IdleByteCount;
    b.PointNo = 0;
    b.WriteValue = 0;
    b.TxLength = 0;
    b.TxBytes[0] = 0;
}

void Protocol::BuildBlock(int block) {
    if (!ValidBlock(block)) return;
    MsgBlock& b = Block(block);
    const bool pointValid = PointDatabase::PointIndexValid(b.PointNo);
    const std::uint32_t flags = pointValid ? db_.PointTable()[b.PointNo].Pt_Flags : 0;

    if (b.MsgType == MsgKind::ReadMemory || (b.MsgType == MsgKind::WriteMemory && pointValid)) {
        channel_.RequestAddress = b.MemAddress;
        channel_.RequestCount = static_cast<std::uint16_t>(b.ByteCount & 0xFFFF);
        if (b.MsgType == MsgKind::ReadMemory) {
            channel_.BuildReadRequest();
        } else {
            b.WriteValue = db_.PointTable()[b.PointNo].RawValue;
            channel_.RequestData[0] = static_cast<std::uint32_t>(b.WriteValue);
            channel_.BuildWriteRequest(PointDatabase::TypeCodeSize(flags));
        }
        // Frames of this protocol are at most 64 bytes; the copy is bounded all the same.
        const std::size_t length = std::min<std::size_t>(channel_.FrameLength, b.TxBytes.size());
        std::memcpy(b.TxBytes.data(), channel_.TxFrame.data(), length);
        b.TxLength = static_cast<std::uint8_t>(length);
        b.ReplyLength = channel_.ExpectedReplyLength;
        b.ReplyLimit =
            static_cast<std::int32_t>(b.ReplyLength) * replyTimePerByte_ + replyTimeBase_;
        b.EndChar = 0;
    } else {
        IdleBlock(block);
    }
    b.Result = {};
}

void Protocol::ScheduleCycle() {
    int k = 1;
    while (k <= LastMsgBlock && NextWritePoint()) {
        Block(k).PointNo = writeCursor_;
        PrepareWriteBlock(k);
        BuildBlock(k);
        Block(k).Flags |= MsgBlockPending;
        ++k;
    }
    while (k <= LastMsgBlock && NextReadPoint()) {
        Block(k).PointNo = readCursor_;
        PrepareReadBlock(k);
        BuildBlock(k);
        Block(k).Flags |= MsgBlockPending;
        ++k;
    }
}

namespace {

// One rotation step of a point search cursor: the point after it, 0 after the last point.
std::int32_t NextCursor(std::int32_t cursor) {
    const std::int32_t next = cursor + 1;
    return PointDatabase::PointIndexValid(next) ? next : 0;
}

}  // namespace

bool Protocol::NextWritePoint() {
    // A cursor outside the table (never set so by this class) starts the search at point 0.
    if (!PointDatabase::PointIndexValid(writeCursor_)) writeCursor_ = 0;
    const std::int32_t start = writeCursor_;
    bool found = false;
    do {
        writeCursor_ = NextCursor(writeCursor_);
        found = db_.PointReadyForWrite(writeCursor_, ControllerNetwork0, ControllerNetwork1,
                                       ControllerNetwork2, ControllerNetwork3);
    } while (!found && writeCursor_ != start);
    return found;
}

bool Protocol::NextReadPoint() {
    if (!PointDatabase::PointIndexValid(readCursor_)) readCursor_ = 0;
    const std::int32_t start = readCursor_;
    bool found = false;
    do {
        readCursor_ = NextCursor(readCursor_);
        found = db_.PointReadyForRead(readCursor_, ControllerNetwork0, ControllerNetwork1,
                                      ControllerNetwork2, ControllerNetwork3);
    } while (!found && readCursor_ != start);
    return found;
}

void Protocol::PrepareWriteBlock(int block) {
    if (!ValidBlock(block)) return;
    MsgBlock& b = Block(block);
    const int p = b.PointNo;
    if (!PointDatabase::PointIndexValid(p)) return;
    const PointRecord& point = db_.PointTable()[p];
    // The special points keep the idle block's address 0 and count 1.
    if (!IsSpecialPoint(p)) {
        b.MemAddress = static_cast<std::uint32_t>(point.Address);
        b.ByteCount = static_cast<std::uint32_t>(PointDatabase::TypeCodeSize(point.Pt_Flags));
    }
    b.MsgType = MsgKind::WriteMemory;
    db_.SetPointWriteIdx(p, block);
}

void Protocol::PrepareReadBlock(int block) {
    if (!ValidBlock(block)) return;
    MsgBlock& b = Block(block);
    const int p = b.PointNo;
    if (!PointDatabase::PointIndexValid(p)) return;
    const PointRecord& point = db_.PointTable()[p];
    if (p == BlockReadPoint) {
        const BlockDescriptor d = BlockDescriptor::FromWord(point.Mem_Type);
        if (d.Valid()) {
            b.MemAddress = static_cast<std::uint32_t>(point.Address) +
                           static_cast<std::uint32_t>(d.index * d.size);
            b.ByteCount = static_cast<std::uint32_t>(d.size);
        }
        // An invalid descriptor leaves the idle one-byte read at address 0.
    } else if (!IsSpecialPoint(p)) {
        b.MemAddress = static_cast<std::uint32_t>(point.Address);
        b.ByteCount = static_cast<std::uint32_t>(PointDatabase::TypeCodeSize(point.Pt_Flags));
    }
    b.MsgType = MsgKind::ReadMemory;
    db_.SetPointReadIdx(p, block);
}

}  // namespace kestrova
