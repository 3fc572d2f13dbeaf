#pragma once

#include <cstdint>
#include <string>

namespace kestrova::soak {

// What a run counts and measures, as the checks and the summary read it.
struct RunFigures {
    // Ticks and timing; lateness and elapsed time are taken from the timeline when it ends.
    std::int64_t commsTicks = 0;
    std::int64_t systemTicks = 0;
    std::int64_t lateTicks = 0;  // woke more than 1 ms after the deadline
    std::int64_t resyncs = 0;
    std::int64_t worstLatenessUs = 0;
    double elapsedSeconds = 0.0;

    // Errors raised out of the core.
    std::int64_t errorsRaised = 0;
    std::string firstError;

    // Exchanges; the line's counts are taken once the core has stopped.
    std::int64_t goodExchanges = 0;
    std::int64_t requests = 0;
    std::int64_t failedWrites = 0;

    // Read replies stored by the core, checked against the simulator's reply log.
    std::int64_t storedReadsChecked = 0;
    std::int64_t misfiledValues = 0;  // stored into a point whose request they did not answer
    std::uint64_t lateBytesDropped = 0;

    // Operator.
    std::int64_t events = 0;
    std::int64_t writesOverInFlight = 0;
    std::int64_t selections = 0;

    // Simulator restart.
    bool killed = false;
    std::int64_t killMs = -1;
    std::int64_t lostAfterKillMs = -1;
    std::int64_t reselectAfterKillMs = -1;  // the operator's first pick after the kill
    std::int64_t goodAfterKillMs = -1;      // the first "Comms Good" after the loss
    bool simRestartFailed = false;
    std::string simTrouble;

    // Checkpoints.
    int checkpoints = 0;
    int checkpointsPassed = 0;
    int checkpointsTimedOut = 0;
    std::int64_t pointsCompared = 0;
    std::int64_t mismatchesTotal = 0;
    bool finalCheckpointPassed = false;
    std::int64_t longestCheckpointMs = 0;  // from the stop of writing to the comparison

    // Memory.
    long rssStartKiB = -1;
    long rssBaselineKiB = -1;
    long rssEndKiB = -1;
    long rssMaxKiB = -1;
};

}  // namespace kestrova::soak
