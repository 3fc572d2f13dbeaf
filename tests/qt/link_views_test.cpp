// The View menu and its windows over a fake core and monitor: Link Statistics, Trend with its
// CSV recording, and the protocol trace's save.
#include <QAction>
#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QValueAxis>

#include <fstream>
#include <string>

#include "qt_fixture.h"
#include "support/fake_core_monitor.h"
#include "support/temp_folder.h"
#include "ui/qt/link_statistics_window.h"
#include "ui/qt/trend_window.h"

namespace kestrova::test {
namespace {

struct LinkViews : DashboardFixture {
    FakeCoreMonitor monitor;
    TempFolder folder{"kestrova_views"};

    LinkViews() { form.SetMonitor(monitor); }
    void Trigger(const char* action) {
        QAction* found = form.findChild<QAction*>(QString::fromLatin1(action));
        ASSERT_NE(found, nullptr) << action;
        found->trigger();
    }
};

TEST_F(LinkViews, ViewMenuEntriesInOrder) {
    QList<QAction*> view = form.menuBar()->actions()[1]->menu()->actions();
    ASSERT_EQ(view.size(), 3);
    EXPECT_EQ(view[0]->text(), "Link Statistics...");
    EXPECT_EQ(view[1]->text(), "Trend...");
    EXPECT_EQ(view[2]->text(), "Save Protocol Trace...");

    prompts.chosenFile = "/tmp/trace.txt";
    Trigger("SaveProtocolTrace1");
    EXPECT_EQ(TakePairs(), (std::vector<Pair>{{"SaveProtocolTrace_Selected", "/tmp/trace.txt"}}));
    prompts.chosenFile.reset();
    Trigger("SaveProtocolTrace1");
    EXPECT_TRUE(TakePairs().empty());
}

TEST_F(LinkViews, LinkStatisticsShowsTheCountersAndResets) {
    monitor.counters.Count({.reply = ReplyResult::ChecksumError}, 4, 0, 16);
    Trigger("LinkStatistics1");
    LinkStatisticsWindow* window = form.LinkStatistics();
    ASSERT_TRUE(WaitFor([&] { return window->isVisible(); }));
    EXPECT_EQ(window->windowTitle(), "Link Statistics");
    EXPECT_FALSE(window->isModal());
    QStringList texts;
    for (QLabel* label : window->findChildren<QLabel*>()) texts << label->text();
    EXPECT_TRUE(texts.contains("COM3 (/dev/ttyUSB0)"));
    EXPECT_TRUE(texts.contains("Checksum errors"));
    QPushButton* reset = window->findChild<QPushButton*>(QStringLiteral("LinkStatisticsReset"));
    reset->click();
    EXPECT_EQ(TakePairs(), (std::vector<Pair>{{"LinkStatisticsReset", OnClick}}));

    // The reset runs inside the window's error boundary: its error is shown, not thrown.
    core.throwOn = Pair("LinkStatisticsReset", OnClick);
    reset->click();
    ASSERT_TRUE(WaitFor([&] { return !prompts.errors.empty(); }));
    EXPECT_EQ(prompts.errors, (std::vector<std::string>{"'x' is not a valid integer value"}));
}

TEST_F(LinkViews, TrendSamplesAndRecordsOneCsvRowPerSample) {
    Trigger("Trend1");
    TrendWindow* trend = form.Trend();
    ASSERT_TRUE(WaitFor([&] { return trend->isVisible(); }));
    EXPECT_EQ(trend->windowTitle(), "Trend");
    EXPECT_FALSE(trend->isModal());

    prompts.chosenFile = (folder / "trend.csv").string();
    QPushButton* record = trend->findChild<QPushButton*>(QStringLiteral("TrendRecordCsv"));
    record->click();
    EXPECT_TRUE(trend->Recorder().Recording());
    EXPECT_EQ(record->text(), "Stop Recording");
    monitor.values[16] = 42.0;
    ASSERT_TRUE(WaitFor([&] { return trend->Recorder().RowsWritten() >= 3; }));
    trend->Redraw();
    record->click();
    EXPECT_FALSE(trend->Recorder().Recording());

    std::ifstream in(folder / "trend.csv");
    std::string line;
    std::uint64_t rows = 0;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_EQ(line.rfind("time,Pan neutral,Pan output,", 0), 0u);
    while (std::getline(in, line)) ++rows;
    EXPECT_EQ(rows, trend->Recorder().RowsWritten());
}

TEST_F(LinkViews, TrendDrawsOnlyValuesFromTheUnitOnRoundTicks) {
    monitor.values.fill(2048.0);  // the tag file's values
    monitor.fromUnit.fill(false);
    for (int point : {16, 26, 36}) {  // the outputs have been read
        monitor.values[point] = point + 3.5;
        monitor.fromUnit[point] = true;
    }
    TrendWindow* trend = form.Trend();
    trend->SampleNow();
    trend->Redraw();
    QChart* chart = trend->findChild<QChartView*>()->chart();
    int checked = 0;
    for (QAbstractSeries* series : chart->series()) {
        const bool output = series->name() == "Pan output";
        if (!output && series->name() != "Pan neutral") continue;
        EXPECT_EQ(static_cast<QLineSeries*>(series)->count(), output ? 1 : 0);
        ++checked;
    }
    EXPECT_EQ(checked, 2);
    // 19.5 to 39.5 with some room: 15 to 45 in steps of 5; the 2 min span in steps of 20 s.
    auto* values = static_cast<QValueAxis*>(chart->axes(Qt::Vertical).first());
    EXPECT_EQ(values->min(), 15.0);
    EXPECT_EQ(values->max(), 45.0);
    EXPECT_EQ(values->tickCount(), 7);
    auto* time = static_cast<QValueAxis*>(chart->axes(Qt::Horizontal).first());
    EXPECT_EQ(time->min(), -120.0);
    EXPECT_EQ(time->max(), 0.0);
    EXPECT_EQ(time->tickCount(), 7);
}

}  // namespace
}  // namespace kestrova::test
