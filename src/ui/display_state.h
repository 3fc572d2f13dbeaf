#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/axis.h"
#include "core/core_interfaces.h"
#include "ui/restore_preview.h"

// The dashboard's display state without any widget toolkit: every element whose caption, colour,
// visibility, enabled state, track bar range or position can change, the input focus, the debug
// memo and the axis select flags. The core changes it only through DisplayUpdate; the window
// logic changes a few debug elements directly; a view renders it and feeds user input back
// through the window logic.
namespace kestrova {

// A colour as the window stores it: plain RGB, or one of two system colours that the view
// resolves from its platform's palette.
struct Colour {
    enum class Kind : std::uint8_t { Rgb, ButtonFace, ButtonShadow };
    Kind kind = Kind::Rgb;
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    friend constexpr bool operator==(const Colour&, const Colour&) = default;
};

namespace colours {
inline constexpr Colour Lime{Colour::Kind::Rgb, 0, 255, 0};
inline constexpr Colour Yellow{Colour::Kind::Rgb, 255, 255, 0};
inline constexpr Colour Green{Colour::Kind::Rgb, 0, 128, 0};
inline constexpr Colour Red{Colour::Kind::Rgb, 255, 0, 0};
inline constexpr Colour Gray{Colour::Kind::Rgb, 128, 128, 128};
inline constexpr Colour White{Colour::Kind::Rgb, 255, 255, 255};
inline constexpr Colour Black{Colour::Kind::Rgb, 0, 0, 0};
inline constexpr Colour ButtonFace{Colour::Kind::ButtonFace, 0, 0, 0};
inline constexpr Colour ButtonShadow{Colour::Kind::ButtonShadow, 0, 0, 0};
}  // namespace colours

// The elements of one axis column, in the order in which every axis block of Element lists them.
enum class AxisRole : std::uint8_t {
    AxisButton,
    AxisLabel,
    StatusText,
    PosTrackBar,
    PosValueText,
    PosCaption,
    PosStepUp,
    PosStepDown,
    PosUpIcon,
    PosDownIcon,
    PosZeroOverlay,
    NegTrackBar,
    NegValueText,
    NegCaption,
    NegStepUp,
    NegStepDown,
    NegUpIcon,
    NegDownIcon,
    NegZeroOverlay,
    OutputValueText,
    NeutralValueText,
};
inline constexpr int AxisRoleCount = 21;

// Every element of the window with changing state, named as the window names its controls, with
// its kind. The three axis blocks come first, each in AxisRole order.
#define KESTROVA_DASHBOARD_ELEMENTS(X) \
    X(ButtonPan, PushButton) \
    X(StaticTextPan_Label, StaticText) \
    X(StaticTextPan_Status, StaticText) \
    X(TrackBarPan_PosAdjust, TrackBar) \
    X(StaticTextPan_PosValue, StaticText) \
    X(StaticTextPan_PosValue_Label, StaticText) \
    X(SpeedButtonPan_PosValueInc, StepButton) \
    X(SpeedButtonPan_PosValueDec, StepButton) \
    X(SpeedButtonPan_PosIncIcon, StepIcon) \
    X(SpeedButtonPan_PosDecIcon, StepIcon) \
    X(StaticTextPan_PosValueZero, StaticText) \
    X(TrackBarPan_NegAdjust, TrackBar) \
    X(StaticTextPan_NegValue, StaticText) \
    X(StaticTextPan_NegValue_Label, StaticText) \
    X(SpeedButtonPan_NegValueInc, StepButton) \
    X(SpeedButtonPan_NegValueDec, StepButton) \
    X(SpeedButtonPan_NegIncIcon, StepIcon) \
    X(SpeedButtonPan_NegDecIcon, StepIcon) \
    X(StaticTextPan_NegValueZero, StaticText) \
    X(StaticTextPan_Value, StaticText) \
    X(StaticTextPan_NeutralValue, StaticText) \
    X(ButtonTilt, PushButton) \
    X(StaticTextTiltLabel, StaticText) \
    X(StaticTextTiltStatus, StaticText) \
    X(TrackBarTiltPosAdjust, TrackBar) \
    X(StaticTextTiltPosValue, StaticText) \
    X(StaticTextTiltPosValue_Label, StaticText) \
    X(SpeedButtonTiltPosValueInc, StepButton) \
    X(SpeedButtonTiltPosValueDec, StepButton) \
    X(SpeedButtonTiltPosIncIcon, StepIcon) \
    X(SpeedButtonTiltPosDecIcon, StepIcon) \
    X(StaticTextTiltPosValueZero, StaticText) \
    X(TrackBarTiltNegAdjust, TrackBar) \
    X(StaticTextTiltNegValue, StaticText) \
    X(StaticTextTiltNegValue_Label, StaticText) \
    X(SpeedButtonTiltNegValueInc, StepButton) \
    X(SpeedButtonTiltNegValueDec, StepButton) \
    X(SpeedButtonTiltNegIncIcon, StepIcon) \
    X(SpeedButtonTiltNegDecIcon, StepIcon) \
    X(StaticTextTiltNegValueZero, StaticText) \
    X(StaticTextTiltValue, StaticText) \
    X(StaticTextTiltNeutralValue, StaticText) \
    X(ButtonRoll, PushButton) \
    X(StaticTextRollLabel, StaticText) \
    X(StaticTextRollStatus, StaticText) \
    X(TrackBarRollPosAdjust, TrackBar) \
    X(StaticTextRollPosValue, StaticText) \
    X(StaticTextRollPosValue_Label, StaticText) \
    X(SpeedButtonRollPosValueInc, StepButton) \
    X(SpeedButtonRollPosValueDec, StepButton) \
    X(SpeedButtonRollPosIncIcon, StepIcon) \
    X(SpeedButtonRollPosDecIcon, StepIcon) \
    X(StaticTextRollPosValueZero, StaticText) \
    X(TrackBarRollNegAdjust, TrackBar) \
    X(StaticTextRollNegValue, StaticText) \
    X(StaticTextRollNegValue_Label, StaticText) \
    X(SpeedButtonRollNegValueInc, StepButton) \
    X(SpeedButtonRollNegValueDec, StepButton) \
    X(SpeedButtonRollNegIncIcon, StepIcon) \
    X(SpeedButtonRollNegDecIcon, StepIcon) \
    X(StaticTextRollNegValueZero, StaticText) \
    X(StaticTextRollValue, StaticText) \
    X(StaticTextRollNeutralValue, StaticText) \
    X(StaticTextCommsStatus, StaticText) \
    X(ComboBoxCommsSelect, ComboBox) \
    X(StaticTextSoftwareVersion, StaticText) \
    X(StaticTextNotification, StaticText) \
    X(BitBtnModeEnhanced, PushButton) \
    X(BitBtnModeLegacy, PushButton) \
    X(MemoDebug, Memo) \
    X(Label1, StaticText) \
    X(Label2, StaticText) \
    X(Label3, StaticText) \
    X(Label4, StaticText) \
    X(Label5, StaticText) \
    X(ButtonDebug01, PushButton) \
    X(ButtonDebug02, PushButton) \
    X(ButtonDebug03, PushButton) \
    X(ButtonDebug04, PushButton) \
    X(ButtonDebugShow, PushButton) \
    X(ButtonDebugClear, PushButton)

enum class Element : std::uint8_t {
#define KESTROVA_ELEMENT_ENUM(name, kind) name,
    KESTROVA_DASHBOARD_ELEMENTS(KESTROVA_ELEMENT_ENUM)
#undef KESTROVA_ELEMENT_ENUM
        Count,
    None = Count,  // "no element", e.g. no control holds the focus
};
inline constexpr std::size_t ElementCount = static_cast<std::size_t>(Element::Count);

enum class ElementKind : std::uint8_t {
    PushButton,  // focusable button
    StaticText,  // static text or label; clickable, never focused
    TrackBar,    // vertical track bar, focusable
    StepButton,  // flat glyph button, never focused
    StepIcon,    // flat glyph button lying over a step button
    ComboBox,    // editable drop-down list, focusable
    Memo,        // multi-line text
};

constexpr std::size_t Index(Element element) { return static_cast<std::size_t>(element); }

constexpr Element AxisElement(Axis axis, AxisRole role) {
    return static_cast<Element>(static_cast<int>(axis) * AxisRoleCount + static_cast<int>(role));
}

// The axis whose column holds the element; only for the elements of the three axis blocks.
constexpr Axis AxisOf(Element element) { return static_cast<Axis>(Index(element) / AxisRoleCount); }

constexpr Element TrackBarOf(Axis axis, bool positive) {
    return AxisElement(axis, positive ? AxisRole::PosTrackBar : AxisRole::NegTrackBar);
}

constexpr bool IsElement(Element element) { return Index(element) < ElementCount; }

// The name of an element as the window names its control, "" for Element::None.
std::string_view ElementName(Element element);
// The element with that exact name, Element::None when there is none.
Element ElementByName(std::string_view name);
// Element::None has no kind of its own; it reports StaticText, on which no track bar or focus
// handling acts.
ElementKind KindOf(Element element);

// The state of one element. The track bar fields are used by track bars only; the place fields
// only while `placed` is set (the view lays everything else out itself).
struct ElementState {
    std::string caption;
    std::string hint;  // the tooltip set by the core; empty leaves the view's own
    Colour background = colours::ButtonFace;
    Colour fontColour = colours::Black;
    bool visible = true;
    bool enabled = true;

    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::int32_t position = 0;
    std::int32_t tickSpacing = 0;
    bool sliderShown = true;

