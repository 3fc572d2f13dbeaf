#include "soak/soak_report.h"

#include <cinttypes>
#include <cstdio>

#include "common/number_text.h"
#include "soak/timeline.h"

namespace kestrova::soak {

void PrintSummary(const SoakOptions& options, const RunFigures& run, const SoakDisplay& display,
                  const WriteLedger& ledger, const std::vector<Check>& checks) {
    const double seconds = run.elapsedSeconds > 0 ? run.elapsedSeconds : 1.0;
    const CommsCaptionTracker& comms = display.tracker;
    std::printf("\n=== soak summary ===\n");
    std::printf("run:        %s minutes planned, %.1f s on the clock, seed %u\n",
                DoubleToText(options.minutes).c_str(), run.elapsedSeconds, options.seed);
    std::printf("ticks:      %" PRId64 " comms ticks, %" PRId64 " system ticks; %" PRId64
                " woke over 1 ms late (worst %.1f ms), %" PRId64 " restarts of the timeline\n",
                run.commsTicks, run.systemTicks, run.lateTicks,
                static_cast<double>(run.worstLatenessUs) / 1000.0, run.resyncs);
    // Requests the line refused (the controller gone) never became exchanges.
    const std::int64_t sent = run.requests - run.failedWrites;
    const double goodShare =
        sent > 0 ? 100.0 * static_cast<double>(run.goodExchanges) / static_cast<double>(sent) : 0.0;
    std::printf("exchanges:  %" PRId64 " requests sent (%.0f per second), %" PRId64
                " good replies (%.1f %%); %" PRId64 " requests refused by the line\n",
                sent, static_cast<double>(sent) / seconds, run.goodExchanges, goodShare,
                run.failedWrites);
    std::printf("replies:    %" PRId64
                " stored read values checked against the simulator's reply "
                "log, %" PRId64 " misfiled; %" PRIu64 " late bytes dropped by the port\n",
                run.storedReadsChecked, run.misfiledValues, run.lateBytesDropped);
    std::printf("operator:   %" PRId64 " events, %" PRId64 " writes issued (%" PRId64
                " with comms good), %" PRId64 " port selections, %" PRId64 " display commands\n",
                run.events, ledger.WritesTotal(), ledger.WritesWhileGood(), run.selections,
                display.commands);
    std::printf("in flight:  %" PRId64
                " writes with good comms landed while the point's previous write was in flight\n",
                run.writesOverInFlight);
    std::printf("checkpoints: %d (%d passed, %d did not settle), longest %" PRId64
                " ms from the last write to the comparison\n",
                run.checkpoints, run.checkpointsPassed, run.checkpointsTimedOut,
                run.longestCheckpointMs);
    std::printf("comms:      %d losses, %d recoveries, longest outage %s; simulator killed at %s\n",
                comms.Losses(), comms.Recoveries(), SecondsText(comms.LongestOutageMs()).c_str(),
                run.killMs >= 0 ? SecondsText(run.killMs).c_str() : "(never)");
    std::printf(
        "memory:     VmRSS %ld KiB at start, %ld KiB baseline, "
        "%ld KiB at end, %ld KiB peak\n",
        run.rssStartKiB, run.rssBaselineKiB, run.rssEndKiB, run.rssMaxKiB);
    for (const Check& c : checks) {
        std::printf("%s  %s: %s\n", c.passed ? "PASS" : "FAIL", c.name.c_str(), c.detail.c_str());
    }
    std::fflush(stdout);
}

}  // namespace kestrova::soak
