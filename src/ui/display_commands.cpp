// The display command interpreter: what each key the core sends does to the display state.
#include "ui/display_state.h"

#include <algorithm>

#include "common/number_text.h"
#include "core/ui_names.h"

namespace kestrova {

void DashboardDisplay::DisplayUpdate(std::string_view key, std::string_view value) {
    // Keys are distinct, so at most one effect applies. Keys and values that match nothing change
    // nothing but still leave their trace line.
    if (AxisCommand(key, value)) {
        // applied
    } else if (key == display_keys::ModeSelect) {
        ModeSelect(value);
    } else if (key == display_keys::SoftwareVersionNumber) {
        SoftwareVersionNumber(value);
    } else if (key == display_keys::ShowNotification) {
        SetCaption(Element::StaticTextNotification, value);
        SetPlace(Element::StaticTextNotification, 250, 220);
        SetVisible(Element::StaticTextNotification, true);
    } else if (key == display_keys::HideNotification) {
        SetVisible(Element::StaticTextNotification, false);
    } else if (key == display_keys::CommsStatus) {
        CommsStatus(value);
    } else if (key == display_keys::CommsStatusHint) {
        SetHint(Element::StaticTextCommsStatus, value);
    } else if (key == display_keys::CommsSelectHint) {
        PortHint(value);
    } else if (key == display_keys::MessageBox) {
        messages_.emplace_back(value);
        ++revision_;
    } else if (key == display_keys::RestorePreviewRow) {
        previewRows_.push_back(ParseRestorePreviewRow(value));
    } else if (key == display_keys::RestoreState) {
        RestoreState(value);
    }
    // display_keys::CommsSelect changes nothing: only its trace line is written.

    if (key == display_keys::DebugInfo) {
        AddMemoLine(value);
    } else if (key == display_keys::DebugColour) {
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
        const AxisDisplayKeys& keys = DisplayKeysOf(axis);
        const bool pan = axis == Axis::Pan;
        if (key == keys.modeSelect) {
            AxisModeDisplay(axis, value);
        } else if (key == keys.neutralValue) {
            SetCaption(AxisElement(axis, AxisRole::NeutralValueText), value);
        } else if (key == keys.outputValue) {
            SetCaption(AxisElement(axis, AxisRole::OutputValueText), value);
        } else if (key == keys.posAdjustValue) {
            AdjustValue(axis, true, value);
        } else if (key == keys.negAdjustValue) {
            AdjustValue(axis, false, value);
        } else if (key == keys.posMin) {
            SetTrackBarMinimum(TrackBarOf(axis, true), TextToInt(value));
            if (pan) SetCaption(Element::Label3, value);
        } else if (key == keys.posMax) {
            SetTrackBarMaximum(TrackBarOf(axis, true), TextToInt(value));
            if (pan) SetCaption(Element::Label2, value);
        } else if (key == keys.negMin) {
            SetTrackBarMinimum(TrackBarOf(axis, false), TextToInt(value));
            if (pan) SetCaption(Element::Label5, value);
        } else if (key == keys.negMax) {
            SetTrackBarMaximum(TrackBarOf(axis, false), TextToInt(value));
            if (pan) SetCaption(Element::Label4, value);
        } else {
            continue;
        }
        return true;
    }
    return false;
}

void DashboardDisplay::AxisModeDisplay(Axis axis, std::string_view mode) {
    const bool normal = mode == display_values::Normal;
    const bool increment = mode == display_values::Increment;
    const bool decrement = mode == display_values::Decrement;
    if (!normal && !increment && !decrement) return;

    const Colour look = normal ? colours::Lime : colours::Yellow;
    SetBackground(AxisElement(axis, AxisRole::AxisLabel), look);
    SetBackground(AxisElement(axis, AxisRole::StatusText), look);
    SetCaption(AxisElement(axis, AxisRole::StatusText), normal      ? "Normal Mode"
                                                        : increment ? "Positive Adjust Mode"
                                                                    : "Negative Adjust Mode");
    // The focus moves only while some control holds it (not during start-up, before the window
    // is shown). Each check is made at its own step: a handler raised by an earlier step may have
    // moved the focus meanwhile.
    if (normal && SomeControlHasFocus()) SetFocus(AxisElement(axis, AxisRole::AxisButton));
    AdjustSide(axis, true, increment);
    if (increment && SomeControlHasFocus()) SetFocus(TrackBarOf(axis, true));
    AdjustSide(axis, false, decrement);
    if (decrement && SomeControlHasFocus()) SetFocus(TrackBarOf(axis, false));
}

// The active side is yellow with its step buttons and slider usable; the inactive side has its
// icons over the disabled step buttons and no slider.
void DashboardDisplay::AdjustSide(Axis axis, bool positive, bool active) {
    const Colour colour = active ? colours::Yellow : colours::ButtonFace;
    auto role = [positive](AxisRole pos, AxisRole neg) { return positive ? pos : neg; };
    SetBackground(AxisElement(axis, role(AxisRole::PosCaption, AxisRole::NegCaption)), colour);
    SetBackground(AxisElement(axis, role(AxisRole::PosValueText, AxisRole::NegValueText)), colour);
    SetEnabled(AxisElement(axis, role(AxisRole::PosStepUp, AxisRole::NegStepUp)), active);
    SetSliderShown(TrackBarOf(axis, positive), active);
    SetEnabled(AxisElement(axis, role(AxisRole::PosStepDown, AxisRole::NegStepDown)), active);
    SetVisible(AxisElement(axis, role(AxisRole::PosUpIcon, AxisRole::NegUpIcon)), !active);
    SetVisible(AxisElement(axis, role(AxisRole::PosDownIcon, AxisRole::NegDownIcon)), !active);
}

// The value text shows the value relative to the bar's zero end (the minimum on the positive
// side, the maximum on the negative side); the bar is placed upside down so that its top shows
// the positive maximum and its bottom the negative minimum. The bar clamps, the text does not.
void DashboardDisplay::AdjustValue(Axis axis, bool positive, std::string_view value) {
    const std::int64_t n = TextToInt(value);
    const Element bar = TrackBarOf(axis, positive);
    const ElementState& state = State(bar);
    const std::int64_t zeroEnd = positive ? state.minimum : state.maximum;
    SetCaption(AxisElement(axis, positive ? AxisRole::PosValueText : AxisRole::NegValueText),
               IntToText(n - zeroEnd));
    // Computed in 64 bits and clamped before narrowing, so extreme values cannot overflow.
    const std::int64_t position = std::clamp<std::int64_t>(
        std::int64_t{state.maximum} - n + state.minimum, state.minimum, state.maximum);
    SetTrackBarPosition(bar, static_cast<std::int32_t>(position));
}

void DashboardDisplay::ModeSelect(std::string_view value) {
    const bool enhanced = value == display_values::Enhanced;
    if (!enhanced && value != display_values::Legacy) return;
    SetFontColour(Element::BitBtnModeEnhanced, enhanced ? colours::Green : colours::Gray);
    SetFontColour(Element::BitBtnModeLegacy, enhanced ? colours::Gray : colours::Green);
    for (Axis axis : Axes) {
        SetTickSpacing(TrackBarOf(axis, true), enhanced ? 20 : 205);
        SetTickSpacing(TrackBarOf(axis, false), enhanced ? 20 : 205);
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
    if (value == display_values::CommsNone) {
        SetBackground(Element::StaticTextCommsStatus, colours::Red);
    } else if (value == display_values::PortConnected) {
        SetBackground(Element::StaticTextCommsStatus, colours::Yellow);
    } else if (value == display_values::GoodFlashOn) {
        SetBackground(Element::StaticTextCommsStatus, colours::Lime);
    } else if (value == display_values::GoodFlashOff) {
        SetBackground(Element::StaticTextCommsStatus, colours::Green);
    } else {
        SetCaption(Element::StaticTextCommsStatus, value);
    }
}

// "<COM number> <tooltip>"; a number outside the list changes nothing.
void DashboardDisplay::PortHint(std::string_view value) {
    const std::size_t blank = value.find(' ');
    const std::int64_t port = TextToInt(value.substr(0, blank));
    if (port < 1 || port > static_cast<std::int64_t>(PortListSize)) return;
    const std::string_view hint =
        blank == std::string_view::npos ? std::string_view{} : value.substr(blank + 1);
    std::string& entry = portHints_[static_cast<std::size_t>(port - 1)];
    if (entry == hint) return;
    entry = hint;
    ++portHintsRevision_;
    ++revision_;
}

// Any other value changes nothing.
void DashboardDisplay::RestoreState(std::string_view value) {
    if (value == display_values::RestoreRunning) {
        restoreUnderWay_ = true;
    } else if (value == display_values::RestoreIdle) {
        restoreUnderWay_ = false;
    }
}

void DashboardDisplay::DebugColour(std::string_view value) {
    if (value == display_values::BlackOnRed) {
        SetBackground(Element::MemoDebug, colours::Red);
        SetFontColour(Element::MemoDebug, colours::Black);
    } else if (value == display_values::BlackOnWhite) {
        SetBackground(Element::MemoDebug, colours::White);
        SetFontColour(Element::MemoDebug, colours::Black);
    }
}

}  // namespace kestrova
