#pragma once

#include <string>
#include <string_view>

// One row of the preview shown before a restore: a calibration value the restore sets, the value
// the controller holds now and the value the parameter file holds.
namespace kestrova {

struct RestorePreviewRow {
    std::string name;
    std::string controllerValue;  // "no comms" without a link
    std::string fileValue;

    // The restore changes the value: the two numbers differ (a file's -0 is the controller's 0),
    // or, where either is no number, the two texts. Without comms the controller's value is
    // unknown, and the row counts as changed.
    bool Changed() const;

    friend bool operator==(const RestorePreviewRow&, const RestorePreviewRow&) = default;
};

// "<name>|<controller value now>|<file value>", as the core sends it; a missing field is empty.
RestorePreviewRow ParseRestorePreviewRow(std::string_view text);

}  // namespace kestrova
