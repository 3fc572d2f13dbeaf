#include "ui/display_state.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/errors.h"
#include "core/ui_names.h"

namespace kestrova {
namespace {

using namespace display_values;
using E = Element;

// Records the notifications a real window would raise, with a snapshot hook for ordering checks.
struct RecordingListener final : DisplayListener {
    std::vector<Element> changed;
    std::vector<Element> entered;
    std::function<void(Element)> onEnter;
    void TrackBarChanged(Element bar) override { changed.push_back(bar); }
    void FocusEntered(Element element) override {
        entered.push_back(element);
        if (onEnter) onEnter(element);
    }
};

struct DisplayTest : ::testing::Test {
    DashboardDisplay display;
    RecordingListener listener;
    DisplayTest() { display.SetListener(&listener); }
    const ElementState& operator()(Element e) const { return display.State(e); }
    std::size_t MemoSize() const { return display.MemoLines().size(); }
};

// The texts on the wire of the values the core and the window both name.
TEST(UiNames, ValuesKeepTheirWireTexts) {
    using namespace event_texts;
    const std::string_view names[] = {
        Normal,          Increment,   Decrement,    Enhanced,       Legacy,         CommsNone,
        PortConnected,   GoodFlashOn, GoodFlashOff, NoCommsCaption, PortLost,       ConnectingLeft,
        ConnectingRight, CommsGood,   CommsLost,    InvalidState,   NotValidPort,   BlackOnRed,
        BlackOnWhite,    Saved,       Restoring,    Unused,         RestoreRunning, RestoreIdle,
        NoComms,         OnClick,     OnEnter,      ForceRefresh,   Restore,        Cancel};
    std::string all;
    for (std::string_view name : names) (all += name) += '|';
    EXPECT_EQ(all,
              "Normal|Increment|Decrement|ENHANCED|LEGACY|None|PortConnected|GoodFlashOn|"
              "GoodFlashOff|No Comms|Port Lost|Connecting<--|-->Connecting|Comms Good|Comms Lost|"
              "Invalid State|NotValidPort|BlackOnRed|BlackOnWhite|Saved|Restoring...|nothing|"
              "Running|Idle|no comms|OnClick|OnEnter|ForceRefresh|Restore|Cancel|");
}

TEST_F(DisplayTest, StartsInTheWindowsInitialState) {
    EXPECT_EQ(ElementByName("StaticTextTiltLabel"), E::StaticTextTiltLabel);
    EXPECT_EQ(ElementName(E::SpeedButtonRollNegDecIcon), "SpeedButtonRollNegDecIcon");
    EXPECT_EQ(ElementByName("StaticTextTilt_Label"), E::None);
    for (std::size_t i = 0; i < ElementCount; ++i) {
        const auto element = static_cast<Element>(i);
        EXPECT_EQ(ElementByName(ElementName(element)), element);
    }

    EXPECT_EQ((*this)(E::StaticTextRollLabel).caption, "ROLL");
    EXPECT_EQ((*this)(E::StaticTextRollLabel).background, colours::Lime);
    EXPECT_EQ((*this)(E::StaticTextTiltPosValue_Label).caption, "Tilt Positive ");
    EXPECT_EQ((*this)(E::TrackBarTiltPosAdjust).position, 200);
    EXPECT_EQ((*this)(E::TrackBarRollNegAdjust).minimum, -200);
    EXPECT_EQ((*this)(E::TrackBarRollNegAdjust).tickSpacing, 100);
    EXPECT_FALSE((*this)(E::SpeedButtonPan_NegValueDec).enabled);
    EXPECT_TRUE((*this)(E::SpeedButtonPan_NegDecIcon).visible);
    EXPECT_TRUE((*this)(E::StaticTextRollPosValueZero).visible);
    EXPECT_FALSE((*this)(E::StaticTextPan_NeutralValue).visible);
    EXPECT_EQ((*this)(E::StaticTextCommsStatus).background, colours::Red);
    EXPECT_EQ((*this)(E::Label4).caption, "Label4");
    EXPECT_FALSE((*this)(E::StaticTextNotification).visible);
    EXPECT_EQ((*this)(E::StaticTextNotification).background, colours::ButtonShadow);
    EXPECT_TRUE(display.EnhancedMode());
    EXPECT_TRUE(display.PanSelectEnabled() && display.TiltSelectEnabled() &&
                display.RollSelectEnabled());
    EXPECT_EQ(display.Focus(), E::None);
    EXPECT_EQ(display.MemoLines(), std::deque<std::string>{"Debug->"});
}

TEST_F(DisplayTest, AxisModeLooksAndFocus) {
    // Start-up: nothing holds the focus, so nothing is focused.
    display.DisplayUpdate("Pan_ModeSelect", Increment);
    EXPECT_EQ(display.Focus(), E::None);
    EXPECT_TRUE(listener.entered.empty());
    EXPECT_EQ((*this)(E::StaticTextPan_Label).background, colours::Yellow);
    EXPECT_EQ((*this)(E::StaticTextPan_Status).caption, "Positive Adjust Mode");
    EXPECT_EQ((*this)(E::StaticTextPan_PosValue_Label).background, colours::Yellow);
    EXPECT_TRUE((*this)(E::SpeedButtonPan_PosValueInc).enabled);
    EXPECT_TRUE((*this)(E::SpeedButtonPan_PosValueDec).enabled);
    EXPECT_FALSE((*this)(E::SpeedButtonPan_PosIncIcon).visible);
    EXPECT_TRUE((*this)(E::TrackBarPan_PosAdjust).sliderShown);
    EXPECT_FALSE((*this)(E::TrackBarPan_NegAdjust).sliderShown);
    EXPECT_FALSE(display.AxisInNormalMode(Axis::Pan));

    // With a focused control the focus follows the active side.
    display.SetFocus(E::ComboBoxCommsSelect);
    display.DisplayUpdate("Pan_ModeSelect", Increment);
    EXPECT_EQ(display.Focus(), E::TrackBarPan_PosAdjust);
    display.DisplayUpdate("Pan_ModeSelect", Decrement);
    EXPECT_EQ(display.Focus(), E::TrackBarPan_NegAdjust);
    EXPECT_EQ((*this)(E::StaticTextPan_Status).caption, "Negative Adjust Mode");

    // Steps run in order: entering the positive bar sees the positive side already active and
    // the negative side still in its previous (active) look.
    Colour negCaptionAtEnter = colours::Black;
    bool posIconAtEnter = true;
    listener.onEnter = [&](Element) {
        negCaptionAtEnter = (*this)(E::StaticTextPan_NegValue_Label).background;
        posIconAtEnter = (*this)(E::SpeedButtonPan_PosIncIcon).visible;
    };
    display.DisplayUpdate("Pan_ModeSelect", Increment);
    EXPECT_EQ(negCaptionAtEnter, colours::Yellow);
    EXPECT_FALSE(posIconAtEnter);
    EXPECT_EQ((*this)(E::StaticTextPan_NegValue_Label).background, colours::ButtonFace);
    listener.onEnter = nullptr;

    display.DisplayUpdate("Pan_ModeSelect", Normal);
    EXPECT_EQ(display.Focus(), E::ButtonPan);
    EXPECT_TRUE(display.AxisInNormalMode(Axis::Pan));
    EXPECT_FALSE((*this)(E::TrackBarPan_PosAdjust).sliderShown);
    EXPECT_TRUE((*this)(E::SpeedButtonPan_PosDecIcon).visible);
    EXPECT_EQ(
        listener.entered,
        (std::vector<Element>{E::ComboBoxCommsSelect, E::TrackBarPan_PosAdjust,
                              E::TrackBarPan_NegAdjust, E::TrackBarPan_PosAdjust, E::ButtonPan}));

    // A value outside the fixed set (lower case) changes nothing but the trace.
    const auto revisionOfLabel = (*this)(E::StaticTextTiltLabel).revision;
    display.DisplayUpdate("TiltModeSelect", Increment);
    display.DisplayUpdate("TiltModeSelect", "normal");
    EXPECT_EQ((*this)(E::StaticTextTiltLabel).background, colours::Yellow);
    EXPECT_EQ((*this)(E::StaticTextTiltLabel).revision, revisionOfLabel + 1);
    EXPECT_EQ(display.MemoLines().back(), "Form: >TiltModeSelect<>normal<");
}

TEST_F(DisplayTest, AdjustValuesShowTheDifferenceAndPlaceTheBarUpsideDown) {
    display.DisplayUpdate("Pan_PosAdjustValue", "150");
    EXPECT_EQ((*this)(E::StaticTextPan_PosValue).caption, "150");
    EXPECT_EQ((*this)(E::TrackBarPan_PosAdjust).position, 50);
    display.DisplayUpdate("TiltNegAdjustValue", "-50");
    EXPECT_EQ((*this)(E::StaticTextTiltNegValue).caption, "-50");
    EXPECT_EQ((*this)(E::TrackBarTiltNegAdjust).position, -150);

    // The bar clamps, the text does not.
    display.DisplayUpdate("RollPosAdjustValue", "250");
    EXPECT_EQ((*this)(E::StaticTextRollPosValue).caption, "250");
    EXPECT_EQ((*this)(E::TrackBarRollPosAdjust).position, 0);
    display.DisplayUpdate("Pan_NegAdjustValue", "-200");
    EXPECT_EQ((*this)(E::StaticTextPan_NegValue).caption, "-200");
    EXPECT_EQ((*this)(E::TrackBarPan_NegAdjust).position, 0);
    // Extreme values neither overflow the position nor the text.
    display.DisplayUpdate("RollNegAdjustValue", "-2147483648");
    EXPECT_EQ((*this)(E::TrackBarRollNegAdjust).position, 0);
    EXPECT_EQ((*this)(E::StaticTextRollNegValue).caption, "-2147483648");

    display.DisplayUpdate("Pan_NeutralValue", "12.5");
    display.DisplayUpdate("RollOutputValue", "-7");
    EXPECT_EQ((*this)(E::StaticTextPan_NeutralValue).caption, "12.5");
    EXPECT_EQ((*this)(E::StaticTextRollValue).caption, "-7");
    EXPECT_EQ(display.MemoLines().back(), "Form: >RollOutputValue<>-7<");
}

TEST_F(DisplayTest, RangeChangesIgnoreInvertedRangesAndClampThePosition) {
    display.DisplayUpdate("Pan_PosAdjustValueMin", "300");
    EXPECT_EQ((*this)(E::TrackBarPan_PosAdjust).minimum, 0);
    EXPECT_EQ((*this)(E::Label3).caption, "300");
    display.DisplayUpdate("Pan_NegAdjustValueMax", "-300");
    EXPECT_EQ((*this)(E::TrackBarPan_NegAdjust).maximum, 0);
    EXPECT_EQ((*this)(E::Label4).caption, "-300");
    EXPECT_TRUE(listener.changed.empty());

    display.DisplayUpdate("Pan_NegAdjustValueMax", "15352");
    EXPECT_EQ((*this)(E::TrackBarPan_NegAdjust).maximum, 15352);
    display.DisplayUpdate("Pan_NegAdjustValue", "0");
    EXPECT_EQ((*this)(E::StaticTextPan_NegValue).caption, "-15352");
    EXPECT_EQ((*this)(E::TrackBarPan_NegAdjust).position, 15152);

    // Shrinking the range pushes the position inside and raises one change notification;
    // only the Pan ranges carry labels.
    listener.changed.clear();
    display.DisplayUpdate("TiltPosAdjustValueMax", "120");
    EXPECT_EQ((*this)(E::TrackBarTiltPosAdjust).position, 120);
    EXPECT_EQ(listener.changed, std::vector<Element>{E::TrackBarTiltPosAdjust});
    EXPECT_EQ((*this)(E::Label2).caption, "Label2");
    display.DisplayUpdate("TiltPosAdjustValueMin", "10");
    display.DisplayUpdate("Pan_NegAdjustValueMin", "-100");
    EXPECT_EQ((*this)(E::TrackBarTiltPosAdjust).minimum, 10);
    EXPECT_EQ(listener.changed.size(), 1u);
    EXPECT_EQ((*this)(E::Label5).caption, "-100");

    // Setting the position notifies only on a real change.
    display.SetTrackBarPosition(E::TrackBarRollPosAdjust, 500);
    display.SetTrackBarPosition(E::TrackBarRollPosAdjust, 200);
    display.SetTrackBarPosition(E::TrackBarRollPosAdjust, 199);
    EXPECT_EQ((*this)(E::TrackBarRollPosAdjust).position, 199);
    EXPECT_EQ(listener.changed.size(), 2u);
}

TEST_F(DisplayTest, ModeSelectSwitchesIndicatorsTicksOverlaysAndFlags) {
    display.DisplayUpdate("ModeSelect", Legacy);
    EXPECT_EQ((*this)(E::BitBtnModeEnhanced).fontColour, colours::Gray);
    EXPECT_EQ((*this)(E::BitBtnModeLegacy).fontColour, colours::Green);
    EXPECT_FALSE(display.EnhancedMode());
    EXPECT_EQ((*this)(E::TrackBarRollNegAdjust).tickSpacing, 205);
    EXPECT_TRUE((*this)(E::StaticTextTiltNegValueZero).visible);
    EXPECT_FALSE(display.PanSelectEnabled() || display.TiltSelectEnabled() ||
                 display.RollSelectEnabled());

    display.DisplayUpdate("ModeSelect", Enhanced);
    EXPECT_TRUE(display.EnhancedMode());
    EXPECT_EQ((*this)(E::BitBtnModeLegacy).fontColour, colours::Gray);
    for (Axis axis : {Axis::Pan, Axis::Tilt, Axis::Roll}) {
        EXPECT_EQ(display.State(AxisElement(axis, AxisRole::PosTrackBar)).tickSpacing, 20);
        EXPECT_EQ(display.State(AxisElement(axis, AxisRole::NegTrackBar)).tickSpacing, 20);
        EXPECT_FALSE(display.State(AxisElement(axis, AxisRole::PosZeroOverlay)).visible);
        EXPECT_FALSE(display.State(AxisElement(axis, AxisRole::NegZeroOverlay)).visible);
        EXPECT_TRUE(display.AxisSelectEnabled(axis));
    }
    EXPECT_FALSE((*this)(E::BitBtnModeEnhanced).visible);  // never shown by a command

    display.DisplayUpdate("ModeSelect", "Legacy");
    EXPECT_TRUE(display.EnhancedMode());
    EXPECT_EQ(display.MemoLines().back(), "Form: >ModeSelect<>Legacy<");
}

TEST_F(DisplayTest, SoftwareVersionNumberLayouts) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"1201", "1.20.1"}, {"0", "0.00.0"},    {"123", "0.12.3"},  {"12345", "12.34.5"},
        {"45", "0.04.5"},   {"10", "0.01.0"},   {"7", "0.00.7"},    {"-5", "0.00.5"},
        {"999", "0.99.9"},  {"1000", "1.00.0"}, {"+1201", "1.20.1"}};
    for (const auto& [value, shown] : cases) {
        display.DisplayUpdate("SoftwareVersionNumber", value);
        EXPECT_EQ((*this)(E::StaticTextSoftwareVersion).caption, shown) << value;
        EXPECT_EQ(display.MemoLines().back(), "Form: >SoftwareVersionNumber<>" + value + "<");
    }
}