    bool placed = false;
    std::int32_t left = 0;
    std::int32_t top = 0;

    // Raised by every change of this element's state, so a view repaints only what changed.
    std::uint32_t revision = 0;
};

// Told by the display state of what a real window would raise as events.
class DisplayListener {
public:
    // A track bar's position changed (by a setter of the position, minimum or maximum).
    virtual void TrackBarChanged(Element bar) = 0;
    // The focus moved to this element from another element or from nowhere.
    virtual void FocusEntered(Element element) = 0;

protected:
    ~DisplayListener() = default;
};

class DashboardDisplay final : public Display {
public:
    // The debug memo keeps the newest lines up to this count, dropping the oldest.
    static constexpr std::size_t MemoLineLimit = 10000;
    // Entries of the port list, "COM 1" to "COM40".
    static constexpr std::size_t PortListSize = 40;

    DashboardDisplay();
    DashboardDisplay(const DashboardDisplay&) = delete;
    DashboardDisplay& operator=(const DashboardDisplay&) = delete;

    // The display command interpreter. A value that must be a number and is not throws
    // ConversionError; the steps already applied stay, and no trace line is written.
    void DisplayUpdate(std::string_view key, std::string_view value) override;

    // One listener (the window logic); nullptr for none. Notifications may call back into
    // DisplayUpdate before the setter that raised them returns.
    void SetListener(DisplayListener* listener) { listener_ = listener; }

