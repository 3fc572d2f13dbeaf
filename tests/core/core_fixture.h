#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/ini_document.h"
#include "core/app_service.h"
#include "port/routing_serial_line.h"
#include "sim/pty_simulator.h"
#include "support/fake_port_catalogue.h"
#include "support/fake_serial_line.h"
#include "support/pty_reply_wait.h"
#include "support/temp_folder.h"
#include "support/text_pair.h"

namespace kestrova::test {

struct DisplayCall {
    DisplayCall(std::string_view k, std::string_view v) : key(k), value(v) {}
    std::string key;
    std::string value;
    bool operator==(const DisplayCall&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const DisplayCall& call) {
    return out << "(" << call.key << ", " << call.value << ")";
}

// The window as the core sees it: records every display command and can run a hook on each,
// as the real window's handlers do when a command moves the focus or a track bar.
class RecordingDisplay final : public Display {
public:
    std::vector<DisplayCall> calls;
    std::function<void(std::string_view key, std::string_view value)> hook;
    bool recording = true;

    void DisplayUpdate(std::string_view key, std::string_view value) override {
        if (recording) calls.push_back({std::string(key), std::string(value)});
        if (hook) hook(key, value);
    }

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    std::size_t Find(std::string_view key, std::string_view value, std::size_t from = 0) const {
        for (std::size_t i = from; i < calls.size(); ++i) {
            if (calls[i].key == key && calls[i].value == value) return i;
        }
        return npos;
    }
    bool Has(std::string_view key, std::string_view value) const {
        return Find(key, value) != npos;
    }
    std::size_t Count(std::string_view key, std::string_view value) const {
        std::size_t n = 0;
        for (const DisplayCall& c : calls) n += (c.key == key && c.value == value) ? 1 : 0;
        return n;
    }
    // Values sent with key, in order.
    std::vector<std::string> Values(std::string_view key) const {
        std::vector<std::string> values;
        for (const DisplayCall& c : calls) {
            if (c.key == key) values.push_back(c.value);
        }
        return values;
    }
    std::vector<DisplayCall> Without(std::string_view key) const {
        std::vector<DisplayCall> rest;
        for (const DisplayCall& c : calls) {
            if (c.key != key) rest.push_back(c);
        }
        return rest;
    }
    void Clear() { calls.clear(); }
};

// A core started in a fresh temporary folder that holds the shipped configuration files, with
// the simulated controller on a pseudo-terminal behind "COM 1" when a test asks for it.
// Time is simulated: RunMs runs one comms tick per millisecond and a system tick every tenth,
// and serves the simulator's line between ticks.
class CoreFixture : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name :
             {"Kestrova_Interface.INI", "KESTROVA_001.CG0", "KESTROVA_001.TG1"}) {
            std::filesystem::copy_file(std::filesystem::path(KESTROVA_DATA_DIR) / name,
                                       folder_ / name);
        }
        // COM1 names a device of the folder (the simulator's, once started), never a real port.
        SetKey(SettingsPath(), "Ports", "COM1", "kestrova-sim.link");
    }

    void TearDown() override {
        core_.reset();
        if (sim_) sim_->Stop();
    }

    const std::filesystem::path& Folder() const { return folder_.Path(); }
    std::filesystem::path ExePath() const { return folder_ / "Kestrova_Interface"; }
    std::filesystem::path SettingsPath() const { return folder_ / "Kestrova_Interface.INI"; }
    std::filesystem::path ProjectPath() const { return folder_ / "KESTROVA_001.CG0"; }
    std::filesystem::path TagPath() const { return folder_ / "KESTROVA_001.TG1"; }

    static void SetKey(const std::filesystem::path& file, std::string_view section,
                       std::string_view key, std::string_view value) {
        IniDocument doc(file);
        doc.WriteString(section, key, value);
        doc.Save();
    }

    // The simulator on a pseudo-terminal, mapped as COM1 in the settings file (by its link
    // when the options name one).
    void StartSimulator(SimOptions options = {}) {
        ServeSimulator(std::move(options));
        SetKey(SettingsPath(), "Ports", "COM1",
               simOptions_.linkPath.empty() ? sim_->DevicePath() : simOptions_.linkPath);
    }
    // The simulator on a pseudo-terminal, with the settings file left as it is.
    void ServeSimulator(SimOptions options) {
        simOptions_ = std::move(options);
        ReplugSimulator();
    }
    // The simulator's line goes away: its terminal is closed and its link removed.
    void UnplugSimulator() { sim_->Stop(); }
    // A fresh simulator comes up under the same link.
    void ReplugSimulator() {
        sim_ = std::make_unique<PtySimulator>(simOptions_);
        std::string error;
        ASSERT_TRUE(sim_->Start(error)) << error;
    }

    // Start-up over the recording line, or over the given one.
    void StartCore() { StartCore(line_); }
    void StartCore(SerialLine& line) {
        core_ = std::make_unique<AppService>(display_, window_, line, Catalogue(), ExePath());
        // Reply limits and quiet times run on the simulated milliseconds, as the ticks do.
        core_->SetMonotonicClock([this] { return std::int64_t{clockMs_} * 1000; });
        core_->CoreStart();
    }

    // Start-up with the simulator behind a link in the folder as COM1, so that it can go away
    // and come back.
    void StartThroughLink() {
        SimOptions options;
        options.linkPath = (Folder() / "wheel").string();
        StartSimulator(options);
        StartCore();
    }

    // Start-up with the simulator, then "COM 1" picked from the port list.
    void StartConnected() {
        StartSimulator();
        StartCore();
        core_->ServiceEvent("CommsSelect", "0");
        ASSERT_EQ(core_->Port().LinkState(), PortLinkState::Open);
    }

    // One simulated millisecond: a comms tick, the simulator serving its line, and every tenth
    // millisecond a system tick. Simulated time runs far faster than the pseudo-terminal passes
    // bytes on, so the line is served with the real-time wait for an awaited reply.
    void RunMs(int ms) {
        for (int i = 0; i < ms; ++i) {
            core_->CommsTick();
            if (sim_) ServeLine();
            if (++clockMs_ % 10 == 0) core_->SystemTick();
        }
    }
    void ServeLine() {
        sim_->Poll(0);
        replyWait_.AfterTick(core_->Port().TransferState() == PortTransferState::Receiving, line_,
                             *sim_);
    }
    void RunSystemTicks(int ticks) { RunMs(ticks * 10); }

    // Runs until pred holds, at most limitMs; returns the milliseconds it took, or -1.
    int RunUntil(const std::function<bool()>& pred, int limitMs) {
        for (int ms = 0; ms < limitMs; ++ms) {
            if (pred()) return ms;
            RunMs(1);
        }
        return pred() ? limitMs : -1;
    }

    // The devices the core finds present: the fake catalogue, unless a fixture has a real one.
    virtual PortCatalogue& Catalogue() { return catalogue_; }

    AppService& Core() { return *core_; }
    PointDatabase& Points() { return core_->Points(); }
    double Scaled(int point) { return core_->Points().PointTable()[point].ScaledValue; }
    const CoreState& State() { return core_->State(); }
    PtySimulator& Sim() { return *sim_; }

    RecordingDisplay display_;
    PlainWindowPlacement window_;
    RoutingSerialLine device_;      // device files, and device servers for the network tests
    FakeSerialLine line_{device_};  // records the opens and closes of the real line
    FakePortCatalogue catalogue_;   // no adapters unless a test plugs some in

private:
    TempFolder folder_{"kestrova_core"};
    SimOptions simOptions_;
    std::unique_ptr<PtySimulator> sim_;
    std::unique_ptr<AppService> core_;
    long clockMs_ = 0;
    PtyReplyWait replyWait_;
};

}  // namespace kestrova::test
