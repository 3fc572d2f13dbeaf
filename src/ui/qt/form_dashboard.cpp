#include "ui/qt/form_dashboard.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <cstdio>
#include <exception>

#include "common/errors.h"
#include "ui/qt/about_box.h"
#include "ui/qt/firmware_update_dialog.h"
#include "ui/qt/version_error_dialog.h"
#include "ui/qt/widgets.h"

namespace kestrova {

namespace {

constexpr const char* ElementProperty = "kestrovaElement";
constexpr Qt::Alignment Centred = Qt::AlignCenter;
constexpr Qt::Alignment RightAligned = Qt::AlignRight | Qt::AlignVCenter;

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The Pan column's places; Tilt and Roll lie 290 and 580 pixels further right.
constexpr QRect BevelPlace(125, 5, 275, 515);
constexpr QRect AxisButtonPlace(140, 20, 140, 70);
constexpr QRect AxisLabelPlace(145, 25, 130, 40);
constexpr QRect StatusPlace(145, 65, 130, 20);
constexpr QRect PosStepUpPlace(340, 10, 40, 40);
constexpr QRect PosTrackBarPlace(339, 50, 41, 160);
constexpr QRect PosStepDownPlace(340, 210, 40, 40);
constexpr QRect PosCaptionPlace(130, 120, 125, 25);
constexpr QRect PosValuePlace(260, 120, 70, 25);
constexpr QRect OutputCaptionPlace(130, 242, 125, 25);
constexpr QRect OutputValuePlace(260, 242, 70, 25);
constexpr QRect NeutralValuePlace(260, 272, 70, 25);
constexpr QRect NegStepUpPlace(340, 260, 40, 40);
constexpr QRect NegTrackBarPlace(340, 300, 41, 160);
constexpr QRect NegStepDownPlace(340, 460, 40, 40);
constexpr QRect NegCaptionPlace(130, 370, 125, 25);
constexpr QRect NegValuePlace(260, 370, 70, 25);

constexpr std::array<const char*, AxisCount> BevelNames{"Bevel1", "Bevel2", "Bevel3"};
constexpr std::array<const char*, AxisCount> OutputCaptionNames{
    "StaticTextPan_Value_Label", "StaticTextTiltValue_Label", "StaticTextRollValue_Label"};
constexpr std::array<const char*, AxisCount> OutputCaptions{"Pan Output ", "Tilt Output ",
                                                            "Roll Output "};

ClickableLabel* MakeLabel(QWidget* parent, const QRect& place, Qt::Alignment alignment,
                          const QFont& font, Bevel bevel) {
    auto* label = new ClickableLabel(parent);
    label->setGeometry(place);
    label->setAlignment(alignment);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    SetBevel(label, bevel);
    return label;
}

// A fixed text that no display command changes.
QLabel* MakeFixedLabel(QWidget* parent, const char* name, const QRect& place, const char* caption,
                       Qt::Alignment alignment, const QFont& font, Bevel bevel) {
    ClickableLabel* label = MakeLabel(parent, place, alignment, font, bevel);
    label->setObjectName(QString::fromLatin1(name));
    label->setText(QString::fromLatin1(caption));
    label->setWordWrap(true);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const QRect& place, const QFont& font) {
    auto* button = new QPushButton(parent);
    button->setGeometry(place);
    button->setFont(font);
    button->setAutoDefault(false);
    return button;
}

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

TFormDashboard::TFormDashboard(QWidget* parent) : QMainWindow(parent) {
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

void TFormDashboard::Register(Element element, QWidget* widget) {
    controls_[Index(element)] = widget;
    widget->setObjectName(Text(ElementName(element)));
    widget->setProperty(ElementProperty, static_cast<int>(element));
}

// Created in the order of the window's layout, which is also the stacking order: an icon lies on
// top of its step button, a zero overlay on top of its value text, the labels on top of the axis
// button.
void TFormDashboard::CreateControls() {
    CreateAxisColumn(Axis::Pan, 0);
    CreateAxisColumn(Axis::Tilt, 290);
    CreateAxisColumn(Axis::Roll, 580);
    CreateLeftColumn();
    CreateBottomRow();
}

void TFormDashboard::CreateAxisColumn(Axis axis, int dx) {
    const auto a = static_cast<std::size_t>(axis);
    auto place = [dx](const QRect& pan) { return pan.translated(dx, 0); };
    auto element = [axis](AxisRole role) { return AxisElement(axis, role); };

    // Handlers of this axis.
    using Handler = void (TFormDashboard::*)();
    using ChangeHandler = void (TFormDashboard::*)(int);
    struct Handlers {
        Handler axisClick, posEnter, negEnter, posInc, posDec, negInc, negDec;
        ChangeHandler posChange, negChange;
    };
    static constexpr std::array<Handlers, AxisCount> handlers{{
        {&TFormDashboard::ButtonPanClick, &TFormDashboard::TrackBarPan_PosAdjustEnter,
         &TFormDashboard::TrackBarPan_NegAdjustEnter,
         &TFormDashboard::SpeedButtonPan_PosValueIncClick,
         &TFormDashboard::SpeedButtonPan_PosValueDecClick,
         &TFormDashboard::SpeedButtonPan_NegValueIncClick,
         &TFormDashboard::SpeedButtonPan_NegValueDecClick,
         &TFormDashboard::TrackBarPan_PosAdjustChange, &TFormDashboard::TrackBarPan_NegAdjustChange},
        {&TFormDashboard::ButtonTiltClick, &TFormDashboard::TrackBarTiltPosAdjustEnter,
         &TFormDashboard::TrackBarTiltNegAdjustEnter,
         &TFormDashboard::SpeedButtonTiltPosValueIncClick,
         &TFormDashboard::SpeedButtonTiltPosValueDecClick,
         &TFormDashboard::SpeedButtonTiltNegValueIncClick,
         &TFormDashboard::SpeedButtonTiltNegValueDecClick,
         &TFormDashboard::TrackBarTiltPosAdjustChange, &TFormDashboard::TrackBarTiltNegAdjustChange},
        {&TFormDashboard::ButtonRollClick, &TFormDashboard::TrackBarRollPosAdjustEnter,
         &TFormDashboard::TrackBarRollNegAdjustEnter,
         &TFormDashboard::SpeedButtonRollPosValueIncClick,
         &TFormDashboard::SpeedButtonRollPosValueDecClick,
         &TFormDashboard::SpeedButtonRollNegValueIncClick,
         &TFormDashboard::SpeedButtonRollNegValueDecClick,
         &TFormDashboard::TrackBarRollPosAdjustChange, &TFormDashboard::TrackBarRollNegAdjustChange},
    }};
    const Handlers& h = handlers[a];

    auto* bevel = new QFrame(client_);
    bevel->setObjectName(QString::fromLatin1(BevelNames[a]));
    bevel->setGeometry(place(BevelPlace));
    bevel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bevel->setLineWidth(1);

    QPushButton* axisButton = MakeButton(client_, place(AxisButtonPlace), PixelFont(27, true));
    Register(element(AxisRole::AxisButton), axisButton);
    connect(axisButton, &QPushButton::clicked, this, h.axisClick);

    for (AxisRole role : {AxisRole::AxisLabel, AxisRole::StatusText}) {
        const bool isLabel = role == AxisRole::AxisLabel;
        ClickableLabel* label =
            MakeLabel(client_, place(isLabel ? AxisLabelPlace : StatusPlace), Centred,
                      isLabel ? PixelFont(32, true) : PixelFont(13), Bevel::None);
        Register(element(role), label);
        connect(label, &ClickableLabel::clicked, this, h.axisClick);
    }

    // One adjust side: step up, its icon, the track bar, step down, its icon, the caption, the
    // value text and its zero overlay.
    auto makeSide = [&](bool positive) {
        const AxisRole stepUp = positive ? AxisRole::PosStepUp : AxisRole::NegStepUp;
        const AxisRole upIcon = positive ? AxisRole::PosUpIcon : AxisRole::NegUpIcon;
        const AxisRole bar = positive ? AxisRole::PosTrackBar : AxisRole::NegTrackBar;
        const AxisRole stepDown = positive ? AxisRole::PosStepDown : AxisRole::NegStepDown;
        const AxisRole downIcon = positive ? AxisRole::PosDownIcon : AxisRole::NegDownIcon;
        const Handler enter = positive ? h.posEnter : h.negEnter;

        auto glyph = [&](AxisRole role, const QRect& pan, Qt::ArrowType arrow, Handler handler,
                         const char* tip) {
            QToolButton* button = MakeGlyphButton(client_, arrow);
            button->setGeometry(place(pan));
            button->setToolTip(QString::fromLatin1(tip));
            Register(element(role), button);
            connect(button, &QToolButton::clicked, this, handler);
        };
        const QRect upPlace = positive ? PosStepUpPlace : NegStepUpPlace;
        const QRect downPlace = positive ? PosStepDownPlace : NegStepDownPlace;
        glyph(stepUp, upPlace, Qt::UpArrow, positive ? h.posInc : h.negInc, "Press to Increment");
        glyph(upIcon, upPlace, Qt::UpArrow, enter, "Press to Increment");

        auto* trackBar = new TrackBar(client_);
        trackBar->setGeometry(place(positive ? PosTrackBarPlace : NegTrackBarPlace));
        Register(element(bar), trackBar);
        connect(trackBar, &QSlider::valueChanged, this, positive ? h.posChange : h.negChange);
        trackBar->installEventFilter(this);

        glyph(stepDown, downPlace, Qt::DownArrow, positive ? h.posDec : h.negDec,
              "Press to Decrement");
        glyph(downIcon, downPlace, Qt::DownArrow, enter, "Press to Decrement");

        const QFont bold16 = PixelFont(16, true);
        for (AxisRole role : positive ? std::array{AxisRole::PosCaption, AxisRole::PosValueText,
                                                   AxisRole::PosZeroOverlay}
                                      : std::array{AxisRole::NegCaption, AxisRole::NegValueText,
                                                   AxisRole::NegZeroOverlay}) {
            const bool caption = role == AxisRole::PosCaption || role == AxisRole::NegCaption;
            const QRect pan = caption ? (positive ? PosCaptionPlace : NegCaptionPlace)
                                      : (positive ? PosValuePlace : NegValuePlace);
            ClickableLabel* label = MakeLabel(client_, place(pan), RightAligned, bold16, Bevel::Soft);
            Register(element(role), label);
            connect(label, &ClickableLabel::clicked, this, enter);
        }
    };

    makeSide(true);

    MakeFixedLabel(client_, OutputCaptionNames[a], place(OutputCaptionPlace), OutputCaptions[a],
                   RightAligned, PixelFont(16, true), Bevel::Soft)
        ->setWordWrap(false);
    Register(element(AxisRole::OutputValueText),
             MakeLabel(client_, place(OutputValuePlace), RightAligned, PixelFont(16, true),
                       Bevel::Soft));
    Register(element(AxisRole::NeutralValueText),
             MakeLabel(client_, place(NeutralValuePlace), RightAligned, PixelFont(16, true),
                       Bevel::None));

    makeSide(false);

    if (axis == Axis::Pan) {
        // The range labels of the debug panel.
        constexpr std::array<std::pair<Element, QPoint>, 4> rangeLabels{{
            {Element::Label2, QPoint(280, 50)},
            {Element::Label3, QPoint(280, 190)},
            {Element::Label4, QPoint(270, 310)},
            {Element::Label5, QPoint(270, 440)},
        }};
        for (const auto& [label, at] : rangeLabels) {
            Register(label, MakeLabel(client_, QRect(at, QSize(60, 20)), Centred, font(),
                                      Bevel::None));
        }
    }
}

void TFormDashboard::CreateLeftColumn() {
    // A disabled button drawn as the frame behind the port heading.
    QPushButton* frame = MakeButton(client_, QRect(10, 20, 100, 70), font());
    frame->setObjectName(QStringLiteral("Button1"));
    frame->setText(QStringLiteral(" "));
    frame->setEnabled(false);
    MakeFixedLabel(client_, "StaticText1", QRect(20, 25, 80, 50), "Comm Port", Centred,
                   PixelFont(21, true), Bevel::None)
        ->setAutoFillBackground(false);

    Register(Element::StaticTextCommsStatus,
             MakeLabel(client_, QRect(10, 100, 100, 20), Centred, PixelFont(13), Bevel::Sunken));

    comboBox_ = new QComboBox(client_);
    comboBox_->setGeometry(10, 130, 101, 21);
    comboBox_->setEditable(true);
    comboBox_->setInsertPolicy(QComboBox::NoInsert);
    comboBox_->setMaxVisibleItems(8);
    QStringList ports;
    for (int port = 1; port <= 40; ++port) {
        ports << (port < 10 ? QStringLiteral("COM %1") : QStringLiteral("COM%1")).arg(port);
    }
    comboBox_->addItems(ports);
    comboBox_->setCurrentIndex(-1);
    comboBox_->setEditText(QStringLiteral("Select Port"));
    Register(Element::ComboBoxCommsSelect, comboBox_);
    comboBox_->lineEdit()->setProperty(ElementProperty,
                                       static_cast<int>(Element::ComboBoxCommsSelect));
    connect(comboBox_, &QComboBox::editTextChanged, this,
            &TFormDashboard::ComboBoxCommsSelectChange);
    connect(comboBox_, &QComboBox::activated, this, &TFormDashboard::ComboBoxCommsSelectClick);
    comboBox_->installEventFilter(this);
    comboBox_->lineEdit()->installEventFilter(this);

    Register(Element::Label1, MakeLabel(client_, QRect(10, 160, 91, 21), Centred, font(),
                                        Bevel::None));
    const std::array<std::tuple<Element, QRect, void (TFormDashboard::*)()>, 3> debugButtons{{
        {Element::ButtonDebug03, QRect(10, 190, 91, 25), &TFormDashboard::ButtonDebug03Click},
        {Element::ButtonDebug04, QRect(10, 220, 91, 25), &TFormDashboard::ButtonDebug04Click},
        {Element::ButtonDebug02, QRect(10, 250, 91, 21), &TFormDashboard::ButtonDebug02Click},
    }};
    for (const auto& [element, place, handler] : debugButtons) {
        QPushButton* button = MakeButton(client_, place, font());
        Register(element, button);
        connect(button, &QPushButton::clicked, this, handler);
        button->installEventFilter(this);
    }

    MakeFixedLabel(client_, "StaticText2", QRect(10, 270, 100, 55), "S/W Version", Centred,
                   PixelFont(21, true), Bevel::Soft);
    Register(Element::StaticTextSoftwareVersion,
             MakeLabel(client_, QRect(10, 332, 101, 25), RightAligned, PixelFont(16, true),
                       Bevel::None));
    MakeFixedLabel(client_, "StaticText3", QRect(10, 370, 100, 55), "Trim Mode", Centred,
                   PixelFont(21, true), Bevel::None)
        ->hide();

    const std::array<std::tuple<Element, QRect, void (TFormDashboard::*)()>, 2> modeButtons{{
        {Element::BitBtnModeEnhanced, QRect(10, 430, 100, 30),
         &TFormDashboard::BitBtnModeEnhancedClick},
        {Element::BitBtnModeLegacy, QRect(10, 460, 100, 30),
         &TFormDashboard::BitBtnModeLegacyClick},
    }};
    for (const auto& [element, place, handler] : modeButtons) {
        QPushButton* button = MakeButton(client_, place, PixelFont(16, true));
        button->setToolTip(QStringLiteral("Select the trim mode to use"));
        button->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
        Register(element, button);
        connect(button, &QPushButton::clicked, this, handler);
        button->installEventFilter(this);
    }
}

void TFormDashboard::CreateBottomRow() {
    const std::array<std::tuple<Element, QRect, void (TFormDashboard::*)()>, 2> left{{
        {Element::ButtonDebug01, QRect(210, 530, 61, 21), &TFormDashboard::ButtonDebug01Click},
        {Element::ButtonDebugShow, QRect(290, 530, 61, 21), &TFormDashboard::ButtonDebugShowClick},
    }};
    for (const auto& [element, place, handler] : left) {
        QPushButton* button = MakeButton(client_, place, font());
        Register(element, button);
        connect(button, &QPushButton::clicked, this, handler);
        button->installEventFilter(this);
    }

    memo_ = new QPlainTextEdit(client_);
    memo_->setGeometry(390, 410, 231, 141);
    memo_->setReadOnly(true);
    memo_->setMaximumBlockCount(static_cast<int>(DashboardDisplay::MemoLineLimit));
    Register(Element::MemoDebug, memo_);
    memo_->installEventFilter(this);

    QPushButton* clear = MakeButton(client_, QRect(630, 530, 61, 21), font());
    Register(Element::ButtonDebugClear, clear);
    connect(clear, &QPushButton::clicked, this, &TFormDashboard::ButtonDebugClearClick);
    clear->installEventFilter(this);

    Register(Element::StaticTextNotification,
             MakeLabel(client_, QRect(720, 530, 500, 60), Centred, PixelFont(43, true),
                       Bevel::Soft));
}

void TFormDashboard::CreateMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    QAction* open = file->addAction(QStringLiteral("&1. Open..."));
    open->setObjectName(QStringLiteral("Open1"));
    connect(open, &QAction::triggered, this, &TFormDashboard::Open1Click);
    QAction* saveAs = file->addAction(QStringLiteral("&2. Save As..."));
    saveAs->setObjectName(QStringLiteral("SaveAs1"));
    connect(saveAs, &QAction::triggered, this, &TFormDashboard::SaveAs1Click);
    file->addSeparator()->setObjectName(QStringLiteral("N1"));
    QAction* exit = file->addAction(QStringLiteral("&9. Exit"));
    exit->setObjectName(QStringLiteral("Exit1"));
    connect(exit, &QAction::triggered, this, &TFormDashboard::Exit1Click);

    QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("Help1"));
    QAction* about = help->addAction(QStringLiteral("&1. About"));
    about->setObjectName(QStringLiteral("N2About1"));
    connect(about, &QAction::triggered, this, &TFormDashboard::N2About1Click);
    // The layout's third, empty entry carries nothing and is left out.
}

void TFormDashboard::CreateTimers() {
    commsTimer_ = MakeTimer(this, "Comms_Timer", 1);
    connect(commsTimer_, &QTimer::timeout, this, &TFormDashboard::Comms_TimerTimer);
    // Queued, so the tick runs outside the timer's own event: when it shows the configuration
    // error dialog, further ticks of both timers keep arriving inside the dialog.
    sysUpdateTimer_ = MakeTimer(this, "TimerSysUpdate", 10);
    connect(sysUpdateTimer_, &QTimer::timeout, this, &TFormDashboard::TimerSysUpdateTimer,
            Qt::QueuedConnection);
}

void TFormDashboard::Create(Core& core, const DashboardInfo& info) {
    info_ = &info;
    logic_ = std::make_unique<DashboardLogic>(display_, core, static_cast<WindowHost&>(*this));
    fileMenu_ = std::make_unique<FileMenu>(display_, core, info,
                                           static_cast<FileMenuHost&>(*this));
    logic_->FormCreate();
    RenderDisplay();
    commsTimer_->start();
    sysUpdateTimer_->start();
}

void TFormDashboard::SetDialogs(TAboutBox_KestrovaInterface* about,
                                TFormFirmwareUpdateDialog* firmware,
                                TFormVersionErrorDlg* versionError) {
    about_ = about;
    firmware_ = firmware;
    versionError_ = versionError;
    if (versionError_) versionError_->SetClosedHandler([this] { ConfigErrorDialogClosed(); });
}

void TFormDashboard::SetPrompts(Prompts* prompts) { prompts_ = prompts; }

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
}

