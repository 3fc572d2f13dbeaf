// The dashboard's controls in use: the pairs they send, the focus, the debug panel, menus, exit.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocument>

#include "qt_fixture.h"
#include "ui/qt/widgets.h"

namespace kestrova::test {
namespace {

using DashboardInput = DashboardFixture;

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
