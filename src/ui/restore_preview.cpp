#include "ui/restore_preview.h"

#include <optional>

#include "common/number_text.h"

namespace kestrova {

namespace {

// The text up to the next bar, and the rest after it.
std::string_view TakeField(std::string_view& rest) {
    const std::size_t bar = rest.find('|');
    const std::string_view field = rest.substr(0, bar);
    rest = bar == std::string_view::npos ? std::string_view{} : rest.substr(bar + 1);
    return field;
}

}  // namespace

bool RestorePreviewRow::Changed() const {
    const std::optional<double> now = TryTextToDouble(controllerValue);
    const std::optional<double> file = TryTextToDouble(fileValue);
    if (now && file) return *now != *file;
    return controllerValue != fileValue;
}

RestorePreviewRow ParseRestorePreviewRow(std::string_view text) {
    RestorePreviewRow row;
    row.name = TakeField(text);
    row.controllerValue = TakeField(text);
    row.fileValue = TakeField(text);
    return row;
}

}  // namespace kestrova
