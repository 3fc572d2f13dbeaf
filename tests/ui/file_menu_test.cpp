// The parameter file menu and the dialog texts, against a real display state with a scripted
// message box and file dialog.
#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/errors.h"
#include "core/ui_names.h"
#include "ui/dialog_logic.h"
#include "ui/display_state.h"
#include "ui/file_menu.h"

namespace kestrova {
namespace {

using namespace display_values;
using namespace event_texts;
struct SentPair {
    std::string object;
    std::string event;
    std::array<bool, AxisCount> flagsWhenSent{};
};

// Records the pairs with the axis select flags of the moment, and answers as the core does: the
// preview rows for a file it accepts and, when the restore starts, "Running".
class RecordingCore final : public Core {
public:
    explicit RecordingCore(DashboardDisplay& display) : display_(display) {}
    std::vector<SentPair> pairs;
    std::string throwOn;                   // this object name raises a conversion error
    std::vector<std::string> previewRows;  // none: the file is refused
    bool restoreStarts = true;

    void CoreStart() override {}
    void CoreStop() override {}
    void CommsTick() override {}
    void SystemTick() override {}
    bool CheckConfigVersions() override { return true; }
    void ServiceEvent(std::string_view objectName, std::string_view eventText) override {
        pairs.push_back({std::string(objectName),
                         std::string(eventText),
                         {display_.PanSelectEnabled(), display_.TiltSelectEnabled(),
                          display_.RollSelectEnabled()}});
        if (objectName == throwOn)
            throw ConversionError("'1x5' is not a valid floating point value");
        if (objectName == "FileOpen_Selected") {
            for (const std::string& row : previewRows)
                display_.DisplayUpdate("RestorePreviewRow", row);
        }
        if (objectName == "RestorePreview_Selected" && eventText == Restore && restoreStarts) {
            display_.DisplayUpdate("RestoreState", RestoreRunning);
        }
    }

private:
    DashboardDisplay& display_;
};

class FakeInfo final : public DashboardInfo {
public:
    std::string directory = "/opt/kestrova";
    std::int32_t software = 1201;
    std::int32_t settings = 1201;
    std::int32_t project = 1201;
    std::int32_t tags = 1201;

    std::string ApplicationDirectory() const override { return directory; }
    std::int32_t SoftwareVersion() const override { return software; }
    std::int32_t SettingsVersion() const override { return settings; }
    std::int32_t ProjectVersion() const override { return project; }
    std::int32_t TagFileVersion() const override { return tags; }
    std::string StartupError() const override { return {}; }
};

// Answers boxes and dialogs from scripts and records what was shown.
class ScriptedHost final : public FileMenuHost {
public:
    std::vector<std::pair<MessageKind, std::string>> messages;
    std::deque<MessageAnswer> answers;  // none left: Cancel
    std::vector<FileDialogSettings> dialogs;
    std::optional<std::string> chosenFile;
    std::vector<std::vector<RestorePreviewRow>> previews;
    RestorePreviewAnswer previewAnswer = RestorePreviewAnswer::Restore;

    MessageAnswer ShowMessage(MessageKind kind, std::string_view text) override {
        messages.emplace_back(kind, std::string(text));
        if (answers.empty()) return MessageAnswer::Cancel;
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::optional<std::string> RunFileDialog(const FileDialogSettings& settings) override {
        dialogs.push_back(settings);
        return chosenFile;
    }
    RestorePreviewAnswer ShowRestorePreview(const std::vector<RestorePreviewRow>& rows) override {
        previews.push_back(rows);
        return previewAnswer;
    }
};

struct Menu {
    DashboardDisplay display;
    RecordingCore core{display};
    FakeInfo info;
    ScriptedHost host;
    FileMenu menu{display, core, info, host};

