#include "ui/dashboard_logic.h"

#include "common/number_text.h"
#include "core/ui_names.h"

namespace kestrova {

namespace {

using event_texts::OnClick;

std::size_t BarSlot(Axis axis, bool positive) { return AxisIndex(axis) * 2 + (positive ? 0 : 1); }

// The object name a step button sends.
std::string_view StepEventName(Axis axis, AxisRole role) {
    const AxisEventNames& names = EventNamesOf(axis);
    switch (role) {
        case AxisRole::PosStepUp: return names.posInc;
        case AxisRole::PosStepDown: return names.posDec;
        case AxisRole::NegStepUp: return names.negInc;
        default: return names.negDec;
    }
}

}  // namespace

DashboardLogic::DashboardLogic(DashboardDisplay& display, Core& core, WindowHost& host)
    : display_(display), core_(core), host_(host) {
    for (Axis axis : Axes) {
        for (bool positive : {true, false}) {
            lastReportedPosition_[BarSlot(axis, positive)] =
                display_.State(TrackBarOf(axis, positive)).position;
        }
    }
    display_.SetListener(this);
}

DashboardLogic::~DashboardLogic() { display_.SetListener(nullptr); }

void DashboardLogic::Send(std::string_view objectName, std::string_view eventText) {
    core_.ServiceEvent(objectName, eventText);
}

// ---------------------------------------------------------------------------------------------
// View input

void DashboardLogic::UserClicked(Element element) {
    if (!IsElement(element)) return;
    const ElementState& state = display_.State(element);
    if (!state.visible || !state.enabled) return;

    if (Index(element) < static_cast<std::size_t>(AxisCount * AxisRoleCount)) {
        const Axis axis = AxisOf(element);
        const auto role = static_cast<AxisRole>(Index(element) % AxisRoleCount);
        switch (role) {
            case AxisRole::AxisButton:
            case AxisRole::AxisLabel:
            case AxisRole::StatusText: AxisButtonClick(axis); return;
            case AxisRole::PosUpIcon:
            case AxisRole::PosDownIcon:
            case AxisRole::PosValueText:
            case AxisRole::PosCaption:
            case AxisRole::PosZeroOverlay: AdjustEnter(axis, true); return;
            case AxisRole::NegUpIcon:
            case AxisRole::NegDownIcon:
            case AxisRole::NegValueText:
            case AxisRole::NegCaption:
            case AxisRole::NegZeroOverlay: AdjustEnter(axis, false); return;
            case AxisRole::PosStepUp:
            case AxisRole::PosStepDown:
            case AxisRole::NegStepUp:
            case AxisRole::NegStepDown: StepClick(axis, role); return;
            default: return;  // track bars, output and neutral texts: no click handler
        }
    }

    switch (element) {
        case Element::BitBtnModeEnhanced: BitBtnModeEnhancedClick(); break;
        case Element::BitBtnModeLegacy: BitBtnModeLegacyClick(); break;
        case Element::ComboBoxCommsSelect: ComboBoxCommsSelectClick(); break;
        case Element::ButtonDebug01: ButtonDebug01Click(); break;
        case Element::ButtonDebug02: ButtonDebug02Click(); break;
        case Element::ButtonDebug03: ButtonDebug03Click(); break;
        case Element::ButtonDebug04: ButtonDebug04Click(); break;
        case Element::ButtonDebugShow: ButtonDebugShowClick(); break;
        case Element::ButtonDebugClear: ButtonDebugClearClick(); break;
        default: break;
    }
}

void DashboardLogic::UserFocused(Element element) { display_.SetFocus(element); }

void DashboardLogic::UserMovedTrackBar(Element bar, std::int32_t position) {
    if (KindOf(bar) != ElementKind::TrackBar) return;
    operatorMovedBar_ = bar;
    display_.SetTrackBarPosition(bar, position);
    operatorMovedBar_ = Element::None;  // also when the position did not change
}

// Raised by the display state, also while a display command is running.
void DashboardLogic::FocusEntered(Element element) {
    if (element == Element::ComboBoxCommsSelect) {
        ComboBoxCommsSelectEnter();
        return;
    }
    if (KindOf(element) != ElementKind::TrackBar) return;
    const Axis axis = AxisOf(element);
    AdjustEnter(axis, element == TrackBarOf(axis, true));
}

// Raised by the display state for every change of a bar's position. The operator's move is
// reported; a move made by a display command (a new value or range from the core) is not, so the
// core never receives back as the operator's choice a value it sent itself or one a range change
// clamped.
void DashboardLogic::TrackBarChanged(Element bar) {
    const bool byOperator = bar == operatorMovedBar_;
    operatorMovedBar_ = Element::None;
    if (!byOperator) {
        FollowWindowMove(bar);
        return;
    }
    const Axis axis = AxisOf(bar);
    TrackBarChange(axis, bar == TrackBarOf(axis, true));
}

// The bar now shows what the core holds, so the operator's next move to any other position is a
// new value and is reported, a move back onto the old position included.
void DashboardLogic::FollowWindowMove(Element bar) {
    const Axis axis = AxisOf(bar);
    lastReportedPosition_[BarSlot(axis, bar == TrackBarOf(axis, true))] =
        display_.State(bar).position;
}

// ---------------------------------------------------------------------------------------------
// Axis handlers

void DashboardLogic::AxisButtonClick(Axis axis) {
    if (!display_.AxisSelectEnabled(axis)) return;
    Send(EventNamesOf(axis).axisButton, OnClick);
}

// The adjust-entry pair carries the name of the side's track bar, whichever of its controls was
// used.
void DashboardLogic::AdjustEnter(Axis axis, bool positive) {
    if (!display_.AxisSelectEnabled(axis)) return;
    const AxisEventNames& names = EventNamesOf(axis);
    Send(positive ? names.posEntry : names.negEntry, OnClick);
}

// Reports a bar position that the operator set while the bar had the focus; repeats are not
// reported.
void DashboardLogic::TrackBarChange(Axis axis, bool positive) {
    const Element bar = TrackBarOf(axis, positive);
    if (display_.Focus() != bar) return;
    const ElementState& state = display_.State(bar);
    std::int32_t& last = lastReportedPosition_[BarSlot(axis, positive)];
    if (state.position == last) return;
    last = state.position;
    // The bar stands upside down; this gives back the adjust value the slider shows.
    const std::int64_t value =
        std::int64_t{state.maximum} - state.position + std::int64_t{state.minimum};
    const AxisEventNames& names = EventNamesOf(axis);
    Send(positive ? names.posTrackValue : names.negTrackValue, IntToText(value));
}

void DashboardLogic::ButtonPanClick() { AxisButtonClick(Axis::Pan); }
void DashboardLogic::ButtonTiltClick() { AxisButtonClick(Axis::Tilt); }
void DashboardLogic::ButtonRollClick() { AxisButtonClick(Axis::Roll); }

void DashboardLogic::TrackBarPan_PosAdjustEnter() { AdjustEnter(Axis::Pan, true); }
void DashboardLogic::TrackBarPan_NegAdjustEnter() { AdjustEnter(Axis::Pan, false); }
void DashboardLogic::TrackBarTiltPosAdjustEnter() { AdjustEnter(Axis::Tilt, true); }
void DashboardLogic::TrackBarTiltNegAdjustEnter() { AdjustEnter(Axis::Tilt, false); }
void DashboardLogic::TrackBarRollPosAdjustEnter() { AdjustEnter(Axis::Roll, true); }
void DashboardLogic::TrackBarRollNegAdjustEnter() { AdjustEnter(Axis::Roll, false); }

void DashboardLogic::StepClick(Axis axis, AxisRole role) {
    Send(StepEventName(axis, role), OnClick);
}

void DashboardLogic::SpeedButtonPan_PosValueIncClick() {
    StepClick(Axis::Pan, AxisRole::PosStepUp);
}
void DashboardLogic::SpeedButtonPan_PosValueDecClick() {
    StepClick(Axis::Pan, AxisRole::PosStepDown);
}
void DashboardLogic::SpeedButtonPan_NegValueIncClick() {
    StepClick(Axis::Pan, AxisRole::NegStepUp);
}
void DashboardLogic::SpeedButtonPan_NegValueDecClick() {
    StepClick(Axis::Pan, AxisRole::NegStepDown);
}
void DashboardLogic::SpeedButtonTiltPosValueIncClick() {
    StepClick(Axis::Tilt, AxisRole::PosStepUp);
}
void DashboardLogic::SpeedButtonTiltPosValueDecClick() {
    StepClick(Axis::Tilt, AxisRole::PosStepDown);
}
void DashboardLogic::SpeedButtonTiltNegValueIncClick() {
    StepClick(Axis::Tilt, AxisRole::NegStepUp);
}
void DashboardLogic::SpeedButtonTiltNegValueDecClick() {
    StepClick(Axis::Tilt, AxisRole::NegStepDown);
}
void DashboardLogic::SpeedButtonRollPosValueIncClick() {
    StepClick(Axis::Roll, AxisRole::PosStepUp);
}
void DashboardLogic::SpeedButtonRollPosValueDecClick() {
    StepClick(Axis::Roll, AxisRole::PosStepDown);
}
void DashboardLogic::SpeedButtonRollNegValueIncClick() {
    StepClick(Axis::Roll, AxisRole::NegStepUp);
}
void DashboardLogic::SpeedButtonRollNegValueDecClick() {
    StepClick(Axis::Roll, AxisRole::NegStepDown);
}

void DashboardLogic::TrackBarPan_PosAdjustChange() { TrackBarChange(Axis::Pan, true); }
void DashboardLogic::TrackBarPan_NegAdjustChange() { TrackBarChange(Axis::Pan, false); }
void DashboardLogic::TrackBarTiltPosAdjustChange() { TrackBarChange(Axis::Tilt, true); }
void DashboardLogic::TrackBarTiltNegAdjustChange() { TrackBarChange(Axis::Tilt, false); }
void DashboardLogic::TrackBarRollPosAdjustChange() { TrackBarChange(Axis::Roll, true); }
void DashboardLogic::TrackBarRollNegAdjustChange() { TrackBarChange(Axis::Roll, false); }

std::int32_t DashboardLogic::LastReportedPosition(Element bar) const {
    if (KindOf(bar) != ElementKind::TrackBar) return 0;
    const Axis axis = AxisOf(bar);
    return lastReportedPosition_[BarSlot(axis, bar == TrackBarOf(axis, true))];
}

// ---------------------------------------------------------------------------------------------
// Mode buttons, port list, debug panel

void DashboardLogic::BitBtnModeEnhancedClick() { Send(event_names::ButtonModeEnhanced, OnClick); }

// Legacy mode needs every axis back in normal mode first: the three axis pairs go whatever the
// axis select flags are.
void DashboardLogic::BitBtnModeLegacyClick() {
    for (Axis axis : Axes) Send(EventNamesOf(axis).axisButton, OnClick);
    Send(event_names::ButtonModeLegacy, OnClick);
}

void DashboardLogic::ComboBoxCommsSelectChange(std::int32_t itemIndex) {
    const std::string index = IntToText(itemIndex);
    display_.SetCaption(Element::Label1, "Changed" + index);
    Send(event_names::CommsSelect, index);
}

// Opening the list has the core look at the devices present again, so its tooltips are fresh.
void DashboardLogic::ComboBoxCommsSelectClick() {
    display_.SetCaption(Element::Label1, "Clicked");
    Send(event_names::CommsSelectOpened, OnClick);
}
void DashboardLogic::ComboBoxCommsSelectEnter() {
    display_.SetCaption(Element::Label1, "Entered");
    Send(event_names::CommsSelectOpened, event_texts::OnEnter);
}

void DashboardLogic::ButtonDebug01Click() { Send(event_names::ButtonDebugAppInfo, OnClick); }
void DashboardLogic::ButtonDebug02Click() {
    Send(event_names::DebugAction, event_texts::ForceRefresh);
}
void DashboardLogic::ButtonDebug04Click() {
    Send(event_names::DebugPoint, IntToText(debugPointNumber_));
}

// Any text is accepted: one that is not an integer, or a number outside 1 to 39, gives 1.
// Cancelling returns the default text, which keeps the number.
void DashboardLogic::ButtonDebug03Click() {
    const std::string defaultText = IntToText(debugPointNumber_);
    const std::string text = host_.InputBox("Debug Point Number:", "Value:", defaultText);
    if (text != defaultText) debugPointNumber_ = TryTextToInt(text).value_or(1);
    if (debugPointNumber_ < 1 || debugPointNumber_ > 39) debugPointNumber_ = 1;
}

void DashboardLogic::ButtonDebugShowClick() {
    const bool visible = !display_.State(Element::MemoDebug).visible;
    for (Element element :
         {Element::MemoDebug, Element::Label1, Element::Label2, Element::Label3, Element::Label4,
          Element::Label5, Element::ButtonDebugClear, Element::ButtonDebug01,
          Element::ButtonDebug02, Element::ButtonDebug03, Element::ButtonDebug04,
          Element::StaticTextPan_NeutralValue, Element::StaticTextTiltNeutralValue,
          Element::StaticTextRollNeutralValue}) {
        display_.SetVisible(element, visible);
    }
}

void DashboardLogic::ButtonDebugClearClick() {
    display_.ClearMemo();
    display_.SetBackground(Element::MemoDebug, colours::White);
    display_.SetFontColour(Element::MemoDebug, colours::Black);
}

// ---------------------------------------------------------------------------------------------
// Window life and timers

void DashboardLogic::FormCreate() {
    display_.SetVisible(Element::ButtonDebugShow, false);
    core_.CoreStart();
}

void DashboardLogic::FormClose() {
    if (closed_) return;
    closed_ = true;
    core_.CoreStop();
}

void DashboardLogic::Exit1Click() { host_.CloseWindow(); }

void DashboardLogic::Comms_TimerTimer() {
    if (closed_) return;
    core_.CommsTick();
}

// Ticks keep arriving while the error dialog is open, so this can run nested inside itself; the
// state shows the dialog only once, and the tick that sees it closed closes the window.
void DashboardLogic::TimerSysUpdateTimer() {
    if (closed_) return;
    core_.SystemTick();
    if (!core_.CheckConfigVersions() && configCheckState_ == ConfigCheck::Checking) {
        configCheckState_ = ConfigCheck::ErrorShown;
        host_.ShowConfigErrorDialog();
    }
    if (configCheckState_ == ConfigCheck::ErrorClosed) {
        configCheckState_ = ConfigCheck::CloseRequested;
        host_.CloseWindow();
    }
}

void DashboardLogic::ConfigErrorDialogClosed() {
    if (configCheckState_ == ConfigCheck::ErrorShown) configCheckState_ = ConfigCheck::ErrorClosed;
}

}  // namespace kestrova
