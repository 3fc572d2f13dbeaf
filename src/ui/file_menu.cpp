#include "ui/file_menu.h"

#include "core/ui_names.h"

namespace kestrova {

FileMenu::FileMenu(DashboardDisplay& display, Core& core, const DashboardInfo& info,
                   FileMenuHost& host)
    : display_(display), core_(core), info_(info), host_(host) {}

// The indicators are read once, before any box is shown: while a box is open the timers keep
// changing the display.
bool FileMenu::Permitted(std::string_view noCommsQuestion) {
    bool allNormal = true;
    for (Axis axis : Axes) allNormal = allNormal && display_.AxisInNormalMode(axis);
    const bool enhanced = display_.EnhancedMode();
    const bool commsGood = display_.CommsGood();

    if (!allNormal) {
        host_.ShowMessage(MessageKind::WarningCancel, NormalModeWarning);
        return false;
    }
    if (!enhanced) {
        host_.ShowMessage(MessageKind::WarningCancel, EnhancedModeWarning);
        return false;
    }
    if (!commsGood &&
        host_.ShowMessage(MessageKind::QuestionYesCancel, noCommsQuestion) != MessageAnswer::Yes) {
        return false;
    }
    return true;
}

std::optional<std::string> FileMenu::ChooseFile(FileDialogKind kind) {
    FileDialogSettings settings;
    settings.kind = kind;
    settings.initialFolder = info_.ApplicationDirectory();
    return host_.RunFileDialog(settings);
}

void FileMenu::Open1Click() {
    if (RefusedDuringRestore() || !Permitted(OpenNoCommsQuestion)) return;
    const std::optional<std::string> path = ChooseFile(FileDialogKind::Open);
    if (!path) return;

    // Axis and adjust-entry clicks are ignored while the core restores the calibration; it
    // enables them again when the restore is complete. Without a restore nothing would.
    std::array<bool, AxisCount> before{};
    for (Axis axis : Axes) {
        before[AxisIndex(axis)] = display_.AxisSelectEnabled(axis);
        display_.DisableAxisSelect(axis);
    }
    const auto giveFlagsBack = [&] {
        for (Axis axis : Axes) {
            if (before[AxisIndex(axis)]) display_.EnableAxisSelect(axis);
        }
    };
    try {
        if (!StartRestore(*path)) giveFlagsBack();
    } catch (...) {
        giveFlagsBack();
        throw;
    }
}

// The core answers an acceptable file with its preview rows, a refused one with a message and
// no rows. After "Restore" it says whether the restore started (it may fail to write the
// backup it takes first).
bool FileMenu::StartRestore(const std::string& path) {
    display_.ClearRestorePreview();
    core_.ServiceEvent(event_names::FileOpen_Selected, path);
    if (display_.RestorePreviewRows().empty()) return false;
    const RestorePreviewAnswer answer = host_.ShowRestorePreview(display_.RestorePreviewRows());
    if (answer == RestorePreviewAnswer::Cancel) {
        core_.ServiceEvent(event_names::RestorePreview_Selected, event_texts::Cancel);
        return false;
    }
    core_.ServiceEvent(event_names::RestorePreview_Selected, event_texts::Restore);
    return display_.RestoreUnderWay();
}

void FileMenu::SaveAs1Click() {
    if (RefusedDuringRestore() || !Permitted(SaveNoCommsQuestion)) return;
    const std::optional<std::string> path = ChooseFile(FileDialogKind::Save);
    if (!path) return;
    core_.ServiceEvent(event_names::FileSave_Selected, *path);
}

// Saving now would mix the values before and after the restore; opening would start a second
// restore over the first.
bool FileMenu::RefusedDuringRestore() {
    if (!display_.RestoreUnderWay()) return false;
    host_.ShowMessage(MessageKind::InformationOk, RestoreUnderWayMessage);
    return true;
}

}  // namespace kestrova