void TFormDashboard::ReportError(std::string_view message) {
    if (errorBoxQueued_ || errorBoxOpen_) {
        ++errorsDropped_;
        std::fprintf(stderr, "Kestrova Interface: %.*s\n", static_cast<int>(message.size()),
                     message.data());
        return;
    }
    errorBoxQueued_ = true;
    QMetaObject::invokeMethod(
        this, [this, text = std::string(message)] { ShowErrorBox(text); }, Qt::QueuedConnection);
}

void TFormDashboard::ShowErrorBox(const std::string& message) {
    errorBoxQueued_ = false;
    errorBoxOpen_ = true;
    ++errorBoxesShown_;
    ActivePrompts().ErrorBox(message);
    errorBoxOpen_ = false;
}

// ---------------------------------------------------------------------------------------------
// Handlers

#define KESTROVA_FORWARD(handler) \
    void TFormDashboard::handler() { Guard([this] { logic_->handler(); }); }

KESTROVA_FORWARD(ButtonPanClick)
KESTROVA_FORWARD(ButtonTiltClick)
KESTROVA_FORWARD(ButtonRollClick)
KESTROVA_FORWARD(TrackBarPan_PosAdjustEnter)
KESTROVA_FORWARD(TrackBarPan_NegAdjustEnter)
KESTROVA_FORWARD(TrackBarTiltPosAdjustEnter)
KESTROVA_FORWARD(TrackBarTiltNegAdjustEnter)
KESTROVA_FORWARD(TrackBarRollPosAdjustEnter)
KESTROVA_FORWARD(TrackBarRollNegAdjustEnter)
KESTROVA_FORWARD(SpeedButtonPan_PosValueIncClick)
KESTROVA_FORWARD(SpeedButtonPan_PosValueDecClick)
KESTROVA_FORWARD(SpeedButtonPan_NegValueIncClick)
KESTROVA_FORWARD(SpeedButtonPan_NegValueDecClick)
KESTROVA_FORWARD(SpeedButtonTiltPosValueIncClick)
KESTROVA_FORWARD(SpeedButtonTiltPosValueDecClick)
KESTROVA_FORWARD(SpeedButtonTiltNegValueIncClick)
KESTROVA_FORWARD(SpeedButtonTiltNegValueDecClick)
KESTROVA_FORWARD(SpeedButtonRollPosValueIncClick)
KESTROVA_FORWARD(SpeedButtonRollPosValueDecClick)
KESTROVA_FORWARD(SpeedButtonRollNegValueIncClick)
KESTROVA_FORWARD(SpeedButtonRollNegValueDecClick)
KESTROVA_FORWARD(BitBtnModeEnhancedClick)
KESTROVA_FORWARD(BitBtnModeLegacyClick)
KESTROVA_FORWARD(ComboBoxCommsSelectClick)
KESTROVA_FORWARD(ButtonDebug01Click)
KESTROVA_FORWARD(ButtonDebug02Click)
KESTROVA_FORWARD(ButtonDebug03Click)
KESTROVA_FORWARD(ButtonDebug04Click)
KESTROVA_FORWARD(ButtonDebugShowClick)
KESTROVA_FORWARD(ButtonDebugClearClick)
KESTROVA_FORWARD(Exit1Click)
KESTROVA_FORWARD(Comms_TimerTimer)
KESTROVA_FORWARD(TimerSysUpdateTimer)
KESTROVA_FORWARD(ConfigErrorDialogClosed)

