#include "ui/qt/form_dashboard.h"

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

#include "ui/qt/widgets.h"

// The dashboard's controls: created, placed and registered with their elements. How they are
// drawn and how their input reaches the window logic is decided elsewhere.
namespace kestrova {

namespace {

constexpr Qt::Alignment Centred = Qt::AlignCenter;
constexpr Qt::Alignment RightAligned = Qt::AlignRight | Qt::AlignVCenter;

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

}  // namespace

void TFormDashboard::Register(Element element, QWidget* widget) {
    controls_[Index(element)] = widget;
    widget->setObjectName(ToQString(ElementName(element)));
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
    const std::size_t a = AxisIndex(axis);
    auto place = [dx](const QRect& pan) { return pan.translated(dx, 0); };
    auto element = [axis](AxisRole role) { return AxisElement(axis, role); };

    auto* bevel = new QFrame(client_);
    bevel->setObjectName(QString::fromLatin1(BevelNames[a]));
    bevel->setGeometry(place(BevelPlace));
    bevel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bevel->setLineWidth(1);

    QPushButton* axisButton = MakeButton(client_, place(AxisButtonPlace), PixelFont(27, true));
    Register(element(AxisRole::AxisButton), axisButton);

    for (AxisRole role : {AxisRole::AxisLabel, AxisRole::StatusText}) {
        const bool isLabel = role == AxisRole::AxisLabel;
        ClickableLabel* label =
            MakeLabel(client_, place(isLabel ? AxisLabelPlace : StatusPlace), Centred,
                      isLabel ? PixelFont(32, true) : PixelFont(13), Bevel::None);
        Register(element(role), label);
    }

    // One adjust side: step up, its icon, the track bar, step down, its icon, the caption, the
    // value text and its zero overlay.
    auto makeSide = [&](bool positive) {
        const AxisRole stepUp = positive ? AxisRole::PosStepUp : AxisRole::NegStepUp;
        const AxisRole upIcon = positive ? AxisRole::PosUpIcon : AxisRole::NegUpIcon;
        const AxisRole bar = positive ? AxisRole::PosTrackBar : AxisRole::NegTrackBar;
        const AxisRole stepDown = positive ? AxisRole::PosStepDown : AxisRole::NegStepDown;
        const AxisRole downIcon = positive ? AxisRole::PosDownIcon : AxisRole::NegDownIcon;

        auto glyph = [&](AxisRole role, const QRect& pan, Qt::ArrowType arrow, const char* tip) {
            QToolButton* button = MakeGlyphButton(client_, arrow);
            button->setGeometry(place(pan));
            button->setToolTip(QString::fromLatin1(tip));
            Register(element(role), button);
        };
        const QRect upPlace = positive ? PosStepUpPlace : NegStepUpPlace;
        const QRect downPlace = positive ? PosStepDownPlace : NegStepDownPlace;
        glyph(stepUp, upPlace, Qt::UpArrow, "Press to Increment");
        glyph(upIcon, upPlace, Qt::UpArrow, "Press to Increment");

        auto* trackBar = new TrackBar(client_);
        trackBar->setGeometry(place(positive ? PosTrackBarPlace : NegTrackBarPlace));
        Register(element(bar), trackBar);

        glyph(stepDown, downPlace, Qt::DownArrow, "Press to Decrement");
        glyph(downIcon, downPlace, Qt::DownArrow, "Press to Decrement");

        const QFont bold16 = PixelFont(16, true);
        for (AxisRole role : positive ? std::array{AxisRole::PosCaption, AxisRole::PosValueText,
                                                   AxisRole::PosZeroOverlay}
                                      : std::array{AxisRole::NegCaption, AxisRole::NegValueText,
                                                   AxisRole::NegZeroOverlay}) {
            const bool caption = role == AxisRole::PosCaption || role == AxisRole::NegCaption;
            const QRect pan = caption ? (positive ? PosCaptionPlace : NegCaptionPlace)
                                      : (positive ? PosValuePlace : NegValuePlace);
            ClickableLabel* label =
                MakeLabel(client_, place(pan), RightAligned, bold16, Bevel::Soft);
            Register(element(role), label);
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
            Register(label,
                     MakeLabel(client_, QRect(at, QSize(60, 20)), Centred, font(), Bevel::None));
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

    Register(Element::Label1,
             MakeLabel(client_, QRect(10, 160, 91, 21), Centred, font(), Bevel::None));
    const std::array<std::pair<Element, QRect>, 3> debugButtons{{
        {Element::ButtonDebug03, QRect(10, 190, 91, 25)},
        {Element::ButtonDebug04, QRect(10, 220, 91, 25)},
        {Element::ButtonDebug02, QRect(10, 250, 91, 21)},
    }};
    for (const auto& [element, place] : debugButtons) {
        Register(element, MakeButton(client_, place, font()));
    }

    MakeFixedLabel(client_, "StaticText2", QRect(10, 270, 100, 55), "S/W Version", Centred,
                   PixelFont(21, true), Bevel::Soft);
    Register(Element::StaticTextSoftwareVersion,
             MakeLabel(client_, QRect(10, 332, 101, 25), RightAligned, PixelFont(16, true),
                       Bevel::None));
    MakeFixedLabel(client_, "StaticText3", QRect(10, 370, 100, 55), "Trim Mode", Centred,
                   PixelFont(21, true), Bevel::None)
        ->hide();

    const std::array<std::pair<Element, QRect>, 2> modeButtons{{
        {Element::BitBtnModeEnhanced, QRect(10, 430, 100, 30)},
        {Element::BitBtnModeLegacy, QRect(10, 460, 100, 30)},
    }};
    for (const auto& [element, place] : modeButtons) {
        QPushButton* button = MakeButton(client_, place, PixelFont(16, true));
        button->setToolTip(QStringLiteral("Select the trim mode to use"));
        button->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
        Register(element, button);
    }
}

void TFormDashboard::CreateBottomRow() {
    const std::array<std::pair<Element, QRect>, 2> left{{
        {Element::ButtonDebug01, QRect(210, 530, 61, 21)},
        {Element::ButtonDebugShow, QRect(290, 530, 61, 21)},
    }};
    for (const auto& [element, place] : left) {
        Register(element, MakeButton(client_, place, font()));
    }

    memo_ = new QPlainTextEdit(client_);
    memo_->setGeometry(390, 410, 231, 141);
    memo_->setReadOnly(true);
    memo_->setMaximumBlockCount(static_cast<int>(DashboardDisplay::MemoLineLimit));
    Register(Element::MemoDebug, memo_);

    Register(Element::ButtonDebugClear, MakeButton(client_, QRect(630, 530, 61, 21), font()));

    Register(Element::StaticTextNotification, MakeLabel(client_, QRect(720, 530, 500, 60), Centred,
                                                        PixelFont(43, true), Bevel::Soft));
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
    connect(exit, &QAction::triggered, this, [this] { Run(&DashboardLogic::Exit1Click); });

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("View1"));
    QAction* statistics = view->addAction(QStringLiteral("Link Statistics..."));
    statistics->setObjectName(QStringLiteral("LinkStatistics1"));
    connect(statistics, &QAction::triggered, this, &TFormDashboard::LinkStatistics1Click);
    QAction* trend = view->addAction(QStringLiteral("Trend..."));
    trend->setObjectName(QStringLiteral("Trend1"));
    connect(trend, &QAction::triggered, this, &TFormDashboard::Trend1Click);
    QAction* trace = view->addAction(QStringLiteral("Save Protocol Trace..."));
    trace->setObjectName(QStringLiteral("SaveProtocolTrace1"));
    connect(trace, &QAction::triggered, this, &TFormDashboard::SaveProtocolTrace1Click);

    QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("Help1"));
    QAction* about = help->addAction(QStringLiteral("&1. About"));
    about->setObjectName(QStringLiteral("N2About1"));
    connect(about, &QAction::triggered, this, &TFormDashboard::N2About1Click);
    // The layout's third, empty entry carries nothing and is left out.
}

}  // namespace kestrova
