// A Qt generic plugin that plays the operator of the real Kestrova_Interface program: once the
// dashboard is up it picks "COM 1" from the port list (opening the drop-down and clicking the
// item), waits for "Comms Good", saves a picture of the window, and chooses File > Exit.
//
// The program knows nothing of it: Qt loads it into any Qt program started with
//     QT_PLUGIN_PATH=<build>/plugins  Kestrova_Interface -plugin kestrova-driver:<picture.png>
// With KESTROVA_DRIVER_VIEWS=1 it also opens View > Link Statistics... and View > Trend... once
// comms are good, and saves a picture of each beside the window's (<picture>-link-statistics.png,
// <picture>-trend.png).
// With KESTROVA_DRIVER_PORT=<n> it picks "COM <n>" instead of COM 1. With KESTROVA_DRIVER_REPLUG=1
// it first waits for that port's tooltip to say "present" (an adapter plugged in while the window
// runs), saves a picture of the screen with the open list and that tooltip (<picture>-tooltip.png),
// and after "Comms Good" waits for "Port Lost" (the adapter pulled) and "Comms Good" again.
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
#include <QScreen>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QTimer>
#include <QToolTip>
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
    enum class Phase {
        WaitWindow,
        WaitAdapter,
        OpenList,
        ShowTip,
        PickItem,
        WaitComms,
        WaitLost,
        WaitBack,
        Settle,
        Close,
        Finished
    };

    static int PortNumber() {
        const int port = qEnvironmentVariableIntValue("KESTROVA_DRIVER_PORT");
        return port >= 1 && port <= 40 ? port : 1;
    }
    static bool Replug() { return qEnvironmentVariableIntValue("KESTROVA_DRIVER_REPLUG") == 1; }
    QString PortText() const { return QStringLiteral("COM %1").arg(PortNumber()); }

    // The port's tooltip in the list, as the window last set it.
    static QString Tooltip(QComboBox* combo) {
        return combo->itemData(PortNumber() - 1, Qt::ToolTipRole).toString();
    }
    static bool SaysPresent(const QString& tooltip) {
        return tooltip.contains(QLatin1String("present")) &&
               !tooltip.contains(QLatin1String("not present"));
    }

    // Waits for the status caption; false (after failing) when it does not come in time.
    bool StatusReached(QLabel* status, const char* caption, int limitMs) {
        if (status->text() == QLatin1String(caption)) return true;
        if (phaseClock_.elapsed() > limitMs) {
            Fail(QStringLiteral("no %1 within %2 s (status: %3)")
                     .arg(QLatin1String(caption))
                     .arg(limitMs / 1000)
                     .arg(status->text()));
        }
        return false;
    }

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
                phase_ = Replug() ? Phase::WaitAdapter : Phase::OpenList;
                if (Replug()) Report(QStringLiteral("waiting for an adapter on ") + PortText());
                phaseClock_.start();
                return;

            case Phase::WaitAdapter:
                if (SaysPresent(Tooltip(combo))) {
                    Report(PortText() + QStringLiteral(" tooltip: ") + Tooltip(combo));
                    phase_ = Phase::OpenList;
                } else if (phaseClock_.elapsed() > 30000) {
                    Fail(QStringLiteral("no adapter on %1 within 30 s").arg(PortText()));
                }
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
                phase_ = Replug() ? Phase::ShowTip : Phase::PickItem;
                phaseClock_.start();
                return;
            }

            case Phase::ShowTip: {
                // The operator rests the pointer on the item: its tooltip shows, and the picture
                // of the screen keeps both.
                QAbstractItemView* list = combo->view();
                if (!list->isVisible()) {
                    if (phaseClock_.elapsed() > 5000)
                        Fail(QStringLiteral("port list did not open"));
                    return;
                }
                const QRect item = list->visualRect(list->model()->index(PortNumber() - 1, 0));
                if (!tipShown_) {
                    list->scrollTo(list->model()->index(PortNumber() - 1, 0));
                    QTest::mouseMove(list->viewport(), item.center());
                    QToolTip::showText(list->viewport()->mapToGlobal(item.center()), Tooltip(combo),
                                       list->viewport());
                    tipShown_ = true;
                    phaseClock_.start();
                    return;
                }
                if (phaseClock_.elapsed() < 800) return;
                const QString picture =
                    QString(picturePath_)
                        .replace(QLatin1String(".png"), QLatin1String("-tooltip.png"));
                if (!QGuiApplication::primaryScreen()->grabWindow(0).save(picture)) {
                    return Fail(QStringLiteral("cannot write ") + picture);
                }
                Report(QStringLiteral("picture ") + picture);
                QToolTip::hideText();
                phase_ = Phase::PickItem;
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
                const QModelIndex item = list->model()->index(PortNumber() - 1, 0);
                if (list->model()->data(item).toString() != PortText()) {
                    return Fail(
                        QStringLiteral("item %1 is not %2").arg(PortNumber()).arg(PortText()));
                }
                QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                                  list->visualRect(item).center());
                if (combo->currentText() != PortText()) {
                    return Fail(QStringLiteral("the port list shows %1").arg(combo->currentText()));
                }
                Report(QStringLiteral("picked %1 %2 ms after the application object")
                           .arg(PortText())
                           .arg(sinceApplication_.elapsed()));
                phase_ = Phase::WaitComms;
                phaseClock_.start();
                return;
            }

            case Phase::WaitComms:
                if (status->text() == QLatin1String("Comms Good")) {
                    Report(QStringLiteral("Comms Good %1 ms after picking the port")
                               .arg(phaseClock_.elapsed()));
                    phase_ = Replug() ? Phase::WaitLost : Phase::Settle;
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

            case Phase::WaitLost:
                if (!StatusReached(status, "Port Lost", 30000)) return;
                Report(QStringLiteral("Port Lost"));
                phase_ = Phase::WaitBack;
                phaseClock_.start();
                return;

            case Phase::WaitBack:
                if (!StatusReached(status, "Comms Good", 30000)) return;
                Report(QStringLiteral("Comms Good again %1 ms after the loss")
                           .arg(phaseClock_.elapsed()));
                phase_ = Phase::Settle;
                phaseClock_.start();
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
    bool tipShown_ = false;
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
