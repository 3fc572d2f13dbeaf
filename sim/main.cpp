// kestrova-sim: a simulated Kestrova wheel controller on a pseudo-terminal.
//
// Prints the terminal's device path on stdout (one line, and another for each new terminal after
// an unplug) and serves RTDM requests on it until SIGINT or SIGTERM; SIGUSR1 switches the
// controller silent and back (a cut wire), --unplug-after takes the device away (a pulled
// adapter).
#include "sim/pty_simulator.h"

#include "common/number_text.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

void PrintUsage(std::FILE* to) {
    std::fputs(
        "Usage: kestrova-sim [options]\n"
        "  --link PATH      keep a symbolic link to the device at PATH (a stale one is replaced)\n"
        "  --mode M         controller mode at power-on: enhanced (default) or legacy\n"
        "  --drop P         chance 0..1 that a reply is not sent\n"
        "  --corrupt P      chance that a reply's checksum is damaged\n"
        "  --error P        chance that an error reply (code 0x10, busy) replaces the reply\n"
        "  --garbage P      chance that 1 to 8 stray bytes go out before a reply\n"
        "  --late P         chance that a reply goes out only after the utility's time limit\n"
        "  --late-ms N      how much later a late reply goes out (default 60)\n"
        "  --latency-ms N   hold every reply back a random 0..N ms, in order (a USB adapter's\n"
        "                   latency timer)\n"
        "  --delay-ms N     wait N ms before each reply\n"
        "  --baud N         pace requests and replies as an N baud line (10 bits a byte)\n"
        "  --silent         answer nothing (SIGUSR1 toggles this while running)\n"
        "  --unplug-after S  after S seconds remove the link and close the terminal\n"
        "                    (once)\n"
        "  --return-after S  S seconds after the unplug, a new terminal and the link\n"
        "                    again\n"
        "  --ignore-writes ADDR  acknowledge writes to the value at ADDR (decimal or 0x\n"
        "                        hex) without applying them\n"
        "  --trace          log every frame on stderr\n"
        "  --reply-log      after the device path, one line per intact good read reply on\n"
        "                   stdout: read <address> <data> (hex), before its first byte leaves\n"
        "  --seed N         seed of the fault chances (default 1)\n"
        "On SIGINT or SIGTERM the counts of requests and faults go to stderr.\n",
        to);
}

bool ParseProbability(std::string_view text, double& out) {
    const auto value = kestrova::TryTextToDouble(text);
    if (!value || !(*value >= 0.0 && *value <= 1.0)) {
        return false;
    }
    out = *value;
    return true;
}

bool ParseCount(std::string_view text, int& out) {
    const auto value = kestrova::TryTextToInt(text);
    if (!value || *value < 0) {
        return false;
    }
    out = *value;
    return true;
}

// A memory address: decimal, or hexadecimal after "0x".
bool ParseAddress(std::string_view text, std::optional<std::uint32_t>& out) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        return false;
    }
    out = value;
    return true;
}