TEST_F(DisplayTest, NotificationAndCommsStatus) {
    display.DisplayUpdate("ShowNotification", Saved);
    const ElementState& banner = (*this)(E::StaticTextNotification);
    EXPECT_TRUE(banner.visible);
    EXPECT_EQ(banner.caption, Saved);
    EXPECT_TRUE(banner.placed);
    EXPECT_EQ(banner.left, 250);
    EXPECT_EQ(banner.top, 220);
    display.DisplayUpdate("HideNotification", "whatever");
    EXPECT_FALSE(banner.visible);
    EXPECT_EQ(banner.caption, Saved);
    EXPECT_EQ(banner.left, 250);

    const ElementState& status = (*this)(E::StaticTextCommsStatus);
    display.DisplayUpdate("CommsStatus", PortConnected);
    EXPECT_EQ(status.background, colours::Yellow);
    EXPECT_FALSE(display.CommsGood());
    display.DisplayUpdate("CommsStatus", CommsLost);
    EXPECT_EQ(status.caption, CommsLost);
    EXPECT_EQ(status.background, colours::Yellow);
    display.DisplayUpdate("CommsStatus", GoodFlashOn);
    EXPECT_TRUE(display.CommsGood());
    display.DisplayUpdate("CommsStatus", GoodFlashOff);
    EXPECT_EQ(status.background, colours::Green);
    EXPECT_TRUE(display.CommsGood());
    display.DisplayUpdate("CommsStatus", CommsNone);
    EXPECT_EQ(status.background, colours::Red);
    EXPECT_EQ(status.caption, CommsLost);
    EXPECT_EQ(display.MemoLines().back(), "Form: >CommsStatus<>None<");
}

