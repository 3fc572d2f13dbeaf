// comms_rate: how close the port driver and protocol come to their throughput limits against the
// simulated controller.
//
//   comms_rate [--seconds N] [--baud N] [--latency-ms N] [--via rfc2217|tcp]
//
// Starts kestrova-sim (from the folder of this program) as a child on a pseudo-terminal, with
// --baud and --latency-ms passed on when given; loads a generated tag file in which every point is
// read with scan class 0 and scan period 0, so the message blocks are always full; then runs the
// comms tick (PortPoll, ProtocolPoll, PortPoll) every 1 ms and the scan timers and point scan every
// 10 ms on the monotonic clock, sleeping to each absolute 1 ms deadline. With --via, the line runs
// through a ser2net on 127.0.0.1 in front of the pseudo-terminal (its RFC 2217 or its raw TCP
// accepter, without character delay). Prints one "name value"
// line per figure, the ratio of the measured exchange rate to the lower limit last.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "common/number_text.h"
#include "config/serial_settings.h"
#include "points/point_database.h"
#include "points/tag_file.h"
#include "port/port_drv.h"
#include "port/routing_serial_line.h"
#include "protocol/protocol.h"
#include "support/ser2net_server.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using namespace kestrova;

namespace {

constexpr int ComPort = 1;
constexpr long TickNs = 1'000'000;
constexpr int SystemTickEvery = 10;
constexpr double TickBoundLimit = 500.0;  // one exchange per two 1 ms comms ticks
constexpr int BitsPerByte = 10;
constexpr double PollingSeconds = 0.002;  // the two comms ticks an exchange needs at least

struct Options {
    int seconds = 10;
    int baud = 0;       // 0: unpaced
    int latencyMs = 0;  // the simulator holds each reply back up to this long (a USB adapter)
    std::string via;    // "rfc2217" or "tcp": through ser2net; empty: the pseudo-terminal
};

void Usage() {
    std::fprintf(stderr,
                 "usage: comms_rate [--seconds N] [--baud N] [--latency-ms N] "
                 "[--via rfc2217|tcp]\n");
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--via" && i + 1 < argc &&
            (std::string(argv[i + 1]) == "rfc2217" || std::string(argv[i + 1]) == "tcp")) {
            options.via = argv[++i];
        } else if ((arg == "--seconds" || arg == "--baud" || arg == "--latency-ms") &&
                   i + 1 < argc) {
            const std::optional<std::int32_t> value = TryTextToInt(argv[++i]);
            if (!value || *value <= 0) {
                std::fprintf(stderr, "comms_rate: %s needs a positive whole number\n", arg.c_str());
                return false;
            }
            (arg == "--seconds" ? options.seconds
             : arg == "--baud"  ? options.baud
                                : options.latencyMs) = *value;
        } else {
            Usage();
            return false;
        }
    }
    return true;
}

// The simulator's values (address, type code); every other point reads the firmware version.
struct PointDef {
    std::int32_t address;
    std::uint32_t type;
};

PointDef SimulatorPoint(int point) {
    constexpr std::uint32_t U8 = 32, S16 = 64, U16 = 128;
    if (point == 5) return {0x0A02, U16};
    if (point == 6) return {0x0A04, U8};
    const int axis = point / 10 - 1;
    const int slot = point % 10;
    if (axis >= 0 && axis < 3) {
        const std::int32_t base = 0x0A50 + 0x20 * axis;
        switch (slot) {
            case 0: return {base + 0x02, S16};
            case 1: return {base + 0x00, S16};
            case 2: return {base + 0x06, S16};
            case 3: return {base + 0x04, S16};
            case 6: return {base + 0x08, S16};
            case 7: return {base + 0x0A, U8};
            case 8: return {base + 0x0C, S16};
            case 9: return {base + 0x0E, S16};
            default: break;
        }
    }
    return {0x0A00, U16};
}