    void Show(std::string_view key, std::string_view value) { display.DisplayUpdate(key, value); }
    // Enhanced mode, all axes normal, comms good: every check passes.
    void AllowAll() {
        Show("ModeSelect", Enhanced);
        Show("CommsStatus", GoodFlashOn);
    }
    bool AllFlags() const {
        return display.PanSelectEnabled() && display.TiltSelectEnabled() &&
               display.RollSelectEnabled();
    }
    std::vector<std::pair<std::string, std::string>> Pairs() const {
        std::vector<std::pair<std::string, std::string>> sent;
        for (const SentPair& pair : core.pairs) sent.emplace_back(pair.object, pair.event);
        return sent;
    }
};

constexpr std::array<bool, AxisCount> Cleared{false, false, false};

TEST(FileMenu, ChecksRunInOrderAndOnlyTheFirstFailureIsReported) {
    // Tilt in positive adjust, legacy mode, no comms: only the normal-mode warning.
    Menu m;
    m.Show("ModeSelect", Legacy);
    m.Show("TiltModeSelect", Increment);
    m.menu.Open1Click();
    m.menu.SaveAs1Click();
    ASSERT_EQ(m.host.messages.size(), 2u);
    for (const auto& [kind, text] : m.host.messages) {
        EXPECT_EQ(kind, MessageKind::WarningCancel);
        EXPECT_EQ(text, "Normal Mode Not Selected. Action Not Permitted");
    }
    EXPECT_TRUE(m.host.dialogs.empty());
    EXPECT_TRUE(m.core.pairs.empty());

    // All normal again, still legacy: the enhanced-mode warning, for both items.
    m.host.messages.clear();
    m.Show("TiltModeSelect", Normal);
    m.menu.Open1Click();
    m.menu.SaveAs1Click();
    ASSERT_EQ(m.host.messages.size(), 2u);
    EXPECT_EQ(m.host.messages[0].second, "Not in Enhanced Mode. Action Not Permitted");
    EXPECT_EQ(m.host.messages[1].second, "Not in Enhanced Mode. Action Not Permitted");
    EXPECT_TRUE(m.host.dialogs.empty());
    EXPECT_TRUE(m.core.pairs.empty());

    // An axis in negative adjust mode counts as not normal as well.
    m.host.messages.clear();
    m.Show("ModeSelect", Enhanced);
    m.Show("Pan_ModeSelect", Decrement);
    m.menu.SaveAs1Click();
    ASSERT_EQ(m.host.messages.size(), 1u);
    EXPECT_EQ(m.host.messages[0].second, "Normal Mode Not Selected. Action Not Permitted");
}

TEST(FileMenu, NoCommsQuestionYesGoesOnAndCancelStops) {
    Menu m;
    m.Show("ModeSelect", Enhanced);
    m.Show("CommsStatus", PortConnected);  // yellow: port open, no answer
    m.host.chosenFile = "/data/Calibration.PRM";

    m.menu.Open1Click();  // no answer scripted: Cancel
    ASSERT_EQ(m.host.messages.size(), 1u);
    EXPECT_EQ(m.host.messages[0].first, MessageKind::QuestionYesCancel);
    EXPECT_EQ(m.host.messages[0].second,
              "There are no Communications. Restored settings may be lost. Continue?");
    EXPECT_TRUE(m.host.dialogs.empty());
    EXPECT_TRUE(m.core.pairs.empty());
    EXPECT_TRUE(m.AllFlags());

    m.host.answers = {MessageAnswer::Yes};
    m.menu.Open1Click();
    ASSERT_EQ(m.host.dialogs.size(), 1u);
    const FileDialogSettings& open = m.host.dialogs[0];
    EXPECT_EQ(open.kind, FileDialogKind::Open);
    EXPECT_EQ(open.filter, "Parameter File|*.PRM");
    EXPECT_EQ(open.defaultExtension, "PRM");
    EXPECT_EQ(open.initialFolder, "/opt/kestrova");
    EXPECT_EQ(open.fileName, "Calibration");
    ASSERT_EQ(m.core.pairs.size(), 1u);
    EXPECT_EQ(m.core.pairs[0].object, "FileOpen_Selected");
    EXPECT_EQ(m.core.pairs[0].event, "/data/Calibration.PRM");

    // Save As asks its own question; Yes runs the save dialog.
    m.host.messages.clear();
    m.Show("CommsStatus", CommsNone);
    m.host.answers = {MessageAnswer::Yes};
    m.host.chosenFile = "/data/Saved.PRM";
    m.menu.SaveAs1Click();
    ASSERT_EQ(m.host.messages.size(), 1u);
    EXPECT_EQ(m.host.messages[0].second,
              "There are no Communications. The settings being saved may not be valid. "
              "Continue?");
    ASSERT_EQ(m.host.dialogs.size(), 2u);
    EXPECT_EQ(m.host.dialogs[1].kind, FileDialogKind::Save);
    EXPECT_EQ(m.host.dialogs[1].initialFolder, "/opt/kestrova");
    EXPECT_EQ(m.host.dialogs[1].fileName, "Calibration");
    ASSERT_EQ(m.core.pairs.size(), 2u);
    EXPECT_EQ(m.core.pairs[1].object, "FileSave_Selected");
    EXPECT_EQ(m.core.pairs[1].event, "/data/Saved.PRM");
}

TEST(FileMenu, EitherPhaseOfTheGoodFlashCountsAsCommunications) {
    for (std::string_view phase : {GoodFlashOn, GoodFlashOff}) {
        Menu m;
        m.Show("ModeSelect", Enhanced);
        m.Show("CommsStatus", phase);
        m.host.chosenFile = "/x.PRM";
        m.menu.SaveAs1Click();
        EXPECT_TRUE(m.host.messages.empty()) << phase;
        ASSERT_EQ(m.core.pairs.size(), 1u) << phase;
    }
}

TEST(FileMenu, OpenClearsTheAxisFlagsBeforeThePairAndCancelKeepsThem) {
    Menu m;
    m.AllowAll();

    m.menu.Open1Click();  // dialog cancelled
    ASSERT_EQ(m.host.dialogs.size(), 1u);
    EXPECT_TRUE(m.core.pairs.empty());
    EXPECT_TRUE(m.AllFlags());

    m.host.chosenFile = "/data/a.PRM";
    m.core.previewRows = {"Pan neutral|1000|1010"};
    m.menu.Open1Click();
    ASSERT_EQ(m.core.pairs.size(), 2u);
    EXPECT_EQ(m.core.pairs[0].flagsWhenSent, Cleared);
    EXPECT_EQ(m.core.pairs[1].flagsWhenSent, Cleared);
    EXPECT_FALSE(m.display.PanSelectEnabled());
    EXPECT_FALSE(m.display.TiltSelectEnabled());
    EXPECT_FALSE(m.display.RollSelectEnabled());

    // The core's "ModeSelect" "ENHANCED" at the end of the restore gives them back.
    m.Show("ModeSelect", Enhanced);
    m.Show("RestoreState", RestoreIdle);
    EXPECT_TRUE(m.AllFlags());

    // Save As leaves them as they are.
    m.menu.SaveAs1Click();
    ASSERT_EQ(m.core.pairs.size(), 3u);
    EXPECT_EQ(m.core.pairs[2].flagsWhenSent, (std::array<bool, 3>{true, true, true}));
    EXPECT_TRUE(m.AllFlags());
}

// The preview shows what the core sent for this file; only a restore the core reports running
// keeps the axis select flags cleared.
TEST(FileMenu, ThePreviewAnswerDecidesAndOnlyARunningRestoreKeepsTheFlags) {
    using Sent = std::vector<std::pair<std::string, std::string>>;
    const Sent opened{{"FileOpen_Selected", "/data/a.PRM"}};
    const Sent restore{opened[0], {"RestorePreview_Selected", std::string(Restore)}};
    const Sent cancel{opened[0], {"RestorePreview_Selected", std::string(Cancel)}};
    struct Case {
        const char* what;
        bool fileAccepted;
        RestorePreviewAnswer answer;
        bool restoreStarts;
        Sent sent;
        bool flagsCleared;
    };
    const Case cases[] = {
        {"restored", true, RestorePreviewAnswer::Restore, true, restore, true},
        {"cancelled", true, RestorePreviewAnswer::Cancel, true, cancel, false},
        {"backup failed", true, RestorePreviewAnswer::Restore, false, restore, false},
        {"file refused", false, RestorePreviewAnswer::Restore, true, opened, false},
    };
    for (const Case& c : cases) {
        Menu m;
        m.AllowAll();
        m.host.chosenFile = "/data/a.PRM";
        // Rows of an earlier file are not shown again.
        m.Show("RestorePreviewRow", "Roll neutral|1|2");
        if (c.fileAccepted) {
            m.core.previewRows = {"Pan neutral|1000|1010", "Pan positive adjust|150|150"};
        }
        m.host.previewAnswer = c.answer;
        m.core.restoreStarts = c.restoreStarts;
        m.menu.Open1Click();
        EXPECT_EQ(m.Pairs(), c.sent) << c.what;
        const std::vector<std::vector<RestorePreviewRow>> shown{
            {{"Pan neutral", "1000", "1010"}, {"Pan positive adjust", "150", "150"}}};
        EXPECT_EQ(m.host.previews, c.fileAccepted ? shown : decltype(shown){}) << c.what;
        EXPECT_EQ(m.AllFlags(), !c.flagsCleared) << c.what;
    }
}

// Saving during a restore would mix old and new values; the refusal comes before any other
// check.
TEST(FileMenu, OpenAndSaveAreRefusedWhileARestoreRuns) {
    Menu m;
    m.AllowAll();
    m.Show("TiltModeSelect", Increment);
    m.Show("RestoreState", RestoreRunning);
    m.host.chosenFile = "/data/a.PRM";
    m.menu.Open1Click();
    m.menu.SaveAs1Click();
    using Message = std::pair<MessageKind, std::string>;
    const Message refusal{MessageKind::InformationOk,
                          "A restore is under way; wait until it ends."};
    EXPECT_EQ(m.host.messages, (std::vector<Message>{refusal, refusal}));
    EXPECT_TRUE(m.host.dialogs.empty());
    EXPECT_TRUE(m.core.pairs.empty());

    m.Show("TiltModeSelect", Normal);
    m.Show("RestoreState", RestoreIdle);
    m.menu.SaveAs1Click();
    EXPECT_EQ(
        m.Pairs(),
        (std::vector<std::pair<std::string, std::string>>{{"FileSave_Selected", "/data/a.PRM"}}));
}

TEST(FileMenu, AnErrorFromTheCoreGivesTheAxisFlagsBack) {
    for (const char* failing : {"FileOpen_Selected", "RestorePreview_Selected"}) {
        Menu m;
        m.AllowAll();
        m.host.chosenFile = "/data/bad.PRM";
        m.core.previewRows = {"Pan neutral|1000|1010"};
        m.core.throwOn = failing;
        EXPECT_THROW(m.menu.Open1Click(), ConversionError) << failing;
        EXPECT_EQ(m.core.pairs.back().object, failing);
        EXPECT_EQ(m.core.pairs.back().flagsWhenSent, Cleared) << failing;
        EXPECT_TRUE(m.AllFlags()) << failing;
    }

    // Flags that were already clear stay clear.
    Menu m;
    m.AllowAll();
    m.host.chosenFile = "/data/bad.PRM";
    m.display.DisableAxisSelect(Axis::Pan);
    m.display.DisableAxisSelect(Axis::Roll);
    m.core.throwOn = "FileOpen_Selected";
    EXPECT_THROW(m.menu.Open1Click(), ConversionError);
    EXPECT_FALSE(m.display.PanSelectEnabled());
    EXPECT_TRUE(m.display.TiltSelectEnabled());
    EXPECT_FALSE(m.display.RollSelectEnabled());
}

TEST(DialogLogic, VersionTextAndPreamble) {
    EXPECT_EQ(VersionText(1201), "1.20.1");
    EXPECT_EQ(VersionText(1305), "1.30.5");
    EXPECT_EQ(VersionText(12345), "12.34.5");
    EXPECT_EQ(VersionText(1009), "1.00.9");
    EXPECT_EQ(VersionText(7), "0.00.7");
    EXPECT_EQ(ConfigErrorPreamble(1201),
              "The following configuration file(s) are incorrect for Version  1.20.1:-");
}

TEST(DialogLogic, StatusLinesNameEachWrongFileInItsPlace) {
    FakeInfo info;
    info.tags = 1200;
    auto lines = ConfigFileStatuses(info);
    EXPECT_FALSE(lines[0].incorrect);
    EXPECT_FALSE(lines[1].incorrect);
    EXPECT_TRUE(lines[2].incorrect);
    EXPECT_EQ(lines[2].control, "StaticText_TG1_Status");
    EXPECT_EQ(lines[2].errorText, " KESTROVA_001.TG1 is incorrect");

    info.settings = info.project = info.tags = 0;  // all three files missing
    lines = ConfigFileStatuses(info);
    EXPECT_TRUE(lines[0].incorrect && lines[1].incorrect && lines[2].incorrect);
    EXPECT_EQ(lines[0].errorText, " Kestrova_Interface.INI is incorrect");
    EXPECT_EQ(lines[1].errorText, " KESTROVA_001.CG0 is incorrect");
    EXPECT_EQ(lines[0].control, "StaticText_INI_Status");
    EXPECT_EQ(lines[1].control, "StaticText_CG0_Status");
}

TEST(DialogLogic, AboutTextsBreakTheCommentsAfterSystem) {
    const AboutTexts texts = AboutBoxTexts("Apr  4 2017", "19:15:34");
    EXPECT_EQ(texts.version, "1.20.1");
    EXPECT_EQ(texts.productName, "Tessaline Kestrova Wheels Software");
    EXPECT_EQ(texts.maker, "Tessaline");
    EXPECT_EQ(texts.comments,
              "Utility for use with the Kestrova Control Wheel System\n"
              "Compiled: Apr  4 2017-19:15:34");
}

}  // namespace
}  // namespace kestrova
