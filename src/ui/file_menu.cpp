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
    if (!Permitted(OpenNoCommsQuestion)) return;
    const std::optional<std::string> path = ChooseFile(FileDialogKind::Open);
    if (!path) return;

    // Axis and adjust-entry clicks are ignored while the core restores the calibration; it
    // enables them again when the restore is complete.
    std::array<bool, AxisCount> before{};
    for (Axis axis : Axes) {
        before[AxisIndex(axis)] = display_.AxisSelectEnabled(axis);
        display_.DisableAxisSelect(axis);
    }
    try {
        core_.ServiceEvent(event_names::FileOpen_Selected, *path);
    } catch (...) {
        // A file the core refused starts no restore, so nothing would enable the axes again.
        for (Axis axis : Axes) {
            if (before[AxisIndex(axis)]) display_.EnableAxisSelect(axis);
        }
        throw;
    }
}

void FileMenu::SaveAs1Click() {
    if (!Permitted(SaveNoCommsQuestion)) return;
    const std::optional<std::string> path = ChooseFile(FileDialogKind::Save);
    if (!path) return;
    core_.ServiceEvent(event_names::FileSave_Selected, *path);
}

}  // namespace kestrova
