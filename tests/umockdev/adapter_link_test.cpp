// The core over emulated USB adapters, as a technician meets them: numbered when plugged in and
// kept across restarts, shown in the port list's tooltips at once, talked to through the emulated
// node, lost when pulled out and taken up again when plugged back.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>

#include "adapter_fixture.h"
#include "port/open_failure_reason.h"
#include "port/posix_serial_line.h"

namespace kestrova::test {
namespace {

constexpr std::string_view Dash = " \u2014 ";
const std::string Ft232rById = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KZP2Q-if00-port0";

using EmulatedAdapter = EmulatedAdapterFixture;

TEST_F(EmulatedAdapter, TwinsGetNumbersOfTheirOwnAndKeepThemAcrossRestartsAndNodes) {
    const std::string twins = Description("ft232r_twins");
    const std::string one = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_AB0LPXQ1-if00-port0";
    const std::string two = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_AB0LPXQ2-if00-port0";
    testbed_.Plug(twins);
    testbed_.Plug(Description("builtin_16550"));
    StartCore();
    EXPECT_TRUE(display_.Has("DebugInfo", "COM3 given to " + one));
    EXPECT_TRUE(display_.Has("DebugInfo", "COM4 given to " + two));
    for (const std::string& line : display_.Values("DebugInfo")) {  // the machine's own port
        EXPECT_EQ(line.find("given to /dev/ttyS0"), std::string::npos) << line;
    }
    Core().CoreStop();

    // The next start sees only the second adapter, which the kernel now names ttyUSB2.
    testbed_.Pull(twins);
    testbed_.Plug(OnNode(twins.substr(twins.rfind("P: ", twins.find("usb1/1-6"))), 1, 2));
    display_.Clear();
    StartCore();
    for (const std::string& line : display_.Values("DebugInfo")) {
        EXPECT_EQ(line.find(" given to "), std::string::npos) << line;
    }
    EXPECT_EQ(Core().Ini().Ports.DevicePath(3), one);
    EXPECT_EQ(Core().Ini().Ports.DevicePath(4), two);
    EXPECT_TRUE(display_.Has("CommsSelectHint",
                             "4 " + two + std::string(Dash) + "FT232R USB UART (FTDI), present"));
    EXPECT_TRUE(display_.Has("CommsSelectHint", "3 " + one + std::string(Dash) + "not present"));
}

TEST_F(EmulatedAdapter, PluggedInWhileRunningItsTooltipShowsAtOnce) {
    StartCore();
    EXPECT_TRUE(
        display_.Has("CommsSelectHint", "3 /dev/ttyS2" + std::string(Dash) + "not present"));
    display_.Clear();
    testbed_.Plug(Description("ft232r"));
    RunSystemTicks(2);
    EXPECT_TRUE(display_.Has("DebugInfo", "COM3 given to " + Ft232rById));
    EXPECT_EQ(display_.Values("CommsSelectHint"),
              (std::vector<std::string>{"3 " + Ft232rById + std::string(Dash) +
                                        "FT232R USB UART (FTDI), present"}));
}

TEST_F(EmulatedAdapter, PulledDuringARestoreIsLostAndPluggedBackComesBackByItself) {
    const std::string ft232r = Description("ft232r");
    const std::string usbSerial = Syspaths(ft232r)[2];
    PlugServed(ft232r, "/dev/ttyUSB0");
    testbed_.SetAttribute(usbSerial, "latency_timer", "2");
    StartCore();
    Core().ServiceEvent("CommsSelect", "2");
    ASSERT_GE(RunUntil([&] { return State().Comms == CommsState::Good; }, 5000), 0)
        << ::testing::PrintToString(display_.Values("DebugInfo"));
    EXPECT_TRUE(display_.Has("DebugInfo", "COM:3 Success"));
    EXPECT_EQ(Core().AdapterLatencyMs(), 2);  // what Link Statistics shows, from sysfs

    const std::filesystem::path file = Folder() / "cal.PRM";
    Core().SaveParameterFile(file);
    Core().ServiceEvent("FileOpen_Selected", file.string());
    Core().ServiceEvent("RestorePreview_Selected", "Restore");
    ASSERT_GE(RunUntil([&] { return State().RestoreStepNumber >= 3; }, 3000), 0);
    display_.Clear();

    PullServed(ft232r);
    const int lostMs = RunUntil([&] { return display_.Has("CommsStatus", PortLost); }, 1000);
    ASSERT_GE(lostMs, 0);
    EXPECT_LE(lostMs, 100);  // the supervisor runs every 50 ms
    EXPECT_EQ(Core().Port().LinkState(), PortLinkState::Closed);
    EXPECT_FALSE(Core().RestoreUnderWay());
    EXPECT_EQ(display_.Values("RestoreState"), (Texts({RestoreIdle})));
    EXPECT_TRUE(
        display_.Has("CommsSelectHint", "3 " + Ft232rById + std::string(Dash) + "not present"));
    RunSystemTicks(150);  // away: nothing is opened
    EXPECT_EQ(Core().Port().LinkState(), PortLinkState::Closed);

    // Back under another node, as the kernel may name it; its by-id link is the same.
    display_.Clear();
    PlugServed(OnNode(ft232r, 0, 1), "/dev/ttyUSB1");
    ASSERT_GE(RunUntil([&] { return State().Comms == CommsState::Good; }, 5000), 0);
    EXPECT_TRUE(display_.Has("DebugInfo", "COM3 back"));
    EXPECT_EQ(Core().Port().CurrentPort(), 3);
    EXPECT_EQ(State().RestoreStepNumber, 0u);  // the interrupted restore is not resumed
}

// The reason a user who is not root gets for the emulated node, opened in a child process that
// runs as nobody (not in group dialout).
std::string ReasonForNobody(const std::string& path) {
    std::array<int, 2> pipe{};
    if (::pipe(pipe.data()) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        if (nobody == nullptr || ::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 ||
            ::setuid(nobody->pw_uid) != 0) {
            _exit(2);
        }
        PosixSerialLine line;
        const OpenFailure failure = line.Open(path);
        const std::string text =
            failure == OpenFailure::None ? "opened" : ExplainOpenFailure(failure, path).text;
        const ssize_t written = ::write(pipe[1], text.data(), text.size());
        _exit(written == static_cast<ssize_t>(text.size()) ? 0 : 3);
    }
    ::close(pipe[1]);
    std::string text;
    std::array<char, 512> buffer{};
    for (ssize_t n; (n = ::read(pipe[0], buffer.data(), buffer.size())) > 0;)
        text.append(buffer.data(), n);
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return text;
}

TEST_F(EmulatedAdapter, APermissionRefusalNamesTheGroupToJoinOrTheOwner) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the node an owner and a group";
    const group* dialout = ::getgrnam("dialout");
    ASSERT_NE(dialout, nullptr);
    testbed_.Plug(Description("ft232r"));
    testbed_.PassIoctlsThrough(Description("ft232r"));
    // The testbed is root's; the user may look into it and reach its ioctl sockets.
    using std::filesystem::perms;
    std::filesystem::permissions(testbed_.Emulated("/"),
                                 perms::owner_all | perms::group_exec | perms::others_exec);
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(testbed_.Emulated("/ioctl"))) {
        std::filesystem::permissions(entry.path(), perms::all);
    }
    // The emulated node leads to a terminal; its owner and mode are what an open meets.
    const std::filesystem::path terminal =
        std::filesystem::read_symlink(testbed_.Emulated("/dev/ttyUSB0"));
    ASSERT_EQ(::chown(terminal.c_str(), 0, dialout->gr_gid), 0);

    ASSERT_EQ(::chmod(terminal.c_str(), 0660), 0);
    EXPECT_EQ(ReasonForNobody(Ft232rById),
              Ft232rById +
                  ": permission denied; the device belongs to group dialout - add your "
                  "user to group dialout: sudo usermod -aG dialout $USER, then log in again");
    ASSERT_EQ(::chown(terminal.c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod(terminal.c_str(), 0600), 0);
    EXPECT_EQ(ReasonForNobody("/dev/ttyUSB0"),
              "/dev/ttyUSB0: permission denied; only its owner (root) may open it");
}

}  // namespace
}  // namespace kestrova::test
