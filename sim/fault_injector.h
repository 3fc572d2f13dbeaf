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
};

struct FaultOutcome {
    bool send = true;
    bool corrupted = false;
    bool errorInjected = false;
    bool late = false;
    std::uint8_t garbageLength = 0;
    std::array<std::uint8_t, 8> garbage{};
};

// Decides, reply by reply, which faults strike; reproducible for a given seed.
class FaultInjector {
public:
    explicit FaultInjector(const FaultSettings& settings);

    // May turn reply into an error reply or damage its checksum; fills the stray bytes to send
    // before it. send is false for a dropped reply (nothing else is then done to it).
    FaultOutcome Apply(SimReply& reply);

private:
    bool Chance(double probability);

    FaultSettings settings_;
    std::mt19937 rng_;
    std::uniform_real_distribution<double> unit_{0.0, 1.0};
};

}  // namespace kestrova
