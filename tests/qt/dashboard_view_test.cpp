// The dashboard window as the operator sees it: its controls, their places and looks.
#include <QAction>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTextDocument>
#include <QToolButton>

#include "qt_fixture.h"
#include "ui/qt/widgets.h"

namespace kestrova::test {
namespace {

QColor Background(QWidget* widget) {
    if (qobject_cast<QPushButton*>(widget)) return widget->palette().color(QPalette::Button);
    return widget->palette().color(QPalette::Window);
}
QColor TextColour(QWidget* widget) {
    if (qobject_cast<QPushButton*>(widget)) return widget->palette().color(QPalette::ButtonText);
    return widget->palette().color(QPalette::WindowText);
}
// What a tooltip shows: Qt draws one that looks like markup as rich text.
QString ShownTip(const QString& tip) {
    if (!Qt::mightBeRichText(tip)) return tip;
    QTextDocument document;
    document.setHtml(tip);
    return document.toPlainText();
}
QString Caption(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
    return {};
}

using DashboardLayout = DashboardFixture;

TEST_F(DashboardLayout, EveryElementIsAControlNamedAfterIt) {
    for (std::size_t i = 0; i < ElementCount; ++i) {
        const auto element = static_cast<Element>(i);
        QWidget* control = form.Control(element);
        ASSERT_NE(control, nullptr) << ElementName(element);
        EXPECT_EQ(control->objectName().toStdString(), ElementName(element));
        EXPECT_EQ(Find(std::string(ElementName(element)).c_str()), control);
    }
    EXPECT_EQ(form.objectName(), "FormDashboard");
    EXPECT_EQ(form.windowTitle(), "Tessaline Kestrova Wheels Software");
    EXPECT_EQ(form.size(), QSize(1000, 600));  // no window frame on this platform
    EXPECT_EQ(form.font().pixelSize(), 11);
    EXPECT_EQ(form.font().family(), DashboardFontFamily());
}

TEST_F(DashboardLayout, AxisColumnsLieAtTheirPlacesWithTheirLooks) {
    struct Place {
        const char* pan;
        const char* tilt;
        const char* roll;
        QRect rect;
    };
    const std::vector<Place> places{
        {"Bevel1", "Bevel2", "Bevel3", {125, 5, 275, 515}},
        {"ButtonPan", "ButtonTilt", "ButtonRoll", {140, 20, 140, 70}},
        {"StaticTextPan_Label", "StaticTextTiltLabel", "StaticTextRollLabel", {145, 25, 130, 40}},
        {"StaticTextPan_Status",
         "StaticTextTiltStatus",
         "StaticTextRollStatus",
         {145, 65, 130, 20}},
        {"SpeedButtonPan_PosValueInc",
         "SpeedButtonTiltPosValueInc",
         "SpeedButtonRollPosValueInc",
         {340, 10, 40, 40}},
        {"SpeedButtonPan_PosIncIcon",
         "SpeedButtonTiltPosIncIcon",
         "SpeedButtonRollPosIncIcon",
         {340, 10, 40, 40}},
        {"TrackBarPan_PosAdjust",
         "TrackBarTiltPosAdjust",
         "TrackBarRollPosAdjust",
         {339, 50, 41, 160}},
        {"SpeedButtonPan_PosValueDec",
         "SpeedButtonTiltPosValueDec",
         "SpeedButtonRollPosValueDec",
         {340, 210, 40, 40}},
        {"StaticTextPan_PosValue_Label",
         "StaticTextTiltPosValue_Label",
         "StaticTextRollPosValue_Label",
         {130, 120, 125, 25}},
        {"StaticTextPan_PosValue",
         "StaticTextTiltPosValue",
         "StaticTextRollPosValue",
         {260, 120, 70, 25}},
        {"StaticTextPan_PosValueZero",
         "StaticTextTiltPosValueZero",
         "StaticTextRollPosValueZero",
         {260, 120, 70, 25}},
        {"StaticTextPan_Value_Label",
         "StaticTextTiltValue_Label",
         "StaticTextRollValue_Label",
         {130, 242, 125, 25}},
        {"StaticTextPan_Value", "StaticTextTiltValue", "StaticTextRollValue", {260, 242, 70, 25}},
        {"StaticTextPan_NeutralValue",
         "StaticTextTiltNeutralValue",
         "StaticTextRollNeutralValue",
         {260, 272, 70, 25}},
        {"SpeedButtonPan_NegValueInc",
         "SpeedButtonTiltNegValueInc",
         "SpeedButtonRollNegValueInc",
         {340, 260, 40, 40}},
        {"TrackBarPan_NegAdjust",
         "TrackBarTiltNegAdjust",
         "TrackBarRollNegAdjust",
         {340, 300, 41, 160}},
        {"SpeedButtonPan_NegDecIcon",
         "SpeedButtonTiltNegDecIcon",
         "SpeedButtonRollNegDecIcon",
         {340, 460, 40, 40}},
        {"StaticTextPan_NegValue_Label",
         "StaticTextTiltNegValue_Label",
         "StaticTextRollNegValue_Label",
         {130, 370, 125, 25}},
        {"StaticTextPan_NegValueZero",
         "StaticTextTiltNegValueZero",
         "StaticTextRollNegValueZero",
         {260, 370, 70, 25}},
    };
    for (const Place& place : places) {
        int dx = 0;
        for (const char* name : {place.pan, place.tilt, place.roll}) {
            QWidget* control = Find(name);
            ASSERT_NE(control, nullptr) << name;
            EXPECT_EQ(control->geometry(), place.rect.translated(dx, 0)) << name;
            dx += 290;
        }
    }

    auto* label = Find<QLabel>("StaticTextTiltLabel");
    EXPECT_EQ(label->text(), "TILT");
    EXPECT_EQ(label->font().pixelSize(), 32);
    EXPECT_TRUE(label->font().bold());
    EXPECT_EQ(label->alignment(), Qt::AlignCenter);
    EXPECT_EQ(Background(label), QColor(0, 255, 0));
    EXPECT_EQ(Find<QLabel>("StaticTextRollStatus")->text(), "Normal Mode");
    EXPECT_EQ(Find<QLabel>("StaticTextRollStatus")->font().pixelSize(), 13);
    EXPECT_EQ(Find<QPushButton>("ButtonPan")->text(), " ");
    EXPECT_EQ(Find<QPushButton>("ButtonPan")->font().pixelSize(), 27);
    auto* caption = Find<QLabel>("StaticTextPan_NegValue_Label");
    EXPECT_EQ(caption->text(), "Pan Negative ");
    EXPECT_EQ(caption->alignment(), Qt::AlignRight | Qt::AlignVCenter);
    EXPECT_NE(caption->frameShape(), QFrame::NoFrame);
    EXPECT_EQ(Find<QLabel>("StaticTextRollValue_Label")->text(), "Roll Output ");
    auto* output = Find<QLabel>("StaticTextTiltValue");
    EXPECT_EQ(output->text(), "####0");
    EXPECT_EQ(Background(output), QColor(0, 0, 0));
    EXPECT_EQ(TextColour(output), QColor(0, 255, 0));
    EXPECT_EQ(Background(Find("StaticTextPan_PosValue")), form.palette().color(QPalette::Button));
    EXPECT_EQ(Find<QLabel>("StaticTextPan_PosValueZero")->text(), "0");

    // Looks that start hidden or disabled.
    EXPECT_TRUE(Find("StaticTextPan_NeutralValue")->isHidden());
    EXPECT_TRUE(Find("Label2")->isHidden());
    EXPECT_EQ(Find("Label5")->geometry(), QRect(270, 440, 60, 20));
    EXPECT_FALSE(Find("SpeedButtonTiltNegValueDec")->isEnabled());
    EXPECT_TRUE(Find("SpeedButtonTiltNegDecIcon")->isEnabled());
    auto* step = Find<QToolButton>("SpeedButtonRollPosValueInc");
    EXPECT_TRUE(step->autoRaise());
    EXPECT_EQ(step->arrowType(), Qt::UpArrow);
    EXPECT_EQ(step->toolTip(), "Press to Increment");
    EXPECT_EQ(Find<QToolButton>("SpeedButtonPan_NegDecIcon")->arrowType(), Qt::DownArrow);
    EXPECT_EQ(Find<QToolButton>("SpeedButtonPan_NegDecIcon")->toolTip(), "Press to Decrement");
}

TEST_F(DashboardLayout, TrackBarsStandWithTheMinimumAtTheTop) {
    auto* positive = Find<TrackBar>("TrackBarPan_PosAdjust");
    auto* negative = Find<TrackBar>("TrackBarRollNegAdjust");
    ASSERT_NE(positive, nullptr);
    ASSERT_NE(negative, nullptr);
    EXPECT_EQ(positive->orientation(), Qt::Vertical);
    EXPECT_TRUE(positive->invertedAppearance());
    EXPECT_EQ(positive->tickPosition(), QSlider::TicksBothSides);
    EXPECT_EQ(positive->tickInterval(), 100);
    EXPECT_EQ(positive->singleStep(), 1);
    EXPECT_EQ(positive->pageStep(), 10);
    EXPECT_EQ(positive->minimum(), 0);
    EXPECT_EQ(positive->maximum(), 200);
    EXPECT_EQ(positive->value(), 200);
    EXPECT_EQ(negative->minimum(), -200);
    EXPECT_EQ(negative->maximum(), 0);
    EXPECT_EQ(negative->value(), 0);
    EXPECT_TRUE(positive->SliderShown());

    // The minimum is drawn at the top: its handle lies above the maximum's.
    QStyleOptionSlider option;
    option.initFrom(positive);
    option.orientation = Qt::Vertical;
    option.minimum = 0;
    option.maximum = 200;
    option.upsideDown = !positive->invertedAppearance();
    option.sliderPosition = 0;
    const int top =
        positive->style()
            ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, positive)
            .top();
    option.sliderPosition = 200;
    const int bottom =
        positive->style()
            ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, positive)
            .top();
    EXPECT_LT(top, bottom);

