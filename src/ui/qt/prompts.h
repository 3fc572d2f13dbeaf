#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ui/file_menu.h"

class QWidget;

// The platform's message boxes, file dialogs and input box as the dashboard uses them, behind
// one interface so that tests can answer them from a script.
namespace kestrova {

inline constexpr std::string_view ApplicationTitle = "Kestrova Interface";

class Prompts : public FileMenuHost {
public:
    virtual ~Prompts() = default;
    // Returns the text entered, or the default text when the box is cancelled.
    virtual std::string InputBox(std::string_view caption, std::string_view prompt,
                                 std::string_view defaultText) = 0;
    // The error display of the handler boundary: stop icon, OK, the application title.
    virtual void ErrorBox(std::string_view message) = 0;
};

// The real boxes and dialogs, parented to the given window.
class StandardPrompts final : public Prompts {
public:
    explicit StandardPrompts(QWidget* parent) : parent_(parent) {}

    MessageAnswer ShowMessage(MessageKind kind, std::string_view text) override;
    std::optional<std::string> RunFileDialog(const FileDialogSettings& settings) override;
    RestorePreviewAnswer ShowRestorePreview(const std::vector<RestorePreviewRow>& rows) override;
    std::string InputBox(std::string_view caption, std::string_view prompt,
                         std::string_view defaultText) override;
    void ErrorBox(std::string_view message) override;

private:
    QWidget* parent_;
};

}  // namespace kestrova
