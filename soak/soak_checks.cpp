#include "soak/soak_checks.h"

#include <algorithm>

#include "soak/timeline.h"

namespace kestrova::soak {

bool AllPassed(const std::vector<Check>& checks) {
    return std::all_of(checks.begin(), checks.end(), [](const Check& c) { return c.passed; });
}

Check CheckNoCrash(const RunFigures& run, int simExit) {
    Check c{"no crash", true,
            "the run completed; simulator " +
                (run.simTrouble.empty() ? std::string("exited with code ") + std::to_string(simExit)
                                        : run.simTrouble)};
    if (!run.simTrouble.empty() || simExit != 0) c.passed = false;
    return c;
}

Check CheckWritesReachedController(const RunFigures& run) {
    Check c{"writes reached the controller", false, ""};
    c.passed = run.checkpoints > 0 && run.checkpointsPassed == run.checkpoints &&
               run.finalCheckpointPassed && run.mismatchesTotal == 0;
    c.detail = std::to_string(run.checkpointsPassed) + " of " + std::to_string(run.checkpoints) +
               " checkpoints, " + std::to_string(run.pointsCompared) + " points compared, " +
               std::to_string(run.mismatchesTotal) + " mismatches, " +
               std::to_string(run.checkpointsTimedOut) + " did not settle; final checkpoint " +
               (run.finalCheckpointPassed ? "passed" : "FAILED");
    return c;
}

Check CheckCommsRecovered(const RunFigures& run, const CommsCaptionTracker& comms) {
    Check c{"comms recovered after each loss", false, ""};
    const bool killSeen = run.lostAfterKillMs >= 0 && run.goodAfterKillMs >= 0;
    c.passed = !comms.LossOpen() && comms.Losses() >= 1 && comms.Recoveries() >= 1 && killSeen &&
               !run.simRestartFailed && comms.FailedSelections() == 0;
    const bool picked = run.reselectAfterKillMs >= 0 &&
                        (run.goodAfterKillMs < 0 || run.reselectAfterKillMs <= run.goodAfterKillMs);
    c.detail =
        std::to_string(comms.Losses()) + " loss captions, " + std::to_string(comms.Recoveries()) +
        " recoveries, " + (comms.LossOpen() ? "a loss still open at the end, " : "") +
        std::to_string(comms.FailedSelections()) + " failed port selections; after the kill: " +
        (run.lostAfterKillMs >= 0
             ? "the loss shown after " + SecondsText(run.lostAfterKillMs - run.killMs)
             : std::string("no loss shown")) +
        ", " +
        (run.goodAfterKillMs >= 0
             ? "\"Comms Good\" " + SecondsText(run.goodAfterKillMs - run.killMs) +
                   " after the kill" + (picked ? ", COM 1 picked again" : ", by itself")
             : std::string("no \"Comms Good\" after the kill"));
    return c;
}

Check CheckMemoryGrowth(const RunFigures& run, std::int64_t runMs) {
    Check c{"memory growth below 1 MiB", false, ""};
    const long growth = run.rssEndKiB - run.rssBaselineKiB;
    c.passed = run.rssBaselineKiB > 0 && run.rssEndKiB > 0 && growth < RssGrowthLimitKiB;
    const bool shortRun = runMs < 120'000;
    c.detail = "VmRSS " + std::to_string(run.rssBaselineKiB) + " KiB after " +
               (shortRun ? "the first 20 % of the run (" + SecondsText(RssBaselineMs(runMs)) +
                               "; run shorter than 2 minutes)"
                         : std::string("the first minute")) +
               ", " + std::to_string(run.rssEndKiB) + " KiB at the end: growth " +
               std::to_string(growth) + " KiB";
    return c;
}

Check CheckNoErrors(const RunFigures& run, const SoakDisplay& display) {
    Check c{"no errors from ticks or events", false, ""};
    c.passed = run.errorsRaised == 0 && display.unprocessedEvents == 0;
    c.detail =
        std::to_string(run.errorsRaised) + " errors raised" +
        (run.firstError.empty() ? "" : " (first: " + run.firstError + ")") + ", " +
        std::to_string(display.unprocessedEvents) + " events not processed" +
        (display.firstUnprocessed.empty() ? "" : " (first: " + display.firstUnprocessed + ")");
    return c;
}

Check CheckNoMisfiledValues(const RunFigures& run) {
    Check c{"no misfiled values", false, ""};
    c.passed = run.storedReadsChecked > 0 && run.misfiledValues == 0;
    c.detail = std::to_string(run.misfiledValues) + " of " +
               std::to_string(run.storedReadsChecked) +
               " values stored from read replies were not the simulator's reply to that point's "
               "request";
    return c;
}

}  // namespace kestrova::soak
