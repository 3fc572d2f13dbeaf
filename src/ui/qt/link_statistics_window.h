#pragma once

#include <QWidget>

#include <functional>
#include <vector>

#include "core/core_interfaces.h"
#include "ui/display_state.h"
#include "ui/link_statistics_rows.h"

class QLabel;
class QTimer;

namespace kestrova {

// "Link Statistics": a window of its own, not modal, showing the link's counters twice a second
// while it is shown. "Reset" runs the reset handler the window is given (the dashboard's, which
// sends ("LinkStatisticsReset", "OnClick") to the core inside its error boundary), then shows
// the counters again.
class LinkStatisticsWindow final : public QWidget {
    Q_OBJECT
public:
    static constexpr int RefreshMs = 500;

    LinkStatisticsWindow(QWidget* parent, const CoreMonitor& monitor, std::function<void()> onReset,
                         const DashboardDisplay& display);

    // Reads the core and shows the rows now.
    void Refresh();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    const CoreMonitor& monitor_;
    std::function<void()> reset_;
    const DashboardDisplay& display_;
    LinkStatisticsRows rows_;
    std::vector<QLabel*> values_;
    QTimer* timer_ = nullptr;
};

}  // namespace kestrova
