// The soak run's watch on misfiled replies: each value the core stores from a read reply is
// compared with the value of the simulator's reply to that point's request.
#include <array>
#include <cstdio>

#include "soak/soak_run.h"

namespace kestrova::soak {

SoakRun::AwaitedRead SoakRun::ReadAwaited() const {
    const Protocol& protocol = core_->ProtocolEngine();
    if (protocol.ProtocolState() != PollState::AwaitReply) return {};
    const MsgBlock& block =
        protocol.MsgBlockTable()[static_cast<std::size_t>(protocol.BlockCursor())];
    if (block.MsgType != MsgKind::ReadMemory || !PointDatabase::PointIndexValid(block.PointNo)) {
        return {};
    }
    return {block.PointNo, block.MemAddress, Pt(block.PointNo).Msg_Count};
}

void SoakRun::CheckStoredRead(const AwaitedRead& read) {
    const int p = read.point;
    // The receiver keeps nothing of the link test reads, and the block read fills no point.
    if (p < 0 || p == 2 || p == 3 || p == BlockReadPoint) return;
    // The reply counter moves only on a good reply; a value read back while the operator's write
    // is pending is not stored.
    if (Pt(p).Msg_Count == read.replyCount || core_->Points().PointWriteBusy(p)) return;

    DrainReplyLog();
    ++figures_.storedReadsChecked;
    const std::optional<std::int32_t> sent = replyLog_.LastValue(read.address, Pt(p).Pt_Flags);
    if (sent == Pt(p).RawValue) return;
    if (figures_.misfiledValues++ < MisfilesReported) {
        std::fprintf(stderr,
                     "soak: %s: point %d stored %d; the simulator's last reply for address 0x%X "
                     "carried %s\n",
                     SecondsText(nowMs_).c_str(), p, Pt(p).RawValue, read.address,
                     sent ? std::to_string(*sent).c_str() : "nothing");
    }
}

void SoakRun::DrainReplyLog() {
    std::array<char, 4096> buffer;
    while (const std::size_t n = sim_.ReadOutput(buffer.data(), buffer.size())) {
        replyLog_.Feed(buffer.data(), n);
    }
}

}  // namespace kestrova::soak
