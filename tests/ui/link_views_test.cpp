// The toolkit-free side of the link views: the statistics rows, the trend sampler and the CSV
// recording.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/fake_core_monitor.h"
#include "support/temp_folder.h"
#include "support/text_pair.h"
#include "ui/csv_recorder.h"
#include "ui/link_statistics_rows.h"
#include "ui/round_axis.h"
#include "ui/trend_samples.h"

namespace kestrova::test {
namespace {

std::string ValueOf(const std::vector<StatisticsRow>& rows, std::string_view label) {
    for (const StatisticsRow& row : rows) {
        if (row.label == label) return row.value;
    }
    ADD_FAILURE() << "no row " << label;
    return {};
}

TEST(LinkStatisticsRowsTest, RateGoodShareReplyTimesAndLastFailure) {
    FakeCoreMonitor monitor;
    LinkStatisticsRows rows;
    EXPECT_EQ(ValueOf(rows.Refresh(monitor, CommsGood, 0), "Good replies"), "-");
    monitor.counters.Count({}, 1500, 0, 11);
    for (int i = 0; i < 198; ++i) monitor.counters.Count({}, 2000, 0, 11);
    monitor.counters.Count({.transferError = PortErrorCode::ReplyTimeout}, 17000, 1714566896789,
                           16);
    monitor.latencyMs = 1;
    const std::vector<StatisticsRow> r = rows.Refresh(monitor, CommsGood, 500);
    EXPECT_EQ(ValueOf(r, "Device"), "COM3 (/dev/ttyUSB0)");
    EXPECT_EQ(ValueOf(r, "Link"), "port open, Comms Good");
    EXPECT_EQ(ValueOf(r, "Exchanges per second"), "400.0");
    EXPECT_EQ(ValueOf(r, "Good replies"), "99.50 %");
    EXPECT_EQ(ValueOf(r, "Time-outs"), "1");
    EXPECT_EQ(ValueOf(r, "Reply time min / mean / max"), "1.5 / 2.00 / 2.0 ms");
    EXPECT_EQ(ValueOf(r, "Last failure"), "time-out, point 16, 2024-05-01T12:34:56.789Z");
    EXPECT_EQ(ValueOf(r, "Reply allowance"), "20 ms, late replies waited out for 250 ms");
    EXPECT_EQ(ValueOf(r, "Adapter latency"), "1 ms");
    // After a reset the count falls: the rate starts over instead of going negative.
    monitor.counters.Reset();
    EXPECT_EQ(ValueOf(rows.Refresh(monitor, "", 1000), "Exchanges per second"), "0.0");
    EXPECT_EQ(ValueOf(rows.Refresh(monitor, "", 1000), "Last failure"), "none");
}

TEST(TrendSamplerTest, SamplesEveryPeriodAndMarksAdjustmentsAndRestores) {
    FakeCoreMonitor monitor;
    monitor.adjustments = 4;  // before the sampling began: not marked
    monitor.values[16] = 1.5;
    TrendSampler sampler;
    EXPECT_TRUE(sampler.Sample(monitor, 1000, 0));
    EXPECT_FALSE(sampler.Sample(monitor, 1089, 0));
    monitor.adjustments = 5;
    monitor.values[16] = 2.5;
    EXPECT_TRUE(sampler.Sample(monitor, 1090, 0));  // a timer firing a little early still counts
    monitor.restores = 1;
    EXPECT_TRUE(sampler.Sample(monitor, 1190, 0));
    ASSERT_EQ(sampler.Size(), 3u);
    EXPECT_EQ(sampler.At(0).values[TrendPlotted[0]], 1.5);  // Pan output
    EXPECT_EQ(sampler.At(1).values[TrendPlotted[0]], 2.5);
    EXPECT_FALSE(sampler.At(0).adjusted);
    EXPECT_TRUE(sampler.At(1).adjusted);
    EXPECT_FALSE(sampler.At(1).restored);
    EXPECT_FALSE(sampler.At(2).adjusted);
    EXPECT_TRUE(sampler.At(2).restored);
    // Ten minutes are kept; older samples give way.
    for (int i = 0; i < 7000; ++i) sampler.Sample(monitor, 2000 + 100 * i, 0);
    EXPECT_EQ(sampler.Size(), 6000u);
    EXPECT_EQ(sampler.Latest().steadyMs - sampler.At(0).steadyMs, 599900);
}

TEST(TrendSamplerTest, WallClockStepsKeepASamplePeriodAndOnlyStampTheSamples) {
    constexpr std::int64_t Hour = 3'600'000;
    constexpr std::int64_t Wall = 1714566896789;
    struct Step {
        const char* name;
        std::int64_t wallAfterStep;
    };
    for (const Step& step : {Step{"set back", Wall - Hour}, Step{"set forward", Wall + Hour}}) {
        SCOPED_TRACE(step.name);
        FakeCoreMonitor monitor;
        TrendSampler sampler;
        ASSERT_TRUE(sampler.Sample(monitor, 5000, Wall));
        // Each period on the monotonic clock gives one sample, stamped with the wall clock.
        for (std::int64_t n = 1; n <= 3; ++n) {
            EXPECT_TRUE(sampler.Sample(monitor, 5000 + 100 * n, step.wallAfterStep + 100 * n));
            EXPECT_FALSE(sampler.Sample(monitor, 5050 + 100 * n, step.wallAfterStep + 150 * n));
        }
        ASSERT_EQ(sampler.Size(), 4u);
        EXPECT_EQ(sampler.Latest().timeMs, step.wallAfterStep + 300);
        EXPECT_EQ(sampler.Latest().steadyMs, 5300);
    }
}

TEST(TrendSamplerTest, ValuesNotFromTheUnitAreNotTaken) {
    FakeCoreMonitor monitor;
    monitor.values[16] = 2048.0;  // the tag file's value, before any reply
    monitor.values[11] = 2050.0;
    monitor.fromUnit.fill(false);
    monitor.fromUnit[11] = true;
    TrendSampler sampler;
    ASSERT_TRUE(sampler.Sample(monitor, 0, 0));
    const TrendSample& s = sampler.Latest();
    EXPECT_FALSE(s.fromUnit[TrendPlotted[0]]);  // Pan output
    EXPECT_EQ(s.values[TrendPlotted[0]], 0.0);
    EXPECT_TRUE(s.fromUnit[TrendPlotted[3]]);  // Pan neutral
    EXPECT_EQ(s.values[TrendPlotted[3]], 2050.0);
    EXPECT_TRUE(s.AnyFromUnit());
    monitor.fromUnit[11] = false;
    ASSERT_TRUE(sampler.Sample(monitor, 100, 0));
    EXPECT_FALSE(sampler.Latest().AnyFromUnit());
}

TEST(RoundAxisTest, EndsAndTicksOnOneTwoFiveSteps) {
    struct Row {
        double low, high;
        int maxIntervals;
        double minimum, maximum, step;
        int tickCount, decimals;
    };
    for (const Row& r : {
             Row{2.6, 2145.4, 8, 0, 2500, 500, 6, 0},  // the width alone would allow 300
             Row{-30, 0, 6, -30, 0, 5, 7, 0}, Row{-120, 0, 6, -120, 0, 20, 7, 0},
             Row{-600, 0, 6, -600, 0, 100, 7, 0}, Row{2047.3, 2049.1, 8, 2047, 2049.5, 0.5, 6, 1},
             Row{-0.07, 0.28, 8, -0.1, 0.3, 0.05, 9, 2},
             Row{5, 5, 8, 4, 6, 0.5, 5, 1},  // no width: widened by 1 either way
         }) {
        SCOPED_TRACE(testing::Message() << r.low << ".." << r.high);
        const RoundAxis a = RoundAxisFor(r.low, r.high, r.maxIntervals);
        EXPECT_NEAR(a.minimum, r.minimum, 1e-9);
        EXPECT_NEAR(a.maximum, r.maximum, 1e-9);
        EXPECT_NEAR(a.step, r.step, 1e-12);
        EXPECT_EQ(a.tickCount, r.tickCount);
        EXPECT_EQ(a.decimals, r.decimals);
    }
}

TEST(CsvRecorderTest, HeaderOfNamesThenOneRowPerSampleWithValuesFromTheUnit) {
    TempFolder folder("kestrova_csv");
    CsvRecorder csv;
    ASSERT_TRUE(csv.Start(folder / "trend.csv"));
    TrendSample sample;
    csv.Append(sample);  // nothing from the unit yet: no row
    sample.fromUnit.fill(true);
    sample.timeMs = 1714566896789;
    sample.values[1] = -12.25;
    csv.Append(sample);
    sample.timeMs += 100;
    sample.fromUnit[1] = false;
    csv.Append(sample);
    csv.Stop();
    csv.Append(sample);  // not recording: nothing written
    EXPECT_EQ(csv.RowsWritten(), 2u);

    std::ifstream in(folder / "trend.csv");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].rfind("time,Pan neutral,Pan output,Pan positive adjust,", 0), 0u);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 23), "Controller mode,Version");
    EXPECT_EQ(lines[1], "2024-05-01T12:34:56.789Z,0,-12.25,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0");
    EXPECT_EQ(lines[2], "2024-05-01T12:34:56.889Z,0,,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0");
    EXPECT_FALSE(csv.Start(folder / "missing" / "trend.csv"));
    std::filesystem::create_symlink(folder / "trend.csv", folder / "linked.csv");
    EXPECT_FALSE(csv.Start(folder / "linked.csv"));  // never written through a link
    EXPECT_EQ(ReadText(folder / "trend.csv").substr(0, 5), "time,");
}

}  // namespace
}  // namespace kestrova::test
