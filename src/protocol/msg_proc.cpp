// Receiver and dispatch: the polled state machine that serves the message blocks one exchange at
// a time and turns the replies into point changes.
#include <algorithm>
#include <cstring>

#include "protocol/protocol.h"

namespace kestrova {

namespace {

// A frame that arrived whole (its full length, or a well-formed error reply that is shorter)
// leaves nothing on its way; after anything else the rest of a reply may still come.
QuietTime QuietTimeAfter(PortTransferState transfer, ExchangeResult result) {
    const bool wholeFrame = transfer == PortTransferState::Complete || ErrorReplyCode(result) >= 0;
    return wholeFrame ? QuietTime::CharacterGap : QuietTime::LateReplyHorizon;
}

}  // namespace

Protocol::Protocol(PointDatabase& db, PortDrv& port) : db_(db), port_(port) {}

void Protocol::ProtocolPoll() {
    // Both passes see the port as it stood when the call began, so a reply handled in this call
    // is never followed by a new request in the same call.
    const PortTransferState transfer = port_.TransferState();
    const bool linkOpen = port_.LinkState() == PortLinkState::Open;

    for (int pass = 0; pass < 2; ++pass) {
        if (state_ == PollState::Stopped && linkOpen) {
            state_ = PollState::NextBlock;
        }

        if (state_ == PollState::NextBlock) {
            if (!linkOpen) {
                state_ = PollState::CycleEnd;
            } else if (transfer == PortTransferState::Idle) {
                // The next pending block above the cursor; block 0 ends the cycle.
                do {
                    blockCursor_ = blockCursor_ >= LastMsgBlock ? 0 : blockCursor_ + 1;
                } while (blockCursor_ != 0 && (Block(blockCursor_).Flags & MsgBlockPending) == 0);
                if (blockCursor_ == 0) {
                    state_ = PollState::CycleEnd;
                } else {
                    StartExchange(blockCursor_);
                    state_ = PollState::AwaitReply;
                }
            }
        }

        if (state_ == PollState::AwaitReply) {
            if (!linkOpen) {
                // The block stays pending and its point keeps its slot until the next reset.
                state_ = PollState::CycleEnd;
            } else if (transfer == PortTransferState::Complete ||
                       transfer == PortTransferState::Failed) {
                MsgBlock& block = Block(blockCursor_);
                DispatchReply(blockCursor_);
                RecordExchange(block);
                if (block.Result.Good()) {
                    db_.CountGoodExchange(block.PointNo);
                } else {
                    // Whatever of this exchange's reply is still on its way must not be taken
                    // for the next request's reply.
                    port_.PortRequireQuietLine(QuietTimeAfter(transfer, block.Result));
                }
                block.Flags &= ~MsgBlockPending;
                state_ = PollState::ReplyDone;
            }
        }

        if (state_ == PollState::ReplyDone) {
            port_.PortClearTransfer();
            state_ = PollState::NextBlock;
        }

        if (state_ == PollState::CycleEnd) {
            db_.ScaleChangedPoints();
            ResetAllBlocks();
            ScheduleCycle();
            state_ = linkOpen ? PollState::NextBlock : PollState::Stopped;
        }
    }
}

void Protocol::RecordExchange(const MsgBlock& block) {
    const std::int64_t now = clock_();
    counters_.Count(block.Result, port_.ReplyMicros(), now, block.PointNo);
    TraceExchange(block, now);
}

void Protocol::TraceExchange(const MsgBlock& block, std::int64_t timeMs) {
    TraceEntry& e = trace_.Next();
    e.timeMs = timeMs;
    e.result = block.Result;
    e.address = block.MemAddress;
    e.count = static_cast<std::uint16_t>(block.ByteCount);
    e.block = static_cast<std::uint8_t>(blockCursor_);
    e.command = block.TxBytes[1];
    e.point = static_cast<std::int8_t>(block.PointNo);
    // The value the frame carried: the raw value written, or the one a good read reply brought
    // (also when it was dropped for a pending write). Point 4's reply is a block of bytes.
    const bool write = block.MsgType == MsgKind::WriteMemory;
    const bool readValue = block.MsgType == MsgKind::ReadMemory && block.Result.Good() &&
                           PointDatabase::PointIndexValid(block.PointNo) &&
                           block.PointNo != BlockReadPoint;
    e.hasValue = write || readValue;
    if (write) e.value = block.WriteValue;
    if (readValue) {
        std::array<std::uint8_t, 4> bytes{};
        std::memcpy(bytes.data(), channel_.Payload.data(),
                    std::min<std::size_t>(channel_.PayloadLength, bytes.size()));
        e.value =
            PointDatabase::DecodeTypedValue(bytes.data(), db_.PointTable()[block.PointNo].Pt_Flags);
    }
    e.requestLength = block.TxLength;
    std::memcpy(e.request.data(), block.TxBytes.data(),
                std::min<std::size_t>(block.TxLength, e.request.size()));
    const std::int32_t received = std::clamp(port_.ReplyLength(), 0, PortDrv::MaxReplyLength);
    e.replyLength = static_cast<std::uint8_t>(received);
    std::memcpy(e.reply.data(), port_.ReplyBuffer().data(),
                std::min<std::size_t>(static_cast<std::size_t>(received), e.reply.size()));
}

LinkCounters Protocol::LinkStatistics() const {
    LinkCounters counters = counters_;
    counters.lateBytesDropped = port_.LateBytesDropped() - lateBytesAtReset_;
    return counters;
}

void Protocol::ResetLinkStatistics() {
    counters_.Reset();
    lateBytesAtReset_ = port_.LateBytesDropped();
}

void Protocol::StartExchange(int block) {
    if (!ValidBlock(block)) return;
    MsgBlock& b = Block(block);
    port_.PortSetReplyLimit(b.ReplyLimit);
    port_.PortSetEndChar(b.EndChar);
    port_.PortSetReplyLength(b.ReplyLength);
    b.Result = {};
    port_.PortSend(b.TxLength, b.TxBytes.data());
}

void Protocol::DispatchReply(int block) {
    if (!ValidBlock(block)) return;
    switch (Block(block).MsgType) {
        case MsgKind::ReadMemory: HandleReadReply(block); break;
        case MsgKind::WriteMemory: HandleWriteReply(block); break;
        default: break;  // only read and write blocks are ever pending
    }
}

ExchangeResult Protocol::ParseBlockReply(const MsgBlock& block) {
    const PortErrorCode error = port_.TransferError();
    // A timed-out reply is still judged when it could be a complete error reply, which is
    // shorter than most good replies; anything shorter stays a time-out.
    const bool judge = error == PortErrorCode::None || (error == PortErrorCode::ReplyTimeout &&
                                                        port_.ReplyLength() >= ErrorReplyLength);
    if (!judge) return {.transferError = error};
    // The port collects up to 255 bytes; the channel keeps at most its 128-byte buffer.
    const std::int32_t length = std::clamp(port_.ReplyLength(), 0, PortDrv::MaxReplyLength);
    channel_.SetReply(port_.ReplyBuffer().data(), static_cast<std::size_t>(length));
    return {.reply =
                channel_.ParseReply(block.TxBytes[1], static_cast<std::uint16_t>(block.ByteCount))};
}

void Protocol::HandleReadReply(int block) {
    if (!ValidBlock(block)) return;
    MsgBlock& b = Block(block);
    const int point = b.PointNo;
    if (!PointDatabase::PointIndexValid(point)) {
        b.Result = ParseBlockReply(b);
        return;
    }
    const int size = PointDatabase::TypeCodeSize(db_.PointTable()[point].Pt_Flags);

    const ExchangeResult r = ParseBlockReply(b);

    // A value read back while the operator's write is pending or in flight is older than that
    // write, so it is dropped.
    if (r.Good() && !db_.PointWriteBusy(point)) {
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
    db_.CompletePointTransfer(point, true, !r.Good());
}

void Protocol::StoreBlockRead() {
    const std::int32_t word = db_.PointTable()[BlockReadPoint].Mem_Type;
    const BlockDescriptor d = BlockDescriptor::FromWord(word);
    if (!d.Valid()) {
        // The request went out as the idle one-byte read at address 0, so the reply is no block
        // data and is not stored. When only the index is out of range the set is started again
        // from its top block, so the block read recovers; otherwise the descriptor is left alone.
        ++rejectedBlockReplies_;
        const bool shapeValid =
            d.number >= 1 && d.number <= BlockStoreCount && d.size >= 1 && d.size <= BlockStoreSize;
        if (shapeValid) {
            db_.SetPointMemType(BlockReadPoint, BlockDescriptor::WithIndex(word, d.number - 1));
        }
        return;
    }

    auto& store = blockStore_[static_cast<std::size_t>(d.index)];
    const std::size_t length =
        std::min<std::size_t>({channel_.PayloadLength, store.size(), channel_.Payload.size()});
    std::memcpy(store.data(), channel_.Payload.data(), length);

    int index = d.index - 1;
    if (index < 0) {
        index = d.number - 1;
        blockSetComplete_ = true;
    }
    db_.SetPointMemType(BlockReadPoint, BlockDescriptor::WithIndex(word, index));
}

void Protocol::StoreValues(int point, int size) {
    const PointRecord& p = db_.PointTable()[point];
    const std::uint32_t type = p.Pt_Flags;
    const int payloadLength =
        std::min<int>(channel_.PayloadLength, static_cast<int>(PayloadBufferSize));

    // One value per point from p upwards, every size bytes, as long as the payload holds more
    // than one byte beyond the offset. The scheduler asks exactly one value's bytes, so one value
    // is stored; the walk never goes past the last point nor reads past the payload.
    int offset = 0;
    int q = point;
    do {
        std::array<std::uint8_t, 4> bytes{};
        if (offset < payloadLength) {
            const int available = std::min(payloadLength - offset, static_cast<int>(bytes.size()));
            std::memcpy(bytes.data(), channel_.Payload.data() + offset,
                        static_cast<std::size_t>(available));
        }
        const std::int32_t value = PointDatabase::DecodeTypedValue(bytes.data(), type);
        db_.SetPointRaw(q, value);
        db_.ScalePoint(q);
        offset += size;
        ++q;
    } while (offset < payloadLength - 1 && q < MaxPoints);
}

void Protocol::HandleWriteReply(int block) {
    if (!ValidBlock(block)) return;
    MsgBlock& b = Block(block);
    const int point = b.PointNo;
    b.Result = ParseBlockReply(b);
    db_.ClearPointWriteIdx(point);
    // A value written while this block was on its way is newer than the one it carried: its
    // write request stays for the next cycle, whatever became of this exchange.
    const bool newerValue =
        PointDatabase::PointIndexValid(point) && db_.PointTable()[point].RawValue != b.WriteValue;
    if (newerValue) {
        if (!b.Result.Good()) db_.SetPointWriteError(point);
        return;
    }
    db_.CompletePointTransfer(point, false, !b.Result.Good());
}

}  // namespace kestrova
