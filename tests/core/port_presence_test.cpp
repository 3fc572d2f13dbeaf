// Serial devices as the operator meets them: COM numbers and tooltips for adapters, the reason
// of a failed open, a device that goes away and comes back.
#include <pty.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "core_fixture.h"
#include "port/open_failure_reason.h"

namespace kestrova::test {
namespace {

constexpr std::string_view Dash = " \u2014 ";

const PortInfo Ftdi{
    "/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
    "0403",         "6001",
    "FTDI",         "FT232R USB UART",
    "A50285BI",     "ftdi_sio"};
const PortInfo Acm{
    "/dev/ttyACM0", "/dev/serial/by-id/usb-Wheel_01-if00", "1d50", "6018", "", "", "", "cdc_acm"};

class PortPresence : public CoreFixture {
protected:
    std::size_t NumberLines() const {
        const std::vector<std::string> lines = display_.Values("DebugInfo");
        return static_cast<std::size_t>(std::ranges::count_if(
            lines, [](const std::string& l) { return l.find(" given to ") != std::string::npos; }));
    }

    // The simulator behind a link as COM1, picked, with comms good.
    void ConnectThroughLink() {
        StartThroughLink();
        Core().ServiceEvent("CommsSelect", "0");
        ASSERT_GE(RunUntil([&] { return State().Comms == CommsState::Good; }, 5000), 0);
    }
};

TEST_F(PortPresence, AdaptersGetNumbersAndEveryEntryATooltip) {
    const std::string gone = (Folder() / "gone").string();
    SetKey(SettingsPath(), "Ports", "COM3", gone);  // written by hand: kept
    SetKey(SettingsPath(), "Ports", "COM9", "rfc2217://serial-1.lab:2001");
    catalogue_.present = {Ftdi};
    StartCore();
    EXPECT_TRUE(display_.Has("DebugInfo", "COM4 given to " + Ftdi.stablePath));
    EXPECT_EQ(Core().Ini().Ports.DevicePath(3), gone);
    std::vector<std::string> hints = display_.Values("CommsSelectHint");
    ASSERT_EQ(hints.size(), 40u);
    EXPECT_EQ(hints[2], "3 " + gone + std::string(Dash) + "not present");
    EXPECT_EQ(hints[8], "9 rfc2217://serial-1.lab:2001" + std::string(Dash) + "network");
    EXPECT_EQ(hints[3],
              "4 " + Ftdi.stablePath + std::string(Dash) + "FT232R USB UART (FTDI), present");

    // Plugged in while the program runs: numbered at the next tick; only that tooltip goes out.
    display_.Clear();
    catalogue_.present.push_back(Acm);
    catalogue_.changed = true;
    RunSystemTicks(1);
    EXPECT_TRUE(display_.Has("DebugInfo", "COM5 given to " + Acm.stablePath));
    EXPECT_EQ(
        display_.Values("CommsSelectHint"),
        (std::vector<std::string>{"5 " + Acm.stablePath + std::string(Dash) + "cdc_acm, present"}));

    // Opening the list looks again; with nothing changed nothing is sent.
    display_.Clear();
    const int scans = catalogue_.scans;
    Core().ServiceEvent("CommsSelectOpened", OnEnter);
    EXPECT_EQ(catalogue_.scans, scans + 1);
    EXPECT_TRUE(display_.Values("CommsSelectHint").empty());

    // The numbers are kept: the next start finds them in the settings file.
    Core().CoreStop();
    display_.Clear();
    StartCore();
    EXPECT_EQ(NumberLines(), 0u);
    EXPECT_EQ(Core().Ini().Ports.DevicePath(5), Acm.stablePath);
}

TEST_F(PortPresence, AdapterWithoutAFreeNumberIsReported) {
    IniDocument settings(SettingsPath());
    for (int port = FirstAdapterComNumber; port <= LastComNumber; ++port) {
        settings.WriteString("Ports", "COM" + std::to_string(port), "/dev/ttyS9");
    }
    settings.Save();
    catalogue_.present = {Ftdi};
    StartCore();
    EXPECT_EQ(NumberLines(), 0u);
    EXPECT_TRUE(display_.Has("DebugInfo", "No COM number left for " + Ftdi.stablePath));
}

TEST_F(PortPresence, OpenFailureIsExplainedWithOneBoxPerSelection) {
    FakeSerialLine refusing;
    refusing.openResult = static_cast<OpenFailure>(EACCES);
    StartCore(refusing);
    std::vector<std::string> problems;
    Core().SetProblemSink([&](std::string_view problem) { problems.emplace_back(problem); });
    const OpenFailureReason reason =
        ExplainOpenFailure(refusing.openResult, Core().Ini().Ports.DevicePath(2));
    ASSERT_TRUE(reason.OperatorCanFix());
    display_.Clear();

    Core().ServiceEvent("CommsSelect", "1");
    Core().ServiceEvent("CommsSelect", "1");
    const std::vector<std::string> twice{reason.text, reason.text};
    EXPECT_EQ(display_.Count("CommsStatus", "COM2 Not Valid"), 2u);
    EXPECT_EQ(display_.Values("CommsStatusHint"), twice);
    EXPECT_EQ(display_.Count("DebugInfo", reason.text), 2u);
    EXPECT_EQ(display_.Values("MessageBox"), twice);
    EXPECT_EQ(problems, twice);

    // A good open clears the indicator's tooltip.
    refusing.openResult = OpenFailure::None;
    display_.Clear();
    Core().ServiceEvent("CommsSelect", "1");
    EXPECT_EQ(display_.Values("CommsStatusHint"), (std::vector<std::string>{""}));
    EXPECT_TRUE(display_.Values("MessageBox").empty());
}

// A busy device's holder is looked for once per selection: the return watch's tries, once a
// second, repeat the first answer; the operator's next pick looks again.
TEST_F(PortPresence, ABusyDevicesHolderIsLookedForOncePerSelection) {
    int master = -1;
    int slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    SetKey(SettingsPath(), "Ports", "COM1", name);
    FakeSerialLine line;
    StartCore(line);
    Core().ServiceEvent("CommsSelect", "0");
    ASSERT_EQ(Core().Port().LinkState(), PortLinkState::Open);
    line.pendingErrors = CE_DEVICE_GONE;
    ASSERT_GE(RunUntil([&] { return State().AwaitingReturn; }, 1000), 0);

    // Back, but held: by this very process, under its lock.
    line.openResult = OpenFailure::AlreadyOpen;
    ASSERT_EQ(::flock(slave, LOCK_EX | LOCK_NB), 0);
    const std::string self = std::string(name) + ": already open in this program";
    ASSERT_GE(RunUntil([&] { return display_.Has("DebugInfo", self); }, 1500), 0);

    // Let go: a new search would find nobody, the watch's next try repeats the answer.
    ::close(slave);
    display_.Clear();
    ASSERT_GE(RunUntil([&] { return display_.Has("DebugInfo", "COM:1"); }, 1500), 0);
    EXPECT_EQ(display_.Values("CommsStatusHint"), (std::vector<std::string>{self}));

    display_.Clear();
    Core().ServiceEvent("CommsSelect", "0");
    EXPECT_EQ(display_.Values("CommsStatusHint"),
              (std::vector<std::string>{std::string(name) + ": in use by another program"}));
    ::close(master);
}

TEST_F(PortPresence, DeviceGoneAndBackSelectsThePortAgain) {
    ConnectThroughLink();
    EXPECT_TRUE(Core().CommsTickWanted());
    display_.Clear();

    UnplugSimulator();
    ASSERT_GE(RunUntil([&] { return display_.Has("CommsStatus", PortLost); }, 1000), 0);
    EXPECT_EQ(Core().Port().LinkState(), PortLinkState::Closed);
    EXPECT_FALSE(Core().CommsTickWanted());
    RunSystemTicks(250);  // while it stays away nothing is selected
    EXPECT_FALSE(display_.Has("DebugInfo", "COM:1"));

    ReplugSimulator();
    const std::size_t back = display_.calls.size();
    EXPECT_GE(RunUntil([&] { return State().Comms == CommsState::Good; }, 3500), 0);
    const std::size_t connect = display_.Find("CommsStatus", "COM:1 Connect", back);
    ASSERT_NE(connect, RecordingDisplay::npos);
    EXPECT_NE(display_.Find("CommsStatus", CommsGood, connect), RecordingDisplay::npos);
    EXPECT_FALSE(display_.Has("DebugInfo", "App Msg >CommsSelect<>0<"));  // no pick
    EXPECT_TRUE(Core().CommsTickWanted());
}

TEST_F(PortPresence, TheSystemsRemovalOfTheOpenDeviceClosesTheLink) {
    ConnectThroughLink();
    std::filesystem::remove(Folder() / "wheel");  // the line itself still answers
    catalogue_.changed = true;
    ASSERT_GE(RunUntil([&] { return display_.Has("CommsStatus", PortLost); }, 1000), 0);
    EXPECT_TRUE(Core().Port().DeviceGone());
}

TEST_F(PortPresence, RestoreCutByTheUnplugIsReportedAndNotResumed) {
    ConnectThroughLink();
    const std::filesystem::path file = Folder() / "cal.PRM";
    Core().SaveParameterFile(file);
    Core().ServiceEvent("FileOpen_Selected", file.string());
    Core().ServiceEvent("RestorePreview_Selected", Restore);
    ASSERT_GE(RunUntil([&] { return State().RestoreStepNumber >= 4; }, 3000), 0);
    std::uint32_t stepAtLoss = 0;
    display_.hook = [&](std::string_view key, std::string_view value) {
        if (key == "CommsStatus" && value == PortLost) stepAtLoss = State().RestoreStepNumber;
    };
    display_.Clear();

    UnplugSimulator();
    ASSERT_GE(RunUntil([&] { return display_.Has("CommsStatus", PortLost); }, 1000), 0);
    const std::string text = "Restore interrupted at step " + std::to_string(stepAtLoss) + " of 17";
    EXPECT_GE(stepAtLoss, 4u);
    EXPECT_TRUE(display_.Has("DebugInfo", text));
    EXPECT_EQ(display_.Values("MessageBox"), (std::vector<std::string>{text}));
    EXPECT_TRUE(display_.Has("HideNotification", Unused));
    EXPECT_EQ(display_.Values("RestoreState"), (Texts({RestoreIdle})));
    EXPECT_FALSE(Core().RestoreUnderWay());

    ReplugSimulator();
    EXPECT_GE(RunUntil([&] { return State().Comms == CommsState::Good; }, 3500), 0);
    EXPECT_EQ(State().RestoreStepNumber, 0u);
    const auto lost = static_cast<std::ptrdiff_t>(display_.Find("CommsStatus", PortLost));
    EXPECT_TRUE(
        std::none_of(display_.calls.begin() + lost, display_.calls.end(),
                     [](const DisplayCall& c) { return c.value.starts_with("Rest Seq:"); }));
}

}  // namespace
}  // namespace kestrova::test
