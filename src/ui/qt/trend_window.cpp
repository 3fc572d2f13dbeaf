#include "ui/qt/trend_window.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPen>
#include <QPushButton>
#include <QScatterSeries>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>

#include "common/utf8_path.h"
#include "common/wall_clock.h"
#include "ui/round_axis.h"
#include "ui/view_menu.h"

namespace kestrova {

namespace {

struct Span {
    const char* text;
    std::int64_t ms;
};
constexpr std::array<Span, 3> Spans{{{"30 s", 30'000}, {"2 min", 120'000}, {"10 min", 600'000}}};
constexpr int DefaultSpan = 1;
// At most this many steps between the ticks of each axis.
constexpr int TimeAxisIntervals = 6;
constexpr int ValueAxisIntervals = 8;
// Pan, Tilt, Roll: the outputs drawn solid, the neutral values dashed in the same colour.
constexpr std::array<Qt::GlobalColor, 3> AxisColours{Qt::blue, Qt::darkGreen, Qt::darkYellow};

// Ticks on round numbers: the range's ends and the tick interval are multiples of the step.
void ApplyRoundAxis(QValueAxis& axis, const RoundAxis& round) {
    axis.setRange(round.minimum, round.maximum);
    axis.setTickCount(round.tickCount);
    axis.setLabelFormat(QStringLiteral("%.%1f").arg(round.decimals));
}

QScatterSeries* MarkSeries(const char* name, Qt::GlobalColor colour,
                           QScatterSeries::MarkerShape shape) {
    auto* marks = new QScatterSeries;
    marks->setName(QString::fromLatin1(name));
    marks->setColor(colour);
    marks->setMarkerShape(shape);
    marks->setMarkerSize(10.0);
    return marks;
}

}  // namespace

TrendWindow::TrendWindow(QWidget* parent, const CoreMonitor& monitor, FileMenuHost& host,
                         const DashboardInfo& info)
    : QWidget(parent, Qt::Window), monitor_(monitor), host_(host), info_(info) {
    setObjectName(QStringLiteral("Trend"));
    setWindowTitle(QStringLiteral("Trend"));
    resize(820, 480);

    chart_ = new QChart;
    timeAxis_ = new QValueAxis;
    timeAxis_->setTitleText(QStringLiteral("seconds"));
    valueAxis_ = new QValueAxis;
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(valueAxis_, Qt::AlignLeft);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        lines_[i] = new QLineSeries;
        lines_[i]->setName(
            QString::fromUtf8(TrendPoints[TrendPlotted[i]].name.data(),
                              static_cast<int>(TrendPoints[TrendPlotted[i]].name.size())));
        QPen pen(AxisColours[i % AxisColours.size()]);
        pen.setWidth(2);
        if (i >= AxisColours.size()) pen.setStyle(Qt::DashLine);
        lines_[i]->setPen(pen);
        chart_->addSeries(lines_[i]);
    }
    adjustMarks_ = MarkSeries("Adjustment", Qt::darkBlue, QScatterSeries::MarkerShapeTriangle);
    restoreMarks_ = MarkSeries("Restore", Qt::red, QScatterSeries::MarkerShapeRectangle);
    chart_->addSeries(adjustMarks_);
    chart_->addSeries(restoreMarks_);
    for (QAbstractSeries* series : chart_->series()) {
        series->attachAxis(timeAxis_);
        series->attachAxis(valueAxis_);
    }
    auto* view = new QChartView(chart_, this);
    view->setRenderHint(QPainter::Antialiasing, false);

    span_ = new QComboBox(this);
    span_->setObjectName(QStringLiteral("TrendSpan"));
    for (const Span& span : Spans) span_->addItem(QString::fromLatin1(span.text));
    span_->setCurrentIndex(DefaultSpan);
    connect(span_, &QComboBox::currentIndexChanged, this, &TrendWindow::Redraw);
    record_ = new QPushButton(QStringLiteral("Record CSV..."), this);
    record_->setObjectName(QStringLiteral("TrendRecordCsv"));
    connect(record_, &QPushButton::clicked, this, &TrendWindow::RecordCsvClick);

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Span:"), this));
    controls->addWidget(span_);
    controls->addStretch();
    controls->addWidget(record_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view);
    layout->addLayout(controls);

    sampleTimer_ = new QTimer(this);
    sampleTimer_->setInterval(static_cast<int>(TrendSampler::SamplePeriodMs));
    connect(sampleTimer_, &QTimer::timeout, this, &TrendWindow::SampleNow);
    sampleTimer_->start();
    redrawTimer_ = new QTimer(this);
    redrawTimer_->setInterval(RedrawMs);
    connect(redrawTimer_, &QTimer::timeout, this, &TrendWindow::Redraw);
}

void TrendWindow::SampleNow() {
    const std::int64_t steadyMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now().time_since_epoch())
                                      .count();
    if (sampler_.Sample(monitor_, steadyMs, SystemWallClockMs())) csv_.Append(sampler_.Latest());
}

void TrendWindow::Redraw() {
    const std::int64_t spanMs =
        Spans[static_cast<std::size_t>(std::max(0, span_->currentIndex()))].ms;
    ApplyRoundAxis(*timeAxis_,
                   RoundAxisFor(-static_cast<double>(spanMs) / 1000.0, 0.0, TimeAxisIntervals));
    std::array<QList<QPointF>, TrendPlotted.size()> points;
    QList<QPointF> adjusts;
    QList<QPointF> restores;
    double low = 0.0;
    double high = 0.0;
    bool any = false;
    const std::int64_t newest = sampler_.Size() == 0 ? 0 : sampler_.Latest().steadyMs;
    // At most about MaxPlotted points a line: drawing is what costs, and a wider span shows no
    // more detail than the window has pixels. Marks are looked for in every sample.
    std::size_t firstInSpan = 0;
    while (firstInSpan < sampler_.Size() && newest - sampler_.At(firstInSpan).steadyMs > spanMs) {
        ++firstInSpan;
    }
    const std::size_t step = std::max<std::size_t>(1, (sampler_.Size() - firstInSpan) / MaxPlotted);
    for (std::size_t n = firstInSpan; n < sampler_.Size(); ++n) {
        const TrendSample& s = sampler_.At(n);
        const double x = static_cast<double>(s.steadyMs - newest) / 1000.0;
        if (s.adjusted) adjusts.append(QPointF(x, 0.0));
        if (s.restored) restores.append(QPointF(x, 0.0));
        if ((n - firstInSpan) % step != 0 && n + 1 != sampler_.Size()) continue;
        for (std::size_t i = 0; i < points.size(); ++i) {
            if (!s.fromUnit[TrendPlotted[i]]) continue;
            const double y = s.values[TrendPlotted[i]];
            points[i].append(QPointF(x, y));
            low = any ? std::min(low, y) : y;
            high = any ? std::max(high, y) : y;
            any = true;
        }
    }
    // Some room above and below, then out to round numbers.
    const double margin = (high - low) * 0.05;
    const RoundAxis values = RoundAxisFor(low - margin, high + margin, ValueAxisIntervals);
    ApplyRoundAxis(*valueAxis_, values);
    // The marks stand between the highest value and the top edge of the plot.
    const double markY = (high + values.maximum) / 2.0;
    for (QPointF& p : adjusts) p.setY(markY);
    for (QPointF& p : restores) p.setY(markY);
    for (std::size_t i = 0; i < lines_.size(); ++i) lines_[i]->replace(points[i]);
    adjustMarks_->replace(adjusts);
    restoreMarks_->replace(restores);
}

void TrendWindow::RecordCsvClick() {
    if (csv_.Recording()) {
        csv_.Stop();
        record_->setText(QStringLiteral("Record CSV..."));
        return;
    }
    const std::optional<std::string> path = ChooseTrendCsvFile(host_, info_);
    if (!path) return;
    if (!csv_.Start(PathFromUtf8(*path))) {
        host_.ShowMessage(MessageKind::InformationOk, "The file " + *path + " cannot be written.");
        return;
    }
    record_->setText(QStringLiteral("Stop Recording"));
}

void TrendWindow::showEvent(QShowEvent* event) {
    Redraw();
    redrawTimer_->start();
    QWidget::showEvent(event);
}

void TrendWindow::hideEvent(QHideEvent* event) {
    redrawTimer_->stop();
    QWidget::hideEvent(event);
}

}  // namespace kestrova
