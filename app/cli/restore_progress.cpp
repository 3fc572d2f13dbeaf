#include "restore_progress.h"

#include <cstdio>
#include <string>

namespace kestrova::cli {
namespace {

constexpr int BarWidth = 17;

}  // namespace

std::uint32_t RestoreProgress::StepsRun(const CoreState& state) {
    if (state.RestoreStepNumber == 0) return state.Verification.active ? RestoreLastStep : 0;
    return state.RestoreStepNumber - 1;
}

void RestoreProgress::Follow(const CoreState& state) {
    const std::uint32_t run = StepsRun(state);
    while (reported_ < run) ReportStep(++reported_);
    if (state.Verification.active && !verifying_) {
        verifying_ = true;
        Finish();
        std::fputs("restore: reading the values back\n", stderr);
    }
}

void RestoreProgress::ReportStep(std::uint32_t step) {
    if (!terminal_) {
        std::fprintf(stderr, "restore: step %u of %u\n", step, RestoreLastStep);
        return;
    }
    const std::string bar = std::string(step, '#') + std::string(BarWidth - step, '.');
    std::fprintf(stderr, "\rrestore: [%s] step %u of %u", bar.c_str(), step, RestoreLastStep);
    std::fflush(stderr);
    barShown_ = true;
}

void RestoreProgress::Finish() {
    if (barShown_) std::fputs("\n", stderr);
    barShown_ = false;
}

}  // namespace kestrova::cli
