// Receiver and dispatch: the polled state machine that serves the message blocks one exchange at
// a time and turns the replies into point changes.
#include <algorithm>
#include <cstring>

#include "protocol/protocol.h"

namespace kestrova {

namespace {

// Msg_Count runs 0, 1, ..., 1001 and then starts again at 0.
constexpr std::int32_t MsgCountWrapAbove = 1000;

}  // namespace

Protocol::Protocol(PointDatabase& db, PortDrv& port) : db_(db), port_(port) {}

void Protocol::ProtocolPoll()
{
    // Both passes see the port as it stood when the call began, so a reply handled in this call
    // is never followed by a new request in the same call.
    const PortTransferState transfer = port_.PortTransferState();
    const bool linkOpen = port_.PortLinkState() == PortLinkState::Open;

    for (int pass = 0; pass < 2; ++pass) {
        if (ProtocolState == PollState::Stopped && linkOpen) {
            ProtocolState = PollState::NextBlock;
        }

        if (ProtocolState == PollState::NextBlock) {
            if (!linkOpen) {
                ProtocolState = PollState::CycleEnd;
            } else if (transfer == PortTransferState::Idle) {
                // The next pending block above the cursor; block 0 ends the cycle.
                do {
                    BlockCursor = BlockCursor >= LastMsgBlock ? 0 : BlockCursor + 1;
                } while (BlockCursor != 0 &&
                         (MsgBlockTable[static_cast<std::size_t>(BlockCursor)].Flags &
                          MsgBlockPending) == 0);
                if (BlockCursor == 0) {
                    ProtocolState = PollState::CycleEnd;
                } else {
                    StartExchange(BlockCursor);
                    ProtocolState = PollState::AwaitReply;
                }
            }
        }

        if (ProtocolState == PollState::AwaitReply) {
            if (!linkOpen) {
                // The block stays pending and its point keeps its slot until the next reset.
                ProtocolState = PollState::CycleEnd;
            } else if (transfer == PortTransferState::Complete ||
                       transfer == PortTransferState::Failed) {
                MsgBlock& block = MsgBlockTable[static_cast<std::size_t>(BlockCursor)];
                DispatchReply(BlockCursor);
                if (block.Result == 0) CountGoodExchange(block.PointNo);
                block.Flags &= ~MsgBlockPending;
                ProtocolState = PollState::ReplyDone;
            }
        }

        if (ProtocolState == PollState::ReplyDone) {
            port_.PortClearTransfer();
            ProtocolState = PollState::NextBlock;
        }

        if (ProtocolState == PollState::CycleEnd) {
            db_.ScaleChangedPoints();
            ResetAllBlocks();
            ScheduleCycle();
            ProtocolState = linkOpen ? PollState::NextBlock : PollState::Stopped;
        }
    }
}

void Protocol::CountGoodExchange(int point)
{
    if (!PointDatabase::PointIndexValid(point)) return;
    std::int32_t& count = db_.PointTable[static_cast<std::size_t>(point)].Msg_Count;
    count = count > MsgCountWrapAbove ? 0 : count + 1;
}

void Protocol::StartExchange(int block)
{
    if (!ValidBlock(block)) return;
    MsgBlock& b = MsgBlockTable[static_cast<std::size_t>(block)];
    port_.PortSetReplyLimit(b.ReplyLimit);
    port_.PortSetEndChar(b.EndChar);
    port_.PortSetReplyLength(b.ReplyLength);
    b.Result = 0;
    port_.PortSend(b.TxLength, b.TxBytes.data());
}

void Protocol::DispatchReply(int block)
{
    if (!ValidBlock(block)) return;
    switch (MsgBlockTable[static_cast<std::size_t>(block)].MsgType) {
    case MsgReadMemory: HandleReadReply(block); break;
    case MsgWriteMemory: HandleWriteReply(block); break;
    default: break;  // only read and write blocks are ever pending
    }
}

std::int32_t Protocol::ParseBlockReply(const MsgBlock& block)
{
    std::int32_t r = port_.PortErrorCode();
    // A timed-out reply is still judged when it could be a complete error reply, which is
    // shorter than most good replies; anything shorter stays a time-out.
    const bool judge =
        r == 0 || (r == PortErrorCode::ReplyTimeout && port_.ReplyLength() >= ErrorReplyLength);
    if (judge) {
        // The port collects up to 255 bytes; the channel keeps at most its 128-byte buffer.
        const std::int32_t length = std::clamp(port_.ReplyLength(), 0, PortDrv::MaxReplyLength);
        Channel.SetReply(port_.ReplyBuffer().data(), static_cast<std::size_t>(length));
        r = Channel.ParseReply(block.TxBytes[1], static_cast<std::uint16_t>(block.ByteCount));
    }
    return r;
}

void Protocol::HandleReadReply(int block)
{
    if (!ValidBlock(block)) return;
    MsgBlock& b = MsgBlockTable[static_cast<std::size_t>(block)];
    const int point = b.PointNo;
    if (!PointDatabase::PointIndexValid(point)) {
        b.Result = ParseBlockReply(b);
        return;
    }
    const int size = PointDatabase::TypeCodeSize(db_.PointTable[static_cast<std::size_t>(point)].Pt_Flags);

    const std::int32_t r = ParseBlockReply(b);

    // A value read back while the operator's write is pending or in flight is older than that
    // write, so it is dropped.
    if (r == 0 && !db_.PointWriteBusy(point)) {
        if (point == BlockReadPoint) {
            StoreBlockRead();
        } else if (point == 2 || point == 3) {
            // Link test reads: the data is not kept.
        } else {
            StoreValues(point, size);
        }
    }

    b.Result = r;
    db_.ClearPointReadIdx(point);
    db_.CompletePointTransfer(point, true, r != 0);
}

void Protocol::StoreBlockRead()
{
    PointRecord& p = db_.PointTable[BlockReadPoint];
    const BlockDescriptor d = BlockDescriptor::FromWord(p.Mem_Type);
    if (!d.Valid()) {
        // The request went out as the idle one-byte read at address 0, so the reply is no block
        // data and is not stored. When only the index is out of range the set is started again
        // from its top block, so the block read recovers; otherwise the descriptor is left alone.
        ++RejectedBlockReplies;
        const bool shapeValid = d.number >= 1 && d.number <= BlockStoreCount && d.size >= 1 &&
                                d.size <= BlockStoreSize;
        if (shapeValid) p.Mem_Type = BlockDescriptor::WithIndex(p.Mem_Type, d.number - 1);
        return;
    }

    auto& store = BlockStore[static_cast<std::size_t>(d.index)];
    const std::size_t length =
        std::min<std::size_t>({Channel.PayloadLength, store.size(), Channel.Payload.size()});
    std::memcpy(store.data(), Channel.Payload.data(), length);

    int index = d.index - 1;
    if (index < 0) {
        index = d.number - 1;
        BlockSetComplete = 1;
    }
    p.Mem_Type = BlockDescriptor::WithIndex(p.Mem_Type, index);
}

void Protocol::StoreValues(int point, int size)
{
    const PointRecord& p = db_.PointTable[static_cast<std::size_t>(point)];
    const std::uint32_t type = p.Pt_Flags;
    const int payloadLength = std::min<int>(Channel.PayloadLength, static_cast<int>(PayloadBufferSize));

    // One value per point from p upwards, every size bytes, as long as the payload holds more
    // than one byte beyond the offset. The scheduler asks exactly one value's bytes, so one value
    // is stored; the walk never goes past the last point nor reads past the payload.
    int offset = 0;
    int q = point;
    do {
        std::array<std::uint8_t, 4> bytes{};
        if (offset < payloadLength) {
            const int available = std::min(payloadLength - offset, static_cast<int>(bytes.size()));
            std::memcpy(bytes.data(), Channel.Payload.data() + offset, static_cast<std::size_t>(available));
        }
        const std::int32_t value = PointDatabase::DecodeTypedValue(bytes.data(), type);
        db_.SetPointRaw(q, value);
        db_.ScalePoint(q);
        offset += size;
        ++q;
    } while (offset < payloadLength - 1 && q < MaxPoints);
}

void Protocol::HandleWriteReply(int block)
{
    if (!ValidBlock(block)) return;
    MsgBlock& b = MsgBlockTable[static_cast<std::size_t>(block)];
    const int point = b.PointNo;
    b.Result = ParseBlockReply(b);
    db_.ClearPointWriteIdx(point);
    // A value written while this block was on its way is newer than the one it carried: its
    // write request stays for the next cycle, whatever became of this exchange.
    const bool newerValue = PointDatabase::PointIndexValid(point) &&
                            db_.PointTable[static_cast<std::size_t>(point)].RawValue != b.WriteValue;
    if (newerValue) {
        if (b.Result != 0) db_.SetPointWriteError(point);
        return;
    }
    db_.CompletePointTransfer(point, false, b.Result != 0);
}

}  // namespace kestrova
