// Link counters over a real pseudo-terminal: what the receiver counted agrees with the faults
// the simulated controller put on its replies.
#include <gtest/gtest.h>

#include "sim_link.h"

namespace kestrova::test {
namespace {

TEST(LinkCountersOverSimulator, AgreeWithTheSimulatorsOwnCounts) {
    SimOptions options;
    options.faults = {.drop = 0.04, .corrupt = 0.04, .error = 0.04, .seed = 13};
    SimLink link(options);
    ASSERT_TRUE(link.Start());
    link.Run(1500);
    // Counted at a moment with no request on the wire, so every reply the simulator decided on
    // has been judged by the receiver.
    ASSERT_TRUE(link.RunUntil(
        [&] {
            const PortTransferState s = link.port.TransferState();
            return s == PortTransferState::Idle || s == PortTransferState::Sending;
        },
        200));

    const LinkCounters c = link.proto.LinkStatistics();
    const FaultCounts& faults = link.sim.Faults();
    const SimStats& stats = link.sim.Model().Stats();
    EXPECT_GT(c.exchanges, 150u);
    EXPECT_GT(faults.dropped, 0u);
    EXPECT_GT(faults.corrupted, 0u);
    EXPECT_GT(faults.errorReplies, 0u);
    EXPECT_EQ(c.exchanges, stats.requests);
    EXPECT_EQ(c.timeouts, faults.dropped);
    EXPECT_EQ(c.checksumErrors, faults.corrupted);
    EXPECT_EQ(c.errorReplies, faults.errorReplies + stats.errorReplies);
    EXPECT_EQ(c.goodReplies, c.exchanges - c.timeouts - c.checksumErrors - c.errorReplies);
    EXPECT_EQ(c.malformedReplies + c.LineErrors(), 0u);
    EXPECT_GT(c.replyMicrosMin, 0);
    // Within the reply limit on a pseudo-terminal: 34 polls of half a millisecond and 20 ms.
    EXPECT_LE(c.replyMicrosMax, 37'000);
}

}  // namespace
}  // namespace kestrova::test
