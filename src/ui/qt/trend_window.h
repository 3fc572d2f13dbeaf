#pragma once

#include <QWidget>

#include <array>

#include "core/core_interfaces.h"
#include "ui/csv_recorder.h"
#include "ui/dashboard_info.h"
#include "ui/file_menu.h"
#include "ui/trend_samples.h"

class QChart;
class QComboBox;
class QLineSeries;
class QPushButton;
class QScatterSeries;
class QTimer;
class QValueAxis;

namespace kestrova {

// "Trend": a window of its own, not modal, plotting the three output and the three neutral
// values read from the controller over the chosen span (30 s, 2 min, 10 min), on round ticks,
// with the moments of the operator's adjustments and of restores marked. It samples from its
// creation, shown or not, so the span is filled when it opens; "Record CSV..." starts and stops
// recording every sample to a file.
class TrendWindow final : public QWidget {
    Q_OBJECT
public:
    static constexpr int RedrawMs = 500;
    static constexpr std::size_t MaxPlotted = 300;

    TrendWindow(QWidget* parent, const CoreMonitor& monitor, FileMenuHost& host,
                const DashboardInfo& info);

    const TrendSampler& Sampler() const { return sampler_; }
    const CsvRecorder& Recorder() const { return csv_; }
    // Takes a sample when one is due and records it.
    void SampleNow();
    // Replots the span from the samples.
    void Redraw();
    // "Record CSV..." and its second click.
    void RecordCsvClick();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    const CoreMonitor& monitor_;
    FileMenuHost& host_;
    const DashboardInfo& info_;
    TrendSampler sampler_;
    CsvRecorder csv_;

    QChart* chart_ = nullptr;
    QValueAxis* timeAxis_ = nullptr;
    QValueAxis* valueAxis_ = nullptr;
    std::array<QLineSeries*, TrendPlotted.size()> lines_{};
    QScatterSeries* adjustMarks_ = nullptr;
    QScatterSeries* restoreMarks_ = nullptr;
    QComboBox* span_ = nullptr;
    QPushButton* record_ = nullptr;
    QTimer* sampleTimer_ = nullptr;
    QTimer* redrawTimer_ = nullptr;
};

}  // namespace kestrova
