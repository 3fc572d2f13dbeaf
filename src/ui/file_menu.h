#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "core/core_interfaces.h"
#include "ui/dashboard_info.h"
#include "ui/display_state.h"

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

// A warning box offers Cancel only; a question offers Yes (the default button) and Cancel.
enum class MessageKind { WarningCancel, QuestionYesCancel };
enum class MessageAnswer { Yes, Cancel };

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

protected:
    ~FileMenuHost() = default;
};

class FileMenu {
public:
    FileMenu(DashboardDisplay& display, Core& core, const DashboardInfo& info, FileMenuHost& host);

    // Restores the calibration from a parameter file: sends ("FileOpen_Selected", path) with the
    // axis select flags cleared until the core has restored it. When the core refuses the file
    // with an error, the flags are put back as they were and the error goes on to the caller.
    void Open1Click();
    // Saves the calibration: sends ("FileSave_Selected", path). The flags are left alone.
    void SaveAs1Click();

private:
    // The three checks, in order, on the indicators as they stand when the item is chosen; only
    // the first failing one is reported. True when the operation may go on.
    bool Permitted(std::string_view noCommsQuestion);
    std::optional<std::string> ChooseFile(FileDialogKind kind);

    DashboardDisplay& display_;
    Core& core_;
    const DashboardInfo& info_;
    FileMenuHost& host_;
};

}  // namespace kestrova