TEST_F(DisplayTest, TooltipsAndMessages) {
    const std::uint64_t revision = display.Revision();
    display.DisplayUpdate("CommsStatusHint", "/dev/ttyUSB0: permission denied");
    EXPECT_EQ((*this)(E::StaticTextCommsStatus).hint, "/dev/ttyUSB0: permission denied");
    display.DisplayUpdate("CommsStatusHint", "");
    EXPECT_EQ((*this)(E::StaticTextCommsStatus).hint, "");

    const auto& hints = display.PortHints();
    display.DisplayUpdate("CommsSelectHint", "1 /dev/ttyS0 \u2014 present");
    display.DisplayUpdate("CommsSelectHint", "40 /dev/ttyS39 \u2014 not present");
    const std::uint64_t hintsRevision = display.PortHintsRevision();
    for (const char* outside : {"0 x", "41 x", "40 /dev/ttyS39 \u2014 not present"}) {
        display.DisplayUpdate("CommsSelectHint", outside);  // outside the list, or unchanged
    }
    EXPECT_EQ(display.PortHintsRevision(), hintsRevision);
    EXPECT_EQ(hints[0], "/dev/ttyS0 \u2014 present");
    EXPECT_EQ(hints[39], "/dev/ttyS39 \u2014 not present");
    EXPECT_THROW(display.DisplayUpdate("CommsSelectHint", "x y"), ConversionError);

    display.DisplayUpdate("MessageBox", "Restore interrupted at step 4 of 17");
    display.DisplayUpdate("MessageBox", "second");
    EXPECT_EQ(display.MemoLines().back(), "Form: >MessageBox<>second<");
    EXPECT_EQ(display.TakeMessages(),
              (std::vector<std::string>{"Restore interrupted at step 4 of 17", "second"}));
    EXPECT_TRUE(display.TakeMessages().empty());
    EXPECT_GT(display.Revision(), revision);
}