// Writes a tag file in which every point is network readable with scan class 0.
bool WriteTagFile(const fs::path& file) {
    std::ofstream out(file, std::ios::binary);
    out << "[TITLE]\r\nVersion=1201\r\n";
    for (int p = 0; p < MaxPoints; ++p) {
        const PointDef def = SimulatorPoint(p);
        out << "[" << TagFile::PointSectionName(p) << "]\r\n"
            << "Name=Point" << p << "\r\n"
            << "Address=" << def.address << "\r\n"
            << "Pt_Flags=" << (def.type | PtNetRead) << "\r\n"
            << "Network_0=2\r\nNetwork_1=0\r\nNetwork_2=0\r\nNetwork_3=0\r\n";
    }
    out.flush();
    return static_cast<bool>(out);
}

fs::path ProgramFolder() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path();
}

// Runs kestrova-sim with its stdout on a pipe and reads the device path it prints.
pid_t StartSimulator(const fs::path& program, const Options& options, std::string& device,
                     int& outFd) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const std::string baudText = IntToText(options.baud);
    const std::string latencyText = IntToText(options.latencyMs);
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        const std::string path = program.string();
        // "--baud 0" leaves the line unpaced, "--latency-ms 0" holds nothing back.
        execl(path.c_str(), path.c_str(), "--baud", baudText.c_str(), "--latency-ms",
              latencyText.c_str(), static_cast<char*>(nullptr));
        std::perror("comms_rate: cannot run kestrova-sim");
        _exit(127);
    }
    close(fds[1]);
    outFd = fds[0];
    device.clear();
    char c = 0;
    while (read(outFd, &c, 1) == 1 && c != '\n') device.push_back(c);
    return pid;
}

void StopSimulator(pid_t pid, int outFd) {
    if (pid > 0) {
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
    }
    if (outFd >= 0) close(outFd);
}

double Seconds(const timespec& t) { return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9; }

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

void AddNs(timespec& t, long ns) {
    t.tv_nsec += ns;
    while (t.tv_nsec >= 1'000'000'000) {
        t.tv_nsec -= 1'000'000'000;
        ++t.tv_sec;
    }
}

