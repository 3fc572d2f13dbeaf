// What the link views read of the core: the counters and their reset, the operator's
// adjustments, and the protocol trace saved to a file.
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "core_fixture.h"

namespace kestrova::test {
namespace {

using LinkMonitor = CoreFixture;

TEST_F(LinkMonitor, CountersTraceAndResetOverTheSimulator) {
    StartConnected();
    const CoreMonitor& monitor = Core();
    ASSERT_GE(RunUntil([&] { return monitor.LinkStatistics().goodReplies >= 20; }, 3000), 0);
    EXPECT_TRUE(monitor.LinkOpen());
    EXPECT_EQ(monitor.LinkComNumber(), 1);
    EXPECT_FALSE(monitor.LinkDevice().empty());
    EXPECT_EQ(monitor.PointValue(16), Scaled(16));
    EXPECT_EQ(monitor.PointValue(40), 0.0);

    Core().ServiceEvent("SaveProtocolTrace_Selected", (Folder() / "trace.txt").string());
    std::ifstream trace(Folder() / "trace.txt");
    std::string line;
    int lines = 0;
    int good = 0;
    while (std::getline(trace, line)) {
        ++lines;
        if (line.find(" : good") != std::string::npos) ++good;
    }
    EXPECT_EQ(static_cast<std::size_t>(lines), Core().ProtocolEngine().Trace().Size());
    EXPECT_GE(good, 20);

    Core().ServiceEvent("SaveProtocolTrace_Selected", (Folder() / "no" / "trace.txt").string());
    EXPECT_EQ(display_.Values("MessageBox").back(), "The protocol trace could not be written to " +
                                                        (Folder() / "no" / "trace.txt").string() +
                                                        ".");

    // A link at the name (another user's, in a shared folder) is refused, not written through.
    WriteText(Folder() / "private", "private");
    std::filesystem::create_symlink(Folder() / "private", Folder() / "linked.txt");
    Core().ServiceEvent("SaveProtocolTrace_Selected", (Folder() / "linked.txt").string());
    EXPECT_EQ(display_.Values("MessageBox").back(), "The protocol trace could not be written to " +
                                                        (Folder() / "linked.txt").string() + ".");
    EXPECT_EQ(ReadText(Folder() / "private"), "private");

    Core().ServiceEvent("LinkStatisticsReset", OnClick);
    EXPECT_EQ(monitor.LinkStatistics().exchanges, 0u);
}

TEST_F(LinkMonitor, TheMemoNamesTheLinksTimingAndALowLatencyRefusalOncePerDevice) {
    FakeSerialLine usb;
    usb.kind = LineKind::UsbAdapter;
    usb.lowLatencyResult = false;
    StartCore(usb);
    for (const char* port : {"0", "1", "0"}) Core().ServiceEvent("CommsSelect", port);
    const std::vector<std::string> memo = display_.Values("DebugInfo");
    const auto count = [&](const std::string& text) {
        return std::count_if(memo.begin(), memo.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
    };
    EXPECT_EQ(count("COM1: USB adapter, replies allowed 20 ms more, late replies waited out for "
                    "250 ms"),
              2);
    EXPECT_EQ(count("refused low latency"), 2);  // /dev/ttyS0 and /dev/ttyS1, each once
    EXPECT_EQ(usb.lowLatencyRequests, 3);
    EXPECT_EQ(Core().LinkTimingInUse().replyAllowanceMs, 20);
}

TEST_F(LinkMonitor, AValueCountsFromTheUnitOnceItsGoodReplySinceTheOpenIsTakenIn) {
    constexpr double TagValue = -999.0;  // nothing the simulator answers
    SetKey(TagPath(), "POINT00016", "RawValue", "-999");
    SetKey(TagPath(), "POINT00016", "ScaledValue", "-999");
    StartThroughLink();
    const CoreMonitor& monitor = Core();
    ASSERT_EQ(monitor.PointValue(16), TagValue);
    EXPECT_FALSE(monitor.PointFromUnit(40));
    RunSystemTicks(10);
    EXPECT_FALSE(monitor.PointFromUnit(16));  // no link
    Core().ServiceEvent("CommsSelect", "0");
    EXPECT_FALSE(monitor.PointFromUnit(16));  // open, nothing answered yet
    // Checked every millisecond: never the tag file's value while it counts as the unit's.
    ASSERT_GE(RunUntil(
                  [&] {
                      EXPECT_FALSE(monitor.PointFromUnit(16) && monitor.PointValue(16) == TagValue);
                      return monitor.PointFromUnit(16);
                  },
                  2000),
              0);
    Core().ServiceEvent("CommsSelect", "0");  // picked again: a new link
    EXPECT_FALSE(monitor.PointFromUnit(16));
    ASSERT_GE(RunUntil([&] { return monitor.PointFromUnit(16); }, 2000), 0);

    UnplugSimulator();
    ASSERT_GE(RunUntil([&] { return display_.Has("CommsStatus", PortLost); }, 1000), 0);
    EXPECT_FALSE(monitor.PointFromUnit(16));
    ReplugSimulator();
    EXPECT_GE(RunUntil([&] { return monitor.PointFromUnit(16); }, 3000), 0);
}

TEST_F(LinkMonitor, OnlyEventsThatWriteAValueCountAsAdjustments) {
    StartCore();
    Core().ServiceEvent("DebugPoint", "3");
    EXPECT_EQ(Core().OperatorAdjustments(), 0u);
    Core().ServiceEvent("TrackBarTiltPosAdjustValue", "12");
    EXPECT_EQ(Core().OperatorAdjustments(), 1u);
    EXPECT_EQ(Core().RestoresStarted(), 0u);
}

}  // namespace
}  // namespace kestrova::test
