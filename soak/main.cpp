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
#include "soak/run_folder.h"
#include "soak/sim_process.h"
#include "soak/soak_display.h"
#include "soak/soak_logic.h"
#include "soak/timeline.h"

namespace kestrova::soak {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t CheckpointEveryMs = 5'000;     // writing between two checks
constexpr std::int64_t CheckpointTimeoutMs = 20'000;  // settle and read back within this
constexpr std::int64_t ReselectAfterLossMs = 3'000;   // the operator waits this long, then picks COM 1
constexpr std::int64_t ReselectRepeatMs = 6'000;
constexpr int SimStartTimeoutMs = 5'000;

// --- Check results ----------------------------------------------------------------------------------

struct Check {
    std::string name;
    bool passed = false;
    std::string detail;
};

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
    Check CheckConfigurationReload();
    void PrintSummary(const std::vector<Check>& checks);

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

    // Ticks and timing.
    std::int64_t commsTicks_ = 0;
    std::int64_t systemTicks_ = 0;
    double elapsedSeconds_ = 0.0;

    // Errors raised out of the core.
    std::int64_t errorsRaised_ = 0;
    std::string firstError_;

    // Exchanges.
    std::array<std::int32_t, MaxPoints> lastCounts_{};
    std::int64_t goodExchanges_ = 0;

    // Operator.
    std::int64_t events_ = 0;
    std::int64_t writesOverInFlight_ = 0;
    std::int64_t selections_ = 0;
    std::int64_t lastSelectMs_ = -1'000'000;

    // Simulator restart.
    bool killed_ = false;
    std::int64_t killMs_ = -1;
    std::int64_t lostAfterKillMs_ = -1;
    std::int64_t reselectAfterKillMs_ = -1;
    std::int64_t goodAfterReselectMs_ = -1;
    bool simRestartFailed_ = false;
    std::string simTrouble_;

    // Checkpoints.
    Phase phase_ = Phase::Writing;
    bool finalCheckpoint_ = false;
    std::int64_t phaseStartMs_ = 0;
    std::int64_t checkpointStartMs_ = 0;
    std::array<std::int32_t, AdjustPoints.size()> readBackCounts_{};
    int checkpoints_ = 0;
    int checkpointsPassed_ = 0;
    int checkpointsTimedOut_ = 0;
    std::int64_t pointsCompared_ = 0;
    std::int64_t mismatchesTotal_ = 0;
    bool finalCheckpointPassed_ = false;
    std::int64_t longestCheckpointMs_ = 0;  // from the stop of writing to the comparison

    // Memory.
    long rssStartKiB_ = -1;
    long rssBaselineKiB_ = -1;
    long rssEndKiB_ = -1;
    long rssMaxKiB_ = -1;
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
        if (errorsRaised_++ == 0) firstError_ = std::string(what) + ": " + e.what();
    }
}

void SoakRun::CountExchanges() {
    for (int p = 0; p < MaxPoints; ++p) {
        const std::int32_t now = Pt(p).Msg_Count;
        goodExchanges_ += ReplyCountDelta(lastCounts_[static_cast<std::size_t>(p)], now);
        lastCounts_[static_cast<std::size_t>(p)] = now;
    }
}

void SoakRun::EverySecond() {
    const long rss = ReadOwnVmRssKiB();
    if (rss > 0) {
        rssMaxKiB_ = std::max(rssMaxKiB_, rss);
        if (rssBaselineKiB_ < 0 && nowMs_ >= RssBaselineMs(runMs_)) rssBaselineKiB_ = rss;
    }
    if (!sim_.Running() && simTrouble_.empty() && !sim_.UnexpectedEnd().empty()) {
        simTrouble_ = "the simulator " + sim_.UnexpectedEnd() + " at " + SecondsText(nowMs_);
        std::fprintf(stderr, "soak: %s\n", simTrouble_.c_str());
    }
    if (nowMs_ % 60'000 == 0) {
        std::printf("soak: %s: %" PRId64 " requests, %" PRId64 " writes, %d checkpoints (%d passed), "
                    "comms losses %d, RSS %ld KiB\n",
                    SecondsText(nowMs_).c_str(), line_.requests, ledger_.WritesTotal(), checkpoints_,
                    checkpointsPassed_, display_.tracker.Losses(), rss);
        std::fflush(stdout);
    }
}

