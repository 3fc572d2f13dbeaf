#include "ui/display_state.h"

#include <algorithm>

#include "common/number_text.h"

namespace kestrova {

namespace {

static_assert(AxisElement(Axis::Tilt, AxisRole::AxisButton) == Element::ButtonTilt);
static_assert(AxisElement(Axis::Roll, AxisRole::AxisButton) == Element::ButtonRoll);
static_assert(AxisElement(Axis::Roll, AxisRole::NeutralValueText) ==
              Element::StaticTextRollNeutralValue);
static_assert(AxisElement(Axis::Pan, AxisRole::NegZeroOverlay) ==
              Element::StaticTextPan_NegValueZero);
static_assert(static_cast<int>(AxisRole::NeutralValueText) + 1 == AxisRoleCount);
static_assert(ElementCount < static_cast<std::size_t>(UINT8_MAX));

#define KESTROVA_ELEMENT_NAME(name, kind) std::string_view(#name),
constexpr std::array<std::string_view, ElementCount> ElementNames{
    KESTROVA_DASHBOARD_ELEMENTS(KESTROVA_ELEMENT_NAME)};
#undef KESTROVA_ELEMENT_NAME

#define KESTROVA_ELEMENT_KIND(name, kind) ElementKind::kind,
constexpr std::array<ElementKind, ElementCount> ElementKinds{
    KESTROVA_DASHBOARD_ELEMENTS(KESTROVA_ELEMENT_KIND)};
#undef KESTROVA_ELEMENT_KIND

constexpr std::array<std::string_view, AxisCount> AxisLabelCaptions{"PAN", "TILT", "ROLL"};
constexpr std::array<std::string_view, AxisCount> PositiveCaptions{
    "Pan Positive ", "Tilt Positive ", "Roll Positive "};
constexpr std::array<std::string_view, AxisCount> NegativeCaptions{
    "Pan Negative ", "Tilt Negative ", "Roll Negative "};

// The axis keys are the axis word ("Pan_" with its underscore, "Tilt", "Roll") followed by one of
// these suffixes.
constexpr std::array<std::string_view, AxisCount> AxisKeyPrefixes{"Pan_", "Tilt", "Roll"};

constexpr std::array<Axis, AxisCount> Axes{Axis::Pan, Axis::Tilt, Axis::Roll};

Element Bar(Axis axis, bool positive) {
    return AxisElement(axis, positive ? AxisRole::PosTrackBar : AxisRole::NegTrackBar);
}

}  // namespace

std::string_view ElementName(Element element) {
    return IsElement(element) ? ElementNames[Index(element)] : std::string_view();
}

Element ElementByName(std::string_view name) {
    const auto found = std::find(ElementNames.begin(), ElementNames.end(), name);
    if (found == ElementNames.end()) return Element::None;
    return static_cast<Element>(found - ElementNames.begin());
}

ElementKind KindOf(Element element) {
    return IsElement(element) ? ElementKinds[Index(element)] : ElementKind::StaticText;
}

DashboardDisplay::DashboardDisplay() {
    for (Axis axis : Axes) {
        const auto a = static_cast<std::size_t>(axis);
        auto at = [&](AxisRole role) -> ElementState& {
            return elements_[Index(AxisElement(axis, role))];
        };
        at(AxisRole::AxisButton).caption = " ";
        at(AxisRole::AxisLabel).caption = AxisLabelCaptions[a];
        at(AxisRole::AxisLabel).background = colours::Lime;
        at(AxisRole::StatusText).caption = "Normal Mode";
        at(AxisRole::StatusText).background = colours::Lime;

        for (bool positive : {true, false}) {
            ElementState& bar = elements_[Index(Bar(axis, positive))];
            bar.minimum = positive ? 0 : -200;
            bar.maximum = positive ? 200 : 0;
            bar.position = positive ? 200 : 0;
            bar.tickSpacing = 100;
            bar.sliderShown = true;
        }
        at(AxisRole::PosValueText).caption = "####0";
        at(AxisRole::NegValueText).caption = "####0";
        at(AxisRole::PosCaption).caption = PositiveCaptions[a];
        at(AxisRole::NegCaption).caption = NegativeCaptions[a];
        for (AxisRole role : {AxisRole::PosStepUp, AxisRole::PosStepDown, AxisRole::NegStepUp,
                              AxisRole::NegStepDown}) {
            at(role).enabled = false;
        }
        at(AxisRole::PosZeroOverlay).caption = "0";
        at(AxisRole::NegZeroOverlay).caption = "0";
        for (AxisRole role : {AxisRole::OutputValueText, AxisRole::NeutralValueText}) {
            at(role).caption = "####0";
            at(role).background = colours::Black;
            at(role).fontColour = colours::Lime;
        }
        at(AxisRole::NeutralValueText).visible = false;
    }

    auto at = [&](Element element) -> ElementState& { return elements_[Index(element)]; };
    at(Element::StaticTextCommsStatus).caption = "No Comms";
    at(Element::StaticTextCommsStatus).background = colours::Red;
    at(Element::ComboBoxCommsSelect).caption = "Select Port";
    at(Element::ComboBoxCommsSelect).background = colours::White;
    at(Element::StaticTextSoftwareVersion).caption = "####0";
    at(Element::StaticTextSoftwareVersion).background = colours::Black;
    at(Element::StaticTextSoftwareVersion).fontColour = colours::Lime;

    ElementState& banner = at(Element::StaticTextNotification);
    banner.caption = "NOTIFICATION";
    banner.background = colours::ButtonShadow;
    banner.visible = false;
    banner.placed = true;
    banner.left = 720;
    banner.top = 530;

    at(Element::BitBtnModeEnhanced).caption = "Enhanced";
    at(Element::BitBtnModeEnhanced).fontColour = colours::Green;
    at(Element::BitBtnModeEnhanced).visible = false;
    at(Element::BitBtnModeLegacy).caption = "Legacy";
    at(Element::BitBtnModeLegacy).fontColour = colours::Gray;
    at(Element::BitBtnModeLegacy).visible = false;

    // The debug panel: all hidden.
    at(Element::MemoDebug).background = colours::White;
    for (Element label :
         {Element::Label1, Element::Label2, Element::Label3, Element::Label4, Element::Label5}) {
        at(label).caption = ElementName(label);
        at(label).background = colours::White;
    }
    at(Element::ButtonDebug01).caption = "Msg Info";
    at(Element::ButtonDebug02).caption = "D02-Refresh";
    at(Element::ButtonDebug03).caption = "DB03 Pt Nmbr";
    at(Element::ButtonDebug04).caption = "DB04 Pt Val";
    at(Element::ButtonDebugShow).caption = "Debug";
    at(Element::ButtonDebugClear).caption = "Clear Disp";
    for (Element element :
         {Element::MemoDebug, Element::Label1, Element::Label2, Element::Label3, Element::Label4,
          Element::Label5, Element::ButtonDebug01, Element::ButtonDebug02, Element::ButtonDebug03,
          Element::ButtonDebug04, Element::ButtonDebugShow, Element::ButtonDebugClear}) {
        at(element).visible = false;
    }
    memo_.emplace_back("Debug->");
}

// ---------------------------------------------------------------------------------------------
// Element setters

const ElementState& DashboardDisplay::State(Element element) const {
    static const ElementState blank{};
    return IsElement(element) ? elements_[Index(element)] : blank;
}

ElementState& DashboardDisplay::Mutable(Element element) { return elements_[Index(element)]; }

void DashboardDisplay::Touch(Element element) {
    ++elements_[Index(element)].revision;
    ++revision_;
}

void DashboardDisplay::SetCaption(Element element, std::string_view caption) {
    if (!IsElement(element)) return;
    ElementState& state = Mutable(element);
    if (state.caption == caption) return;
    state.caption.assign(caption);
    Touch(element);
}

void DashboardDisplay::SetBackground(Element element, Colour colour) {
    if (!IsElement(element)) return;
    ElementState& state = Mutable(element);
    if (state.background == colour) return;
    state.background = colour;
    Touch(element);
}

void DashboardDisplay::SetFontColour(Element element, Colour colour) {
    if (!IsElement(element)) return;
    ElementState& state = Mutable(element);
    if (state.fontColour == colour) return;
    state.fontColour = colour;
    Touch(element);
}

void DashboardDisplay::SetVisible(Element element, bool visible) {
    if (!IsElement(element)) return;
    ElementState& state = Mutable(element);
    if (state.visible == visible) return;
    state.visible = visible;
    Touch(element);
}

void DashboardDisplay::SetEnabled(Element element, bool enabled) {
    if (!IsElement(element)) return;
    ElementState& state = Mutable(element);
    if (state.enabled == enabled) return;
    state.enabled = enabled;
    Touch(element);
}

void DashboardDisplay::SetPlace(Element element, std::int32_t left, std::int32_t top) {
    if (!IsElement(element)) return;
    ElementState& state = Mutable(element);
    if (state.placed && state.left == left && state.top == top) return;
    state.placed = true;
    state.left = left;
    state.top = top;
    Touch(element);
}

void DashboardDisplay::MoveTrackBar(Element bar, std::int32_t position) {
    ElementState& state = Mutable(bar);
    if (state.position == position) return;
    state.position = position;
    Touch(bar);
    // The state is complete before the listener runs: it may call back into DisplayUpdate.
    if (listener_ != nullptr) listener_->TrackBarChanged(bar);
}

void DashboardDisplay::SetTrackBarMinimum(Element bar, std::int32_t minimum) {
    if (KindOf(bar) != ElementKind::TrackBar) return;
    ElementState& state = Mutable(bar);
    if (minimum > state.maximum || minimum == state.minimum) return;
    state.minimum = minimum;
    Touch(bar);
    if (state.position < minimum) MoveTrackBar(bar, minimum);
}

void DashboardDisplay::SetTrackBarMaximum(Element bar, std::int32_t maximum) {
    if (KindOf(bar) != ElementKind::TrackBar) return;
    ElementState& state = Mutable(bar);
    if (maximum < state.minimum || maximum == state.maximum) return;
    state.maximum = maximum;
    Touch(bar);
    if (state.position > maximum) MoveTrackBar(bar, maximum);
}

void DashboardDisplay::SetTrackBarPosition(Element bar, std::int32_t position) {
    if (KindOf(bar) != ElementKind::TrackBar) return;
    const ElementState& state = State(bar);
    MoveTrackBar(bar, std::clamp(position, state.minimum, state.maximum));
}

void DashboardDisplay::SetTickSpacing(Element bar, std::int32_t spacing) {
    if (KindOf(bar) != ElementKind::TrackBar) return;
    ElementState& state = Mutable(bar);
    if (state.tickSpacing == spacing) return;
    state.tickSpacing = spacing;
    Touch(bar);
}

void DashboardDisplay::SetSliderShown(Element bar, bool shown) {
    if (KindOf(bar) != ElementKind::TrackBar) return;
    ElementState& state = Mutable(bar);
    if (state.sliderShown == shown) return;
    state.sliderShown = shown;
    Touch(bar);
}

void DashboardDisplay::SetFocus(Element element) {
    if (!IsElement(element)) element = Element::None;
    if (focus_ == element) return;
    focus_ = element;
    ++revision_;
    if (element != Element::None && listener_ != nullptr) listener_->FocusEntered(element);
}

void DashboardDisplay::AddMemoLine(std::string_view line) {
    memo_.emplace_back(line);
    if (memo_.size() > MemoLineLimit) memo_.pop_front();
    ++memoLinesAdded_;
    Touch(Element::MemoDebug);
}

void DashboardDisplay::ClearMemo() {
    memo_.clear();
    ++memoClears_;
    Touch(Element::MemoDebug);
}

void DashboardDisplay::EnableAxisSelect(Axis axis) {
    bool& flag = axisSelect_.at(static_cast<std::size_t>(axis));
    if (flag) return;
    flag = true;
    ++revision_;
}

void DashboardDisplay::DisableAxisSelect(Axis axis) {
    bool& flag = axisSelect_.at(static_cast<std::size_t>(axis));
    if (!flag) return;
    flag = false;
    ++revision_;
}

bool DashboardDisplay::AxisInNormalMode(Axis axis) const {
    return State(AxisElement(axis, AxisRole::AxisLabel)).background == colours::Lime;
}

bool DashboardDisplay::EnhancedMode() const {
    return State(Element::BitBtnModeEnhanced).fontColour == colours::Green;
}

bool DashboardDisplay::CommsGood() const {
    const Colour colour = State(Element::StaticTextCommsStatus).background;
    return colour == colours::Green || colour == colours::Lime;
}

// ---------------------------------------------------------------------------------------------
// Display commands

void DashboardDisplay::DisplayUpdate(std::string_view key, std::string_view value) {
    // Keys are distinct, so at most one effect applies. Keys and values that match nothing change
    // nothing but still leave their trace line.
    if (AxisCommand(key, value)) {
        // applied
    } else if (key == "ModeSelect") {
        ModeSelect(value);
    } else if (key == "SoftwareVersionNumber") {
        SoftwareVersionNumber(value);
    } else if (key == "ShowNotification") {
        SetCaption(Element::StaticTextNotification, value);
        SetPlace(Element::StaticTextNotification, 250, 220);
        SetVisible(Element::StaticTextNotification, true);
    } else if (key == "HideNotification") {
        SetVisible(Element::StaticTextNotification, false);
    } else if (key == "CommsStatus") {
        CommsStatus(value);
    }
    // "CommsSelect" changes nothing: only its trace line is written.

    if (key == "DebugInfo") {
        AddMemoLine(value);
    } else if (key == "DebugColour") {
        DebugColour(value);
    } else {
        std::string line;
        line.reserve(key.size() + value.size() + 11);
        line.append("Form: >").append(key).append("<>").append(value).append("<");
        AddMemoLine(line);
    }
}

bool DashboardDisplay::AxisCommand(std::string_view key, std::string_view value) {
    for (Axis axis : Axes) {
        const std::string_view prefix = AxisKeyPrefixes[static_cast<std::size_t>(axis)];
        if (!key.starts_with(prefix)) continue;
        const std::string_view suffix = key.substr(prefix.size());
        const bool pan = axis == Axis::Pan;
        if (suffix == "ModeSelect") {
            AxisModeDisplay(axis, value);
        } else if (suffix == "NeutralValue") {
            SetCaption(AxisElement(axis, AxisRole::NeutralValueText), value);
        } else if (suffix == "OutputValue") {
            SetCaption(AxisElement(axis, AxisRole::OutputValueText), value);
        } else if (suffix == "PosAdjustValue") {
            AdjustValue(axis, true, value);
        } else if (suffix == "NegAdjustValue") {
            AdjustValue(axis, false, value);
        } else if (suffix == "PosAdjustValueMin") {
            SetTrackBarMinimum(Bar(axis, true), TextToInt(value));
            if (pan) SetCaption(Element::Label3, value);
        } else if (suffix == "PosAdjustValueMax") {
            SetTrackBarMaximum(Bar(axis, true), TextToInt(value));
            if (pan) SetCaption(Element::Label2, value);
        } else if (suffix == "NegAdjustValueMin") {
            SetTrackBarMinimum(Bar(axis, false), TextToInt(value));
            if (pan) SetCaption(Element::Label5, value);
        } else if (suffix == "NegAdjustValueMax") {
            SetTrackBarMaximum(Bar(axis, false), TextToInt(value));
            if (pan) SetCaption(Element::Label4, value);
        } else {
            return false;
        }
        return true;
    }
    return false;
}

void DashboardDisplay::AxisModeDisplay(Axis axis, std::string_view mode) {
    const bool normal = mode == "Normal";
    const bool increment = mode == "Increment";
    const bool decrement = mode == "Decrement";
    if (!normal && !increment && !decrement) return;

    const Colour look = normal ? colours::Lime : colours::Yellow;
    SetBackground(AxisElement(axis, AxisRole::AxisLabel), look);
    SetBackground(AxisElement(axis, AxisRole::StatusText), look);
    SetCaption(AxisElement(axis, AxisRole::StatusText),
               normal ? "Normal Mode" : increment ? "Positive Adjust Mode" : "Negative Adjust Mode");
    // The focus moves only while some control holds it (not during start-up, before the window
    // is shown). Each check is made at its own step: a handler raised by an earlier step may have
    // moved the focus meanwhile.
    if (normal && SomeControlHasFocus()) SetFocus(AxisElement(axis, AxisRole::AxisButton));
    AdjustSide(axis, true, increment);
    if (increment && SomeControlHasFocus()) SetFocus(Bar(axis, true));
    AdjustSide(axis, false, decrement);
    if (decrement && SomeControlHasFocus()) SetFocus(Bar(axis, false));
}

// The active side is yellow with its step buttons and slider usable; the inactive side has its
// icons over the disabled step buttons and no slider.
void DashboardDisplay::AdjustSide(Axis axis, bool positive, bool active) {
    const Colour colour = active ? colours::Yellow : colours::ButtonFace;
    auto role = [positive](AxisRole pos, AxisRole neg) { return positive ? pos : neg; };
    SetBackground(AxisElement(axis, role(AxisRole::PosCaption, AxisRole::NegCaption)), colour);
    SetBackground(AxisElement(axis, role(AxisRole::PosValueText, AxisRole::NegValueText)), colour);
    SetEnabled(AxisElement(axis, role(AxisRole::PosStepUp, AxisRole::NegStepUp)), active);
    SetSliderShown(Bar(axis, positive), active);
    SetEnabled(AxisElement(axis, role(AxisRole::PosStepDown, AxisRole::NegStepDown)), active);
    SetVisible(AxisElement(axis, role(AxisRole::PosUpIcon, AxisRole::NegUpIcon)), !active);
    SetVisible(AxisElement(axis, role(AxisRole::PosDownIcon, AxisRole::NegDownIcon)), !active);
}

// The value text shows the value relative to the bar's zero end (the minimum on the positive
// side, the maximum on the negative side); the bar is placed upside down so that its top shows
// the positive maximum and its bottom the negative minimum. The bar clamps, the text does not.
void DashboardDisplay::AdjustValue(Axis axis, bool positive, std::string_view value) {
    const std::int64_t n = TextToInt(value);
    const Element bar = Bar(axis, positive);
    const ElementState& state = State(bar);
    const std::int64_t zeroEnd = positive ? state.minimum : state.maximum;
    SetCaption(AxisElement(axis, positive ? AxisRole::PosValueText : AxisRole::NegValueText),
               IntToText(n - zeroEnd));
    // Computed in 64 bits and clamped before narrowing, so extreme values cannot overflow.
    const std::int64_t position =
        std::clamp<std::int64_t>(std::int64_t{state.maximum} - n + state.minimum, state.minimum,
                                 state.maximum);
    SetTrackBarPosition(bar, static_cast<std::int32_t>(position));
}

void DashboardDisplay::ModeSelect(std::string_view value) {
    const bool enhanced = value == "ENHANCED";
    if (!enhanced && value != "LEGACY") return;
    SetFontColour(Element::BitBtnModeEnhanced, enhanced ? colours::Green : colours::Gray);
    SetFontColour(Element::BitBtnModeLegacy, enhanced ? colours::Gray : colours::Green);
    for (Axis axis : Axes) {
        SetTickSpacing(Bar(axis, true), enhanced ? 20 : 205);
        SetTickSpacing(Bar(axis, false), enhanced ? 20 : 205);
    }
    for (Axis axis : Axes) {
        SetVisible(AxisElement(axis, AxisRole::PosZeroOverlay), !enhanced);
        SetVisible(AxisElement(axis, AxisRole::NegZeroOverlay), !enhanced);
    }
    for (Axis axis : Axes) {
        if (enhanced) {
            EnableAxisSelect(axis);
        } else {
            DisableAxisSelect(axis);
        }
    }
}

// The controller's version number n shown as major.minor.patch: the last digit is the patch, the
// two digits before it the minor number and anything before those the major number
// (1201 -> 1.20.1, 12345 -> 12.34.5, 123 -> 0.12.3). Numbers of 9 or less (zero and negative
// ones included) show "0.00." and the last character of their text (7 -> 0.00.7, -5 -> 0.00.5).
// A two-digit number has only one digit for the minor field; it is shown with a leading zero, so
// the middle field keeps its two places (45 -> 0.04.5).
void DashboardDisplay::SoftwareVersionNumber(std::string_view value) {
    const std::int32_t n = TextToInt(value);
    const std::string t = IntToText(n);
    const std::size_t length = t.size();
    std::string caption;
    if (n > 999) {
        caption.append(t, 0, length - 3).append(".").append(t, length - 3, 2).append(".");
        caption.push_back(t.back());
    } else if (n >= 100) {
        caption.append("0.").append(t, 0, 2).append(".");
        caption.push_back(t.back());
    } else if (n >= 10) {
        caption.append("0.0");
        caption.push_back(t.front());
        caption.append(".");
        caption.push_back(t.back());
    } else {
        caption.append("0.00.");
        caption.push_back(t.back());
    }
    SetCaption(Element::StaticTextSoftwareVersion, caption);
}

void DashboardDisplay::CommsStatus(std::string_view value) {
    // The core sends the colour and the caption as two separate commands.
    if (value == "None") {
        SetBackground(Element::StaticTextCommsStatus, colours::Red);
    } else if (value == "PortConnected") {
        SetBackground(Element::StaticTextCommsStatus, colours::Yellow);
    } else if (value == "GoodFlashOn") {
        SetBackground(Element::StaticTextCommsStatus, colours::Lime);
    } else if (value == "GoodFlashOff") {
        SetBackground(Element::StaticTextCommsStatus, colours::Green);
    } else {
        SetCaption(Element::StaticTextCommsStatus, value);
    }
}

void DashboardDisplay::DebugColour(std::string_view value) {
    if (value == "BlackOnRed") {
        SetBackground(Element::MemoDebug, colours::Red);
        SetFontColour(Element::MemoDebug, colours::Black);
    } else if (value == "BlackOnWhite") {
        SetBackground(Element::MemoDebug, colours::White);
        SetFontColour(Element::MemoDebug, colours::Black);
    }
}

}  // namespace kestrova