    // "ModeSelect" and the axis looks reach the bars.
    Show("ModeSelect", Enhanced);
    EXPECT_EQ(positive->tickInterval(), 20);
    Show("Pan_ModeSelect", Normal);
    EXPECT_FALSE(positive->SliderShown());
    Show("Pan_PosAdjustValueMax", "15352");
    EXPECT_EQ(positive->maximum(), 15352);
}

// The positive bars stand upside down, so a groove filled up to the handle would grow as the
// value shrinks; the groove looks the same at every position.
TEST_F(DashboardLayout, TrackBarGroovesShowNoFillThatFollowsThePosition) {
    auto* bar = Find<TrackBar>("TrackBarTiltPosAdjust");
    Show("TiltModeSelect", Normal);  // the slider hidden: only the groove and the ticks drawn
    const auto drawnWith = [&](const char* value) {
        Show("TiltPosAdjustValue", value);
        return bar->grab().toImage();
    };
    const QImage atZero = drawnWith("0");
    EXPECT_EQ(bar->value(), 200);
    EXPECT_TRUE(drawnWith("100") == atZero);
    EXPECT_TRUE(drawnWith("200") == atZero);
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(DashboardLayout, LeftColumnBottomRowMenusAndTimers) {
    const std::vector<std::pair<const char*, QRect>> places{
        {"Button1", {10, 20, 100, 70}},
        {"StaticText1", {20, 25, 80, 50}},
        {"StaticTextCommsStatus", {10, 100, 100, 20}},
        {"ComboBoxCommsSelect", {10, 130, 101, 21}},
        {"Label1", {10, 160, 91, 21}},
        {"ButtonDebug03", {10, 190, 91, 25}},
        {"ButtonDebug04", {10, 220, 91, 25}},
        {"ButtonDebug02", {10, 250, 91, 21}},
        {"StaticText2", {10, 270, 100, 55}},
        {"StaticTextSoftwareVersion", {10, 332, 101, 25}},
        {"StaticText3", {10, 370, 100, 55}},
        {"BitBtnModeEnhanced", {10, 430, 100, 30}},
        {"BitBtnModeLegacy", {10, 460, 100, 30}},
        {"ButtonDebug01", {210, 530, 61, 21}},
        {"ButtonDebugShow", {290, 530, 61, 21}},
        {"MemoDebug", {390, 410, 231, 141}},
        {"ButtonDebugClear", {630, 530, 61, 21}},
        {"StaticTextNotification", {720, 530, 500, 60}},
    };
    for (const auto& [name, rect] : places) {
        QWidget* control = Find(name);
        ASSERT_NE(control, nullptr) << name;
        EXPECT_EQ(control->geometry(), rect) << name;
    }
    EXPECT_FALSE(Find("Button1")->isEnabled());
    EXPECT_EQ(Caption(Find("StaticText1")), "Comm Port");
    EXPECT_EQ(Caption(Find("StaticText2")), "S/W Version");
    EXPECT_TRUE(Find("StaticText3")->isHidden());
    auto* status = Find<QLabel>("StaticTextCommsStatus");
    EXPECT_EQ(status->text(), ToQString(NoCommsCaption));
    EXPECT_EQ(Background(status), QColor(255, 0, 0));
    EXPECT_EQ(TextColour(status), QColor(0, 0, 0));
    EXPECT_EQ(Caption(Find("ButtonDebug03")), "DB03 Pt Nmbr");
    EXPECT_EQ(Caption(Find("ButtonDebug02")), "D02-Refresh");
    EXPECT_EQ(Caption(Find("ButtonDebugClear")), "Clear Disp");
    for (const char* hidden :
         {"ButtonDebug01", "ButtonDebug02", "ButtonDebug03", "ButtonDebug04", "ButtonDebugShow",
          "ButtonDebugClear", "MemoDebug", "Label1", "StaticTextNotification", "BitBtnModeEnhanced",
          "BitBtnModeLegacy"}) {
        EXPECT_TRUE(Find(hidden)->isHidden()) << hidden;
    }
    auto* enhanced = Find<QPushButton>("BitBtnModeEnhanced");
    EXPECT_EQ(enhanced->text(), "Enhanced");
    EXPECT_EQ(TextColour(enhanced), QColor(0, 128, 0));
    EXPECT_EQ(TextColour(Find("BitBtnModeLegacy")), QColor(128, 128, 128));
    EXPECT_EQ(enhanced->toolTip(), "Select the trim mode to use");
    EXPECT_EQ(enhanced->focusPolicy(), Qt::ClickFocus);
    auto* banner = Find<QLabel>("StaticTextNotification");
    EXPECT_EQ(banner->font().pixelSize(), 43);
    EXPECT_EQ(Background(banner), form.palette().color(QPalette::Dark));
    auto* memo = Find<QPlainTextEdit>("MemoDebug");
    EXPECT_TRUE(memo->isReadOnly());

    auto* ports = Find<QComboBox>("ComboBoxCommsSelect");
    EXPECT_TRUE(ports->isEditable());
    EXPECT_EQ(ports->currentText(), "Select Port");
    EXPECT_EQ(ports->currentIndex(), -1);
    ASSERT_EQ(ports->count(), 40);
    EXPECT_EQ(ports->itemText(0), "COM 1");
    EXPECT_EQ(ports->itemText(8), "COM 9");
    EXPECT_EQ(ports->itemText(9), "COM10");
    EXPECT_EQ(ports->itemText(39), "COM40");

    QList<QAction*> menus = form.menuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), "&File");
    EXPECT_EQ(menus[1]->text(), "&View");
    EXPECT_EQ(menus[2]->text(), "Help");
    QList<QAction*> file = menus[0]->menu()->actions();
    ASSERT_EQ(file.size(), 4);
    EXPECT_EQ(file[0]->text(), "&1. Open...");
    EXPECT_EQ(file[1]->text(), "&2. Save As...");
    EXPECT_TRUE(file[2]->isSeparator());
    EXPECT_EQ(file[3]->text(), "&9. Exit");
    ASSERT_EQ(menus[2]->menu()->actions().size(), 1);
    EXPECT_EQ(menus[2]->menu()->actions()[0]->text(), "&1. About");

    EXPECT_EQ(CommsTimer()->interval(), 1);
    EXPECT_EQ(SysTimer()->interval(), 10);
    EXPECT_EQ(CommsTimer()->timerType(), Qt::PreciseTimer);
    EXPECT_EQ(SysTimer()->timerType(), Qt::PreciseTimer);
    EXPECT_EQ(core.calls, std::vector<std::string>{"CoreStart"});
}