TEST_F(DisplayTest, RestorePreviewRowsAndRestoreState) {
    display.DisplayUpdate("RestorePreviewRow", "Pan neutral|1000|1010");
    display.DisplayUpdate("RestorePreviewRow", "Pan positive adjust|150|150");
    display.DisplayUpdate("RestorePreviewRow", "Tilt neutral|no comms|990");
    display.DisplayUpdate("RestorePreviewRow", "odd");  // missing fields read empty
    EXPECT_EQ(display.MemoLines().back(), "Form: >RestorePreviewRow<>odd<");
    display.DisplayUpdate("RestorePreviewRow", "Roll neutral|0|-0");
    const std::vector<RestorePreviewRow> rows = display.RestorePreviewRows();
    EXPECT_EQ(rows, (std::vector<RestorePreviewRow>{{"Pan neutral", "1000", "1010"},
                                                    {"Pan positive adjust", "150", "150"},
                                                    {"Tilt neutral", std::string(NoComms), "990"},
                                                    {"odd", "", ""},
                                                    {"Roll neutral", "0", "-0"}}));
    EXPECT_TRUE(rows[0].Changed());
    EXPECT_FALSE(rows[1].Changed());
    EXPECT_TRUE(rows[2].Changed());
    EXPECT_FALSE(rows[4].Changed());
    display.ClearRestorePreview();
    EXPECT_TRUE(display.RestorePreviewRows().empty());

    EXPECT_FALSE(display.RestoreUnderWay());
    display.DisplayUpdate("RestoreState", RestoreRunning);
    display.DisplayUpdate("RestoreState", "idle");  // not a state: nothing
    EXPECT_TRUE(display.RestoreUnderWay());
    display.DisplayUpdate("RestoreState", RestoreIdle);
    EXPECT_FALSE(display.RestoreUnderWay());
}

