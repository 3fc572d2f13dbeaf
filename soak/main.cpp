// soak: the headless core against a faulty simulated controller for minutes on end.
//
// An operator trims the three axes continuously while the core runs on real 1 ms and 10 ms ticks
// over a pseudo-terminal to a child kestrova-sim that drops, damages, refuses and prefixes
// replies. Midway the simulator is killed and started again, and the operator picks COM 1 anew
// once the dashboard shows the loss. Every few seconds the operator stops to check that the
// controller holds the values written; at the end the configuration files written at exit are
// read back. The run prints a summary and exits non-zero when any check fails.
#include <algorithm>
#include <array>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/number_text.h"
#include "config/kestrova_ini.h"
#include "config/window_placement.h"
#include "core/app_service.h"
#include "points/point_database.h"
#include "points/tag_file.h"
#include "soak/counting_line.h"
#include "soak/configuration_reload_check.h"
#include "soak/run_figures.h"
#include "soak/run_folder.h"
#include "soak/sim_process.h"
#include "soak/soak_display.h"
#include "soak/soak_checks.h"
#include "soak/soak_logic.h"
#include "soak/soak_report.h"
#include "soak/timeline.h"

namespace kestrova::soak {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t CheckpointEveryMs = 5'000;     // writing between two checks
constexpr std::int64_t CheckpointTimeoutMs = 20'000;  // settle and read back within this
constexpr std::int64_t ReselectAfterLossMs = 3'000;   // the operator waits this long, then picks COM 1
constexpr std::int64_t ReselectRepeatMs = 6'000;
constexpr int SimStartTimeoutMs = 5'000;

// --- The run ----------------------------------------------------------------------------------------

class SoakRun {
public:
    SoakRun(const SoakOptions& options, fs::path executableFolder)
        : options_(options),
          executableFolder_(std::move(executableFolder)),
          runMs_(static_cast<std::int64_t>(std::llround(options.minutes * 60'000.0))),
          operator_(options.seed) {}

    int Run();

private:
    enum class Phase { Writing, Settle, ReadBack, Done };

    bool StartSimulator(std::uint32_t seed, std::string& error);
    template <class F>
    void Guarded(std::string_view what, F&& f);
    void Millisecond();
    void EverySecond();
    void CountExchanges();
    void OperatorStep();
    void Fire(const OperatorEvent& event);
    void SelectCom1();
    void KillAndRestart();
    void BeginCheckpoint(bool final);
    void CheckpointStep();
    void FinishCheckpoint(bool settled);
    bool CommsGood() const { return core_->State().CommsState == kestrova::CommsGood; }
    const PointRecord& Pt(int p) const {
        return core_->Points().PointTable[static_cast<std::size_t>(p)];
    }

    SoakOptions options_;
    fs::path executableFolder_;
    std::int64_t runMs_;
    RunFolder folder_;

    std::int64_t nowMs_ = 0;  // milliseconds of the session, one per comms tick
    SoakDisplay display_{nowMs_};
    PlainWindowPlacement placement_;
    CountingLine line_;
    std::optional<AppService> core_;
    SimProcess sim_;
    Operator operator_;
    WriteLedger ledger_;
    Timeline timeline_;
    RunFigures figures_;

    std::array<std::int32_t, MaxPoints> lastCounts_{};  // reply counters at the last system tick
    std::int64_t lastSelectMs_ = -1'000'000;

    Phase phase_ = Phase::Writing;
    bool finalCheckpoint_ = false;
    std::int64_t phaseStartMs_ = 0;
    std::int64_t checkpointStartMs_ = 0;
    std::array<std::int32_t, AdjustPoints.size()> readBackCounts_{};
};

bool SoakRun::StartSimulator(std::uint32_t seed, std::string& error) {
    const std::vector<std::string> args{"--drop",    "0.05", "--corrupt", "0.05",
                                        "--error",   "0.02", "--garbage", "0.01",
                                        "--seed",    std::to_string(seed),
                                        "--link",    folder_.LinkPath().string()};
    return sim_.Start(folder_.simProgram.string(), args, SimStartTimeoutMs, error);
}

template <class F>
void SoakRun::Guarded(std::string_view what, F&& f) {
    // The window's message loop would show the message and go on with the next tick; the soak
    // counts it, since the operator's input and the simulator never justify one.
    try {
        f();
    } catch (const std::exception& e) {
        if (figures_.errorsRaised++ == 0) figures_.firstError = std::string(what) + ": " + e.what();
    }
}

void SoakRun::CountExchanges() {
    for (int p = 0; p < MaxPoints; ++p) {
        const std::int32_t now = Pt(p).Msg_Count;
        figures_.goodExchanges += ReplyCountDelta(lastCounts_[static_cast<std::size_t>(p)], now);
        lastCounts_[static_cast<std::size_t>(p)] = now;
    }
}

void SoakRun::EverySecond() {
    const long rss = ReadOwnVmRssKiB();
    if (rss > 0) {
        figures_.rssMaxKiB = std::max(figures_.rssMaxKiB, rss);
        if (figures_.rssBaselineKiB < 0 && nowMs_ >= RssBaselineMs(runMs_)) figures_.rssBaselineKiB = rss;
    }
    if (!sim_.Running() && figures_.simTrouble.empty() && !sim_.UnexpectedEnd().empty()) {
        figures_.simTrouble = "the simulator " + sim_.UnexpectedEnd() + " at " + SecondsText(nowMs_);
        std::fprintf(stderr, "soak: %s\n", figures_.simTrouble.c_str());
    }
    if (nowMs_ % 60'000 == 0) {
        std::printf("soak: %s: %" PRId64 " requests, %" PRId64 " writes, %d checkpoints (%d passed), "
                    "comms losses %d, RSS %ld KiB\n",
                    SecondsText(nowMs_).c_str(), line_.requests, ledger_.WritesTotal(), figures_.checkpoints,
                    figures_.checkpointsPassed, display_.tracker.Losses(), rss);
        std::fflush(stdout);
    }
}

void SoakRun::SelectCom1() {
    // Values still waiting to be sent are withdrawn when the link reopens: the operator knows
    // they have to be set again.
    for (int p : AdjustPoints) {
        if (core_->Points().PointWriteBusy(p)) ledger_.Written(p, Pt(p).ScaledValue, false);
    }
    ++figures_.selections;
    lastSelectMs_ = nowMs_;
    Guarded("CommsSelect", [&] { core_->ServiceEvent("CommsSelect", "0"); });
    if (figures_.killed && figures_.reselectAfterKillMs < 0) figures_.reselectAfterKillMs = nowMs_;
}

void SoakRun::Fire(const OperatorEvent& event) {
    const bool good = CommsGood();
    const double before = Pt(event.point).ScaledValue;
    // The block carrying the previous value is already built: this value must still follow it.
    if (good && Pt(event.point).Write_Idx != -1) ++figures_.writesOverInFlight;
    Guarded(event.object, [&] { core_->ServiceEvent(event.object, event.text); });
    ++figures_.events;
    const double after = Pt(event.point).ScaledValue;
    // A step at its limit writes nothing; every track bar value is written.
    if (event.trackBar || after != before) ledger_.Written(event.point, after, good);
}

void SoakRun::KillAndRestart() {
    figures_.killed = true;
    figures_.killMs = nowMs_;
    sim_.Kill();
    // A restarted controller comes up with its power-on memory.
    ledger_.ForgetAll();
    std::string error;
    if (!StartSimulator(options_.seed + 1, error)) {
        figures_.simRestartFailed = true;
        figures_.simTrouble = "restart failed: " + error;
        std::fprintf(stderr, "soak: simulator %s\n", figures_.simTrouble.c_str());
    }
    std::printf("soak: %s: simulator killed and restarted on %s\n", SecondsText(nowMs_).c_str(),
                sim_.DevicePath().c_str());
    std::fflush(stdout);
}

void SoakRun::OperatorStep() {
    // A loss that lasts: pick COM 1 again, as an operator would.
    const CommsCaptionTracker& t = display_.tracker;
    if (t.LossOpen() && nowMs_ - t.LossSinceMs() >= ReselectAfterLossMs &&
        nowMs_ - lastSelectMs_ >= ReselectRepeatMs) {
        operator_.Interrupt(nowMs_);
        SelectCom1();
        return;
    }
    if (figures_.killed && figures_.lostAfterKillMs < 0 && t.LastLossMs() >= figures_.killMs) figures_.lostAfterKillMs = t.LastLossMs();
    if (figures_.reselectAfterKillMs >= 0 && figures_.goodAfterReselectMs < 0 && t.LastGoodMs() >= figures_.reselectAfterKillMs) {
        figures_.goodAfterReselectMs = t.LastGoodMs();
    }

    if (phase_ != Phase::Writing) {
        CheckpointStep();
        return;
    }
    if (!figures_.killed && nowMs_ >= runMs_ / 2) {
        KillAndRestart();
        return;
    }
    if (nowMs_ >= runMs_) {
        BeginCheckpoint(true);
        return;
    }
    if (nowMs_ - phaseStartMs_ >= CheckpointEveryMs && CommsGood()) {
        BeginCheckpoint(false);
        return;
    }
    if (auto event = operator_.Next(nowMs_, display_.views)) Fire(*event);
}

void SoakRun::BeginCheckpoint(bool final) {
    phase_ = Phase::Settle;
    finalCheckpoint_ = final;
    checkpointStartMs_ = nowMs_;
    operator_.Interrupt(nowMs_);
}

void SoakRun::CheckpointStep() {
    if (nowMs_ - checkpointStartMs_ > CheckpointTimeoutMs) {
        FinishCheckpoint(false);
        return;
    }
    const PointDatabase& points = core_->Points();
    if (phase_ == Phase::Settle) {
        if (!CommsGood()) return;
        // A point whose value is not known (written while comms were down, or never since the
        // controller restarted) is set once now, with good comms, so every point is compared.
        for (std::size_t i = 0; i < AdjustPoints.size(); ++i) {
            const int p = AdjustPoints[i];
            if (ledger_.Known(p) || points.PointWriteBusy(p)) continue;
            const int axis = static_cast<int>(i / 2);
            const bool positive = i % 2 == 0;
            const AxisView& view = display_.views[static_cast<std::size_t>(axis)];
            const int maximum = view.maximum > 0 ? view.maximum : Operator::DefaultMaximum;
            const int value = static_cast<int>((nowMs_ / 1000 + 37 * static_cast<int>(i)) % (maximum + 1));
            static constexpr std::array<std::string_view, 6> TrackBars{
                "TrackBarPan_PosAdjustValue", "TrackBarPan_NegAdjustValue",
                "TrackBarTiltPosAdjustValue", "TrackBarTiltNegAdjustValue",
                "TrackBarRollPosAdjustValue", "TrackBarRollNegAdjustValue"};
            OperatorEvent event;
            event.object = TrackBars[i];
            event.text = IntToText(positive ? value : -value);
            event.point = p;
            event.trackBar = true;
            Fire(event);
        }
        for (int p : AdjustPoints) {
            if (points.PointWriteBusy(p)) return;
        }
        // Every write is through; the next good exchange of each point is a read of the
        // controller's memory, stored because no write is pending.
        for (std::size_t i = 0; i < AdjustPoints.size(); ++i) {
            readBackCounts_[i] = Pt(AdjustPoints[i]).Msg_Count;
        }
        phase_ = Phase::ReadBack;
        return;
    }
    // ReadBack.
    for (std::size_t i = 0; i < AdjustPoints.size(); ++i) {
        if (points.PointWriteBusy(AdjustPoints[i])) {
            phase_ = Phase::Settle;  // nothing writes now; should it happen, settle again
            return;
        }
        if (Pt(AdjustPoints[i]).Msg_Count == readBackCounts_[i]) return;
    }
    FinishCheckpoint(true);
}

void SoakRun::FinishCheckpoint(bool settled) {
    ++figures_.checkpoints;
    bool passed = false;
    if (!settled) {
        ++figures_.checkpointsTimedOut;
        std::fprintf(stderr, "soak: %s: checkpoint %d did not settle within %s (comms state %d)\n",
                     SecondsText(nowMs_).c_str(), figures_.checkpoints, SecondsText(CheckpointTimeoutMs).c_str(),
                     core_->State().CommsState);
    } else {
        std::array<Mismatch, AdjustPoints.size()> found{};
        int mismatches = 0;
        const int compared = CompareWithLedger(ledger_, core_->Points(), found, mismatches);
        figures_.pointsCompared += compared;
        figures_.mismatchesTotal += mismatches;
        passed = mismatches == 0 && compared == static_cast<int>(AdjustPoints.size());
        for (int k = 0; k < mismatches && k < static_cast<int>(found.size()); ++k) {
            std::fprintf(stderr,
                         "soak: %s: checkpoint %d: point %d holds %s on the controller, last "
                         "written %s\n",
                         SecondsText(nowMs_).c_str(), figures_.checkpoints, found[static_cast<std::size_t>(k)].point,
                         DoubleToText(found[static_cast<std::size_t>(k)].readBack).c_str(),
                         DoubleToText(found[static_cast<std::size_t>(k)].expected).c_str());
        }
        if (compared != static_cast<int>(AdjustPoints.size())) {
            std::fprintf(stderr, "soak: %s: checkpoint %d compared only %d points\n",
                         SecondsText(nowMs_).c_str(), figures_.checkpoints, compared);
        }
    }
    if (passed) ++figures_.checkpointsPassed;
    figures_.longestCheckpointMs = std::max(figures_.longestCheckpointMs, nowMs_ - checkpointStartMs_);
    if (finalCheckpoint_) {
        figures_.finalCheckpointPassed = passed;
        phase_ = Phase::Done;
    } else {
        phase_ = Phase::Writing;
        phaseStartMs_ = nowMs_;
    }
}

void SoakRun::Millisecond() {
    ++nowMs_;
    ++figures_.commsTicks;
    Guarded("CommsTick", [&] { core_->CommsTick(); });
    if (nowMs_ % 10 == 0) {
        ++figures_.systemTicks;
        Guarded("SystemTick", [&] { core_->SystemTick(); });
        CountExchanges();
    }
    OperatorStep();
    if (nowMs_ % 1000 == 0) EverySecond();
}

int SoakRun::Run() {
    std::string error;
    if (!PrepareRunFolder(executableFolder_, folder_, error)) {
        std::fprintf(stderr, "soak: %s\n", error.c_str());
        return 2;
    }
    std::printf("soak: %s minutes, seed %u, folder %s, configuration from %s\n",
                DoubleToText(options_.minutes).c_str(), options_.seed, folder_.folder.c_str(),
                folder_.dataSource.c_str());
    if (!StartSimulator(options_.seed, error)) {
        std::fprintf(stderr, "soak: simulator: %s\n", error.c_str());
        return 2;
    }
    std::printf("soak: simulator %d on %s\n", static_cast<int>(sim_.Pid()), sim_.DevicePath().c_str());
    std::fflush(stdout);

    core_.emplace(display_, placement_, line_, folder_.InterfacePath());
    Guarded("CoreStart", [&] { core_->CoreStart(); });
    if (!core_->StartupError().empty() || !core_->CheckConfigVersions()) {
        std::fprintf(stderr, "soak: the core did not start cleanly: %s\n",
                     std::string(core_->StartupError()).c_str());
        return 2;
    }
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

    const bool simAlive = sim_.Running();

    // Shutdown as the window's close does; the configuration files are written here.
    std::string stopError;
    try {
        core_->CoreStop();
    } catch (const std::exception& e) {
        stopError = e.what();
    }
    const int simExit = simAlive ? sim_.Stop(3000) : -1;

    figures_.requests = line_.requests;
    figures_.failedWrites = line_.failedWrites;

    const std::vector<Check> checks{
        CheckNoCrash(figures_, simExit),
        CheckWritesReachedController(figures_),
        CheckCommsRecovered(figures_, display_.tracker),
        CheckMemoryGrowth(figures_, runMs_),
        CheckConfigurationReload(*core_, folder_, ledger_, placement_, stopError),
        CheckNoErrors(figures_, display_),
    };
    PrintSummary(options_, figures_, display_, ledger_, checks);
    const bool allPassed = AllPassed(checks);
    if (allPassed && !options_.keepFolder) {
        std::error_code ec;
        fs::remove_all(folder_.folder, ec);
    } else {
        std::printf("soak: files kept in %s\n", folder_.folder.c_str());
    }
    return allPassed ? 0 : 1;
}

}  // namespace
}  // namespace kestrova::soak

int main(int argc, char** argv) {
    std::string error;
    const auto options = kestrova::soak::ParseOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "soak: %s\nusage: soak [--minutes N] [--seed N] [--keep]\n", error.c_str());
        return 2;
    }
    const std::filesystem::path self = kestrova::ExecutablePath();
    if (self.empty()) {
        std::fprintf(stderr, "soak: cannot tell where this executable lies\n");
        return 2;
    }
    kestrova::soak::SoakRun run(*options, self.parent_path());
    return run.Run();
}
