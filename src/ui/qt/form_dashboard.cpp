#include "ui/qt/form_dashboard.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <exception>

#include "common/errors.h"
#include "core/ui_names.h"
#include "ui/qt/about_box.h"
#include "ui/qt/firmware_update_dialog.h"
#include "ui/qt/link_statistics_window.h"
#include "ui/qt/trend_window.h"
#include "ui/qt/version_error_dialog.h"
#include "ui/qt/widgets.h"
#include "ui/view_menu.h"

// The window's life: creation over the core, the two timers, showing and placement, operator
// input, menu items and the error boundary that every one of them runs inside.
namespace kestrova {

namespace {

constexpr const char* ElementProperty = "kestrovaElement";

QTimer* MakeTimer(QObject* parent, const char* name, int intervalMs) {
    auto* timer = new QTimer(parent);
    timer->setObjectName(QString::fromLatin1(name));
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(intervalMs);
    return timer;
}

Element ElementOf(const QObject* object) {
    const QVariant value = object->property(ElementProperty);
    if (!value.isValid()) return Element::None;
    return static_cast<Element>(value.toInt());
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Creation

TFormDashboard::TFormDashboard(QWidget* parent)
    : QMainWindow(parent),
      errorBoxes_(this, [this](const std::string& message) { ActivePrompts().ErrorBox(message); }) {
    setObjectName(QStringLiteral("FormDashboard"));
    setWindowTitle(QStringLiteral("Tessaline Kestrova Wheels Software"));
    setFont(PixelFont(11));
    resize(OuterWidth, OuterHeight);
    standardPrompts_ = std::make_unique<StandardPrompts>(this);

    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("ClientArea"));
    client_->setAutoFillBackground(true);
    SetColours(client_, QPalette::Window, palette().color(QPalette::Button), QPalette::WindowText,
               Qt::black);
    setCentralWidget(client_);

    CreateControls();
    for (std::size_t i = 0; i < ElementCount; ++i) {
        ConnectInput(static_cast<Element>(i), controls_[i]);
    }
    CreateMenus();
    CreateTimers();

    // Draw the initial display state; from now on only changes are drawn.
    RenderDisplay();
    // The port list takes the focus when the window first becomes active.
    comboBox_->setFocus(Qt::OtherFocusReason);
}

TFormDashboard::~TFormDashboard() {
    // The logic detaches itself from the display state; no handler may run after this.
    commsTimer_->stop();
    sysUpdateTimer_->stop();
    logic_.reset();
}

void TFormDashboard::CreateTimers() {
    commsTimer_ = MakeTimer(this, "Comms_Timer", 1);
    connect(commsTimer_, &QTimer::timeout, this,
            [this] { Run(&DashboardLogic::Comms_TimerTimer); });
    // Queued, so the tick runs outside the timer's own event: when it shows the configuration
    // error dialog, further ticks of both timers keep arriving inside the dialog.
    sysUpdateTimer_ = MakeTimer(this, "TimerSysUpdate", 10);
    connect(
        sysUpdateTimer_, &QTimer::timeout, this,
        [this] { Run(&DashboardLogic::TimerSysUpdateTimer); }, Qt::QueuedConnection);
}

void TFormDashboard::Create(Core& core, const DashboardInfo& info) {
    info_ = &info;
    core_ = &core;
    logic_ = std::make_unique<DashboardLogic>(display_, core, static_cast<WindowHost&>(*this));
    fileMenu_ = std::make_unique<FileMenu>(display_, core, info, static_cast<FileMenuHost&>(*this));
    logic_->FormCreate();
    RenderDisplay();
    ShowMessages();
    SyncCommsTimer();
    sysUpdateTimer_->start();
}

void TFormDashboard::SetDialogs(TAboutBox_KestrovaInterface* about,
                                TFormFirmwareUpdateDialog* firmware,
                                TFormVersionErrorDlg* versionError) {
    about_ = about;
    firmware_ = firmware;
    versionError_ = versionError;
    if (versionError_) {
        versionError_->SetClosedHandler([this] { Run(&DashboardLogic::ConfigErrorDialogClosed); });
    }
}

void TFormDashboard::SetPrompts(Prompts* prompts) { prompts_ = prompts; }

void TFormDashboard::SetMonitor(const CoreMonitor& monitor) {
    const auto reset = [this] {
        Guard([this] {
            core_->ServiceEvent(event_names::LinkStatisticsReset, event_texts::OnClick);
        });
    };
    linkStatistics_ = new LinkStatisticsWindow(this, monitor, reset, display_);
    trend_ = new TrendWindow(this, monitor, static_cast<FileMenuHost&>(*this), *info_);
}

Prompts& TFormDashboard::ActivePrompts() {
    return prompts_ ? *prompts_ : static_cast<Prompts&>(*standardPrompts_);
}

QWidget* TFormDashboard::Control(Element element) const {
    return IsElement(element) ? controls_[Index(element)] : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Showing and placement

void TFormDashboard::ShowWindow() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(OuterWidth / 2, OuterHeight / 2));
    }
    if (maximizeOnShow_) {
        showMaximized();
    } else {
        show();
    }
    QTimer::singleShot(0, this, [this] {
        if (!info_) return;
        const std::string error = info_->StartupError();
        if (!error.empty()) ReportError(error);
    });
}