#undef KESTROVA_FORWARD

#define KESTROVA_TRACK_BAR_MOVED(handler, bar)                                               \
    void TFormDashboard::handler(int position) {                                             \
        Guard([this, position] { logic_->UserMovedTrackBar(Element::bar, position); });      \
    }

KESTROVA_TRACK_BAR_MOVED(TrackBarPan_PosAdjustChange, TrackBarPan_PosAdjust)
KESTROVA_TRACK_BAR_MOVED(TrackBarPan_NegAdjustChange, TrackBarPan_NegAdjust)
KESTROVA_TRACK_BAR_MOVED(TrackBarTiltPosAdjustChange, TrackBarTiltPosAdjust)
KESTROVA_TRACK_BAR_MOVED(TrackBarTiltNegAdjustChange, TrackBarTiltNegAdjust)
KESTROVA_TRACK_BAR_MOVED(TrackBarRollPosAdjustChange, TrackBarRollPosAdjust)
KESTROVA_TRACK_BAR_MOVED(TrackBarRollNegAdjustChange, TrackBarRollNegAdjust)

#undef KESTROVA_TRACK_BAR_MOVED

void TFormDashboard::ComboBoxCommsSelectChange(const QString& text) {
    const int index = comboBox_->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    Guard([this, index] { logic_->ComboBoxCommsSelectChange(index); });
}

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
        ShowErrorBox(error.what());
    } catch (...) {
        ShowErrorBox({});
    }
}

