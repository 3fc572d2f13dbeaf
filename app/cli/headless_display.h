#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/core_interfaces.h"

namespace kestrova::cli {

// The window as the command line stands in for it: keeps the display commands a command acts
// on (message boxes, the restore preview and state, the banner) and passes the debug memo's
// lines to the memo sink when one is set. Every other command is ignored, so the ticks' value
// displays cost nothing.
class HeadlessDisplay final : public Display {
public:
    using MemoSink = std::function<void(std::string_view line)>;
    explicit HeadlessDisplay(MemoSink memo = {}) : memo_(std::move(memo)) {}

    void DisplayUpdate(std::string_view key, std::string_view value) override;

    const std::vector<std::string>& MessageBoxes() const { return messageBoxes_; }
    const std::vector<std::string>& PreviewRows() const { return previewRows_; }
    const std::string& RestoreState() const { return restoreState_; }
    // The banner's text; empty while it is hidden.
    const std::string& Notification() const { return notification_; }
    // Forgets the message boxes and the preview rows before an event whose answer is awaited.
    void ClearMessages();

private:
    MemoSink memo_;
    std::vector<std::string> messageBoxes_;
    std::vector<std::string> previewRows_;
    std::string restoreState_;
    std::string notification_;
};

}  // namespace kestrova::cli
