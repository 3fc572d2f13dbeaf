// A Qt generic plugin that plays the operator of the real Kestrova_Interface program: once the
// dashboard is up it picks "COM 1" from the port list (opening the drop-down and clicking the
// item), waits for "Comms Good", saves a picture of the window, and chooses File > Exit.
//
// The program knows nothing of it: Qt loads it into any Qt program started with
//     QT_PLUGIN_PATH=<build>/plugins  Kestrova_Interface -plugin kestrova-driver:<picture.png>
// With KESTROVA_DRIVER_VIEWS=1 it also opens View > Link Statistics... and View > Trend... once
// comms are good, and saves a picture of each beside the window's (<picture>-link-statistics.png,
// <picture>-trend.png).
// With "-plugin kestrova-driver:config-error" it waits instead for the configuration error
// dialog, reports the status lines it shows, and presses Enter.
// It reports on stdout, one line per step, each starting with "kestrova-driver:"; the last line
// is "kestrova-driver: done" or "kestrova-driver: FAILED <why>".
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGenericPlugin>
#include <QLabel>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <unistd.h>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

namespace {

void Report(const QString& line) {
    std::printf("kestrova-driver: %s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

// Milliseconds since this process started, from the kernel's start time (10 ms resolution).
long MillisecondsSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    // Field 3 (state) is the first after the name; start time is field 22.
    for (int i = 3; i < 22 && fields >> field; ++i) {
    }
    unsigned long long startTicks = 0;
    if (!(fields >> startTicks)) return -1;
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowMs = static_cast<double>(now.tv_sec) * 1000.0 + now.tv_nsec / 1e6;
    const double startMs =
        static_cast<double>(startTicks) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    return static_cast<long>(nowMs - startMs);
}

bool OpenViews() { return qEnvironmentVariableIntValue("KESTROVA_DRIVER_VIEWS") == 1; }

// The picture of the top-level window of that name beside the dashboard's; true when saved.
bool SaveViewPicture(const QString& dashboardPicture, const char* window, const char* suffix) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() != QLatin1String(window) || !widget->isVisible()) continue;
        QString path = dashboardPicture;
        path.replace(QStringLiteral(".png"), QString::fromLatin1(suffix));
        if (!widget->grab().save(path)) return false;
        Report(QStringLiteral("picture ") + path);
        return true;
    }
    return false;
}

int HoldMilliseconds() {
    bool ok = false;
    const int hold = qEnvironmentVariableIntValue("KESTROVA_DRIVER_HOLD_MS", &ok);
    return ok && hold > 0 ? hold : 1500;
}

class OperatorDriver final : public QObject {
public:
    explicit OperatorDriver(QString picturePath) : picturePath_(std::move(picturePath)) {
        sinceApplication_.start();
        QCoreApplication::instance()->installEventFilter(this);
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [this] { Step(); });
        poll->start(20);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted_) {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget && widget->window()->objectName() == QLatin1String("FormDashboard")) {
                painted_ = true;
                Report(QStringLiteral("first paint %1 ms after process start, %2 ms after the "
                                      "application object")
                           .arg(MillisecondsSinceProcessStart())
                           .arg(sinceApplication_.elapsed()));
                QCoreApplication::instance()->removeEventFilter(this);
            }
        }
        return false;
    }

