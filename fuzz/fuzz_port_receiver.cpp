// The port driver and the protocol receiver fed an arbitrary byte stream from a fake serial line,
// with point writes, scan ticks, link changes and settings changes scheduled in between.
//
// The point table starts from the shipped tag file. The input picks operations; the line answers
// with garbage bytes, good replies, error replies, lying queue counts, line errors, failed reads
// and refused writes. Checked after every operation: the driver and the protocol stay inside
// their tables and states, and every point's engineering value stays a finite number (the tag
// file is written back at exit and would otherwise no longer load).
//
// One protocol serves the whole process: a new one takes storage for its 10,000-exchange trace,
// which took most of an input's time. Every input rebuilds what the protocol works on in place
// and restarts the protocol, which must then show exactly what a new protocol shows, so each
// input starts from the same state.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "fuzz_support.h"
#include "points/point_database.h"
#include "points/tag_file.h"
#include "port/port_drv.h"
#include "protocol/protocol.h"

using namespace kestrova;
using namespace kestrova::fuzz;

namespace {

const PointDatabase& ShippedPoints() {
    static const PointDatabase points = [] {
        PointDatabase db;
        TagFile tags;
        tags.LoadPoints(db, "KESTROVA_001", KESTROVA_DATA_DIR);
        return db;
    }();
    return points;
}

// What the protocol works on, as every input finds it: a line that answers from the input, the
// shipped points, default settings, no port map and a driver on them.
struct Parts {
    test::FakeSerialLine line;
    PointDatabase db = ShippedPoints();
    SerialSettings settings;
    PortMap ports;
    PortDrv port{line, settings, ports};
    std::int64_t nowUs = 0;
};

// A restarted protocol shows what a new one shows (the old entries left in its trace's storage
// are out of sight).
void CheckAsNew(const Protocol& p, const Protocol& fresh) {
    FUZZ_CHECK(p.MsgBlockTable() == fresh.MsgBlockTable());
    FUZZ_CHECK(p.Channel() == fresh.Channel());
    FUZZ_CHECK(p.ProtocolState() == fresh.ProtocolState());
    FUZZ_CHECK(p.BlockCursor() == fresh.BlockCursor());
    FUZZ_CHECK(p.ReplyTimePerByte() == fresh.ReplyTimePerByte());
    FUZZ_CHECK(p.ReplyTimeBase() == fresh.ReplyTimeBase());
    FUZZ_CHECK(p.WriteCursor() == fresh.WriteCursor() && p.ReadCursor() == fresh.ReadCursor());
    FUZZ_CHECK(p.BlockStore() == fresh.BlockStore());
    FUZZ_CHECK(p.BlockSetComplete() == fresh.BlockSetComplete());
    FUZZ_CHECK(p.RejectedBlockReplies() == fresh.RejectedBlockReplies());
    FUZZ_CHECK(p.LinkStatistics() == fresh.LinkStatistics());
    FUZZ_CHECK(p.Trace().Size() == 0);
}

void CheckState(const PointDatabase& db, const PortDrv& port, const Protocol& protocol) {
    FUZZ_CHECK(port.ReplyLength() >= 0 && port.ReplyLength() <= PortDrv::MaxReplyLength);
    const auto transfer = static_cast<int>(port.TransferState());
    FUZZ_CHECK(transfer == 0 || transfer == 1 || transfer == 2 || transfer == 3 || transfer == 10);
    const auto state = static_cast<int>(protocol.ProtocolState());
    FUZZ_CHECK(state >= 0 && state <= 4);
    FUZZ_CHECK(protocol.BlockCursor() >= 0 && protocol.BlockCursor() < MsgBlockCount);
    FUZZ_CHECK(protocol.Channel().PayloadLength <= PayloadBufferSize);
    FUZZ_CHECK(protocol.Channel().ReplyLength <= ChannelReplyBufferSize);
    for (const MsgBlock& b : protocol.MsgBlockTable()) {
        FUZZ_CHECK(b.TxLength <= b.TxBytes.size());
    }
    for (int n = 0; n < MaxPoints; ++n) {
        const PointRecord& p = db.PointTable()[n];
        FUZZ_CHECK(std::isfinite(p.ScaledValue));
        FUZZ_CHECK(p.Read_Idx == -1 || (p.Read_Idx >= 1 && p.Read_Idx < MsgBlockCount));
        FUZZ_CHECK(p.Write_Idx == -1 || (p.Write_Idx >= 1 && p.Write_Idx < MsgBlockCount));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Parts parts;
    static Protocol protocol(parts.db, parts.port);
    static const Protocol fresh(parts.db, parts.port);
    // Rebuilt at the same address, so the protocols' references name the new parts.
    std::destroy_at(&parts);
    std::construct_at(&parts);
    protocol.Restart();
    CheckAsNew(protocol, fresh);

    FuzzedDataProvider input(data, size);
    test::FakeSerialLine& line = parts.line;
    AnswerFrom(input, line);
    PointDatabase& db = parts.db;
    db.SetPersistantMode(input.ConsumeBool());
    PortDrv& port = parts.port;
    // Time runs as the ticks do, half a millisecond a poll, so time limits and quiet times
    // are reached within an input's bounded ticks.
    std::int64_t& nowUs = parts.nowUs;
    port.SetClock([] { return parts.nowUs; });  // parts is static: nothing to capture

    // As the core starts and connects.
    port.PortInit();
    protocol.ProtocolInit();
    port.PortOpen();
    if (port.LinkState() == PortLinkState::Open) {
        for (int n = 0; n < MaxPoints; ++n) db.ClearPointWriteRequest(n);
        port.PortResetTransfer();
        protocol.ProtocolReset();
    }

    // Bounded work per input, so every input runs in well under a second.
    int ticksLeft = 20000;
    for (int op = 0; op < 2000 && ticksLeft > 0 && input.remaining_bytes() > 0; ++op) {
        switch (input.ConsumeIntegralInRange<int>(0, 11)) {
            case 0:
            case 1: {  // comms ticks
                const int ticks = input.ConsumeIntegralInRange<int>(1, 64);
                for (int t = 0; t < ticks; ++t) {
                    port.PortPoll();
                    nowUs += PortDrv::MicrosPerPoll;
                    protocol.ProtocolPoll();
                    port.PortPoll();
                    nowUs += PortDrv::MicrosPerPoll;
                }
                ticksLeft -= ticks;
                break;
            }
            case 2: ArriveReply(input, line, false); break;
            case 3: ArriveReply(input, line, input.ConsumeIntegralInRange<int>(0, 3) == 0); break;
            case 4: ArriveBytes(input, line, 300); break;
            case 5:  // an operator's write, any point number, any finite value
                db.WritePoint(input.ConsumeIntegralInRange<int>(-2, MaxPoints + 1),
                              input.ConsumeBool() ? input.ConsumeIntegralInRange<int>(-70000, 70000)
                                                  : input.ConsumeFloatingPoint<double>());
                break;
            case 6: {  // system ticks: scan timers and point reads
                const int ticks = input.ConsumeIntegralInRange<int>(1, 16);
                for (int t = 0; t < ticks; ++t) {
                    db.TickScanTimers();
                    db.ScanPoints();
                }
                break;
            }
            case 7: {  // a hostile tag file: any type, flags, block descriptor, scaling or network
                const int picked = input.ConsumeIntegralInRange<int>(0, MaxPoints - 1);
                const int field = input.ConsumeIntegralInRange<int>(0, 5);
                // The block descriptor is always the block read point's.
                const int point = field == 1 ? BlockReadPoint : picked;
                PointRecord p = db.PointTable()[point];
                switch (field) {
                    case 0: p.Pt_Flags = input.ConsumeIntegral<std::uint32_t>(); break;
                    case 1: p.Mem_Type = input.ConsumeIntegral<std::int32_t>(); break;
                    case 2: p.Address = input.ConsumeIntegral<std::int32_t>(); break;
                    case 3:
                        p.ScaleMult = input.ConsumeFloatingPoint<double>();
                        p.ScaleOffset = input.ConsumeFloatingPoint<double>();
                        break;
                    case 4:
                        p.ScaleMin = input.ConsumeFloatingPoint<double>();
                        p.ScaleMax = input.ConsumeFloatingPoint<double>();
                        break;
                    default: p.Network_0 = input.ConsumeIntegralInRange<int>(1, 3); break;
                }
                db.StorePoint(point, p);
                break;
            }
            case 8:  // settings change staged by the operator
                if (port.PortBeginSettings()) {
                    port.PortSetNewPort(input.ConsumeIntegral<std::int32_t>());
                    port.PortSetNewBaud(input.ConsumeIntegral<std::int32_t>());
                    port.PortSetNewData(input.ConsumeIntegral<std::int32_t>());
                    port.PortSetNewParity(input.ConsumeIntegral<std::int32_t>());
                    port.PortSetNewStop(input.ConsumeIntegral<std::int32_t>());
                    if (input.ConsumeBool()) port.PortCommitSettings();
                }
                break;
            case 9:  // link closed and opened again, as a new port selection does
                port.PortResetTransfer();
                protocol.ProtocolReset();
                db.ClearAllTransferErrors();
                port.PortClose();
                if (input.ConsumeBool()) {
                    protocol.ProtocolInit();
                    port.PortOpen();
                    if (port.LinkState() == PortLinkState::Open) {
                        port.PortResetTransfer();
                        protocol.ProtocolReset();
                    }
                }
                break;
            case 10: {
                const int timer = input.ConsumeIntegralInRange<int>(0, ScanTimerCount - 1);
                db.SetScanPeriod(timer, input.ConsumeIntegralInRange<int>(-2, 50));
                break;
            }
            default: {  // a frame of any length handed straight to the driver
                const std::vector<std::uint8_t> frame =
                    input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<int>(0, 200));
                port.PortSetReplyLength(input.ConsumeIntegralInRange<int>(-1, 300));
                port.PortSetReplyLimit(input.ConsumeIntegralInRange<int>(-1, 100));
                port.PortSetEndChar(input.ConsumeIntegral<std::uint8_t>());
                // The caller's side of the contract holds: the bytes given are there to be read.
                const int length = input.ConsumeIntegralInRange<int>(-1, 200);
                port.PortSend(length,
                              length <= static_cast<int>(frame.size()) ? frame.data() : nullptr);
                break;
            }
        }
        CheckState(db, port, protocol);
    }
    return 0;
}