void TFormDashboard::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    // The window manager's frame is known only once the window is mapped.
    QTimer::singleShot(100, this, &TFormDashboard::AdjustToOuterSize);
}

// Makes the outer size, frame and caption bar included, 1000 by 600 and centres it again.
void TFormDashboard::AdjustToOuterSize() {
    if (isMaximized() || !windowHandle()) return;
    const QMargins frame = windowHandle()->frameMargins();
    if (frame.isNull()) return;
    resize(OuterWidth - frame.left() - frame.right(), OuterHeight - frame.top() - frame.bottom());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(OuterWidth / 2, OuterHeight / 2));
    }
}

std::int32_t TFormDashboard::Top() const { return y(); }
std::int32_t TFormDashboard::Left() const { return x(); }
bool TFormDashboard::Maximized() const { return shownOnce_ ? isMaximized() : maximizeOnShow_; }
std::string TFormDashboard::Caption() const { return windowTitle().toStdString(); }
void TFormDashboard::SetTop(std::int32_t top) { move(x(), top); }
void TFormDashboard::SetLeft(std::int32_t left) { move(left, y()); }

void TFormDashboard::SetMaximized(bool maximized) {
    maximizeOnShow_ = maximized;
    if (!shownOnce_) return;
    setWindowState(maximized ? (windowState() | Qt::WindowMaximized)
                             : (windowState() & ~Qt::WindowMaximized));
}

// ---------------------------------------------------------------------------------------------
// The handler boundary

template <typename Work>
void TFormDashboard::Guard(Work&& work) {
    if (logic_) {
        try {
            work();
        } catch (const ConversionError& error) {
            ReportError(error.what());
        } catch (const FileError& error) {
            ReportError(error.what());
        } catch (const std::exception& error) {
            ReportError(error.what());
        } catch (...) {
            ReportError({});
        }
    }
    try {
        RenderDisplay();
    } catch (const std::exception& error) {
        ReportError(error.what());
    }
    ShowMessages();
    SyncCommsTimer();
}

void TFormDashboard::ShowMessages() {
    for (const std::string& message : display_.TakeMessages()) ReportError(message);
}

void TFormDashboard::SyncCommsTimer() {
    const bool wanted = logic_ && logic_->CommsTimerWanted();
    if (wanted == commsTimer_->isActive()) return;
    if (wanted) {
        commsTimer_->start();
    } else {
        commsTimer_->stop();
    }
}

void TFormDashboard::Run(void (DashboardLogic::*handler)()) {
    Guard([this, handler] { (logic_.get()->*handler)(); });
}

void TFormDashboard::ReportError(std::string_view message) { errorBoxes_.Report(message); }

// ---------------------------------------------------------------------------------------------
// Operator input