private:
    enum class Phase { WaitWindow, OpenList, PickItem, WaitComms, Settle, Close, Finished };

    QWidget* Dashboard() const {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == QLatin1String("FormDashboard")) return widget;
        }
        return nullptr;
    }

    void Fail(const QString& why) {
        Report(QStringLiteral("FAILED ") + why);
        failed_ = true;
        phase_ = Phase::Close;
    }

    // The configuration error dialog: its red lines, then Enter.
    void AcknowledgeConfigError() {
        if (phase_ == Phase::Finished) return;
        QWidget* dialog = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == QLatin1String("FormVersionErrorDlg") &&
                widget->isVisible()) {
                dialog = widget;
            }
        }
        if (!dialog) {
            if (!phaseClock_.isValid()) phaseClock_.start();
            if (phaseClock_.elapsed() > 10000) {
                Report(QStringLiteral("FAILED no configuration error dialog within 10 s"));
                phase_ = Phase::Finished;
            }
            return;
        }
        for (const char* name :
             {"StaticText_INI_Status", "StaticText_CG0_Status", "StaticText_TG1_Status"}) {
            auto* line = dialog->findChild<QLabel*>(QString::fromLatin1(name));
            if (line && line->isVisibleTo(dialog)) Report(QStringLiteral("shows") + line->text());
        }
        phase_ = Phase::Finished;
        Report(QStringLiteral("done"));
        QTest::keyClick(dialog, Qt::Key_Return);
    }

    void Step() {
        if (picturePath_ == QLatin1String("config-error")) return AcknowledgeConfigError();
        QWidget* window = Dashboard();
        if (phase_ == Phase::Finished) return;
        if (phase_ != Phase::WaitWindow && !window) return;  // closing
        auto* combo =
            window ? window->findChild<QComboBox*>(QStringLiteral("ComboBoxCommsSelect")) : nullptr;
        auto* status =
            window ? window->findChild<QLabel*>(QStringLiteral("StaticTextCommsStatus")) : nullptr;

        switch (phase_) {
            case Phase::WaitWindow:
                if (!window || !window->isVisible() || !painted_) return;
                if (!combo || !status) return Fail(QStringLiteral("port list or status not found"));
                window->activateWindow();
                phase_ = Phase::OpenList;
                phaseClock_.start();
                return;

            case Phase::OpenList: {
                // A click on the drop-down arrow, as the operator would.
                QStyleOptionComboBox option;
                option.initFrom(combo);
                option.editable = true;
                option.subControls = QStyle::SC_All;
                const QRect arrow = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                                   QStyle::SC_ComboBoxArrow, combo);
                QTest::mouseClick(combo, Qt::LeftButton, Qt::NoModifier, arrow.center());
                phase_ = Phase::PickItem;
                phaseClock_.start();
                return;
            }

            case Phase::PickItem: {
                QAbstractItemView* list = combo->view();
                if (!list->isVisible()) {
                    if (phaseClock_.elapsed() > 5000)
                        Fail(QStringLiteral("port list did not open"));
                    return;
                }
                // The list ignores a release that follows its opening too closely (it takes it for
                // the end of the opening click).
                if (phaseClock_.elapsed() < 2 * QApplication::doubleClickInterval()) return;
                const QModelIndex first = list->model()->index(0, 0);
                if (list->model()->data(first).toString() != QLatin1String("COM 1")) {
                    return Fail(QStringLiteral("first item is not COM 1"));
                }
                QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                                  list->visualRect(first).center());
                if (combo->currentText() != QLatin1String("COM 1")) {
                    return Fail(QStringLiteral("the port list shows %1").arg(combo->currentText()));
                }
                Report(QStringLiteral("picked COM 1 %1 ms after the application object")
                           .arg(sinceApplication_.elapsed()));
                phase_ = Phase::WaitComms;
                phaseClock_.start();
                return;
            }

            case Phase::WaitComms:
                if (status->text() == QLatin1String("Comms Good")) {
                    Report(QStringLiteral("Comms Good %1 ms after picking the port")
                               .arg(phaseClock_.elapsed()));
                    phase_ = Phase::Settle;
                    phaseClock_.start();
                    if (OpenViews()) {
                        for (const char* name : {"LinkStatistics1", "Trend1"}) {
                            auto* action = window->findChild<QAction*>(QString::fromLatin1(name));
                            if (!action) return Fail(QStringLiteral("no action ") + name);
                            action->trigger();
                        }
                        Report(QStringLiteral("opened Link Statistics and Trend"));
                    }
                } else if (phaseClock_.elapsed() > 30000) {
                    Fail(QStringLiteral("no Comms Good within 30 s (status: %1)")
                             .arg(status->text()));
                }
                return;

            case Phase::Settle:
                // Let the first values from the unit arrive before the picture; resource
                // measurements ask for a longer stay with KESTROVA_DRIVER_HOLD_MS.
                if (phaseClock_.elapsed() < HoldMilliseconds()) return;
                if (!picturePath_.isEmpty()) {
                    if (window->grab().save(picturePath_)) {
                        Report(QStringLiteral("picture ") + picturePath_);
                    } else {
                        return Fail(QStringLiteral("cannot write ") + picturePath_);
                    }
                    if (OpenViews() &&
                        !(SaveViewPicture(picturePath_, "LinkStatistics", "-link-statistics.png") &&
                          SaveViewPicture(picturePath_, "Trend", "-trend.png"))) {
                        return Fail(QStringLiteral("no picture of the views"));
                    }
                }
                phase_ = Phase::Close;
                return;

            case Phase::Close: {
                phase_ = Phase::Finished;
                if (!failed_) Report(QStringLiteral("done"));
                if (!window) return;
                // File > Exit.
                if (auto* exit = window->findChild<QAction*>(QStringLiteral("Exit1"))) {
                    exit->trigger();
                } else {
                    window->close();
                }
                return;
            }

            case Phase::Finished: return;
        }
    }

    QString picturePath_;
    QElapsedTimer sinceApplication_;
    QElapsedTimer phaseClock_;
    Phase phase_ = Phase::WaitWindow;
    bool painted_ = false;
    bool failed_ = false;
};

class OperatorDriverPlugin final : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "kestrova_driver.json")
public:
    QObject* create(const QString& key, const QString& specification) override {
        if (key.compare(QLatin1String("kestrova-driver"), Qt::CaseInsensitive) != 0) return nullptr;
        return new OperatorDriver(specification);
    }
};

}  // namespace

#include "kestrova_driver.moc"
