#pragma once

#include <array>
#include <cstdint>
#include <random>

#include "sim/controller_model.h"

// The faults the simulated controller's replies may suffer on their way to the utility.
namespace kestrova {

// Chances, 0..1, that a reply is spoilt in one of these ways.
struct FaultSettings {
    double drop = 0.0;     // the reply is not sent at all
    double corrupt = 0.0;  // the reply's checksum is damaged
    double error = 0.0;    // an error reply (code Busy) goes out instead of the real reply
    double garbage = 0.0;  // 1 to 8 stray bytes go out just before the reply
    std::uint32_t seed = 1;
    double late = 0.0;  // the reply goes out only after the utility has stopped waiting for it
    // Every reply is held back a random 0..latencyMs ms, replies staying in order: a USB
    // adapter's latency timer.
    int latencyMs = 0;
};

struct FaultOutcome {
    bool send = true;
    bool corrupted = false;
    bool errorInjected = false;
    bool late = false;
    int holdMs = 0;  // the adapter's hold, 0..FaultSettings::latencyMs
    std::uint8_t garbageLength = 0;
    std::array<std::uint8_t, 8> garbage{};
};

// How many replies each fault has struck so far. A reply is counted once, by what the utility
// gets: dropped, sent with a damaged checksum (an injected error reply among them), or sent as a
// sound injected error reply.
struct FaultCounts {
    std::uint32_t dropped = 0;
    std::uint32_t corrupted = 0;
    std::uint32_t errorReplies = 0;
};

// Decides, reply by reply, which faults strike; reproducible for a given seed.
class FaultInjector {
public:
    explicit FaultInjector(const FaultSettings& settings);

    // May turn reply into an error reply or damage its checksum; fills the stray bytes to send
    // before it. send is false for a dropped reply (nothing else is then done to it).
    FaultOutcome Apply(SimReply& reply);
    const FaultCounts& Counts() const { return counts_; }

private:
    bool Chance(double probability);

    FaultSettings settings_;
    std::mt19937 rng_;
    std::uniform_real_distribution<double> unit_{0.0, 1.0};
    FaultCounts counts_;
};

}  // namespace kestrova