bool Before(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Mean bytes on the wire per exchange (request frame and good reply), over the points as the
// scheduler reads them: each point equally often, since every point is always wanted.
double MeanExchangeBytes(const PointDatabase& db) {
    double total = 0.0;
    for (int p = 0; p < MaxPoints; ++p) {
        int count = PointDatabase::TypeCodeSize(db.PointTable()[p].Pt_Flags);
        if (p == 2 || p == 3) count = 1;
        if (p == BlockReadPoint) {
            const BlockDescriptor d =
                BlockDescriptor::FromWord(db.PointTable()[BlockReadPoint].Mem_Type);
            count = d.Valid() ? d.size : 1;
        }
        total += ReadRequestLength + count + ReadReplyOverhead;
    }
    return total / MaxPoints;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) return 2;

    // Sleep deadlines as sharp as the kernel allows.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    signal(SIGPIPE, SIG_IGN);

    PointDatabase db;
    TagFile tags;
    bool written = false;
    {
        const test::TempFolder folder("comms_rate");
        written = WriteTagFile(folder / "KESTROVA_001.TG1");
        if (written) tags.LoadPoints(db, "KESTROVA_001", folder.Path());
    }
    if (!written || tags.TagFileVersion != 1201) {
        std::fprintf(stderr, "comms_rate: the generated tag file did not load\n");
        return 1;
    }
    for (int timer = 0; timer < ScanTimerCount; ++timer) db.SetScanPeriod(timer, 0);
    db.SetPersistantMode(true);

    const fs::path simulator = ProgramFolder() / "kestrova-sim";
    std::string device;
    int simOut = -1;
    const pid_t sim = StartSimulator(simulator, options, device, simOut);
    if (sim <= 0 || device.empty()) {
        std::fprintf(stderr, "comms_rate: %s did not start\n", simulator.c_str());
        StopSimulator(sim, simOut);
        return 1;
    }

    const test::TempFolder serverFolder("comms_rate_ser2net");
    test::Ser2netServer server(serverFolder.Path(), device);
    if (!options.via.empty()) {
        if (!server.Start()) {
            std::fprintf(stderr, "comms_rate: ser2net did not start\n");
            StopSimulator(sim, simOut);
            return 1;
        }
        device = options.via == "tcp" ? server.RawUrl() : server.Rfc2217Url();
    }

    RoutingSerialLine line;
    SerialSettings settings;
    settings.Port = ComPort;
    if (options.baud > 0) settings.BAUD = options.baud;
    PortMap ports;
    ports.Set(ComPort, device);
    PortDrv port(line, settings, ports);
    Protocol proto(db, port);

    port.PortInit();
    proto.ProtocolInit();
    port.PortOpen();
    if (port.LinkState() != PortLinkState::Open) {
        std::fprintf(stderr, "comms_rate: cannot open %s: %s\n", device.c_str(),
                     std::string(port.PortErrorText()).c_str());
        StopSimulator(sim, simOut);
        return 1;
    }
    for (int p = 0; p < MaxPoints; ++p) db.ClearPointWriteRequest(p);
    port.PortResetTransfer();
    proto.ProtocolReset();

    long ticks = 0;
    long good = 0;
    long failed = 0;
    long late = 0;
    const long totalTicks = static_cast<long>(options.seconds) * 1000;

    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const double cpuStart = CpuSeconds();
    timespec deadline = start;

    while (ticks < totalTicks) {
        // The comms tick. A reply is handled in this ProtocolPoll when the transfer has ended
        // while the protocol awaits it.
        port.PortPoll();
        const PortTransferState transfer = port.TransferState();
        const bool handles =
            proto.ProtocolState() == PollState::AwaitReply &&
            (transfer == PortTransferState::Complete || transfer == PortTransferState::Failed);
        const int block = proto.BlockCursor();
        proto.ProtocolPoll();
        if (handles) {
            if (proto.MsgBlockTable()[static_cast<std::size_t>(block)].Result.Good()) {
                ++good;
            } else {
                ++failed;
            }
        }
        port.PortPoll();

        if (ticks % SystemTickEvery == 0) {
            db.TickScanTimers();
            db.ScanPoints();
        }
        ++ticks;

        AddNs(deadline, TickNs);
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (Before(now, deadline)) {
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
        } else {
            // Behind by a whole tick or more: start again from now rather than run a burst of
            // ticks that no reply could keep up with.
            timespec limit = deadline;
            AddNs(limit, TickNs);
            if (!Before(now, limit)) {
                deadline = now;
                ++late;
            }
        }
    }

    timespec end{};
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double wall = Seconds(end) - Seconds(start);
    const double cpu = CpuSeconds() - cpuStart;

    port.PortClose();
    StopSimulator(sim, simOut);

    const double exchangesPerSecond = static_cast<double>(good) / wall;
    double lowest = TickBoundLimit;
    std::printf("exchanges_per_second %.1f\n", exchangesPerSecond);
    std::printf("comms_ticks_per_second %.1f\n", static_cast<double>(ticks) / wall);
    std::printf("tick_bound_limit %.1f\n", TickBoundLimit);
    if (options.baud > 0) {
        const double bytes = MeanExchangeBytes(db);
        const double wireLimit =
            1.0 / (bytes * BitsPerByte / static_cast<double>(options.baud) + PollingSeconds);
        std::printf("wire_bound_limit %.1f\n", wireLimit);
        lowest = std::min(lowest, wireLimit);
    }
    std::printf("failed_share %.4f\n",
                static_cast<double>(failed) / static_cast<double>(std::max(good + failed, 1L)));
    std::printf("cpu_seconds_per_wall_second %.4f\n", cpu / wall);
    std::printf("ratio %.3f\n", exchangesPerSecond / lowest);
    std::fflush(stdout);
    if (failed > 0 || late > 0) {
        std::fprintf(stderr, "comms_rate: %ld failed exchanges, %ld late ticks\n", failed, late);
    }
    return 0;
}
