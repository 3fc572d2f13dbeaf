// The dashboard window as the operator sees it: controls, places, looks, and the pairs each
// control sends.
#include <QAction>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
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
using DashboardInput = DashboardFixture;

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

TEST_F(DashboardInput, AxisControlsSendTheAxisPairOnlyWhileTheAxisIsSelectable) {
    for (const char* name : {"ButtonPan", "StaticTextPan_Label", "StaticTextPan_Status"}) {
        Click(name);
    }
    Click("StaticTextRollLabel");
    Click("ButtonTilt");
    EXPECT_EQ(TakePairs(), (std::vector<Pair>{{"ButtonPan", OnClick},
                                              {"ButtonPan", OnClick},
                                              {"ButtonPan", OnClick},
                                              {"ButtonRoll", OnClick},
                                              {"ButtonTilt", OnClick}}));

    for (const char* name : {"SpeedButtonPan_PosIncIcon", "SpeedButtonPan_PosDecIcon",
                             "StaticTextPan_PosValue_Label", "StaticTextPan_PosValueZero",
                             "SpeedButtonTiltNegIncIcon", "StaticTextRollNegValueZero"}) {
        Click(name);
    }
    EXPECT_EQ(TakePairs(), (std::vector<Pair>{{"TrackBarPan_PosAdjust", OnClick},
                                              {"TrackBarPan_PosAdjust", OnClick},
                                              {"TrackBarPan_PosAdjust", OnClick},
                                              {"TrackBarPan_PosAdjust", OnClick},
                                              {"TrackBarTiltNegAdjust", OnClick},
                                              {"TrackBarRollNegAdjust", OnClick}}));

    // Legacy mode clears the axis select flags: nothing is sent.
    Show("ModeSelect", Legacy);
    for (const char* name :
         {"ButtonPan", "StaticTextPan_Label", "StaticTextPan_Status", "SpeedButtonPan_PosIncIcon",
          "StaticTextTiltPosValueZero", "ButtonRoll"}) {
        Click(name);
    }
    EXPECT_TRUE(TakePairs().empty());

    // The step buttons have no guard; once enabled they send their pairs.
    Show("Pan_ModeSelect", Increment);
    Show("RollModeSelect", Decrement);
    Click("SpeedButtonPan_PosValueInc");
    Click("SpeedButtonPan_PosValueDec");
    Click("SpeedButtonRollNegValueInc");
    Click("SpeedButtonRollNegValueDec");
    Click("SpeedButtonPan_NegValueInc");  // disabled in this look
    EXPECT_EQ(TakePairs(), (std::vector<Pair>{{"ButtonPan_PosValueInc", OnClick},
                                              {"ButtonPan_PosValueDec", OnClick},
                                              {"ButtonRollNegValueInc", OnClick},
                                              {"ButtonRollNegValueDec", OnClick}}));

    // The mode buttons, hidden unless shown: legacy sends its four pairs whatever the flags are.
    for (Element button : {Element::BitBtnModeLegacy, Element::BitBtnModeEnhanced}) {
        form.Display().SetVisible(button, true);
    }
    form.RenderDisplay();
    Click("BitBtnModeLegacy");
    Click("BitBtnModeEnhanced");
    EXPECT_EQ(TakePairs(), (std::vector<Pair>{{"ButtonPan", OnClick},
                                              {"ButtonTilt", OnClick},
                                              {"ButtonRoll", OnClick},
                                              {"ButtonModeLegacy", OnClick},
                                              {"ButtonModeEnhanced", OnClick}}));
}

