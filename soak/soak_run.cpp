#include "soak/soak_run.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <system_error>
#include <utility>

#include "common/number_text.h"
#include "soak/configuration_reload_check.h"
#include "soak/soak_report.h"

namespace kestrova::soak {

namespace fs = std::filesystem;

SoakRun::SoakRun(const SoakOptions& options, fs::path executableFolder)
    : options_(options),
      executableFolder_(std::move(executableFolder)),
      runMs_(static_cast<std::int64_t>(std::llround(options.minutes * 60'000.0))),
      operator_(options.seed) {}

int SoakRun::Run() {
    if (!Start()) return 2;
    RunSession();
    std::string stopError;
    const int simExit = Stop(stopError);
    const std::vector<Check> checks = Checks(simExit, stopError);
    PrintSummary(options_, figures_, display_, ledger_, checks);
    const bool allPassed = AllPassed(checks);
    RemoveOrKeepFolder(allPassed);
    return allPassed ? 0 : 1;
}

// The folder, the simulator and the core; false once the reason is printed.
bool SoakRun::Start() {
    std::string error;
    if (!PrepareRunFolder(executableFolder_, folder_, error)) {
        std::fprintf(stderr, "soak: %s\n", error.c_str());
        return false;
    }
    std::printf("soak: %s minutes, seed %u, folder %s, configuration from %s\n",
                DoubleToText(options_.minutes).c_str(), options_.seed, folder_.folder.c_str(),
                folder_.dataSource.c_str());
    if (!StartSimulator(options_.seed, error)) {
        std::fprintf(stderr, "soak: simulator: %s\n", error.c_str());
        return false;
    }
    std::printf("soak: simulator %d on %s\n", static_cast<int>(sim_.Pid()),
                sim_.DevicePath().c_str());
    std::fflush(stdout);
    return StartCore();
}

bool SoakRun::StartSimulator(std::uint32_t seed, std::string& error) {
    const std::vector<std::string> args{"--drop",       "0.05",
                                        "--corrupt",    "0.05",
                                        "--error",      "0.02",
                                        "--garbage",    "0.01",
                                        "--late",       "0.05",
                                        "--late-ms",    std::to_string(options_.lateMs),
                                        "--latency-ms", std::to_string(options_.latencyMs),
                                        "--seed",       std::to_string(seed),
                                        "--link",       folder_.LinkPath().string(),
                                        "--reply-log"};
    return sim_.Start(folder_.simProgram.string(), args, SimStartTimeoutMs, error);
}

bool SoakRun::StartCore() {
    core_.emplace(display_, placement_, line_, catalogue_, folder_.InterfacePath());
    Guarded("CoreStart", [&] { core_->CoreStart(); });
    if (!core_->StartupError().empty() || !core_->CheckConfigVersions()) {
        std::fprintf(stderr, "soak: the core did not start cleanly: %s\n",
                     std::string(core_->StartupError()).c_str());
        return false;
    }
    return true;
}

// From picking COM 1 to the end of the final checkpoint, on the timeline's real ticks.
void SoakRun::RunSession() {
    for (int p = 0; p < MaxPoints; ++p) lastCounts_[static_cast<std::size_t>(p)] = Pt(p).Msg_Count;
    SelectCom1();
    figures_.rssStartKiB = ReadOwnVmRssKiB();
    figures_.rssMaxKiB = figures_.rssStartKiB;

    timeline_.Start();
    while (phase_ != Phase::Done) {
        Millisecond();
        timeline_.WaitForNextTick();
    }
    figures_.elapsedSeconds = timeline_.ElapsedSeconds();
    figures_.lateTicks = timeline_.LateTicks();
    figures_.resyncs = timeline_.Resyncs();
    figures_.worstLatenessUs = timeline_.WorstLatenessUs();
    figures_.rssEndKiB = ReadOwnVmRssKiB();
    if (figures_.rssBaselineKiB < 0) figures_.rssBaselineKiB = figures_.rssEndKiB;
}

// Shuts the core down as the window's close does (the configuration files are written here),
// then the simulator. Returns the simulator's exit code, -1 when it was no longer running.
int SoakRun::Stop(std::string& stopError) {
    const bool simAlive = sim_.Running();
    try {
        core_->CoreStop();
    } catch (const std::exception& e) {
        stopError = e.what();
    }
    const int simExit = simAlive ? sim_.Stop(3000) : -1;
    figures_.requests = line_.frameCount;
    figures_.failedWrites = line_.refusedWrites;
    figures_.lateBytesDropped = core_->Port().LateBytesDropped();
    return simExit;
}

std::vector<Check> SoakRun::Checks(int simExit, const std::string& stopError) const {
    return {
        CheckNoCrash(figures_, simExit),
        CheckWritesReachedController(figures_),
        CheckCommsRecovered(figures_, display_.tracker),
        CheckMemoryGrowth(figures_, runMs_),
        CheckConfigurationReload(*core_, folder_, ledger_, placement_, stopError),
        CheckNoErrors(figures_, display_),
        CheckNoMisfiledValues(figures_),
    };
}

void SoakRun::RemoveOrKeepFolder(bool allPassed) {
    if (allPassed && !options_.keepFolder) {
        std::error_code ec;
        fs::remove_all(folder_.folder, ec);
    } else {
        std::printf("soak: files kept in %s\n", folder_.folder.c_str());
    }
}

void SoakRun::Millisecond() {
    ++nowMs_;
    ++figures_.commsTicks;
    const AwaitedRead read = ReadAwaited();
    Guarded("CommsTick", [&] { core_->CommsTick(); });
    CheckStoredRead(read);
    if (nowMs_ % 10 == 0) {
        ++figures_.systemTicks;
        Guarded("SystemTick", [&] { core_->SystemTick(); });
        CountExchanges();
    }
    OperatorStep();
    if (nowMs_ % 1000 == 0) EverySecond();
}

void SoakRun::EverySecond() {
    DrainReplyLog();  // so that the simulator never waits for room in the pipe
    const long rss = ReadOwnVmRssKiB();
    if (rss > 0) {
        figures_.rssMaxKiB = std::max(figures_.rssMaxKiB, rss);
        if (figures_.rssBaselineKiB < 0 && nowMs_ >= RssBaselineMs(runMs_)) {
            figures_.rssBaselineKiB = rss;
        }
    }
    if (!sim_.Running() && figures_.simTrouble.empty() && !sim_.UnexpectedEnd().empty()) {
        figures_.simTrouble =
            "the simulator " + sim_.UnexpectedEnd() + " at " + SecondsText(nowMs_);
        std::fprintf(stderr, "soak: %s\n", figures_.simTrouble.c_str());
    }
    if (nowMs_ % 60'000 == 0) {
        std::printf("soak: %s: %" PRId64 " requests, %" PRId64
                    " writes, %d checkpoints (%d passed), comms losses %d, RSS %ld KiB\n",
                    SecondsText(nowMs_).c_str(), line_.frameCount, ledger_.WritesTotal(),
                    figures_.checkpoints, figures_.checkpointsPassed, display_.tracker.Losses(),
                    rss);
        std::fflush(stdout);
    }
}

void SoakRun::CountExchanges() {
    for (int p = 0; p < MaxPoints; ++p) {
        const std::int32_t now = Pt(p).Msg_Count;
        const auto slot = static_cast<std::size_t>(p);
        figures_.goodExchanges += ReplyCountDelta(lastCounts_[slot], now);
        lastCounts_[slot] = now;
    }
}

}  // namespace kestrova::soak
