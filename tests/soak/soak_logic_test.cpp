// The soak's own logic: command line, memory figure, reply counting, comms captions, the ledger
// of written values and the operator's gestures.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/number_text.h"
#include "core/ui_names.h"
#include "soak/soak_logic.h"
#include "support/internals_probe.h"

namespace kestrova::soak {
namespace {

using namespace display_values;
std::optional<SoakOptions> Parse(std::vector<const char*> args, std::string& error) {
    args.insert(args.begin(), "soak");
    return ParseOptions(static_cast<int>(args.size()), args.data(), error);
}

TEST(SoakOptionsTest, MinutesSeedAndKeep) {
    std::string error;
    auto o = Parse({}, error);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->minutes, 1.0);
    EXPECT_EQ(o->seed, 1u);
    EXPECT_FALSE(o->keepFolder);

    o = Parse(
        {"--minutes", "0.2", "--seed", "42", "--keep", "--late-ms", "200", "--latency-ms", "16"},
        error);
    ASSERT_TRUE(o);
    EXPECT_DOUBLE_EQ(o->minutes, 0.2);
    EXPECT_EQ(o->seed, 42u);
    EXPECT_TRUE(o->keepFolder);
    EXPECT_EQ(o->lateMs, 200);
    EXPECT_EQ(o->latencyMs, 16);

