#pragma once

#include <cstdint>

#include "core/app_service.h"

namespace kestrova::cli {

// The restore's progress on stderr, from the core's step number: a bar with "step k of 17" when
// stderr is a terminal, one line per step otherwise.
class RestoreProgress {
public:
    explicit RestoreProgress(bool terminal) : terminal_(terminal) {}

    // Reports the steps run since the last call, and the start of the read-back.
    void Follow(const CoreState& state);
    // Ends the bar's line.
    void Finish();

    // Steps run so far: the step under way is not counted.
    static std::uint32_t StepsRun(const CoreState& state);

private:
    void ReportStep(std::uint32_t step);

    bool terminal_;
    std::uint32_t reported_ = 0;
    bool verifying_ = false;
    bool barShown_ = false;  // the bar's line is not ended yet
};

}  // namespace kestrova::cli
