#pragma once

// A recording core and window host around a real display state and window logic: the core
// records every pair and can answer a pair with display commands, so nested calls run as in the
// program.
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/core_interfaces.h"
#include "support/text_pair.h"
#include "ui/dashboard_logic.h"
#include "ui/display_state.h"

namespace kestrova::test {

class FakeCore final : public Core {
public:
    Display* display = nullptr;
    std::vector<Pair> events;
    std::vector<std::string> calls;               // lifecycle and tick calls in order
    std::map<Pair, std::vector<Pair>> reactions;  // pair -> display commands it sends
    bool configOk = true;
    bool commsWanted = true;

    void CoreStart() override { calls.emplace_back("CoreStart"); }
    void CoreStop() override { calls.emplace_back("CoreStop"); }
    void CommsTick() override { calls.emplace_back("CommsTick"); }
    void SystemTick() override { calls.emplace_back("SystemTick"); }
    bool CheckConfigVersions() override {
        calls.emplace_back("CheckConfigVersions");
        return configOk;
    }
    bool CommsTickWanted() const override { return commsWanted; }
    void ServiceEvent(std::string_view objectName, std::string_view eventText) override {
        events.emplace_back(std::string(objectName), std::string(eventText));
        const auto found = reactions.find(Pair(objectName, eventText));
        if (found == reactions.end()) return;
        for (const auto& [key, value] : found->second) display->DisplayUpdate(key, value);
    }
};

class FakeHost final : public WindowHost {
public:
    DashboardLogic* logic = nullptr;
    int dialogShows = 0;
    int closes = 0;
    std::function<void()> whileDialogOpen;
    std::deque<std::string> answers;  // input box answers; none left: cancel
    std::vector<std::string> inputBoxDefaults;

    void ShowConfigErrorDialog() override {
        ++dialogShows;
        if (whileDialogOpen) whileDialogOpen();
        logic->ConfigErrorDialogClosed();
    }
    void CloseWindow() override {
        ++closes;
        logic->FormClose();
    }
    std::string InputBox(std::string_view caption, std::string_view prompt,
                         std::string_view defaultText) override {
        lastCaption = caption;
        lastPrompt = prompt;
        inputBoxDefaults.emplace_back(defaultText);
        if (answers.empty()) return std::string(defaultText);
        std::string answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::string lastCaption;
    std::string lastPrompt;
};

struct Window {
    DashboardDisplay display;
    FakeCore core;
    FakeHost host;
    DashboardLogic logic{display, core, host};

    Window() {
        core.display = &display;
        host.logic = &logic;
    }
    const ElementState& operator[](Element element) const { return display.State(element); }
    const std::string& LastMemoLine() const { return display.MemoLines().back(); }
};

}  // namespace kestrova::test
