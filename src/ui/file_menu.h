#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/core_interfaces.h"
#include "ui/dashboard_info.h"
#include "ui/display_state.h"
#include "ui/restore_preview.h"

// The File menu's "Open..." and "Save As..." items without any widget toolkit: the conditions
// under which a parameter file may be restored or saved, the warnings and questions shown
// otherwise, the file dialog, and the event pair that hands the chosen file to the core.
namespace kestrova {

inline constexpr std::string_view NormalModeWarning =
    "Normal Mode Not Selected. Action Not Permitted";
inline constexpr std::string_view EnhancedModeWarning =
    "Not in Enhanced Mode. Action Not Permitted";
inline constexpr std::string_view OpenNoCommsQuestion =
    "There are no Communications. Restored settings may be lost. Continue?";
inline constexpr std::string_view SaveNoCommsQuestion =
    "There are no Communications. The settings being saved may not be valid. Continue?";

inline constexpr std::string_view ParameterFileFilter = "Parameter File|*.PRM";
inline constexpr std::string_view ParameterFileExtension = "PRM";
inline constexpr std::string_view ParameterFileName = "Calibration";

// A warning box offers Cancel only; a question offers Yes (the default button) and Cancel; an
// information box, titled with the application's name, offers OK (answered as Cancel).
enum class MessageKind { WarningCancel, QuestionYesCancel, InformationOk };
enum class MessageAnswer { Yes, Cancel };
enum class RestorePreviewAnswer { Restore, Cancel };

enum class FileDialogKind { Open, Save };

struct FileDialogSettings {
    FileDialogKind kind = FileDialogKind::Open;
    std::string_view filter = ParameterFileFilter;               // "description|pattern"
    std::string_view defaultExtension = ParameterFileExtension;  // added to a bare name
    std::string initialFolder;
    std::string_view fileName = ParameterFileName;
};

// The dialogs the menu needs of the toolkit.
class FileMenuHost {
public:
    // Shows a message box and returns the answer; closing the box answers Cancel.
    virtual MessageAnswer ShowMessage(MessageKind kind, std::string_view text) = 0;
    // Runs a file dialog; the full path chosen, or nothing when the operator cancelled.
    virtual std::optional<std::string> RunFileDialog(const FileDialogSettings& settings) = 0;
    // Shows the values a restore would set, the controller's and the file's, and asks whether to
    // go on; Restore is the default answer, closing the dialog answers Cancel.
    virtual RestorePreviewAnswer ShowRestorePreview(const std::vector<RestorePreviewRow>& rows) = 0;

protected:
    ~FileMenuHost() = default;
};

class FileMenu {
public:
    FileMenu(DashboardDisplay& display, Core& core, const DashboardInfo& info, FileMenuHost& host);

    // Restores the calibration from a parameter file: sends ("FileOpen_Selected", path) with the
    // axis select flags cleared, shows the preview of the values the core sends back and sends
    // the operator's answer ("RestorePreview_Selected", "Restore" or "Cancel"). The flags stay
    // cleared while the restore runs; they are put back as they were when no restore starts
    // (the core refused the file, the operator cancelled, the restore could not start) and when
    // the core raises an error, which goes on to the caller.
    void Open1Click();
    // Saves the calibration: sends ("FileSave_Selected", path). The flags are left alone.
    void SaveAs1Click();

private:
    // While a restore runs nothing is opened or saved: the operator is told so, and true.
    bool RefusedDuringRestore();
    // The three checks, in order, on the indicators as they stand when the item is chosen; only
    // the first failing one is reported. True when the operation may go on.
    bool Permitted(std::string_view noCommsQuestion);
    std::optional<std::string> ChooseFile(FileDialogKind kind);
    // Sends the chosen file and the answer to its preview; true when the restore is under way.
    bool StartRestore(const std::string& path);

    DashboardDisplay& display_;
    Core& core_;
    const DashboardInfo& info_;
    FileMenuHost& host_;
};

}  // namespace kestrova