    // Axis select flags: while clear, the window drops the axis's axis and adjust-entry clicks.
    void EnableAxisSelect(Axis axis);
    void DisableAxisSelect(Axis axis);
    bool AxisSelectEnabled(Axis axis) const { return axisSelect_.at(AxisIndex(axis)); }
    bool PanSelectEnabled() const { return AxisSelectEnabled(Axis::Pan); }
    bool TiltSelectEnabled() const { return AxisSelectEnabled(Axis::Tilt); }
    bool RollSelectEnabled() const { return AxisSelectEnabled(Axis::Roll); }

    // Reading. Element::None (or any value outside the enumeration) reads a constant blank
    // state; the setters ignore it.
    const ElementState& State(Element element) const;
    Element Focus() const { return focus_; }
    bool SomeControlHasFocus() const { return focus_ != Element::None; }
    const std::deque<std::string>& MemoLines() const { return memo_; }
    // Lines ever added and clears ever done: a view appends only the lines added since its last
    // look, or rebuilds after a clear or when more lines were added than the memo keeps.
    std::uint64_t MemoLinesAdded() const { return memoLinesAdded_; }
    std::uint64_t MemoClears() const { return memoClears_; }
    // The tooltips of the port list's entries, index 0 for "COM 1"; raised together by a change
    // of any of them.
    const std::array<std::string, PortListSize>& PortHints() const { return portHints_; }
    std::uint64_t PortHintsRevision() const { return portHintsRevision_; }
    // Messages for the operator not shown yet, oldest first; the view takes them once the
    // handler that raised them has returned.
    std::vector<std::string> TakeMessages() { return std::exchange(messages_, {}); }
    // The rows of the restore preview received since the last clear, in the order sent.
    const std::vector<RestorePreviewRow>& RestorePreviewRows() const { return previewRows_; }
    void ClearRestorePreview() { previewRows_.clear(); }
    // From the core's "Running" until its "Idle": a restore is under way and the file menu
    // neither opens nor saves a file.
    bool RestoreUnderWay() const { return restoreUnderWay_; }
    // Raised by every change of any element, the focus, the axis select flags, the port list's
    // tooltips or the messages.
    std::uint64_t Revision() const { return revision_; }

