#include "ui/dashboard_logic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/enum_int.h"
#include "common/errors.h"
#include "fake_window.h"

namespace kestrova {
namespace {

using namespace test;  // the fakes, and the names of the pairs' values
using E = Element;
using Pairs = std::vector<Pair>;

struct LogicTest : ::testing::Test {
    test::Window w;
    Pairs& events = w.core.events;
};

TEST_F(LogicTest, AxisSelectFlagsGateAxisAndAdjustEntryClicks) {
    w.display.DisableAxisSelect(Axis::Pan);
    for (Element element :
         {E::ButtonPan, E::StaticTextPan_Label, E::StaticTextPan_Status,
          E::SpeedButtonPan_PosIncIcon, E::SpeedButtonPan_PosDecIcon, E::StaticTextPan_PosValue,
          E::StaticTextPan_PosValue_Label, E::StaticTextPan_PosValueZero,
          E::SpeedButtonPan_NegIncIcon, E::StaticTextPan_NegValue, E::StaticTextPan_NegValueZero}) {
        w.logic.UserClicked(element);
    }
    w.logic.UserFocused(E::TrackBarPan_PosAdjust);
    w.logic.UserFocused(E::TrackBarPan_NegAdjust);
    w.logic.ButtonPanClick();
    EXPECT_TRUE(events.empty());

    // The other axes and the step buttons are not gated.
    w.logic.UserClicked(E::StaticTextTiltStatus);
    w.logic.UserFocused(E::TrackBarRollNegAdjust);
    w.logic.SpeedButtonPan_PosValueIncClick();
    w.logic.SpeedButtonRollNegValueDecClick();
    EXPECT_EQ(events, (Pairs{{"ButtonTilt", OnClick},
                             {"TrackBarRollNegAdjust", OnClick},
                             {"ButtonPan_PosValueInc", OnClick},
                             {"ButtonRollNegValueDec", OnClick}}));

    events.clear();
    w.display.EnableAxisSelect(Axis::Pan);
    w.logic.UserClicked(E::StaticTextPan_Label);
    w.logic.UserClicked(E::StaticTextPan_NegValue_Label);
    w.logic.UserFocused(E::TrackBarPan_PosAdjust);
    EXPECT_EQ(events, (Pairs{{"ButtonPan", OnClick},
                             {"TrackBarPan_NegAdjust", OnClick},
                             {"TrackBarPan_PosAdjust", OnClick}}));
}

TEST_F(LogicTest, ClicksReachOnlyVisibleEnabledElements) {
    w.logic.UserClicked(E::SpeedButtonTiltPosValueInc);  // disabled under its icon
    w.logic.UserClicked(E::ButtonDebug01);               // hidden debug panel
    w.logic.UserClicked(E::BitBtnModeLegacy);            // never shown
    EXPECT_TRUE(events.empty());

    w.display.DisplayUpdate("TiltModeSelect", Increment);
    w.logic.UserClicked(E::SpeedButtonTiltPosValueInc);
    w.logic.UserClicked(E::SpeedButtonTiltPosValueDec);
    w.logic.UserClicked(E::SpeedButtonTiltPosIncIcon);   // hidden now
    w.logic.UserClicked(E::SpeedButtonTiltNegValueInc);  // still disabled
    EXPECT_EQ(events,
              (Pairs{{"ButtonTiltPosValueInc", OnClick}, {"ButtonTiltPosValueDec", OnClick}}));
}

TEST_F(LogicTest, InputForNoElementIsIgnored) {
    const auto outside = static_cast<Element>(200);
    w.logic.UserFocused(E::ComboBoxCommsSelect);
    w.logic.UserClicked(E::None);
    w.logic.UserClicked(outside);
    w.logic.UserMovedTrackBar(E::None, 5);
    w.logic.UserMovedTrackBar(outside, 5);
    w.logic.UserMovedTrackBar(E::StaticTextPan_Value, 5);
    w.display.SetCaption(outside, "x");
    w.display.SetVisible(E::None, false);
    EXPECT_TRUE(w[outside].caption.empty());
    EXPECT_EQ(w.logic.LastReportedPosition(E::ButtonPan), 0);
    w.logic.UserFocused(outside);
    EXPECT_EQ(w.display.Focus(), E::None);
    // Only the port list's focus reached the core.
    EXPECT_EQ(events, (Pairs{{"CommsSelectOpened", OnEnter}}));
}

TEST_F(LogicTest, TrackBarValuesUndoTheUpsideDownPlacing) {
    w.logic.UserFocused(E::TrackBarPan_PosAdjust);
    events.clear();
    w.logic.UserMovedTrackBar(E::TrackBarPan_PosAdjust, 120);
    w.logic.UserMovedTrackBar(E::TrackBarPan_PosAdjust, -40);  // clamped to the top
    w.logic.UserMovedTrackBar(E::TrackBarPan_PosAdjust, 0);    // no change, no report
    w.logic.UserFocused(E::TrackBarPan_NegAdjust);
    w.logic.UserMovedTrackBar(E::TrackBarPan_NegAdjust, -30);
    w.logic.UserMovedTrackBar(E::TrackBarPan_NegAdjust, 0);     // bottom
    w.logic.UserMovedTrackBar(E::TrackBarPan_NegAdjust, -200);  // top
    EXPECT_EQ(events, (Pairs{{"TrackBarPan_PosAdjustValue", "80"},
                             {"TrackBarPan_PosAdjustValue", "200"},
                             {"TrackBarPan_NegAdjust", OnClick},
                             {"TrackBarPan_NegAdjustValue", "-170"},
                             {"TrackBarPan_NegAdjustValue", "-200"},
                             {"TrackBarPan_NegAdjustValue", "0"}}));
    EXPECT_EQ(w.logic.LastReportedPosition(E::TrackBarPan_NegAdjust), -200);
    EXPECT_EQ(w.logic.LastReportedPosition(E::TrackBarPan_PosAdjust), 0);
    EXPECT_EQ(w.logic.LastReportedPosition(E::TrackBarTiltNegAdjust), 0);

    // A bar without the focus does not report, whoever moves it.
    events.clear();
    w.logic.UserMovedTrackBar(E::TrackBarRollPosAdjust, 10);
    w.display.DisplayUpdate("TiltPosAdjustValue", "30");
    EXPECT_TRUE(events.empty());
}

// The bars start where the window put them, so the first move to any other position is a new
// value; the top of a positive bar is its maximum.
TEST_F(LogicTest, TheFirstMoveToTheTopIsReported) {
    w.logic.UserFocused(E::TrackBarTiltPosAdjust);
    events.clear();
    w.logic.UserMovedTrackBar(E::TrackBarTiltPosAdjust, 0);
    w.logic.UserMovedTrackBar(E::TrackBarTiltPosAdjust, 10);
    w.logic.UserMovedTrackBar(E::TrackBarTiltPosAdjust, 0);
    EXPECT_EQ(events, (Pairs{{"TrackBarTiltPosAdjustValue", "200"},
                             {"TrackBarTiltPosAdjustValue", "190"},
                             {"TrackBarTiltPosAdjustValue", "200"}}));
}

// Whatever a display command does to a focused bar, showing the core's value or clamping it into
// a new range, nothing goes back to the core.
TEST_F(LogicTest, DisplayCommandsMovingOrRerangingAFocusedBarSendNothing) {
    w.logic.UserFocused(E::TrackBarPan_PosAdjust);
    events.clear();
    w.display.DisplayUpdate("Pan_PosAdjustValue", "150");
    w.display.DisplayUpdate("Pan_PosAdjustValueMax", "40");  // position 50 clamped to 40
    w.display.DisplayUpdate("Pan_PosAdjustValue", "40");     // position 0
    w.display.DisplayUpdate("Pan_PosAdjustValueMin", "30");  // position 0 clamped to 30
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(w[E::TrackBarPan_PosAdjust].position, 30);
    EXPECT_EQ(w.logic.LastReportedPosition(E::TrackBarPan_PosAdjust), 30);
}

TEST_F(LogicTest, AnOperatorMoveOntoTheOldReportedPositionIsSent) {
    w.logic.UserFocused(E::TrackBarPan_NegAdjust);
    events.clear();
    w.logic.UserMovedTrackBar(E::TrackBarPan_NegAdjust, -150);
    w.display.DisplayUpdate("Pan_NegAdjustValue", "-120");  // the core's value: position -80
    w.logic.UserMovedTrackBar(E::TrackBarPan_NegAdjust, -150);
    EXPECT_EQ(events, (Pairs{{"TrackBarPan_NegAdjustValue", "-50"},
                             {"TrackBarPan_NegAdjustValue", "-50"}}));
}

TEST_F(LogicTest, PortListAndLegacyButton) {
    w.logic.UserSelectedPort(0);
    EXPECT_EQ(w[E::Label1].caption, "Changed0");
    w.logic.UserSelectedPort(39);
    EXPECT_EQ(w[E::Label1].caption, "Changed39");
    w.logic.UserSelectedPort(-1);
    w.logic.UserClicked(E::ComboBoxCommsSelect);
    EXPECT_EQ(w[E::Label1].caption, "Clicked");
    w.logic.UserFocused(E::ComboBoxCommsSelect);
    EXPECT_EQ(w[E::Label1].caption, "Entered");
    EXPECT_EQ(events, (Pairs{{"CommsSelect", "0"},
                             {"CommsSelect", "39"},
                             {"CommsSelect", "-1"},
                             {"CommsSelectOpened", OnClick},
                             {"CommsSelectOpened", OnEnter}}));

    events.clear();
    w.display.DisplayUpdate("ModeSelect", Legacy);
    w.logic.BitBtnModeLegacyClick();
    w.logic.BitBtnModeEnhancedClick();
    EXPECT_EQ(events, (Pairs{{"ButtonPan", OnClick},
                             {"ButtonTilt", OnClick},
                             {"ButtonRoll", OnClick},
                             {"ButtonModeLegacy", OnClick},
                             {"ButtonModeEnhanced", OnClick}}));
}

TEST_F(LogicTest, DebugPanel) {
    w.host.answers = {"40", "39", "", "0", "abc", "17"};
    w.logic.ButtonDebug03Click();
    EXPECT_EQ(w.logic.DebugPointNumber(), 1);
    EXPECT_EQ(w.host.lastCaption, "Debug Point Number:");
    EXPECT_EQ(w.host.lastPrompt, "Value:");
    w.logic.ButtonDebug03Click();
    EXPECT_EQ(w.logic.DebugPointNumber(), 39);
    w.logic.ButtonDebug04Click();
    w.logic.ButtonDebug03Click();  // empty text: not an integer
    EXPECT_EQ(w.logic.DebugPointNumber(), 1);
    w.logic.ButtonDebug03Click();
    EXPECT_EQ(w.logic.DebugPointNumber(), 1);
    w.logic.ButtonDebug03Click();
    EXPECT_EQ(w.logic.DebugPointNumber(), 1);
    w.logic.ButtonDebug03Click();
    w.logic.ButtonDebug03Click();  // cancelled: keeps 17
    EXPECT_EQ(w.logic.DebugPointNumber(), 17);
    EXPECT_EQ(w.host.inputBoxDefaults,
              (std::vector<std::string>{"1", "1", "39", "1", "1", "1", "17"}));
    w.logic.ButtonDebug01Click();
    w.logic.ButtonDebug02Click();
    EXPECT_EQ(events, (Pairs{{"DebugPoint", "39"},
                             {"ButtonDebugAppInfo", OnClick},
                             {"DebugAction", ForceRefresh}}));

    w.logic.ButtonDebugShowClick();
    for (Element element : {E::MemoDebug, E::Label1, E::Label5, E::ButtonDebugClear,
                            E::ButtonDebug03, E::StaticTextRollNeutralValue}) {
        EXPECT_TRUE(w[element].visible) << ElementName(element);
    }
    EXPECT_FALSE(w[E::ButtonDebugShow].visible);
    w.logic.UserClicked(E::ButtonDebug04);  // shown now, so it reaches its handler
    EXPECT_EQ(events.back(), (Pair{"DebugPoint", "17"}));

    w.display.DisplayUpdate("DebugColour", BlackOnRed);
    w.logic.ButtonDebugClearClick();
    EXPECT_TRUE(w.display.MemoLines().empty());
    EXPECT_EQ(w[E::MemoDebug].background, colours::White);
    w.logic.ButtonDebugShowClick();
    EXPECT_FALSE(w[E::Label2].visible);
    EXPECT_FALSE(w[E::StaticTextPan_NeutralValue].visible);
}

TEST_F(LogicTest, WindowLifeAndTicks) {
    w.display.SetVisible(E::ButtonDebugShow, true);
    w.logic.FormCreate();
    EXPECT_FALSE(w[E::ButtonDebugShow].visible);
    w.logic.Comms_TimerTimer();
    w.logic.TimerSysUpdateTimer();
    w.logic.TimerSysUpdateTimer();
    // The 1 ms timer follows the core's need of it.
    EXPECT_TRUE(w.logic.CommsTimerWanted());
    w.core.commsWanted = false;
    EXPECT_FALSE(w.logic.CommsTimerWanted());
    w.core.commsWanted = true;
    EXPECT_EQ(w.host.dialogShows, 0);
    EXPECT_EQ(ToInt(w.logic.ConfigCheckState()), 0);
    w.logic.Exit1Click();
    w.logic.FormClose();  // a second close report stops nothing twice
    w.logic.Comms_TimerTimer();
    w.logic.TimerSysUpdateTimer();
    EXPECT_EQ(w.host.closes, 1);
    EXPECT_FALSE(w.logic.CommsTimerWanted());  // closed, though the core still wants it
    EXPECT_EQ(w.core.calls, (std::vector<std::string>{"CoreStart", "CommsTick", "SystemTick",
                                                      "CheckConfigVersions", "SystemTick",
                                                      "CheckConfigVersions", "CoreStop"}));
}

TEST_F(LogicTest, FailedConfigCheckShowsTheDialogOnceAndClosesInTheSameTick) {
    w.core.configOk = false;
    int nestedTicks = 0;
    int stateInsideDialog = -1;
    w.host.whileDialogOpen = [&] {
        // Ticks keep running while the dialog is open.
        stateInsideDialog = ToInt(w.logic.ConfigCheckState());
        w.logic.TimerSysUpdateTimer();
        w.logic.Comms_TimerTimer();
        ++nestedTicks;
    };
    w.logic.FormCreate();
    w.logic.TimerSysUpdateTimer();
    EXPECT_EQ(nestedTicks, 1);
    EXPECT_EQ(stateInsideDialog, 10);
    EXPECT_EQ(w.host.dialogShows, 1);
    EXPECT_EQ(w.host.closes, 1);
    EXPECT_EQ(ToInt(w.logic.ConfigCheckState()), 30);
    EXPECT_EQ(w.core.calls.back(), "CoreStop");

    w.logic.TimerSysUpdateTimer();
    w.logic.ConfigErrorDialogClosed();  // a late close report changes nothing
    EXPECT_EQ(ToInt(w.logic.ConfigCheckState()), 30);
    EXPECT_EQ(w.host.dialogShows, 1);
    EXPECT_EQ(std::count(w.core.calls.begin(), w.core.calls.end(), "CoreStop"), 1);
}

// The core answers an axis click with display commands; their focus notification calls back
// into the core before the outer DisplayUpdate returns.
TEST_F(LogicTest, NestedServiceEventFromDisplayNotifications) {
    w.core.reactions[{"ButtonPan", OnClick}] = {{"Pan_ModeSelect", Increment}};
    w.core.reactions[{"TrackBarPan_PosAdjust", OnClick}] = {{"Pan_ModeSelect", Increment},
                                                            {"Pan_PosAdjustValue", "150"},
                                                            {"DebugInfo", "nested"},
                                                            {"Pan_OutputValue", "150"}};
    w.logic.UserFocused(E::ButtonPan);
    w.logic.UserClicked(E::ButtonPan);

    // The bar the inner commands move holds the focus; the move is the window's, not reported.
    EXPECT_EQ(events, (Pairs{{"ButtonPan", OnClick}, {"TrackBarPan_PosAdjust", OnClick}}));
    EXPECT_EQ(w.display.Focus(), E::TrackBarPan_PosAdjust);
    EXPECT_EQ(w[E::TrackBarPan_PosAdjust].position, 50);
    EXPECT_EQ(w[E::StaticTextPan_PosValue].caption, "150");
    EXPECT_EQ(w[E::StaticTextPan_Value].caption, "150");
    EXPECT_EQ(w[E::StaticTextPan_NegValue_Label].background, colours::ButtonFace);
    EXPECT_EQ(w.logic.LastReportedPosition(E::TrackBarPan_PosAdjust), 50);

    // Inner commands finish, and leave their trace, before the outer ones.
    const auto& memo = w.display.MemoLines();
    const std::vector<std::string> tail(memo.end() - 5, memo.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"Form: >Pan_ModeSelect<>Increment<",  // inner
                                              "Form: >Pan_PosAdjustValue<>150<", "nested",
                                              "Form: >Pan_OutputValue<>150<",
                                              "Form: >Pan_ModeSelect<>Increment<"}));  // outer

    // A bad number deep inside the nesting ends the whole handler with its error.
    w.core.reactions[{"ButtonTilt", OnClick}] = {{"TiltModeSelect", Decrement}};
    w.core.reactions[{"TrackBarTiltNegAdjust", OnClick}] = {{"TiltNegAdjustValue", "x"}};
    EXPECT_THROW(w.logic.ButtonTiltClick(), ConversionError);
    EXPECT_EQ(w.display.Focus(), E::TrackBarTiltNegAdjust);
}

}  // namespace
}  // namespace kestrova
