// The operator's events: axis modes, adjust steps and track bars, controller mode, port
// selection corner cases, debug rows, and pairs that match nothing.
#include "core_fixture.h"

#include "common/errors.h"
#include "support/internals_probe.h"

namespace kestrova::test {
namespace {

class ServiceEvents : public CoreFixture {
protected:
    void SetUp() override {
        CoreFixture::SetUp();
        StartCore();
        display_.Clear();
    }
    bool WriteRequested(int point) {
        return (Points().PointTable()[point].Msg_Flags & MsgWriteRequest) != 0;
    }
    void ClearWriteRequest(int point) { Points().ClearPointWriteRequest(point); }
    // Sets a value as if the controller had reported it (no write request).
    void Report(int point, double value) {
        Points().WritePoint(point, value);
        ClearWriteRequest(point);
    }
    std::string LastDebug() { return display_.Values("DebugInfo").back(); }
};

TEST_F(ServiceEvents, OnlyOneAxisLeavesNormalAtATime) {
    Report(17, 1.0);  // Pan in Increment
    Core().ServiceEvent("TrackBarTiltPosAdjust", OnClick);
    EXPECT_EQ(Scaled(27), 0.0);
    EXPECT_FALSE(WriteRequested(27));
    EXPECT_EQ(
        display_.calls,
        (std::vector<DisplayCall>{{"DebugInfo", "App Msg >TrackBarTiltPosAdjust<>OnClick<"}}));

    // The axis button always returns its axis to Normal and says so at once.
    Report(17, 2.0);
    display_.Clear();
    Core().ServiceEvent("ButtonPan", OnClick);
    EXPECT_EQ(Scaled(17), 0.0);
    EXPECT_TRUE(WriteRequested(17));
    EXPECT_EQ(display_.calls,
              (std::vector<DisplayCall>{{"Pan_ModeSelect", Normal},
                                        {"DebugInfo", "App Msg >ButtonPan<>OnClick<"}}));

    // With the others Normal an entry click changes the mode; the change is shown only later.
    display_.Clear();
    Core().ServiceEvent("TrackBarTiltPosAdjust", OnClick);
    EXPECT_EQ(Scaled(27), 1.0);
    Core().ServiceEvent("TrackBarTiltNegAdjust", OnClick);
    EXPECT_EQ(Scaled(27), 2.0);
    Core().ServiceEvent("TrackBarRollNegAdjust", OnClick);
    EXPECT_EQ(Scaled(37), 0.0);
    Core().ServiceEvent("TrackBarPan_PosAdjust", OnClick);
    EXPECT_EQ(Scaled(17), 0.0);
    EXPECT_TRUE(display_.Values("TiltModeSelect").empty());
    Core().ServiceEvent("ButtonTilt", OnClick);
    Core().ServiceEvent("TrackBarRollNegAdjust", OnClick);
    EXPECT_EQ(Scaled(37), 2.0);
    EXPECT_EQ(display_.Values("TiltModeSelect"), (Texts({Normal})));
}

TEST_F(ServiceEvents, StepsStayInsideTheRangeOfTheMode) {
    Core().ServiceEvent("ButtonModeEnhanced", OnClick);
    EXPECT_TRUE(State().EnhancedMode);
    EXPECT_EQ(Scaled(6), 1.0);
    EXPECT_TRUE(WriteRequested(6));

    Report(12, 200.0);
    Report(10, 199.0);
    Core().ServiceEvent("ButtonPan_PosValueInc", OnClick);
    EXPECT_EQ(Scaled(10), 200.0);
    ClearWriteRequest(10);
    Core().ServiceEvent("ButtonPan_PosValueInc", OnClick);
    EXPECT_EQ(Scaled(10), 200.0);
    EXPECT_FALSE(WriteRequested(10));
    EXPECT_EQ(LastDebug(), "App Msg >ButtonPan_PosValueInc<>OnClick<");

    // Beyond the limit a value is left where it is, not pulled back.
    Report(10, 250.0);
    Core().ServiceEvent("ButtonPan_PosValueInc", OnClick);
    EXPECT_EQ(Scaled(10), 250.0);
    Core().ServiceEvent("ButtonPan_PosValueDec", OnClick);
    EXPECT_EQ(Scaled(10), 249.0);
    Report(10, 0.0);
    Core().ServiceEvent("ButtonPan_PosValueDec", OnClick);
    EXPECT_EQ(Scaled(10), 0.0);
    EXPECT_FALSE(WriteRequested(10));

    // The negative value is a magnitude: "up" makes it smaller.
    Report(13, 0.0);
    Core().ServiceEvent("ButtonPan_NegValueInc", OnClick);
    EXPECT_EQ(Scaled(13), 0.0);
    EXPECT_FALSE(WriteRequested(13));
    Report(13, 5.0);
    Core().ServiceEvent("ButtonPan_NegValueInc", OnClick);
    EXPECT_EQ(Scaled(13), 4.0);
    Report(23, 200.0);  // Tilt's maximum (point 22) is 200 in the tag file
    Core().ServiceEvent("ButtonTiltNegValueDec", OnClick);
    EXPECT_EQ(Scaled(23), 200.0);
    Report(33, 12.5);
    Report(32, 13.0);
    Core().ServiceEvent("ButtonRollNegValueDec", OnClick);
    EXPECT_EQ(Scaled(33), 13.5);

    // Legacy mode: 13304 to 15352 whatever the adjust maximum says.
    Core().ServiceEvent("ButtonModeLegacy", OnClick);
    EXPECT_FALSE(State().EnhancedMode);
    EXPECT_EQ(Scaled(6), 0.0);
    Report(10, 15352.0);
    Core().ServiceEvent("ButtonPan_PosValueInc", OnClick);
    EXPECT_EQ(Scaled(10), 15352.0);
    Report(20, 13304.0);
    Core().ServiceEvent("ButtonTiltPosValueDec", OnClick);
    EXPECT_EQ(Scaled(20), 13304.0);
    Report(30, 14000.0);
    Core().ServiceEvent("ButtonRollPosValueInc", OnClick);
    EXPECT_EQ(Scaled(30), 14001.0);
    Report(23, 15351.0);
    Core().ServiceEvent("ButtonTiltNegValueDec", OnClick);
    EXPECT_EQ(Scaled(23), 15352.0);
    Core().ServiceEvent("ButtonTiltNegValueDec", OnClick);
    EXPECT_EQ(Scaled(23), 15352.0);
    Report(13, 13305.0);
    Core().ServiceEvent("ButtonPan_NegValueInc", OnClick);
    Core().ServiceEvent("ButtonPan_NegValueInc", OnClick);
    EXPECT_EQ(Scaled(13), 13304.0);
}

TEST_F(ServiceEvents, TrackBarValuesAreWrittenUnlimited) {
    Core().ServiceEvent("TrackBarRollNegAdjustValue", "150");
    EXPECT_EQ(Scaled(33), -150.0);
    Core().ServiceEvent("TrackBarRollNegAdjustValue", "-150");
    EXPECT_EQ(Scaled(33), 150.0);
    Core().ServiceEvent("TrackBarPan_NegAdjustValue", "-2147483648");
    EXPECT_EQ(Scaled(13), 2147483648.0);
    Core().ServiceEvent("TrackBarTiltPosAdjustValue", "99999");
    EXPECT_EQ(Scaled(20), 99999.0);
    EXPECT_TRUE(WriteRequested(20));
    EXPECT_EQ(LastDebug(), "App Msg >TrackBarTiltPosAdjustValue<>99999<");

    // A text that is no integer ends the event at its row, before the debug line.
    display_.Clear();
    for (const char* object : {"TrackBarPan_PosAdjustValue", "TrackBarRollNegAdjustValue",
                               "CommsSelect", "DebugPoint"}) {
        try {
            Core().ServiceEvent(object, "1.5");
            ADD_FAILURE() << object;
        } catch (const ConversionError& error) {
            EXPECT_EQ(std::string(error.what()), "'1.5' is not a valid integer value");
        }
    }
    EXPECT_THROW(Core().ServiceEvent("TrackBarPan_PosAdjustValue", " 5"), ConversionError);
    EXPECT_TRUE(display_.calls.empty());
    EXPECT_EQ(Scaled(10), 0.0);
}

TEST_F(ServiceEvents, PointWithAZeroMultiplierIsNotWrittenAndNamedOnce) {
    InternalsProbe::PointTable(Points())[10].ScaleMult = 0.0;
    Core().ServiceEvent("ButtonPan_PosValueInc", OnClick);
    Core().ServiceEvent("TrackBarPan_PosAdjustValue", "50");
    EXPECT_FALSE(WriteRequested(10));
    EXPECT_EQ(display_.Count("DebugInfo",
                             "Tag file misconfigured: point 10 (Pan_PosAdjustValue) has ScaleMult "
                             "0, so no value is sent to it"),
              1u);
}

TEST_F(ServiceEvents, PairsThatMatchNoRowAreLoggedInRed) {
    Core().ServiceEvent("ButtonPan", "OnClick ");
    Core().ServiceEvent("buttonpan", OnClick);
    Core().ServiceEvent("DebugAction", "Refresh");
    Core().ServiceEvent("ButtonModeEnhanced", "OnDblClick");
    EXPECT_EQ(display_.calls,
              (std::vector<DisplayCall>{
                  {"DebugInfo", "App Err Not procd >ButtonPan<>OnClick <"},
                  {"DebugColour", BlackOnRed},
                  {"DebugInfo", "App Err Not procd >buttonpan<>OnClick<"},
                  {"DebugColour", BlackOnRed},
                  {"DebugInfo", "App Err Not procd >DebugAction<>Refresh<"},
                  {"DebugColour", BlackOnRed},
                  {"DebugInfo", "App Err Not procd >ButtonModeEnhanced<>OnDblClick<"},
                  {"DebugColour", BlackOnRed}}));
    EXPECT_FALSE(State().EnhancedMode);
    EXPECT_FALSE(WriteRequested(17));
}

TEST_F(ServiceEvents, DebugRows) {
    Core().ServiceEvent("ButtonDebugAppInfo", OnClick);
    EXPECT_TRUE(State().DebugCommsOverride);
    Core().ServiceEvent("ButtonDebugAppInfo", OnClick);
    EXPECT_FALSE(State().DebugCommsOverride);

    Points().WritePoint(10, 0.5);
    display_.Clear();
    Core().ServiceEvent("DebugPoint", "10");
    Core().ServiceEvent("DebugPoint", "11");
    // Numbers outside the table are answered without reading past it.
    Core().ServiceEvent("DebugPoint", "40");
    Core().ServiceEvent("DebugPoint", "-1");
    EXPECT_EQ(display_.Values("DebugInfo"),
              (std::vector<std::string>{"Pt[10]=>0.5<", "App Msg >DebugPoint<>10<", "Pt[11]=>2048<",
                                        "App Msg >DebugPoint<>11<", "Pt[40]=>invalid point<",
                                        "App Msg >DebugPoint<>40<", "Pt[-1]=>invalid point<",
                                        "App Msg >DebugPoint<>-1<"}));

    // A forced refresh sends every value again at the next supervisor run.
    Core().SystemTick();
    for (int tick = 0; tick < 5; ++tick) Core().SystemTick();
    display_.Clear();
    Core().ServiceEvent("DebugAction", ForceRefresh);
    EXPECT_EQ(display_.calls,
              (std::vector<DisplayCall>{{"DebugInfo", "App Msg >DebugAction<>ForceRefresh<"}}));
    for (double cached : State().DisplayCache) EXPECT_EQ(cached, DisplayCacheUnset);
    for (int tick = 0; tick < 5; ++tick) Core().SystemTick();
    EXPECT_EQ(display_.Values("Pan_NeutralValue"), (std::vector<std::string>{"2048"}));
    EXPECT_EQ(display_.Values("RollModeSelect"), (Texts({Normal})));
}

TEST_F(ServiceEvents, SettingsChangeAlreadyUnderWayFailsTheSelection) {
    ASSERT_TRUE(Core().Port().PortBeginSettings());  // left half-filled
    EXPECT_FALSE(Core().SelectPortSettings(4));
    display_.Clear();
    Core().ServiceEvent("CommsSelect", "3");
    EXPECT_EQ(display_.calls,
              (std::vector<DisplayCall>{{"DebugInfo", "COM:4"},
                                        {"DebugInfo", "COM: being changed"},
                                        {"CommsStatus", CommsNone},
                                        {"CommsStatus", "COM4 Not Valid"},
                                        {"CommsSelect", NotValidPort},
                                        {"DebugInfo", "App Msg >CommsSelect<>3<"}}));
    EXPECT_TRUE(line_.events.empty());

    // Once idle, a request is placed and taken through.
    ASSERT_TRUE(Core().Port().PortCommitSettings());
    ASSERT_TRUE(Core().Port().PortBeginApply());
    Core().Port().PortApplySettings();
    ASSERT_TRUE(Core().Port().PortEndApply());
    EXPECT_TRUE(Core().SelectPortSettings(4));
    EXPECT_EQ(Core().Port().SettingsRequest(), SettingsRequestState::Ready);
}

class ServiceEventsLinked : public CoreFixture {};

TEST_F(ServiceEventsLinked, WritesMadeWhileDisconnectedAreNotSentLater) {
    StartSimulator();
    StartCore();
    const AxisState pan = Sim().Model().AxisAt(Axis::Pan);
    ASSERT_NE(pan.posAdjust, 77);
    Core().ServiceEvent("ButtonModeEnhanced", OnClick);
    Core().ServiceEvent("TrackBarPan_PosAdjustValue", "77");
    Core().ServiceEvent("TrackBarTiltPosAdjust", OnClick);
    EXPECT_NE(Points().PointTable()[10].Msg_Flags & MsgWriteRequest, 0u);

    Core().ServiceEvent("CommsSelect", "0");
    for (int point = 0; point < MaxPoints; ++point) {
        EXPECT_EQ(Points().PointTable()[point].Msg_Flags & MsgWriteRequest, 0u) << point;
    }
    RunMs(3000);
    EXPECT_EQ(Sim().Model().AxisAt(Axis::Pan).posAdjust, pan.posAdjust);
    EXPECT_EQ(Sim().Model().AxisAt(Axis::Tilt).mode, 0);
    EXPECT_EQ(Scaled(10), pan.posAdjust);  // read back from the controller
    EXPECT_EQ(Scaled(27), 0.0);

    // Once connected, writes reach the controller.
    Core().ServiceEvent("TrackBarPan_PosAdjustValue", "77");
    Core().ServiceEvent("ButtonPan_NegValueDec", OnClick);
    Core().ServiceEvent("TrackBarRollPosAdjust", OnClick);
    RunMs(1000);
    EXPECT_EQ(Sim().Model().AxisAt(Axis::Pan).posAdjust, 77);
    EXPECT_EQ(Sim().Model().AxisAt(Axis::Pan).negAdjust, pan.negAdjust + 1);
    EXPECT_EQ(Sim().Model().AxisAt(Axis::Roll).mode, 1);
    EXPECT_TRUE(display_.Has("RollModeSelect", Increment));
}

}  // namespace
}  // namespace kestrova::test
