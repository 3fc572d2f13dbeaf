#include "ui/display_state.h"

#include <algorithm>

#include "common/number_text.h"
#include "core/ui_names.h"

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
        const std::size_t a = AxisIndex(axis);
        auto at = [&](AxisRole role) -> ElementState& {
            return elements_[Index(AxisElement(axis, role))];
        };
        // One-character captions are assigned as characters: assigning the one-character
        // literal draws a false -Wrestrict from GCC 12 at -O3.
        at(AxisRole::AxisButton).caption.assign(1, ' ');
        at(AxisRole::AxisLabel).caption = AxisLabelCaptions[a];
        at(AxisRole::AxisLabel).background = colours::Lime;
        at(AxisRole::StatusText).caption = "Normal Mode";
        at(AxisRole::StatusText).background = colours::Lime;

        for (bool positive : {true, false}) {
            ElementState& bar = elements_[Index(TrackBarOf(axis, positive))];
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
        at(AxisRole::PosZeroOverlay).caption.assign(1, '0');
        at(AxisRole::NegZeroOverlay).caption.assign(1, '0');
        for (AxisRole role : {AxisRole::OutputValueText, AxisRole::NeutralValueText}) {
            at(role).caption = "####0";
            at(role).background = colours::Black;
            at(role).fontColour = colours::Lime;
        }
        at(AxisRole::NeutralValueText).visible = false;
    }

    auto at = [&](Element element) -> ElementState& { return elements_[Index(element)]; };
    at(Element::StaticTextCommsStatus).caption = display_values::NoCommsCaption;
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

void DashboardDisplay::SetHint(Element element, std::string_view hint) {
    if (!IsElement(element) || State(element).hint == hint) return;
    Mutable(element).hint = hint;
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
    bool& flag = axisSelect_.at(AxisIndex(axis));
    if (flag) return;
    flag = true;
    ++revision_;
}

void DashboardDisplay::DisableAxisSelect(Axis axis) {
    bool& flag = axisSelect_.at(AxisIndex(axis));
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

}  // namespace kestrova