    for (auto bad : std::vector<std::vector<const char*>>{{"--minutes"},
                                                          {"--minutes", "0"},
                                                          {"--minutes", "-1"},
                                                          {"--minutes", "x"},
                                                          {"--minutes", "nan"},
                                                          {"--seed", "-3"},
                                                          {"--seed", "1.5"},
                                                          {"--late-ms", "-1"},
                                                          {"--latency-ms"},
                                                          {"--hours", "1"}}) {
        error.clear();
        EXPECT_FALSE(Parse(bad, error)) << bad[0];
        EXPECT_FALSE(error.empty()) << bad[0];
    }
}

TEST(SoakMemoryTest, VmRssParsedFromStatusAndFollowsTouchedMemory) {
    const std::string status =
        "Name:\tsoak\nVmPeak:\t  20000 kB\nVmHWM:\t   9000 kB\nVmRSS:\t    8123 kB\nVmData:\t 1 "
        "kB\n";
    EXPECT_EQ(ParseVmRssKiB(status), 8123);
    EXPECT_EQ(ParseVmRssKiB("VmRSS: 17 kB"), 17);
    EXPECT_EQ(ParseVmRssKiB("Name:\tx\nVmHWM:\t 5 kB\n"), -1);       // no such line
    EXPECT_EQ(ParseVmRssKiB("XVmRSS:\t 5 kB\n"), -1);                // not at a line start
    EXPECT_EQ(ParseVmRssKiB("VmRSS:\t kB\n"), -1);                   // no number
    EXPECT_EQ(ParseVmRssKiB("VmRSS:\t 12 MB\n"), -1);                // unexpected unit
    EXPECT_EQ(ParseVmRssKiB("XVmRSS: 1 kB\nVmRSS:\t 33 kB\n"), 33);  // the real line further on

    // The reading of this process moves when memory is touched.
    const long before = ReadOwnVmRssKiB();
    ASSERT_GT(before, 0);
    constexpr std::size_t size = 32u << 20;
    auto block = std::make_unique<char[]>(size);
    std::memset(block.get(), 1, size);
    const long after = ReadOwnVmRssKiB();
    EXPECT_GE(after - before, 16 * 1024) << before << " -> " << after;
    EXPECT_EQ(block[size - 1], 1);

    // Baseline: the first minute, or 20 % of a run shorter than two minutes.
    EXPECT_EQ(RssBaselineMs(30 * 60'000), 60'000);
    EXPECT_EQ(RssBaselineMs(120'000), 60'000);
    EXPECT_EQ(RssBaselineMs(60'000), 12'000);
    EXPECT_EQ(RssBaselineMs(12'000), 2'400);
}

TEST(SoakCountTest, ReplyCounterDeltaAcrossItsWrap) {
    EXPECT_EQ(ReplyCountDelta(5, 9), 4);
    EXPECT_EQ(ReplyCountDelta(7, 7), 0);
    EXPECT_EQ(ReplyCountDelta(1001, 0), 1);
    EXPECT_EQ(ReplyCountDelta(999, 2), 5);  // 1000, 1001, 0, 1, 2
}

TEST(SoakCaptionsTest, EveryLossNeedsALaterGood) {
    CommsCaptionTracker t;
    // A connection as the core announces it: colours and captions on the same key.
    for (std::string_view c : std::initializer_list<std::string_view>{
             CommsNone, NoCommsCaption, PortConnected, "COM:1 Connect", ConnectingLeft,
             ConnectingRight, CommsGood, GoodFlashOn, CommsGood, GoodFlashOff}) {
        t.Caption(c, 100);
    }
    EXPECT_EQ(t.Losses(), 0);
    EXPECT_EQ(t.Recoveries(), 0);
    EXPECT_FALSE(t.LossOpen());
    EXPECT_EQ(t.GoodAnnouncements(), 2);

    t.Caption(PortConnected, 1000);
    t.Caption(CommsLost, 1000);
    EXPECT_TRUE(t.LossOpen());
    EXPECT_EQ(t.LossSinceMs(), 1000);
    t.Caption(CommsLost, 1500);  // still the same outage
    EXPECT_EQ(t.LossSinceMs(), 1000);
    EXPECT_EQ(t.LastLossMs(), 1500);
    t.Caption(ConnectingLeft, 2000);  // connecting is not good yet
    EXPECT_TRUE(t.LossOpen());
    t.Caption(CommsGood, 4500);
    EXPECT_FALSE(t.LossOpen());
    EXPECT_EQ(t.Recoveries(), 1);
    EXPECT_EQ(t.LongestOutageMs(), 3500);
    EXPECT_EQ(t.LastGoodMs(), 4500);

    // A lost port counts as a loss too, and a failed selection is noted.
    t.Caption(PortLost, 6000);
    t.Caption("COM1 Not Valid", 6100);
    t.Caption("COM:1 Connect", 6200);
    EXPECT_TRUE(t.LossOpen());
    EXPECT_EQ(t.Losses(), 3);
    EXPECT_EQ(t.FailedSelections(), 1);
    t.Caption(CommsGood, 7000);
    EXPECT_EQ(t.Recoveries(), 2);
    EXPECT_EQ(t.LongestOutageMs(), 3500);
}

TEST(SoakLedgerTest, OnlyValuesWrittenWithGoodCommsAreExpected) {
    WriteLedger ledger;
    EXPECT_FALSE(ledger.Known(10));
    ledger.Written(10, 120.0, true);
    ledger.Written(13, 40.0, false);
    ledger.Written(5, 1.0, true);  // not an adjust point: ignored
    EXPECT_TRUE(ledger.Known(10));
    EXPECT_EQ(ledger.Expected(10), 120.0);
    EXPECT_FALSE(ledger.Known(13));
    EXPECT_FALSE(ledger.Known(5));
    EXPECT_EQ(ledger.WritesTotal(), 2);
    EXPECT_EQ(ledger.WritesWhileGood(), 1);

    // A later write with good comms makes a point known; one without makes it unknown again.
    ledger.Written(13, 41.0, true);
    ledger.Written(10, 121.0, false);
    EXPECT_TRUE(ledger.Known(13));
    EXPECT_FALSE(ledger.Known(10));

    PointDatabase points;
    InternalsProbe::PointTable(points)[13].ScaledValue = 41.0;
    InternalsProbe::PointTable(points)[10].ScaledValue = 7.0;  // unknown: not compared
    std::array<Mismatch, AdjustPoints.size()> found{};
    int mismatches = -1;
    EXPECT_EQ(CompareWithLedger(ledger, points, found, mismatches), 1);
    EXPECT_EQ(mismatches, 0);

    ledger.Written(30, 200.0, true);
    InternalsProbe::PointTable(points)[30].ScaledValue = 199.0;
    EXPECT_EQ(CompareWithLedger(ledger, points, found, mismatches), 2);
    ASSERT_EQ(mismatches, 1);
    EXPECT_EQ(found[0].point, 30);
    EXPECT_EQ(found[0].expected, 200.0);
    EXPECT_EQ(found[0].readBack, 199.0);

    ledger.ForgetAll();
    for (int p : AdjustPoints) EXPECT_FALSE(ledger.Known(p)) << p;
    EXPECT_EQ(CompareWithLedger(ledger, points, found, mismatches), 0);
}

TEST(SoakOperatorTest, GesturesUseTheDashboardVocabularyWithinRange) {
    // Object name -> point it adjusts, and whether it carries a track bar position.
    const std::map<std::string, std::pair<int, bool>> vocabulary{
        {"ButtonPan_PosValueInc", {10, false}},     {"ButtonPan_PosValueDec", {10, false}},
        {"TrackBarPan_PosAdjustValue", {10, true}}, {"ButtonPan_NegValueInc", {13, false}},
        {"ButtonPan_NegValueDec", {13, false}},     {"TrackBarPan_NegAdjustValue", {13, true}},
        {"ButtonTiltPosValueInc", {20, false}},     {"ButtonTiltPosValueDec", {20, false}},
        {"TrackBarTiltPosAdjustValue", {20, true}}, {"ButtonTiltNegValueInc", {23, false}},
        {"ButtonTiltNegValueDec", {23, false}},     {"TrackBarTiltNegAdjustValue", {23, true}},
        {"ButtonRollPosValueInc", {30, false}},     {"ButtonRollPosValueDec", {30, false}},
        {"TrackBarRollPosAdjustValue", {30, true}}, {"ButtonRollNegValueInc", {33, false}},
        {"ButtonRollNegValueDec", {33, false}},     {"TrackBarRollNegAdjustValue", {33, true}},
    };
    // Pan's range not shown yet (the default 200 applies), Tilt 150, Roll 200.
    std::array<AxisView, 3> views{{{0, 0, 0}, {10, 20, 150}, {199, 0, 200}}};
    const int maxima[3] = {200, 150, 200};

    Operator op(7);
    std::set<std::string> seen;
    int events = 0;
    int clicks = 0;
    long lastTrackMs = -1000;
    std::string lastTrackObject;
    for (long ms = 0; ms < 120'000; ++ms) {
        auto e = op.Next(ms, views);
        if (!e) continue;
        ++events;
        const auto it = vocabulary.find(std::string(e->object));
        ASSERT_NE(it, vocabulary.end()) << e->object;
        seen.insert(it->first);
        EXPECT_EQ(e->point, it->second.first) << e->object;
        EXPECT_EQ(e->trackBar, it->second.second) << e->object;
        const int axis = (e->point / 10) - 1;
        if (!e->trackBar) {
            ++clicks;
            EXPECT_EQ(e->text, event_texts::OnClick);
            continue;
        }
        const int value = TextToInt(e->text);
        const bool negative = e->point % 10 == 3;
        if (negative) {
            EXPECT_LE(value, 0) << e->object;
            EXPECT_GE(value, -maxima[axis]) << e->object;
        } else {
            EXPECT_GE(value, 0) << e->object;
            EXPECT_LE(value, maxima[axis]) << e->object;
        }
        // Within one drag the bar reports at most every 2 ms.
        if (lastTrackObject == e->object) {
            EXPECT_GE(ms - lastTrackMs, 2);
        }
        lastTrackMs = ms;
        lastTrackObject = std::string(e->object);
    }
    EXPECT_EQ(seen.size(), vocabulary.size());  // every control of every axis gets used
    EXPECT_GT(clicks, 0);
    EXPECT_GT(events - clicks, clicks);  // mostly drags
    // An operator, not a flood: between 10 and 100 events a second on average.
    EXPECT_GT(events, 1200);
    EXPECT_LT(events, 12'000);

    // Interrupted, the operator pauses before the next gesture.
    op.Interrupt(200'000);
    EXPECT_FALSE(op.Next(200'010, views));
}

}  // namespace
}  // namespace kestrova::soak