// Seconds, fractions allowed, up to a day.
bool ParseSeconds(std::string_view text, std::optional<std::chrono::microseconds>& out) {
    const auto value = kestrova::TryTextToDouble(text);
    if (!value || !(*value >= 0.0 && *value <= 86400.0)) {
        return false;
    }
    out = std::chrono::microseconds(std::llround(*value * 1e6));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    kestrova::SimOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        const std::string_view value =
            hasValue ? std::string_view(argv[i + 1]) : std::string_view();
        bool ok = true;
        bool usedValue = true;
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return 0;
        } else if (arg == "--silent") {
            options.silent = true;
            usedValue = false;
        } else if (arg == "--trace") {
            options.trace = stderr;
            usedValue = false;
        } else if (arg == "--reply-log") {
            options.replyLog = stdout;
            usedValue = false;
        } else if (!hasValue) {
            ok = false;
        } else if (arg == "--link") {
            options.linkPath = std::string(value);
        } else if (arg == "--mode") {
            if (value == "enhanced") {
                options.controllerMode = 1;
            } else if (value == "legacy") {
                options.controllerMode = 0;
            } else {
                ok = false;
            }
        } else if (arg == "--drop") {
            ok = ParseProbability(value, options.faults.drop);
        } else if (arg == "--corrupt") {
            ok = ParseProbability(value, options.faults.corrupt);
        } else if (arg == "--error") {
            ok = ParseProbability(value, options.faults.error);
        } else if (arg == "--garbage") {
            ok = ParseProbability(value, options.faults.garbage);
        } else if (arg == "--late") {
            ok = ParseProbability(value, options.faults.late);
        } else if (arg == "--late-ms") {
            ok = ParseCount(value, options.lateMs);
        } else if (arg == "--latency-ms") {
            ok = ParseCount(value, options.faults.latencyMs);
        } else if (arg == "--delay-ms") {
            ok = ParseCount(value, options.delayMs);
        } else if (arg == "--baud") {
            ok = ParseCount(value, options.baud);
        } else if (arg == "--unplug-after") {
            ok = ParseSeconds(value, options.unplugAfter);
        } else if (arg == "--return-after") {
            ok = ParseSeconds(value, options.returnAfter);
        } else if (arg == "--ignore-writes") {
            ok = ParseAddress(value, options.ignoreWritesTo);
        } else if (arg == "--seed") {
            int seed = 0;
            ok = ParseCount(value, seed);
            options.faults.seed = static_cast<std::uint32_t>(seed);
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "kestrova-sim: bad option %s%s%s\n", argv[i],
                         hasValue && usedValue ? " " : "",
                         hasValue && usedValue ? argv[i + 1] : "");
            PrintUsage(stderr);
            return 2;
        }
        if (usedValue) {
            ++i;
        }
    }

    if (options.returnAfter && !options.unplugAfter) {
        std::fputs("kestrova-sim: --return-after needs --unplug-after\n", stderr);
        PrintUsage(stderr);
        return 2;
    }

    // The stop and toggle signals arrive through a descriptor, polled with the line.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    if (sigprocmask(SIG_BLOCK, &signals, nullptr) != 0) {
        std::perror("kestrova-sim: sigprocmask");
        return 1;
    }
    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd < 0) {
        std::perror("kestrova-sim: signalfd");
        return 1;
    }

    kestrova::PtySimulator simulator(options);
    std::string error;
    if (!simulator.Start(error)) {
        std::fprintf(stderr, "kestrova-sim: %s\n", error.c_str());
        close(signalFd);
        return 1;
    }
    std::printf("%s\n", simulator.DevicePath().c_str());
    std::fflush(stdout);

    bool running = true;
    bool plugged = true;
    while (running) {
        const bool woken = simulator.Poll(1, signalFd);
        if (!simulator.Running()) {
            std::fprintf(stderr, "kestrova-sim: %s\n", simulator.StopReason().c_str());
            close(signalFd);
            return 1;
        }
        if (simulator.Plugged() != plugged) {
            plugged = simulator.Plugged();
            if (plugged) {
                std::printf("%s\n", simulator.DevicePath().c_str());
                std::fflush(stdout);
                std::fprintf(stderr, "kestrova-sim: plugged in again on %s\n",
                             simulator.DevicePath().c_str());
            } else {
                std::fputs("kestrova-sim: unplugged: link removed, line closed\n", stderr);
            }
        }
        if (!woken) {
            continue;
        }
        signalfd_siginfo info{};
        while (read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            if (info.ssi_signo == SIGUSR1) {
                simulator.SetSilent(!simulator.Silent());
                std::fprintf(stderr, "kestrova-sim: %s\n",
                             simulator.Silent() ? "silent" : "answering again");
            } else {
                running = false;
            }
        }
    }
    simulator.Stop();
    close(signalFd);
    const kestrova::SimStats& stats = simulator.Model().Stats();
    const kestrova::FaultCounts& faults = simulator.Faults();
    std::fprintf(stderr,
                 "kestrova-sim: requests %u, error replies %u, dropped %u, corrupted %u, "
                 "injected error replies %u\n",
                 stats.requests, stats.errorReplies, faults.dropped, faults.corrupted,
                 faults.errorReplies);
    return 0;
}
