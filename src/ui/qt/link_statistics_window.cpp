#include "ui/qt/link_statistics_window.h"

#include <QDateTime>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <utility>

namespace kestrova {

namespace {

std::int64_t NowMs() { return QDateTime::currentMSecsSinceEpoch(); }

}  // namespace

LinkStatisticsWindow::LinkStatisticsWindow(QWidget* parent, const CoreMonitor& monitor,
                                           std::function<void()> onReset,
                                           const DashboardDisplay& display)
    : QWidget(parent, Qt::Window),
      monitor_(monitor),
      reset_(std::move(onReset)),
      display_(display) {
    setObjectName(QStringLiteral("LinkStatistics"));
    setWindowTitle(QStringLiteral("Link Statistics"));
    auto* grid = new QGridLayout(this);
    // The rows are laid out once; each refresh sets the value texts only.
    const std::vector<StatisticsRow> rows = rows_.Refresh(monitor_, {}, NowMs());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int row = static_cast<int>(i);
        grid->addWidget(new QLabel(QString::fromStdString(rows[i].label), this), row, 0);
        auto* value = new QLabel(this);
        value->setTextFormat(Qt::PlainText);  // the device's path among them
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setMinimumWidth(420);
        grid->addWidget(value, row, 1);
        values_.push_back(value);
    }
    auto* reset = new QPushButton(QStringLiteral("Reset"), this);
    reset->setObjectName(QStringLiteral("LinkStatisticsReset"));
    grid->addWidget(reset, static_cast<int>(rows.size()), 1, Qt::AlignRight);
    connect(reset, &QPushButton::clicked, this, [this] {
        reset_();
        Refresh();
    });

    timer_ = new QTimer(this);
    timer_->setInterval(RefreshMs);
    connect(timer_, &QTimer::timeout, this, &LinkStatisticsWindow::Refresh);
}

void LinkStatisticsWindow::Refresh() {
    const std::string& status = display_.State(Element::StaticTextCommsStatus).caption;
    const std::vector<StatisticsRow> rows = rows_.Refresh(monitor_, status, NowMs());
    for (std::size_t i = 0; i < rows.size() && i < values_.size(); ++i) {
        values_[i]->setText(QString::fromStdString(rows[i].value));
    }
}

void LinkStatisticsWindow::showEvent(QShowEvent* event) {
    Refresh();
    timer_->start();
    QWidget::showEvent(event);
}

void LinkStatisticsWindow::hideEvent(QHideEvent* event) {
    timer_->stop();
    QWidget::hideEvent(event);
}

}  // namespace kestrova
