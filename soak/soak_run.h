#pragma once

// The soak run: the headless core against a faulty simulated controller for minutes on end.
//
// An operator trims the three axes continuously while the core runs on real 1 ms and 10 ms ticks
// over a pseudo-terminal to a child kestrova-sim that drops, damages, refuses and prefixes
// replies. Midway the simulator is killed and started again, and the operator picks COM 1 anew
// once the dashboard shows the loss. Every few seconds the operator stops to check that the
// controller holds the values written; at the end the configuration files written at exit are
// read back.

#include <array>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/window_placement.h"
#include "core/app_service.h"
#include "port/routing_serial_line.h"
#include "soak/reply_log.h"
#include "soak/run_figures.h"
#include "soak/run_folder.h"
#include "soak/sim_process.h"
#include "soak/soak_checks.h"
#include "soak/soak_display.h"
#include "soak/soak_logic.h"
#include "soak/timeline.h"
#include "support/fake_port_catalogue.h"
#include "support/fake_serial_line.h"

namespace kestrova::soak {

class SoakRun {
public:
    SoakRun(const SoakOptions& options, std::filesystem::path executableFolder);

    // Prints the summary; 0 when every check passed, 1 when one failed, 2 when the run could
    // not start.
    int Run();

private:
    enum class Phase { Writing, Settle, ReadBack, Done };

    static constexpr std::int64_t CheckpointEveryMs = 5'000;  // writing between two checks
    // Settle and read back within: on the soak's lossy line every lost or late reply costs the
    // late-reply horizon, a quarter of a second, and comms may drop out meanwhile.
    static constexpr std::int64_t CheckpointTimeoutMs = 60'000;
    static constexpr std::int64_t ReselectAfterLossMs = 3'000;  // then the operator picks COM 1
    static constexpr std::int64_t ReselectRepeatMs = 6'000;
    static constexpr int SimStartTimeoutMs = 5'000;
    static constexpr std::int64_t MisfilesReported = 5;  // the first ones are named on stderr

    // The steps of Run.
    bool Start();
    bool StartSimulator(std::uint32_t seed, std::string& error);
    bool StartCore();
    void RunSession();
    int Stop(std::string& stopError);
    std::vector<Check> Checks(int simExit, const std::string& stopError) const;
    void RemoveOrKeepFolder(bool allPassed);

    // One tick of the session's clock, and what it does now and then.
    void Millisecond();
    void EverySecond();
    void CountExchanges();
    template <class F>
    void Guarded(std::string_view what, F&& f);

    // Misfiled replies: the read reply a comms tick may store, checked against the simulator's
    // reply log once stored.
    struct AwaitedRead {
        int point = -1;
        std::uint32_t address = 0;
        std::int32_t replyCount = 0;  // the point's reply counter before the tick
    };
    AwaitedRead ReadAwaited() const;
    void CheckStoredRead(const AwaitedRead& read);
    void DrainReplyLog();

    // The operator.
    void OperatorStep();
    void Fire(const OperatorEvent& event);
    void SelectCom1();
    void KillAndRestart();

    // Checkpoints.
    void BeginCheckpoint(bool final);
    void CheckpointStep();
    void Settle();
    void WriteUnknownValues();
    void ReadBack();
    void FinishCheckpoint(bool settled);
    bool CompareWithController();

    bool CommsGood() const { return core_->State().Comms == kestrova::CommsState::Good; }
    const PointRecord& Pt(int p) const {
        return core_->Points().PointTable()[static_cast<std::size_t>(p)];
    }

    SoakOptions options_;
    std::filesystem::path executableFolder_;
    std::int64_t runMs_;
    RunFolder folder_;

    std::int64_t nowMs_ = 0;  // milliseconds of the session, one per comms tick
    SoakDisplay display_{nowMs_};
    PlainWindowPlacement placement_;
    RoutingSerialLine device_;
    test::FakeSerialLine line_{device_};  // the real line, with its request frames counted
    test::FakePortCatalogue catalogue_;   // no adapters: the simulator's line is mapped by hand
    std::optional<AppService> core_;
    SimProcess sim_;
    ReplyLog replyLog_;
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

}  // namespace kestrova::soak