// Every control reports to the logic by its element: clicks on buttons and static texts, moves
// of track bars, the port list's text, and the focus entering any control that can take it.
void TFormDashboard::ConnectInput(Element element, QWidget* widget) {
    widget->setProperty(ElementProperty, static_cast<int>(element));
    const auto clicked = [this, element] {
        Guard([this, element] { logic_->UserClicked(element); });
    };
    if (auto* bar = qobject_cast<TrackBar*>(widget)) {
        connect(bar, &QSlider::valueChanged, this, [this, element](int position) {
            Guard([this, element, position] { logic_->UserMovedTrackBar(element, position); });
        });
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        connect(button, &QAbstractButton::clicked, this, clicked);
    } else if (auto* label = qobject_cast<ClickableLabel*>(widget)) {
        connect(label, &ClickableLabel::clicked, this, clicked);
    } else if (auto* ports = qobject_cast<QComboBox*>(widget)) {
        connect(ports, &QComboBox::editTextChanged, this, &TFormDashboard::PortTextChanged);
        connect(ports, &QComboBox::activated, this, clicked);
        // The editor inside the list takes the focus in its place.
        ports->lineEdit()->setProperty(ElementProperty, static_cast<int>(element));
        ports->lineEdit()->installEventFilter(this);
    }
    if (widget->focusPolicy() != Qt::NoFocus) widget->installEventFilter(this);
}

// The port list's text changed: the index of the item with exactly that text, or -1.
void TFormDashboard::PortTextChanged(const QString& text) {
    const int index = comboBox_->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    Guard([this, index] { logic_->UserSelectedPort(index); });
}

bool TFormDashboard::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn && !applyingFocus_) {
        const Element element = ElementOf(watched);
        if (element != Element::None) {
            // The window's own focus moves are drawn from the display state; only the
            // operator's reach the logic.
            drawnFocus_ = element;
            Guard([this, element] { logic_->UserFocused(element); });
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// Menu items and closing

void TFormDashboard::Open1Click() {
    Guard([this] { fileMenu_->Open1Click(); });
}

void TFormDashboard::SaveAs1Click() {
    Guard([this] { fileMenu_->SaveAs1Click(); });
}

void TFormDashboard::N2About1Click() {
    Guard([this] {
        if (about_) about_->exec();
    });
}

void TFormDashboard::LinkStatistics1Click() {
    if (!linkStatistics_) return;
    linkStatistics_->show();
    linkStatistics_->raise();
}

void TFormDashboard::Trend1Click() {
    if (!trend_) return;
    trend_->show();
    trend_->raise();
}

void TFormDashboard::SaveProtocolTrace1Click() {
    Guard([this] { kestrova::SaveProtocolTrace1Click(*core_, *this, *info_); });
}

void TFormDashboard::UpdateFirmWare1Click() {
    Guard([this] {
        if (firmware_) firmware_->exec();
    });
}

// Runs the core's shutdown once. An error (a configuration file that could not be written) is
// shown at once, as the window goes on closing and the program ends.
void TFormDashboard::FormClose() {
    if (!logic_) return;
    try {
        logic_->FormClose();
    } catch (const std::exception& error) {
        ActivePrompts().ErrorBox(error.what());
    } catch (...) {
        ActivePrompts().ErrorBox({});
    }
}

void TFormDashboard::closeEvent(QCloseEvent* event) {
    FormClose();
    commsTimer_->stop();
    sysUpdateTimer_->stop();
    event->accept();
}

// ---------------------------------------------------------------------------------------------
// WindowHost and FileMenuHost

void TFormDashboard::ShowConfigErrorDialog() {
    if (versionError_) {
        versionError_->exec();
    } else if (logic_) {
        logic_->ConfigErrorDialogClosed();
    }
}

void TFormDashboard::CloseWindow() { close(); }

std::string TFormDashboard::InputBox(std::string_view caption, std::string_view prompt,
                                     std::string_view defaultText) {
    return ActivePrompts().InputBox(caption, prompt, defaultText);
}

MessageAnswer TFormDashboard::ShowMessage(MessageKind kind, std::string_view text) {
    return ActivePrompts().ShowMessage(kind, text);
}

std::optional<std::string> TFormDashboard::RunFileDialog(const FileDialogSettings& settings) {
    return ActivePrompts().RunFileDialog(settings);
}

RestorePreviewAnswer TFormDashboard::ShowRestorePreview(
    const std::vector<RestorePreviewRow>& rows) {
    return ActivePrompts().ShowRestorePreview(rows);
}

}  // namespace kestrova
