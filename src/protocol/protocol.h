#pragma once

#include <array>
#include <cstdint>
#include <utility>

#include "common/wall_clock.h"
#include "points/point_database.h"
#include "port/port_drv.h"
#include "protocol/exchange_result.h"
#include "protocol/exchange_trace.h"
#include "protocol/link_counters.h"
#include "protocol/msg_frames.h"

// The RTDM message protocol above the frame layer: a table of 32 message blocks filled once per
// cycle by the transmit scheduler (msg_blks.cpp) and served one exchange at a time by the
// receiver (msg_proc.cpp), which turns the replies into point changes.
namespace kestrova {

inline constexpr int MsgBlockCount = 32;
inline constexpr int LastMsgBlock = MsgBlockCount - 1;
inline constexpr std::size_t MsgTxBytesSize = 127;

// MsgBlock::Flags bits.
inline constexpr std::uint32_t MsgBlockPending = 0x00000001;

// What a message block asks of the controller. Reset marks a block between the two steps of
// ResetAllBlocks.
enum class MsgKind : std::int32_t { Reset = 0, Idle = 1, ReadMemory = 31, WriteMemory = 32 };

// The block read of point 4: its Mem_Type word describes blocks of controller memory starting at
// the point's Address (bits 0-7 block size, 8-15 number of blocks, 16-23 index read next).
inline constexpr int BlockReadPoint = 4;
inline constexpr int BlockStoreCount = 6;
inline constexpr int BlockStoreSize = 40;

// The controller's network address, as the point table holds it.
inline constexpr int ControllerNetwork0 = 2;
inline constexpr int ControllerNetwork1 = 0;
inline constexpr int ControllerNetwork2 = 0;
inline constexpr int ControllerNetwork3 = 0;

struct MsgBlock {
    std::uint32_t Flags = 0;
    MsgKind MsgType = MsgKind::Reset;
    std::int32_t ReplyLimit = 0;    // in port polls
    std::uint16_t ReplyLength = 0;  // expected length of a good reply
    std::uint8_t EndChar = 0;       // 0: no end-of-reply character
    ExchangeResult Result;
    std::uint32_t MemAddress = 0;
    std::uint32_t ByteCount = 0;
    std::int32_t PointNo = 0;
    std::int32_t WriteValue = 0;  // write blocks: the raw value the frame carries
    std::uint8_t TxLength = 0;
    std::array<std::uint8_t, MsgTxBytesSize> TxBytes{};  // byte 1 is the command character

    friend bool operator==(const MsgBlock&, const MsgBlock&) = default;
};

enum class PollState : std::int32_t {
    Stopped = 0,
    NextBlock = 1,
    AwaitReply = 2,
    ReplyDone = 3,
    CycleEnd = 4,
};

// The fields of point 4's Mem_Type word.
struct BlockDescriptor {
    int size;    // bits 0-7
    int number;  // bits 8-15
    int index;   // bits 16-23

    static BlockDescriptor FromWord(std::int32_t word);
    // Valid: 1 to 6 blocks of 1 to 40 bytes, the index below the number of blocks.
    bool Valid() const;
    // The word with bits 16-23 replaced by index, every other bit kept.
    static std::int32_t WithIndex(std::int32_t word, int index);
};

// One protocol instance: both halves of the message protocol share the block table, the request
// channel and the poll state. All storage is fixed; nothing is allocated per poll or exchange.
class Protocol {
public:
    Protocol(PointDatabase& db, PortDrv& port);
    Protocol(const Protocol&) = delete;
    Protocol& operator=(const Protocol&) = delete;

    // Receiver (msg_proc.cpp).
    void ProtocolPoll();
    void StartExchange(int block);
    void DispatchReply(int block);
    void HandleReadReply(int block);
    void HandleWriteReply(int block);

    // Transmit scheduler and block builders (msg_blks.cpp).
    void ProtocolInit();
    void ProtocolReset();
    void ResetAllBlocks();
    void IdleBlock(int block);
    void BuildBlock(int block);
    void ScheduleCycle();
    bool NextWritePoint();
    bool NextReadPoint();
    void PrepareWriteBlock(int block);
    void PrepareReadBlock(int block);
    // Withdraws the writes of point that wait in this cycle's blocks and have not been sent: they
    // stay unsent and the point's write slot is freed. A write already on the wire is answered
    // as usual.
    void WithdrawQueuedWrites(int point);

    // How the exchanges have gone since the last reset; the late bytes are the port's.
    LinkCounters LinkStatistics() const;
    void ResetLinkStatistics();
    // The last exchanges, oldest first, with their frames both ways.
    const ExchangeTrace& Trace() const { return trace_; }
    // Where the time of a failed exchange comes from (the system's clock by default).
    void SetWallClock(WallClock clock) { clock_ = std::move(clock); }

    // Back to the channel's start values.
    void ResetChannel() { channel_.Reset(); }
    // Back to the state of a protocol just built on the same points and port: every member below
    // at its start value, the wall clock the system's, the trace empty. The trace keeps its
    // storage, so a restart allocates nothing.
    void Restart();

    using BlockTable = std::array<MsgBlock, MsgBlockCount>;
    using BlockStoreTable = std::array<std::array<std::uint8_t, BlockStoreSize>, BlockStoreCount>;

    const BlockTable& MsgBlockTable() const { return msgBlocks_; }
    const RequestChannel& Channel() const { return channel_; }
    PollState ProtocolState() const { return state_; }
    std::int32_t BlockCursor() const { return blockCursor_; }
    std::int32_t ReplyTimePerByte() const { return replyTimePerByte_; }
    std::int32_t ReplyTimeBase() const { return replyTimeBase_; }
    std::int32_t WriteCursor() const { return writeCursor_; }
    std::int32_t ReadCursor() const { return readCursor_; }
    const BlockStoreTable& BlockStore() const { return blockStore_; }
    // True once point 4's block reads have come down to block 0, ending a pass through the set.
    bool BlockSetComplete() const { return blockSetComplete_; }
    // Point 4 replies that could not be stored because the descriptor was not valid when the
    // reply came in (never written outside the block store).
    std::uint32_t RejectedBlockReplies() const { return rejectedBlockReplies_; }

private:
    friend class InternalsProbe;

    // Copies the port's reply into the request channel (cut at the channel's buffer) and parses
    // it against the block's request, when the transfer left a reply worth judging.
    ExchangeResult ParseBlockReply(const MsgBlock& block);
    void StoreBlockRead();
    void StoreValues(int point, int size);
    void RecordExchange(const MsgBlock& block);
    void TraceExchange(const MsgBlock& block, std::int64_t timeMs);
    static bool ValidBlock(int block) { return block >= 0 && block < MsgBlockCount; }
    MsgBlock& Block(int block) { return msgBlocks_[static_cast<std::size_t>(block)]; }

    PointDatabase& db_;
    PortDrv& port_;

    BlockTable msgBlocks_{};
    RequestChannel channel_;
    PollState state_ = PollState::Stopped;
    std::int32_t blockCursor_ = 0;

    std::int32_t replyTimePerByte_ = 0;
    std::int32_t replyTimeBase_ = 0;
    std::int32_t writeCursor_ = 0;
    std::int32_t readCursor_ = 0;

    BlockStoreTable blockStore_{};
    bool blockSetComplete_ = false;
    std::uint32_t rejectedBlockReplies_ = 0;

    WallClock clock_ = SystemWallClockMs;
    LinkCounters counters_;
    ExchangeTrace trace_;
    std::uint64_t lateBytesAtReset_ = 0;  // the port's count when the counters were reset
};

}  // namespace kestrova
