#include "sim/fault_injector.h"

namespace kestrova {

FaultInjector::FaultInjector(const FaultSettings& settings)
    : settings_(settings), rng_(settings.seed) {}

bool FaultInjector::Chance(double probability) {
    return probability > 0.0 && unit_(rng_) < probability;
}

FaultOutcome FaultInjector::Apply(SimReply& reply) {
    FaultOutcome outcome;
    if (Chance(settings_.drop)) {
        outcome.send = false;
        ++counts_.dropped;
        return outcome;
    }
    if (Chance(settings_.error)) {
        ControllerModel::BuildErrorReply(reply, SimError::Busy);
        outcome.errorInjected = true;
    }
    if (Chance(settings_.corrupt) && reply.length >= 2) {
        reply.bytes[reply.length - 1] ^= 0x5A;
        outcome.corrupted = true;
    }
    if (outcome.corrupted) {
        ++counts_.corrupted;
    } else if (outcome.errorInjected) {
        ++counts_.errorReplies;
    }
    outcome.late = Chance(settings_.late);
    if (Chance(settings_.garbage)) {
        std::uniform_int_distribution<int> lengthDist(1, static_cast<int>(outcome.garbage.size()));
        std::uniform_int_distribution<int> byteDist(0, 255);
        outcome.garbageLength = static_cast<std::uint8_t>(lengthDist(rng_));
        for (std::size_t i = 0; i < outcome.garbageLength; ++i) {
            outcome.garbage[i] = static_cast<std::uint8_t>(byteDist(rng_));
        }
    }
    if (settings_.latencyMs > 0) {
        std::uniform_int_distribution<int> holdDist(0, settings_.latencyMs);
        outcome.holdMs = holdDist(rng_);
    }
    return outcome;
}

}  // namespace kestrova