TEST_F(DashboardLayout, IconsAndOverlaysLieOnTopUntilHidden) {
    form.show();
    auto* client = form.centralWidget();
    const QPoint stepCentre(360, 30);
    EXPECT_EQ(client->childAt(stepCentre), Find("SpeedButtonPan_PosIncIcon"));
    const QPoint valueCentre(295, 132);
    EXPECT_EQ(client->childAt(valueCentre), Find("StaticTextPan_PosValueZero"));
    Show("Pan_ModeSelect", Increment);
    Show("ModeSelect", Enhanced);
    EXPECT_EQ(client->childAt(stepCentre), Find("SpeedButtonPan_PosValueInc"));
    EXPECT_TRUE(Find("SpeedButtonPan_PosValueInc")->isEnabled());
    EXPECT_EQ(client->childAt(valueCentre), Find("StaticTextPan_PosValue"));
    EXPECT_EQ(Background(Find("StaticTextPan_PosValue")), QColor(255, 255, 0));

    Show("ShowNotification", Saved);
    auto* banner = Find<QLabel>("StaticTextNotification");
    EXPECT_FALSE(banner->isHidden());
    EXPECT_EQ(banner->geometry(), QRect(250, 220, 500, 60));
    EXPECT_EQ(banner->text(), ToQString(Saved));
    EXPECT_EQ(client->childAt(QPoint(300, 250)), banner);
}

