// Micro-benchmarks of the protocol's per-cycle work: the checksum of a frame and the filling of
// the message block table.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "config/serial_settings.h"
#include "points/point_database.h"
#include "port/port_drv.h"
#include "protocol/msg_frames.h"
#include "protocol/protocol.h"
#include "support/fake_serial_line.h"

namespace {

using namespace kestrova;

void BM_Crc16(benchmark::State& state) {
    std::array<std::uint8_t, 64> frame{};
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(i * 7);
    const auto length = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(Crc16(frame.data(), length, Crc16Start));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(length));
}
BENCHMARK(BM_Crc16)->Arg(9)->Arg(13)->Arg(62);

// A full cycle: every point wants a read (and every fourth a write too), so 31 blocks are built.
void BM_ScheduleCycle(benchmark::State& state) {
    test::FakeSerialLine line;  // never opened: ScheduleCycle does not touch the port
    SerialSettings settings;
    PortMap ports;
    PortDrv port(line, settings, ports);
    PointDatabase db;
    Protocol proto(db, port);
    PointDatabase::PointArray wanted{};
    for (int p = 0; p < MaxPoints; ++p) {
        db.ClearPoint(p);
        PointRecord r = db.PointTable()[p];
        r.Pt_Flags = 64 | PtNetReadWrite;
        r.Address = 0x0A00 + 2 * p;
        r.Network_0 = 2;
        r.Network_1 = r.Network_2 = r.Network_3 = 0;
        r.Msg_Flags = MsgReadRequest | (p % 4 == 0 ? MsgWriteRequest : 0u);
        wanted[static_cast<std::size_t>(p)] = r;
    }
    proto.ProtocolInit();
    for (auto _ : state) {
        for (int p = 0; p < MaxPoints; ++p) db.StorePoint(p, wanted[static_cast<std::size_t>(p)]);
        db.ClearAllTransferSlots();
        proto.ResetAllBlocks();
        proto.ScheduleCycle();
        benchmark::DoNotOptimize(proto.MsgBlockTable()[LastMsgBlock].TxBytes[0]);
    }
}
BENCHMARK(BM_ScheduleCycle);

}  // namespace

BENCHMARK_MAIN();