TEST_F(DisplayTest, MemoTraceDebugInfoAndDebugColour) {
    display.DisplayUpdate("DebugInfo", "x");
    EXPECT_EQ(MemoSize(), 2u);
    EXPECT_EQ(display.MemoLines().back(), "x");
    display.DisplayUpdate("CommsSelect", NotValidPort);
    EXPECT_EQ(MemoSize(), 3u);
    EXPECT_EQ(display.MemoLines().back(), "Form: >CommsSelect<>NotValidPort<");
    display.DisplayUpdate("NoSuchKey", "");
    EXPECT_EQ(display.MemoLines().back(), "Form: >NoSuchKey<><");
    display.DisplayUpdate("pan_OutputValue", "3");  // keys are case-sensitive
    EXPECT_EQ((*this)(E::StaticTextPan_Value).caption, "####0");

    display.DisplayUpdate("DebugColour", BlackOnRed);
    EXPECT_EQ((*this)(E::MemoDebug).background, colours::Red);
    EXPECT_EQ((*this)(E::MemoDebug).fontColour, colours::Black);
    display.DisplayUpdate("DebugColour", "Purple");
    EXPECT_EQ((*this)(E::MemoDebug).background, colours::Red);
    display.DisplayUpdate("DebugColour", BlackOnWhite);
    EXPECT_EQ((*this)(E::MemoDebug).background, colours::White);
    EXPECT_EQ(MemoSize(), 5u);  // the colour commands leave no trace
    EXPECT_EQ(display.MemoLinesAdded(), 4u);
}