void SoakRun::SelectCom1() {
    // Values still waiting to be sent are withdrawn when the link reopens: the operator knows
    // they have to be set again.
    for (int p : AdjustPoints) {
        if (core_->Points().PointWriteBusy(p)) ledger_.Written(p, Pt(p).ScaledValue, false);
    }
    ++selections_;
    lastSelectMs_ = nowMs_;
    Guarded("CommsSelect", [&] { core_->ServiceEvent("CommsSelect", "0"); });
    if (killed_ && reselectAfterKillMs_ < 0) reselectAfterKillMs_ = nowMs_;
}

void SoakRun::Fire(const OperatorEvent& event) {
    const bool good = CommsGood();
    const double before = Pt(event.point).ScaledValue;
    // The block carrying the previous value is already built: this value must still follow it.
    if (good && Pt(event.point).Write_Idx != -1) ++writesOverInFlight_;
    Guarded(event.object, [&] { core_->ServiceEvent(event.object, event.text); });
    ++events_;
    const double after = Pt(event.point).ScaledValue;
    // A step at its limit writes nothing; every track bar value is written.
    if (event.trackBar || after != before) ledger_.Written(event.point, after, good);
}

void SoakRun::KillAndRestart() {
    killed_ = true;
    killMs_ = nowMs_;
    sim_.Kill();
    // A restarted controller comes up with its power-on memory.
    ledger_.ForgetAll();
    std::string error;
    if (!StartSimulator(options_.seed + 1, error)) {
        simRestartFailed_ = true;
        simTrouble_ = "restart failed: " + error;
        std::fprintf(stderr, "soak: simulator %s\n", simTrouble_.c_str());
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
    if (killed_ && lostAfterKillMs_ < 0 && t.LastLossMs() >= killMs_) lostAfterKillMs_ = t.LastLossMs();
    if (reselectAfterKillMs_ >= 0 && goodAfterReselectMs_ < 0 && t.LastGoodMs() >= reselectAfterKillMs_) {
        goodAfterReselectMs_ = t.LastGoodMs();
    }

    if (phase_ != Phase::Writing) {
        CheckpointStep();
        return;
    }
    if (!killed_ && nowMs_ >= runMs_ / 2) {
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
    ++checkpoints_;
    bool passed = false;
    if (!settled) {
        ++checkpointsTimedOut_;
        std::fprintf(stderr, "soak: %s: checkpoint %d did not settle within %s (comms state %d)\n",
                     SecondsText(nowMs_).c_str(), checkpoints_, SecondsText(CheckpointTimeoutMs).c_str(),
                     core_->State().CommsState);
    } else {
        std::array<Mismatch, AdjustPoints.size()> found{};
        int mismatches = 0;
        const int compared = CompareWithLedger(ledger_, core_->Points(), found, mismatches);
        pointsCompared_ += compared;
        mismatchesTotal_ += mismatches;
        passed = mismatches == 0 && compared == static_cast<int>(AdjustPoints.size());
        for (int k = 0; k < mismatches && k < static_cast<int>(found.size()); ++k) {
            std::fprintf(stderr,
                         "soak: %s: checkpoint %d: point %d holds %s on the controller, last "
                         "written %s\n",
                         SecondsText(nowMs_).c_str(), checkpoints_, found[static_cast<std::size_t>(k)].point,
                         DoubleToText(found[static_cast<std::size_t>(k)].readBack).c_str(),
                         DoubleToText(found[static_cast<std::size_t>(k)].expected).c_str());
        }
        if (compared != static_cast<int>(AdjustPoints.size())) {
            std::fprintf(stderr, "soak: %s: checkpoint %d compared only %d points\n",
                         SecondsText(nowMs_).c_str(), checkpoints_, compared);
        }
    }
    if (passed) ++checkpointsPassed_;
    longestCheckpointMs_ = std::max(longestCheckpointMs_, nowMs_ - checkpointStartMs_);
    if (finalCheckpoint_) {
        finalCheckpointPassed_ = passed;
        phase_ = Phase::Done;
    } else {
        phase_ = Phase::Writing;
        phaseStartMs_ = nowMs_;
    }
}

void SoakRun::Millisecond() {
    ++nowMs_;
    ++commsTicks_;
    Guarded("CommsTick", [&] { core_->CommsTick(); });
    if (nowMs_ % 10 == 0) {
        ++systemTicks_;
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
    rssStartKiB_ = ReadOwnVmRssKiB();
    rssMaxKiB_ = rssStartKiB_;

    timeline_.Start();
    while (phase_ != Phase::Done) {
        Millisecond();
        timeline_.WaitForNextTick();
    }
    elapsedSeconds_ = timeline_.ElapsedSeconds();
    rssEndKiB_ = ReadOwnVmRssKiB();
    if (rssBaselineKiB_ < 0) rssBaselineKiB_ = rssEndKiB_;

    std::vector<Check> checks;
    const bool simAlive = sim_.Running();

    // Shutdown as the window's close does; the configuration files are written here.
    std::string stopError;
    try {
        core_->CoreStop();
    } catch (const std::exception& e) {
        stopError = e.what();
    }
    const int simExit = simAlive ? sim_.Stop(3000) : -1;

    checks.push_back({"no crash", true,
                      "the run completed; simulator " +
                          (simTrouble_.empty() ? std::string("exited with code ") + std::to_string(simExit)
                                               : simTrouble_)});
    if (!simTrouble_.empty() || simExit != 0) checks.back().passed = false;

    {
        Check c{"writes reached the controller", false, ""};
        c.passed = checkpoints_ > 0 && checkpointsPassed_ == checkpoints_ && finalCheckpointPassed_ &&
                   mismatchesTotal_ == 0;
        c.detail = std::to_string(checkpointsPassed_) + " of " + std::to_string(checkpoints_) +
                   " checkpoints, " + std::to_string(pointsCompared_) + " points compared, " +
                   std::to_string(mismatchesTotal_) + " mismatches, " +
                   std::to_string(checkpointsTimedOut_) + " did not settle; final checkpoint " +
                   (finalCheckpointPassed_ ? "passed" : "FAILED");
        checks.push_back(c);
    }
    {
        const CommsCaptionTracker& t = display_.tracker;
        Check c{"comms recovered after each loss", false, ""};
        const bool killSeen = lostAfterKillMs_ >= 0 && reselectAfterKillMs_ >= 0 && goodAfterReselectMs_ >= 0;
        c.passed = !t.LossOpen() && t.Losses() >= 1 && t.Recoveries() >= 1 && killSeen &&
                   !simRestartFailed_ && t.FailedSelections() == 0;
        c.detail = std::to_string(t.Losses()) + " loss captions, " + std::to_string(t.Recoveries()) +
                   " recoveries, " + (t.LossOpen() ? "a loss still open at the end, " : "") +
                   std::to_string(t.FailedSelections()) + " failed port selections; after the kill: " +
                   (lostAfterKillMs_ >= 0 ? "\"Comms Lost\" after " + SecondsText(lostAfterKillMs_ - killMs_)
                                          : std::string("no \"Comms Lost\"")) +
                   ", " +
                   (goodAfterReselectMs_ >= 0
                        ? "\"Comms Good\" " + SecondsText(goodAfterReselectMs_ - reselectAfterKillMs_) +
                              " after COM 1 was picked again"
                        : std::string("no \"Comms Good\" after picking COM 1 again"));
        checks.push_back(c);
    }
    {
        Check c{"memory growth below 1 MiB", false, ""};
        const long growth = rssEndKiB_ - rssBaselineKiB_;
        c.passed = rssBaselineKiB_ > 0 && rssEndKiB_ > 0 && growth < RssGrowthLimitKiB;
        const bool shortRun = runMs_ < 120'000;
        c.detail = "VmRSS " + std::to_string(rssBaselineKiB_) + " KiB after " +
                   (shortRun ? "the first 20 % of the run (" + SecondsText(RssBaselineMs(runMs_)) +
                                   "; run shorter than 2 minutes)"
                             : std::string("the first minute")) +
                   ", " + std::to_string(rssEndKiB_) + " KiB at the end: growth " +
                   std::to_string(growth) + " KiB";
        checks.push_back(c);
    }
    {
        Check c = CheckConfigurationReload();
        if (!stopError.empty()) {
            c.passed = false;
            c.detail = "CoreStop: " + stopError + "; " + c.detail;
        }
        checks.push_back(c);
    }
    checks.push_back({"no errors from ticks or events",
                      errorsRaised_ == 0 && display_.unprocessedEvents == 0,
                      std::to_string(errorsRaised_) + " errors raised" +
                          (firstError_.empty() ? "" : " (first: " + firstError_ + ")") + ", " +
                          std::to_string(display_.unprocessedEvents) + " events not processed" +
                          (display_.firstUnprocessed.empty() ? "" : " (first: " + display_.firstUnprocessed + ")")});

    PrintSummary(checks);
    const bool allPassed = std::all_of(checks.begin(), checks.end(), [](const Check& c) { return c.passed; });
    if (allPassed && !options_.keepFolder) {
        std::error_code ec;
        fs::remove_all(folder_.folder, ec);
    } else {
        std::printf("soak: files kept in %s\n", folder_.folder.c_str());
    }
    return allPassed ? 0 : 1;
}

Check SoakRun::CheckConfigurationReload() {
    Check c{"configuration files reload", false, ""};
    std::vector<std::string> problems;
    const auto problem = [&problems](std::string text) {
        if (problems.size() < 8) problems.push_back(std::move(text));
    };
    try {
        PointDatabase points;
        PlainWindowPlacement placement;
        KestrovaIni ini(points, placement, core_->ExecutablePath());
        TagFile tags;
        ini.SetSettingsDefaults();
        ini.SetProjectDefaults();
        ini.ReadSettingsFile();
        ini.Name = CoreApplicationName;
        ini.Directory = folder_.folder.string();
        ini.ReadProjectFile();
        tags.LoadPoints(points, ini.Name, ini.Directory);

        if (ini.SettingsVersion() != CoreSoftwareVersion) problem("settings file version");
        if (ini.ProjectVersion() != CoreSoftwareVersion) problem("project configuration version");
        if (tags.TagFileVersion != CoreSoftwareVersion) problem("tag file version");

        const PointDatabase& ran = core_->Points();
        int differing = 0;
        for (int p = 0; p < MaxPoints; ++p) {
            const PointRecord& a = ran.PointTable[static_cast<std::size_t>(p)];
            const PointRecord& b = points.PointTable[static_cast<std::size_t>(p)];
            const bool same = a.RawValue == b.RawValue && a.ScaledValue == b.ScaledValue &&
                              ran.PointName(p) == points.PointName(p) && a.Address == b.Address &&
                              a.Mem_Type == b.Mem_Type && a.Internal == b.Internal &&
                              a.Pt_Flags == b.Pt_Flags && a.ScaleMult == b.ScaleMult &&
                              a.ScaleOffset == b.ScaleOffset && a.ScaleMin == b.ScaleMin &&
                              a.ScaleMax == b.ScaleMax && a.Msg_Flags == b.Msg_Flags &&
                              a.Network_0 == b.Network_0 && a.Network_1 == b.Network_1 &&
                              a.Network_2 == b.Network_2 && a.Network_3 == b.Network_3 &&
                              a.Read_Idx == b.Read_Idx && a.Write_Idx == b.Write_Idx;
            if (!same) {
                ++differing;
                problem("point " + std::to_string(p) + " reads back as " + DoubleToText(b.ScaledValue) +
                        " (core " + DoubleToText(a.ScaledValue) + ")");
            }
        }
        int adjustChecked = 0;
        for (int p : AdjustPoints) {
            if (!ledger_.Known(p)) continue;
            ++adjustChecked;
            const double saved = points.PointTable[static_cast<std::size_t>(p)].ScaledValue;
            if (saved != ledger_.Expected(p)) {
                problem("point " + std::to_string(p) + " saved as " + DoubleToText(saved) +
                        ", last written " + DoubleToText(ledger_.Expected(p)));
            }
        }
        if (adjustChecked != static_cast<int>(AdjustPoints.size())) {
            problem("only " + std::to_string(adjustChecked) + " adjust points with a known value");
        }
        if (points.ScanPeriods != ran.ScanPeriods) problem("scan periods");
        if (points.PersistantMode != ran.PersistantMode) problem("PersistantMode");
        const SerialSettings& s = ini.Serial;
        const SerialSettings& r = core_->Ini().Serial;
        if (s.Port != r.Port || s.BAUD != r.BAUD || s.Data != r.Data || s.Parity != r.Parity ||
            s.Stop != r.Stop) {
            problem("serial settings: port " + std::to_string(s.Port) + " baud " + std::to_string(s.BAUD) +
                    " (core: port " + std::to_string(r.Port) + " baud " + std::to_string(r.BAUD) + ")");
        }
        if (s.Port != 1 || s.BAUD != 38400 || s.Data != 8 || s.Parity != 0 || s.Stop != 1) {
            problem("serial settings are not COM 1, 38400 8N1");
        }
        if (ini.Ports.DevicePath(1) != folder_.LinkPath().string()) {
            problem("COM1 maps to " + ini.Ports.DevicePath(1));
        }
        if (placement.Top() != placement_.Top() || placement.Left() != placement_.Left() ||
            placement.Maximized() != placement_.Maximized()) {
            problem("window placement");
        }
        c.detail = "40 points, " + std::to_string(adjustChecked) +
                   " written adjust values, scan periods, serial settings and port map compared";
        if (differing > 0) c.detail += "; " + std::to_string(differing) + " points differ";
    } catch (const std::exception& e) {
        problem(std::string("reading back: ") + e.what());
    }
    c.passed = problems.empty();
    for (const std::string& p : problems) c.detail += "; " + p;
    return c;
}

void SoakRun::PrintSummary(const std::vector<Check>& checks) {
    const double seconds = elapsedSeconds_ > 0 ? elapsedSeconds_ : 1.0;
    const CommsCaptionTracker& t = display_.tracker;
    std::printf("\n=== soak summary ===\n");
    std::printf("run:        %s minutes planned, %.1f s on the clock, seed %u\n",
                DoubleToText(options_.minutes).c_str(), elapsedSeconds_, options_.seed);
    std::printf("ticks:      %" PRId64 " comms ticks, %" PRId64 " system ticks; %" PRId64
                " woke over 1 ms late (worst %.1f ms), %" PRId64 " restarts of the timeline\n",
                commsTicks_, systemTicks_, timeline_.LateTicks(),
                static_cast<double>(timeline_.WorstLatenessUs()) / 1000.0, timeline_.Resyncs());
    // Requests the line refused (the controller gone) never became exchanges.
    const std::int64_t sent = line_.requests - line_.failedWrites;
    std::printf("exchanges:  %" PRId64 " requests sent (%.0f per second), %" PRId64
                " good replies (%.1f %%); %" PRId64 " requests refused by the line\n",
                sent, static_cast<double>(sent) / seconds, goodExchanges_,
                sent > 0 ? 100.0 * static_cast<double>(goodExchanges_) / static_cast<double>(sent) : 0.0,
                line_.failedWrites);
    std::printf("operator:   %" PRId64 " events, %" PRId64 " writes issued (%" PRId64
                " with comms good), %" PRId64 " port selections, %" PRId64 " display commands\n",
                events_, ledger_.WritesTotal(), ledger_.WritesWhileGood(), selections_,
                display_.commands);
    std::printf("in flight:  %" PRId64 " writes with good comms landed while the point's previous write was in flight\n",
                writesOverInFlight_);
    std::printf("checkpoints: %d (%d passed, %d did not settle), longest %" PRId64
                " ms from the last write to the comparison\n",
                checkpoints_, checkpointsPassed_, checkpointsTimedOut_, longestCheckpointMs_);
    std::printf("comms:      %d losses, %d recoveries, longest outage %s; simulator killed at %s\n",
                t.Losses(), t.Recoveries(), SecondsText(t.LongestOutageMs()).c_str(),
                killMs_ >= 0 ? SecondsText(killMs_).c_str() : "(never)");
    std::printf("memory:     VmRSS %ld KiB at start, %ld KiB baseline, %ld KiB at end, %ld KiB peak\n",
                rssStartKiB_, rssBaselineKiB_, rssEndKiB_, rssMaxKiB_);
    for (const Check& c : checks) {
        std::printf("%s  %s: %s\n", c.passed ? "PASS" : "FAIL", c.name.c_str(), c.detail.c_str());
    }
    std::fflush(stdout);
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