    // Mode indicators read back by the window.
    bool AxisInNormalMode(Axis axis) const;
    bool EnhancedMode() const;
    bool CommsGood() const;

    // Element setters, each a no-op when the property already has the value. The track bar
    // setters do nothing on other elements.
    void SetCaption(Element element, std::string_view caption);
    void SetBackground(Element element, Colour colour);
    void SetFontColour(Element element, Colour colour);
    void SetVisible(Element element, bool visible);
    void SetEnabled(Element element, bool enabled);
    void SetHint(Element element, std::string_view hint);
    void SetPlace(Element element, std::int32_t left, std::int32_t top);
    // A minimum above the maximum, or a maximum below the minimum, is ignored; otherwise the
    // position is clamped into the new range. The position is clamped into the range. Each raises
    // the bar's change notification when the position changes.
    void SetTrackBarMinimum(Element bar, std::int32_t minimum);
    void SetTrackBarMaximum(Element bar, std::int32_t maximum);
    void SetTrackBarPosition(Element bar, std::int32_t position);
    void SetTickSpacing(Element bar, std::int32_t spacing);
    void SetSliderShown(Element bar, bool shown);
    // Moves the focus (Element::None or any value outside the enumeration: nowhere). Raises the
    // focus-entered notification of the element receiving it, unless it already held the focus.
    void SetFocus(Element element);

    void AddMemoLine(std::string_view line);
    void ClearMemo();

private:
    ElementState& Mutable(Element element);
    void Touch(Element element);
    void MoveTrackBar(Element bar, std::int32_t position);  // position already within range

    void AxisModeDisplay(Axis axis, std::string_view mode);
    void AdjustSide(Axis axis, bool positive, bool active);
    void AdjustValue(Axis axis, bool positive, std::string_view value);
    void ModeSelect(std::string_view value);
    void SoftwareVersionNumber(std::string_view value);
    void CommsStatus(std::string_view value);
    void DebugColour(std::string_view value);
    void PortHint(std::string_view value);
    void RestoreState(std::string_view value);
    bool AxisCommand(std::string_view key, std::string_view value);

    std::array<ElementState, ElementCount> elements_{};
    std::array<bool, AxisCount> axisSelect_{true, true, true};
    Element focus_ = Element::None;
    std::deque<std::string> memo_;
    std::array<std::string, PortListSize> portHints_;
    std::uint64_t portHintsRevision_ = 0;
    std::vector<std::string> messages_;
    std::vector<RestorePreviewRow> previewRows_;
    bool restoreUnderWay_ = false;
    std::uint64_t memoLinesAdded_ = 0;
    std::uint64_t memoClears_ = 0;
    std::uint64_t revision_ = 0;
    DisplayListener* listener_ = nullptr;
};

}  // namespace kestrova
