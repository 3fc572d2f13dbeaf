// End to end over a real pseudo-terminal: the start-up tag file, the port driver and the protocol
// against the simulated controller.
#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "sim_link.h"

namespace kestrova::test {
namespace {

constexpr std::uint32_t ErrorBits = MsgReadError | MsgWriteError;

bool NoWritesLeft(SimLink& link) {
    for (int p = 0; p < MaxPoints; ++p) {
        if ((link.Pt(p).Msg_Flags & MsgWriteRequest) != 0 || link.Pt(p).Write_Idx != -1)
            return false;
    }
    return true;
}

TEST(EndToEnd, ValuesFlowBothWays) {
    SimLink link;
    ASSERT_TRUE(link.Start());

    // Every scan class falls due on the first system tick, so all readable points arrive soon.
    ASSERT_TRUE(link.RunUntil([&] { return link.Pt(9).ScaledValue == 1305.0; }, 1000));
    ASSERT_TRUE(link.RunUntil([&] { return link.Pt(32).Msg_Count > 0; }, 1000));
    EXPECT_EQ(link.Pt(6).RawValue, 1);
    for (int axis = 0; axis < 3; ++axis) {
        const int first = 10 + 10 * axis;
        EXPECT_EQ(link.Pt(first + 1).RawValue, link.sim.Model().AxisAt(Axes[axis]).neutral) << axis;
        EXPECT_EQ(link.Pt(first + 2).RawValue, 200) << axis;  // adjust maximum
    }
    EXPECT_EQ(link.Pt(2).RawValue, 1201);  // read for the link test, never overwritten

    // The reply counter of point 6 climbs steadily (class 0, every 50 ms).
    const int before = link.Pt(6).Msg_Count;
    link.Run(1000);
    const int climbed = link.Pt(6).Msg_Count - before;
    EXPECT_GE(climbed, 10);
    EXPECT_LE(climbed, 25);

    // Operator values reach the controller's memory.
    link.db.WritePoint(10, 100.0);
    link.db.WritePoint(13, 80.0);
    ASSERT_TRUE(link.RunUntil([&] { return NoWritesLeft(link); }, 500));
    EXPECT_EQ(link.Memory16(0x0A52), 100);
    EXPECT_EQ(link.Memory16(0x0A54), 80);
    EXPECT_EQ(link.sim.Model().AxisAt(Axis::Pan).posAdjust, 100);

    // With a trim the Pan output follows its hand wheel, and its reads follow the output.
    std::set<std::int32_t> outputs;
    for (int i = 0; i < 15; ++i) {
        link.Run(100);
        outputs.insert(link.Pt(16).RawValue);
    }
    EXPECT_GE(outputs.size(), 3u);
    const int neutral = link.sim.Model().AxisAt(Axis::Pan).neutral;
    for (std::int32_t v : outputs) {
        EXPECT_GE(v, neutral - 80);
        EXPECT_LE(v, neutral + 100);
    }

    // A restore target in Increment mode sets the adjust value, which is then read back.
    link.db.WritePoint(27, 1.0);
    ASSERT_TRUE(link.RunUntil([&] { return NoWritesLeft(link); }, 500));
    link.db.WritePoint(28, 150.0);
    ASSERT_TRUE(link.RunUntil([&] { return link.Pt(20).RawValue == 150; }, 1000));
    EXPECT_EQ(link.Pt(27).RawValue, 1);

    // Legacy mode: the controller converts its adjust values, and the points follow.
    link.db.WritePoint(6, 0.0);
    ASSERT_TRUE(link.RunUntil([&] { return link.Pt(10).RawValue > 13304; }, 1000));
    EXPECT_EQ(link.sim.Model().ControllerMode(), 0);
    EXPECT_EQ(link.Pt(6).RawValue, 0);
    EXPECT_EQ(link.Pt(10).RawValue, 13304 + 100 * 2048 / 200);

    for (int p = 0; p < MaxPoints; ++p) EXPECT_EQ(link.Pt(p).Msg_Flags & ErrorBits, 0u) << p;
}

TEST(EndToEnd, EveryWriteArrivesOverAFaultyLine) {
    SimOptions options;
    options.faults.drop = 0.3;
    options.faults.corrupt = 0.1;
    options.faults.seed = 7;
    SimLink link(options);
    ASSERT_TRUE(link.Start());
    link.Run(300);

    const std::vector<std::pair<int, int>> writes = {{10, 11},   {13, 22},   {20, 33},
                                                     {23, 44},   {30, 55},   {33, 66},
                                                     {11, 1000}, {21, 2000}, {31, 3000}};
    for (auto [point, value] : writes) link.db.WritePoint(point, value);
    ASSERT_TRUE(link.RunUntil([&] { return NoWritesLeft(link); }, 4000));

    const std::uint32_t addresses[] = {0x0A52, 0x0A54, 0x0A72, 0x0A74, 0x0A92,
                                       0x0A94, 0x0A50, 0x0A70, 0x0A90};
    for (std::size_t i = 0; i < writes.size(); ++i) {
        EXPECT_EQ(link.Memory16(addresses[i]), writes[i].second) << writes[i].first;
    }

    // Lost and damaged replies left their marks; a mark stays after the retry succeeded.
    int marked = 0;
    for (int p = 0; p < MaxPoints; ++p) {
        if ((link.Pt(p).Msg_Flags & ErrorBits) != 0) ++marked;
    }
    EXPECT_GT(marked, 0);
    EXPECT_GT(link.sim.Model().Stats().requests, link.sim.RepliesSent());

    // Replies still flow, and the values read are the controller's.
    const int count = link.Pt(6).Msg_Count;
    ASSERT_TRUE(link.RunUntil(
        [&] {
            return link.Pt(10).RawValue == 11 && link.Pt(31).RawValue == 3000 &&
                   link.Pt(6).Msg_Count > count + 3;
        },
        4000));

    link.db.ClearAllTransferErrors();
    for (int p = 0; p < MaxPoints; ++p) EXPECT_EQ(link.Pt(p).Msg_Flags & ErrorBits, 0u) << p;
}

TEST(EndToEnd, SilenceSetsErrorBitsAndTheRetryClearsTheRequests) {
    SimLink link;
    ASSERT_TRUE(link.Start());
    ASSERT_TRUE(link.RunUntil([&] { return link.Pt(9).ScaledValue == 1305.0; }, 1000));

    link.sim.SetSilent(true);
    link.Run(50);  // any reply already under way is done
    const int count = link.Pt(6).Msg_Count;
    link.db.WritePoint(10, 42.0);
    // Every exchange now waits out its reply limit and then the quiet time after it.
    ASSERT_TRUE(link.RunUntil(
        [&] {
            return (link.Pt(6).Msg_Flags & MsgReadError) && (link.Pt(10).Msg_Flags & MsgWriteError);
        },
        2000));
    EXPECT_EQ(link.Pt(6).Msg_Count, count);
    EXPECT_EQ(link.Pt(6).Msg_Flags & (MsgReadError | MsgReadRequest),
              MsgReadError | MsgReadRequest);
    EXPECT_EQ(link.Pt(10).Msg_Flags & (MsgWriteError | MsgWriteRequest),
              MsgWriteError | MsgWriteRequest);
    EXPECT_NE(link.Memory16(0x0A52), 42);

    link.sim.SetSilent(false);
    ASSERT_TRUE(link.RunUntil([&] { return NoWritesLeft(link); }, 1000));
    EXPECT_EQ(link.Memory16(0x0A52), 42);
    ASSERT_TRUE(link.RunUntil([&] { return link.Pt(6).Msg_Count > count + 2; }, 1000));
    // The requests went with the good exchanges; the error bits stay until cleared.
    EXPECT_EQ(link.Pt(10).Msg_Flags & (MsgWriteError | MsgWriteRequest), MsgWriteError);
    EXPECT_EQ(link.Pt(6).Msg_Flags & MsgReadError, MsgReadError);

    link.db.ClearAllTransferErrors();
    link.Run(300);
    for (int p = 0; p < MaxPoints; ++p) EXPECT_EQ(link.Pt(p).Msg_Flags & ErrorBits, 0u) << p;
}

}  // namespace
}  // namespace kestrova::test