TEST_F(DisplayTest, ConversionErrorStopsTheCommandWithoutTrace) {
    display.DisplayUpdate("Pan_PosAdjustValue", "150");
    const std::size_t before = MemoSize();
    try {
        display.DisplayUpdate("Pan_PosAdjustValue", "abc");
        ADD_FAILURE() << "no ConversionError";
    } catch (const ConversionError& error) {
        EXPECT_STREQ(error.what(), "'abc' is not a valid integer value");
    }
    EXPECT_EQ((*this)(E::StaticTextPan_PosValue).caption, "150");
    EXPECT_EQ((*this)(E::TrackBarPan_PosAdjust).position, 50);
    EXPECT_THROW(display.DisplayUpdate("Pan_PosAdjustValueMin", " 5"), ConversionError);
    EXPECT_EQ((*this)(E::Label3).caption, "Label3");
    EXPECT_THROW(display.DisplayUpdate("TiltNegAdjustValueMax", "1.5"), ConversionError);
    EXPECT_THROW(display.DisplayUpdate("SoftwareVersionNumber", ""), ConversionError);
    EXPECT_EQ((*this)(E::StaticTextSoftwareVersion).caption, "####0");
    EXPECT_EQ(MemoSize(), before);
}

TEST_F(DisplayTest, MemoKeepsTheNewestLinesInOrder) {
    const int added = static_cast<int>(DashboardDisplay::MemoLineLimit) + 5;
    for (int i = 0; i < added; ++i) display.DisplayUpdate("DebugInfo", std::to_string(i));
    const auto& lines = display.MemoLines();
    ASSERT_EQ(lines.size(), DashboardDisplay::MemoLineLimit);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i], std::to_string(i + 5)) << i;  // "Debug->" and 0..4 dropped
    }
    EXPECT_EQ(display.MemoLinesAdded(), static_cast<std::uint64_t>(added));
    display.ClearMemo();
    EXPECT_TRUE(display.MemoLines().empty());
    EXPECT_EQ(display.MemoClears(), 1u);
}

TEST_F(DisplayTest, RevisionsMarkOnlyWhatChanged) {
    const auto total = display.Revision();
    const auto label = (*this)(E::StaticTextTiltLabel).revision;
    const auto status = (*this)(E::StaticTextCommsStatus).revision;
    display.SetCaption(E::StaticTextTiltLabel, "TILT");  // unchanged
    display.SetBackground(E::StaticTextCommsStatus, colours::Red);
    EXPECT_EQ(display.Revision(), total);
    display.SetCaption(E::StaticTextCommsStatus, CommsGood);
    EXPECT_EQ((*this)(E::StaticTextCommsStatus).revision, status + 1);
    EXPECT_EQ((*this)(E::StaticTextTiltLabel).revision, label);
    EXPECT_GT(display.Revision(), total);
    const auto focusBefore = display.Revision();
    display.SetFocus(E::ButtonRoll);
    EXPECT_GT(display.Revision(), focusBefore);
    // Track bar setters leave other kinds of element alone.
    display.SetTrackBarPosition(E::StaticTextPan_PosValue, 5);
    EXPECT_EQ((*this)(E::StaticTextPan_PosValue).position, 0);
}

}  // namespace
}  // namespace kestrova