TEST_F(DashboardInput, PortListSendsTheIndexOfTheTextShown) {
    auto* ports = Find<QComboBox>("ComboBoxCommsSelect");
    ports->lineEdit()->selectAll();
    QTest::keyClicks(ports->lineEdit(), "COM 1");
    std::vector<Pair> pairs = TakePairs();
    ASSERT_FALSE(pairs.empty());
    EXPECT_EQ(pairs.back(), Pair("CommsSelect", "0"));
    EXPECT_EQ(pairs.front(), Pair("CommsSelect", "-1"));  // "C" names no port
    EXPECT_EQ(Find<QLabel>("Label1")->text(), "Changed0");

    QTest::keyClicks(ports->lineEdit(), "x");
    EXPECT_EQ(TakePairs(), (std::vector<Pair>{{"CommsSelect", "-1"}}));

    ports->setCurrentIndex(39);  // chosen from the list
    EXPECT_EQ(TakePairs(), (std::vector<Pair>{{"CommsSelect", "39"}}));
    // A lower-case name is not an item.
    ports->setEditText("com 2");
    EXPECT_EQ(TakePairs(), (std::vector<Pair>{{"CommsSelect", "-1"}}));
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

TEST_F(DashboardInput, TheCommsTimerRunsOnlyWhileTheCoreHasCommsWork) {
    EXPECT_FALSE(CommsTimer()->isActive());
    core.commsWanted = true;
    QTest::mouseClick(form.Control(Element::ButtonPan), Qt::LeftButton);
    EXPECT_TRUE(CommsTimer()->isActive());
    core.commsWanted = false;
    QTest::mouseClick(form.Control(Element::ButtonPan), Qt::LeftButton);
    EXPECT_FALSE(CommsTimer()->isActive());
}

TEST_F(DashboardInput, TrackBarsReportTheAdjustValueOnlyWithTheFocus) {
    ShowAndActivate();
    // Activating the window gives the port list the focus, which it reports.
    EXPECT_EQ(TakePairs(), (std::vector<Pair>{{"CommsSelectOpened", OnEnter}}));
    auto* positive = Find<TrackBar>("TrackBarPan_PosAdjust");
    auto* negative = Find<TrackBar>("TrackBarPan_NegAdjust");

    // Focus entering a bar is its adjust-entry pair.
    positive->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(TakePairs(), (std::vector<Pair>{{"TrackBarPan_PosAdjust", OnClick}}));
    EXPECT_EQ(form.Display().Focus(), Element::TrackBarPan_PosAdjust);

    // Up moves towards the top: position 199, value 200 - 199 + 0.
    QTest::keyClick(positive, Qt::Key_Up);
    EXPECT_EQ(positive->value(), 199);
    QTest::keyClick(positive, Qt::Key_Home);  // the top: the maximum
    QTest::keyClick(positive, Qt::Key_PageDown);
    EXPECT_EQ(TakePairs(), (std::vector<Pair>{{"TrackBarPan_PosAdjustValue", "1"},
                                              {"TrackBarPan_PosAdjustValue", "200"},
                                              {"TrackBarPan_PosAdjustValue", "190"}}));

    negative->setFocus(Qt::TabFocusReason);
    TakePairs();
    QTest::keyClick(negative, Qt::Key_Home);  // the top of the negative bar: 0
    QTest::keyClick(negative, Qt::Key_End);   // the bottom: the minimum
    EXPECT_EQ(TakePairs(), (std::vector<Pair>{{"TrackBarPan_NegAdjustValue", "0"},
                                              {"TrackBarPan_NegAdjustValue", "-200"}}));

    // A display command moving an unfocused bar is drawn, not reported.
    Show("Pan_PosAdjustValue", "150");
    EXPECT_EQ(positive->value(), 50);
    EXPECT_EQ(Find<QLabel>("StaticTextPan_PosValue")->text(), "150");
    EXPECT_TRUE(TakePairs().empty());
}

// Drawing sets a bar's range and position; only the operator's actions on it are reported, also
// while it holds the focus.
TEST_F(DashboardInput, AFocusedBarReportsTheOperatorsMovesNotTheDisplays) {
    ShowAndActivate();
    auto* positive = Find<TrackBar>("TrackBarPan_PosAdjust");
    positive->setFocus(Qt::TabFocusReason);
    TakePairs();
    Show("Pan_PosAdjustValue", "120");
    Show("Pan_PosAdjustValueMax", "40");  // position 80 clamped to 40
    Show("Pan_PosAdjustValue", "40");
    Show("Pan_PosAdjustValueMin", "30");  // position 0 clamped to 30
    EXPECT_EQ(positive->minimum(), 30);
    EXPECT_EQ(positive->maximum(), 40);
    EXPECT_EQ(positive->value(), 30);
    EXPECT_TRUE(TakePairs().empty());

    positive->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QTest::keyClick(positive, Qt::Key_Up);  // back to the top: the maximum
    EXPECT_EQ(TakePairs(), (std::vector<Pair>{{"TrackBarPan_PosAdjustValue", "39"},
                                              {"TrackBarPan_PosAdjustValue", "40"}}));
}

TEST_F(DashboardInput, DisplayFocusMovesAreDrawnWithoutBeingReportedTwice) {
    ShowAndActivate();
    Find("ButtonTilt")->setFocus(Qt::TabFocusReason);
    TakePairs();
    // Positive adjust look while a control has the focus: the focus goes to the positive bar,
    // whose entry pair the logic sends once.
    Show("TiltModeSelect", Increment);
    EXPECT_EQ(QApplication::focusWidget(), Find("TrackBarTiltPosAdjust"));
    EXPECT_EQ(TakePairs(), (std::vector<Pair>{{"TrackBarTiltPosAdjust", OnClick}}));
    Show("TiltModeSelect", Normal);
    EXPECT_EQ(QApplication::focusWidget(), Find("ButtonTilt"));
    EXPECT_TRUE(TakePairs().empty());
}

TEST_F(DashboardInput, TheOperatorsFocusMovesReachTheDisplayState) {
    ShowAndActivate();
    int focusable = 0;
    for (std::size_t i = 0; i < ElementCount; ++i) {
        const auto element = static_cast<Element>(i);
        QWidget* control = form.Control(element);
        if (control->focusPolicy() == Qt::NoFocus || !control->isVisible() ||
            !control->isEnabled()) {
            continue;
        }
        ++focusable;
        control->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(form.Display().Focus(), element) << ElementName(element);
    }
    EXPECT_EQ(focusable, 10);  // the axis buttons, the six bars and the port list
    // A click takes the focus too.
    for (Element button : {Element::ButtonPan, Element::ButtonTilt, Element::ButtonRoll}) {
        QTest::mouseClick(form.Control(button), Qt::LeftButton);
        EXPECT_EQ(form.Display().Focus(), button) << ElementName(button);
    }
}

TEST_F(DashboardInput, DebugPanelAndPointNumberBox) {
    // Its button is hidden from the start: only the handler can show the panel.
    form.Logic()->ButtonDebugShowClick();
    form.RenderDisplay();
    EXPECT_FALSE(Find("MemoDebug")->isHidden());
    EXPECT_FALSE(Find("ButtonDebug03")->isHidden());
    EXPECT_FALSE(Find("StaticTextRollNeutralValue")->isHidden());
    EXPECT_TRUE(Find("ButtonDebugShow")->isHidden());

    auto* memo = Find<QPlainTextEdit>("MemoDebug");
    Show("Pan_OutputValue", "12");
    EXPECT_EQ(memo->toPlainText(), "Debug->\nForm: >Pan_OutputValue<>12<");
    Show("DebugInfo", "x");
    EXPECT_EQ(memo->document()->blockCount(), 3);
    Show("DebugColour", BlackOnRed);
    EXPECT_EQ(memo->palette().color(QPalette::Base), QColor(255, 0, 0));
    Click("ButtonDebugClear");
    EXPECT_EQ(memo->toPlainText(), "");
    EXPECT_EQ(memo->palette().color(QPalette::Base), QColor(255, 255, 255));

    // Entering 40, 0 or abc gives 1; 39 stays; cancelling keeps it.
    for (const char* entry : {"40", "0", "abc", "39"}) {
        prompts.inputs = {entry};
        Click("ButtonDebug03");
        EXPECT_EQ(form.Logic()->DebugPointNumber(), std::string(entry) == "39" ? 39 : 1) << entry;
    }
    Click("ButtonDebug03");  // cancelled
    Click("ButtonDebug04");
    Click("ButtonDebug01");
    Click("ButtonDebug02");
    EXPECT_EQ(TakePairs(), (std::vector<Pair>{{"DebugPoint", "39"},
                                              {"ButtonDebugAppInfo", OnClick},
                                              {"DebugAction", ForceRefresh}}));
}

TEST_F(DashboardInput, FileMenuItemsRunTheirChecksAndSendTheChosenFile) {
    auto trigger = [this](const char* name) { Find<QAction>(name)->trigger(); };
    trigger("Open1");
    trigger("SaveAs1");
    // At start all axes are normal and the enhanced indicator green; there are no comms, and
    // the question is answered Cancel.
    EXPECT_EQ(prompts.messages,
              (std::vector<std::string>{
                  "There are no Communications. Restored settings may be lost. Continue?",
                  "There are no Communications. The settings being saved may not be valid. "
                  "Continue?"}));
    EXPECT_TRUE(TakePairs().empty());
    prompts.messages.clear();
    Show("ModeSelect", Legacy);
    trigger("Open1");
    EXPECT_EQ(prompts.messages,
              (std::vector<std::string>{"Not in Enhanced Mode. Action Not Permitted"}));
    prompts.messages.clear();

    Show("ModeSelect", Enhanced);
    Show("CommsStatus", GoodFlashOff);
    prompts.chosenFile = "/data/Calibration.PRM";
    core.reactions[{"FileOpen_Selected", "/data/Calibration.PRM"}] = {
        {"RestorePreviewRow", "Pan neutral|1000|1010"}};
    core.reactions[{"RestorePreview_Selected", Restore}] = {{"RestoreState", RestoreRunning}};
    trigger("Open1");
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(prompts.previews,
              (std::vector<std::vector<RestorePreviewRow>>{{{"Pan neutral", "1000", "1010"}}}));
    EXPECT_EQ(TakePairs(), (std::vector<Pair>{{"FileOpen_Selected", "/data/Calibration.PRM"},
                                              {"RestorePreview_Selected", Restore}}));
    Click("ButtonPan");  // the axis flags stay cleared during the restore
    EXPECT_TRUE(TakePairs().empty());

    trigger("SaveAs1");  // not while the restore runs
    EXPECT_EQ(prompts.messages,
              (std::vector<std::string>{"A restore is under way; wait until it ends."}));
    Show("RestoreState", RestoreIdle);
    trigger("SaveAs1");
    EXPECT_EQ(TakePairs(), (std::vector<Pair>{{"FileSave_Selected", "/data/Calibration.PRM"}}));
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

TEST_F(DashboardInput, ExitClosesTheWindowAndStopsTheCoreOnce) {
    form.show();
    Find<QAction>("Exit1")->trigger();
    EXPECT_FALSE(form.isVisible());
    form.close();
    EXPECT_EQ(core.calls, (std::vector<std::string>{"CoreStart", "CoreStop"}));
    EXPECT_FALSE(CommsTimer()->isActive());
}

}  // namespace
}  // namespace kestrova::test
