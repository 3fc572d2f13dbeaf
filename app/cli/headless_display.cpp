#include "headless_display.h"

#include "core/ui_names.h"

namespace kestrova::cli {

void HeadlessDisplay::DisplayUpdate(std::string_view key, std::string_view value) {
    if (key == display_keys::DebugInfo) {
        if (memo_) memo_(value);
    } else if (key == display_keys::MessageBox) {
        messageBoxes_.emplace_back(value);
    } else if (key == display_keys::RestorePreviewRow) {
        previewRows_.emplace_back(value);
    } else if (key == display_keys::RestoreState) {
        restoreState_ = value;
    } else if (key == display_keys::ShowNotification) {
        notification_ = value;
    } else if (key == display_keys::HideNotification) {
        notification_.clear();
    }
}

void HeadlessDisplay::ClearMessages() {
    messageBoxes_.clear();
    previewRows_.clear();
}

}  // namespace kestrova::cli
