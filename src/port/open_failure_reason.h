#pragma once

#include <string>

#include "port/serial_line.h"

namespace kestrova {

// Why a device could not be opened, in the operator's terms.
enum class OpenProblem {
    NoDevice,          // nothing at that path
    PermissionDenied,  // the user may not open it (names the device's group and the fix)
    InUse,             // another program holds it (names it and its process id where it can)
    NotResponding,     // I/O error: the device does not answer
    SettingsRefused,   // the device refuses the line settings
    Other,
};

struct OpenFailureReason {
    OpenProblem problem = OpenProblem::Other;
    std::string text;  // one line, e.g. "/dev/ttyUSB0: permission denied; ..."

    // The two the operator can fix himself; they are also shown in a message box.
    bool OperatorCanFix() const {
        return problem == OpenProblem::PermissionDenied || problem == OpenProblem::InUse;
    }
};

// Explains a failed open or configuration of path, looking at the device itself (its owner and
// group, the process that holds it open) where that helps.
// Each call for a busy device searches /proc (within a budget of a quarter of a second): call it
// once per attempt the operator makes, not on every automatic retry.
OpenFailureReason ExplainOpenFailure(OpenFailure failure, const std::string& path);

}  // namespace kestrova