void TFormDashboard::closeEvent(QCloseEvent* event) {
    FormClose();
    commsTimer_->stop();
    sysUpdateTimer_->stop();
    event->accept();
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

// ---------------------------------------------------------------------------------------------
// Drawing the display state

void TFormDashboard::RenderDisplay() {
    // Drawing can move the platform's focus (a focused control being hidden); such moves are not
    // the operator's and are not reported.
    if (applyingFocus_) return;
    // Every change of the display state (memo lines and focus included) raises its revision.
    if (drawnOnce_ && display_.Revision() == drawnRevision_) return;
    applyingFocus_ = true;
    for (int pass = 0; pass < 4; ++pass) {
        const std::uint64_t revision = display_.Revision();
        for (std::size_t i = 0; i < ElementCount; ++i) {
            const auto element = static_cast<Element>(i);
            const ElementState& state = display_.State(element);
            if (drawnOnce_ && state.revision == shown_[i].revision) continue;
            ApplyElement(element, state, shown_[i], !drawnOnce_);
            shown_[i] = state;
        }
        drawnOnce_ = true;
        RenderMemo();
        RenderFocus();
        drawnRevision_ = revision;
        if (display_.Revision() == revision) break;
    }
    applyingFocus_ = false;
}

void TFormDashboard::ApplyElement(Element element, const ElementState& state,
                                  const ElementState& shown, bool all) {
    QWidget* widget = controls_[Index(element)];
    if (!widget) return;
    const bool captionChanged = all || state.caption != shown.caption;
    const bool coloursChanged =
        all || state.background != shown.background || state.fontColour != shown.fontColour;
    const QColor background = ToQColor(state.background, palette());
    const QColor text = ToQColor(state.fontColour, palette());

    switch (KindOf(element)) {
        case ElementKind::StaticText: {
            auto* label = static_cast<QLabel*>(widget);
            if (captionChanged) label->setText(Text(state.caption));
            if (coloursChanged) {
                SetColours(label, QPalette::Window, background, QPalette::WindowText, text);
            }
            break;
        }
        case ElementKind::PushButton: {
            auto* button = static_cast<QPushButton*>(widget);
            if (captionChanged) button->setText(Text(state.caption));
            if (coloursChanged) {
                SetColours(button, QPalette::Button, background, QPalette::ButtonText, text);
            }
            break;
        }
        case ElementKind::TrackBar: {
            auto* bar = static_cast<TrackBar*>(widget);
            const QSignalBlocker block(bar);
            bar->setRange(state.minimum, state.maximum);
            bar->setValue(state.position);
            bar->setTickInterval(state.tickSpacing);
            bar->SetSliderShown(state.sliderShown);
            break;
        }
        case ElementKind::ComboBox: {
            if (captionChanged) {
                const QSignalBlocker block(comboBox_);
                comboBox_->setEditText(Text(state.caption));
            }
            if (coloursChanged) {
                SetColours(comboBox_, QPalette::Base, background, QPalette::Text, text);
            }
            break;
        }
        case ElementKind::Memo:
            if (coloursChanged) SetColours(memo_, QPalette::Base, background, QPalette::Text, text);
            break;
        case ElementKind::StepButton:
        case ElementKind::StepIcon:
            break;
    }

    if (state.placed && (all || !shown.placed || state.left != shown.left ||
                         state.top != shown.top)) {
        widget->move(state.left, state.top);
    }
    if (all || state.enabled != shown.enabled) widget->setEnabled(state.enabled);
    if (all || state.visible != shown.visible) {
        widget->setVisible(state.visible);
        // A shown banner lies over everything else.
        if (state.visible && state.placed) widget->raise();
    }
}

// Appends only the lines added since the last look; rebuilds after a clear, or when more lines
// came than the memo keeps. A hidden memo is brought up to date when it is shown.
void TFormDashboard::RenderMemo() {
    if (!display_.State(Element::MemoDebug).visible) {
        memoInStep_ = false;
        return;
    }
    const auto& lines = display_.MemoLines();
    const std::uint64_t added = display_.MemoLinesAdded();
    const std::uint64_t clears = display_.MemoClears();
    if (memoInStep_ && clears == memoClearsShown_ && added == memoLinesShown_) return;

    const std::uint64_t fresh = added - memoLinesShown_;
    if (!memoInStep_ || clears != memoClearsShown_ || fresh > lines.size()) {
        QStringList all;
        all.reserve(static_cast<qsizetype>(lines.size()));
        for (const std::string& line : lines) all << Text(line);
        memo_->setPlainText(all.join(QLatin1Char('\n')));
    } else {
        for (std::size_t i = lines.size() - static_cast<std::size_t>(fresh); i < lines.size(); ++i) {
            memo_->appendPlainText(Text(lines[i]));
        }
    }
    memoInStep_ = true;
    memoLinesShown_ = added;
    memoClearsShown_ = clears;
}

void TFormDashboard::RenderFocus() {
    const Element focus = display_.Focus();
    if (focus == drawnFocus_) return;
    drawnFocus_ = focus;
    QWidget* widget = Control(focus);
    if (widget && widget->focusPolicy() != Qt::NoFocus) widget->setFocus(Qt::OtherFocusReason);
}

}  // namespace kestrova