TEST_F(DashboardLayout, TheCoresTooltipsAndMessagesAreShown) {
    // Device and file text shows its characters, markup included.
    for (const std::string port :
         {"/dev/serial/by-id/usb-FTDI_X-if00-port0 \u2014 FT232R (FTDI), present",
          "/dev/ttyUSB0 \u2014 <h1 style=\"color:green\">Restore verified</h1> &amp;, present"}) {
        Show("CommsSelectHint", "3 " + port);
        EXPECT_EQ(
            ShownTip(
                Find<QComboBox>("ComboBoxCommsSelect")->itemData(2, Qt::ToolTipRole).toString()),
            QString::fromStdString(port));
        Show("CommsStatusHint", port);
        EXPECT_EQ(ShownTip(form.Control(Element::StaticTextCommsStatus)->toolTip()),
                  QString::fromStdString(port));
    }
    EXPECT_EQ(form.Control(Element::SpeedButtonPan_PosValueInc)->toolTip(), "Press to Increment");

    // A message raised inside a handler is shown once the handler has returned.
    core.reactions[Pair("ButtonPan", OnClick)] = {{"MessageBox", "Restore interrupted"}};
    QTest::mouseClick(form.Control(Element::ButtonPan), Qt::LeftButton);
    EXPECT_TRUE(prompts.errors.empty());
    ASSERT_TRUE(WaitFor([&] { return !prompts.errors.empty(); }));
    EXPECT_EQ(prompts.errors, (std::vector<std::string>{"Restore interrupted"}));
}

TEST_F(DashboardLayout, PlacementFromTheSettingsAndBackAtExit) {
    // As the settings file places the window during start-up.
    form.SetLeft(40);
    form.SetTop(30);
    EXPECT_EQ(form.Left(), 40);
    EXPECT_EQ(form.Top(), 30);
    form.SetMaximized(true);
    EXPECT_TRUE(form.Maximized());
    EXPECT_EQ(form.Caption(), "Tessaline Kestrova Wheels Software");

    // Shown for the first time: centred (replacing the position), maximised as asked.
    form.ShowWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_TRUE(form.isMaximized());
    EXPECT_TRUE(form.Maximized());
    form.SetMaximized(false);
    EXPECT_TRUE(WaitFor([&] { return !form.isMaximized(); }));
    EXPECT_FALSE(form.Maximized());
}

TEST_F(DashboardLayout, ShownCentredOnTheScreen) {
    form.SetLeft(0);
    form.SetTop(0);
    form.ShowWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect outer = form.frameGeometry();
    EXPECT_LE(std::abs(outer.center().x() - screen.center().x()), 4);
    EXPECT_LE(std::abs(outer.center().y() - screen.center().y()), 4);
}

}  // namespace
}  // namespace kestrova::test
