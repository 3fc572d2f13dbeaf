#pragma once

// A dashboard window over a recording core, with scripted boxes and dialogs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/errors.h"
#include "support/text_pair.h"
#include "ui/dashboard_info.h"
#include "ui/qt/form_dashboard.h"
#include "ui/qt/prompts.h"

namespace kestrova::test {

// Runs the event loop for a while. (QTest::qWait sleeps 10 ms between its rounds, which would
// slow the 1 ms timer down to the 10 ms one.)
inline void Spin(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until the condition holds or the time is up; the condition's last value.
template <typename Condition>
bool WaitFor(Condition condition, int milliseconds = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < milliseconds) Spin(2);
    return condition();
}

class FakeCore final : public Core {
public:
    Display* display = nullptr;
    std::vector<Pair> pairs;
    std::vector<std::string> calls;  // lifecycle calls in order
    int commsTicks = 0;
    int systemTicks = 0;
    bool configOk = true;
    bool commsWanted = true;                      // CommsTickWanted
    std::map<Pair, std::vector<Pair>> reactions;  // pair -> display commands it sends
    std::optional<Pair> throwOn;                  // this pair raises a conversion error
    bool throwOnSystemTick = false;

    void CoreStart() override { calls.emplace_back("CoreStart"); }
    void CoreStop() override { calls.emplace_back("CoreStop"); }
    void CommsTick() override { ++commsTicks; }
    void SystemTick() override {
        ++systemTicks;
        if (throwOnSystemTick) throw FileError("Cannot create file /nowhere/x");
    }
    bool CheckConfigVersions() override { return configOk; }
    bool CommsTickWanted() const override { return commsWanted; }
    void ServiceEvent(std::string_view objectName, std::string_view eventText) override {
        Pair pair(objectName, eventText);
        pairs.push_back(pair);
        if (throwOn && *throwOn == pair) throw ConversionError("'x' is not a valid integer value");
        const auto found = reactions.find(pair);
        if (found == reactions.end()) return;
        for (const auto& [key, value] : found->second) display->DisplayUpdate(key, value);
    }
};

class FakeInfo final : public DashboardInfo {
public:
    std::string directory = "/tmp";
    std::int32_t software = 1201;
    std::int32_t settings = 1201;
    std::int32_t project = 1201;
    std::int32_t tags = 1201;
    std::string startupError;

    std::string ApplicationDirectory() const override { return directory; }
    std::int32_t SoftwareVersion() const override { return software; }
    std::int32_t SettingsVersion() const override { return settings; }
    std::int32_t ProjectVersion() const override { return project; }
    std::int32_t TagFileVersion() const override { return tags; }
    std::string StartupError() const override { return startupError; }
};

class ScriptedPrompts final : public Prompts {
public:
    std::vector<std::string> messages;
    std::deque<MessageAnswer> answers;  // none left: Cancel
    std::optional<std::string> chosenFile;
    std::vector<std::vector<RestorePreviewRow>> previews;
    RestorePreviewAnswer previewAnswer = RestorePreviewAnswer::Restore;
    std::deque<std::string> inputs;  // none left: cancel (default text)
    std::vector<std::string> errors;
    std::function<void()> whileErrorBoxOpen;

    MessageAnswer ShowMessage(MessageKind, std::string_view text) override {
        messages.emplace_back(text);
        if (answers.empty()) return MessageAnswer::Cancel;
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::optional<std::string> RunFileDialog(const FileDialogSettings&) override {
        return chosenFile;
    }
    RestorePreviewAnswer ShowRestorePreview(const std::vector<RestorePreviewRow>& rows) override {
        previews.push_back(rows);
        return previewAnswer;
    }
    std::string InputBox(std::string_view, std::string_view,
                         std::string_view defaultText) override {
        if (inputs.empty()) return std::string(defaultText);
        std::string text = inputs.front();
        inputs.pop_front();
        return text;
    }
    void ErrorBox(std::string_view message) override {
        errors.emplace_back(message);
        if (whileErrorBoxOpen) whileErrorBoxOpen();
    }
};

// The window with its logic over the fake core. The timers are stopped unless a test starts
// them, so every tick is the test's own.
struct DashboardFixture : ::testing::Test {
    FakeCore core;
    FakeInfo info;
    ScriptedPrompts prompts;
    TFormDashboard form;

    DashboardFixture() {
        core.commsWanted = false;
        core.display = &form.Display();
        form.SetPrompts(&prompts);
        form.Create(core, info);
        CommsTimer()->stop();
        SysTimer()->stop();
    }

    QTimer* CommsTimer() { return form.findChild<QTimer*>(QStringLiteral("Comms_Timer")); }
    QTimer* SysTimer() { return form.findChild<QTimer*>(QStringLiteral("TimerSysUpdate")); }

    template <typename T = QWidget>
    T* Find(const char* name) {
        return form.findChild<T*>(QString::fromLatin1(name));
    }
    // A display command from the core, as a tick would send it, then drawn.
    void Show(std::string_view key, std::string_view value) {
        form.Display().DisplayUpdate(key, value);
        form.RenderDisplay();
    }
    void ShowAndActivate() {
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }
    void Click(const char* name) {
        QWidget* widget = Find(name);
        ASSERT_NE(widget, nullptr) << name;
        QTest::mouseClick(widget, Qt::LeftButton);
    }
    std::vector<Pair> TakePairs() { return std::exchange(core.pairs, {}); }
};

}  // namespace kestrova::test
