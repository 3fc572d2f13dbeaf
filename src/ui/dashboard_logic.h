#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/core_interfaces.h"
#include "ui/display_state.h"

// The dashboard window's behaviour without any widget toolkit: every handler of the window,
// turning operator actions into event pairs for the core, the two timer ticks and the
// configuration check. A view renders the DashboardDisplay and reports input through the User*
// calls (or the named handlers); it holds no behaviour of its own.
namespace kestrova {

// What the window logic needs of the toolkit.
class WindowHost {
public:
    // Shows the configuration error dialog modally and returns when it has closed. The dialog
    // calls DashboardLogic::ConfigErrorDialogClosed as it closes.
    virtual void ShowConfigErrorDialog() = 0;
    // Closes the window. Closing runs DashboardLogic::FormClose (the view's close handling calls
    // it), after which the program ends.
    virtual void CloseWindow() = 0;
    // The platform's input box; returns the text entered, or the default text when cancelled.
    virtual std::string InputBox(std::string_view caption, std::string_view prompt,
                                 std::string_view defaultText) = 0;

protected:
    ~WindowHost() = default;
};

class DashboardLogic final : private DisplayListener {
public:
    // Registers itself as the display's listener for as long as it lives.
    DashboardLogic(DashboardDisplay& display, Core& core, WindowHost& host);
    ~DashboardLogic();
    DashboardLogic(const DashboardLogic&) = delete;
    DashboardLogic& operator=(const DashboardLogic&) = delete;

    // ---- View input: the view reports what the operator did, element by element.
    // A click on an element; ignored while the element is hidden or disabled, as a real window
    // never delivers it. Elements without a click handler ignore it.
    void UserClicked(Element element);
    // The input focus moved to this element (Element::None: to no control of the window).
    // Focusing a track bar or the port list runs its focus-entered handler.
    void UserFocused(Element element);
    // The operator moved a track bar; the position is clamped into the bar's range and a change
    // runs the bar's change handler. Only such moves are reported to the core: a bar moved or
    // re-ranged by a display command shows the core's value and sends nothing back.
    void UserMovedTrackBar(Element bar, std::int32_t position);
    // The port list reports a new item index (0 "COM 1" to 39 "COM40", -1 none selected).
    void UserSelectedPort(std::int32_t itemIndex) { ComboBoxCommsSelectChange(itemIndex); }

    // ---- Handlers of the window, named after their control and event.
    void ButtonPanClick();
    void ButtonTiltClick();
    void ButtonRollClick();

    void TrackBarPan_PosAdjustEnter();
    void TrackBarPan_NegAdjustEnter();
    void TrackBarTiltPosAdjustEnter();
    void TrackBarTiltNegAdjustEnter();
    void TrackBarRollPosAdjustEnter();
    void TrackBarRollNegAdjustEnter();

    void SpeedButtonPan_PosValueIncClick();
    void SpeedButtonPan_PosValueDecClick();
    void SpeedButtonPan_NegValueIncClick();
    void SpeedButtonPan_NegValueDecClick();
    void SpeedButtonTiltPosValueIncClick();
    void SpeedButtonTiltPosValueDecClick();
    void SpeedButtonTiltNegValueIncClick();
    void SpeedButtonTiltNegValueDecClick();
    void SpeedButtonRollPosValueIncClick();
    void SpeedButtonRollPosValueDecClick();
    void SpeedButtonRollNegValueIncClick();
    void SpeedButtonRollNegValueDecClick();

    void TrackBarPan_PosAdjustChange();
    void TrackBarPan_NegAdjustChange();
    void TrackBarTiltPosAdjustChange();
    void TrackBarTiltNegAdjustChange();
    void TrackBarRollPosAdjustChange();
    void TrackBarRollNegAdjustChange();

    void BitBtnModeEnhancedClick();
    void BitBtnModeLegacyClick();

    void ComboBoxCommsSelectChange(std::int32_t itemIndex);
    void ComboBoxCommsSelectClick();
    void ComboBoxCommsSelectEnter();

    void ButtonDebug01Click();
    void ButtonDebug02Click();
    void ButtonDebug03Click();
    void ButtonDebug04Click();
    void ButtonDebugShowClick();
    void ButtonDebugClearClick();

    // ---- Window life and timers.
    void FormCreate();
    // Stops the core; runs once however often the window reports its closing. Ticks arriving
    // after it are ignored.
    void FormClose();
    void Exit1Click();
    void Comms_TimerTimer();  // every 1 ms, while CommsTimerWanted
    // Whether the 1 ms timer should run: until the window closes, while the core has comms
    // work. The view asks after every handler and tick.
    bool CommsTimerWanted() const { return !closed_ && core_.CommsTickWanted(); }
    void TimerSysUpdateTimer();  // every 10 ms
    // Called by the configuration error dialog as it closes.
    void ConfigErrorDialogClosed();

    // ---- Window state.
    // The last position that a bar's change handler reported, or to which the window moved the
    // bar since (the bar's starting position until either happens).
    std::int32_t LastReportedPosition(Element bar) const;
    std::int32_t DebugPointNumber() const { return debugPointNumber_; }
    // Checking, error dialog shown, error dialog closed, window close requested.
    enum class ConfigCheck : std::int32_t {
        Checking = 0,
        ErrorShown = 10,
        ErrorClosed = 20,
        CloseRequested = 30,
    };
    ConfigCheck ConfigCheckState() const { return configCheckState_; }

private:
    void TrackBarChanged(Element bar) override;
    void FocusEntered(Element element) override;

    void Send(std::string_view objectName, std::string_view eventText);
    void AxisButtonClick(Axis axis);
    void AdjustEnter(Axis axis, bool positive);
    void TrackBarChange(Axis axis, bool positive);
    void FollowWindowMove(Element bar);
    void StepClick(Axis axis, AxisRole role);

    DashboardDisplay& display_;
    Core& core_;
    WindowHost& host_;

    // Indexed Pan positive, Pan negative, Tilt positive, Tilt negative, Roll positive, Roll
    // negative.
    std::array<std::int32_t, 2 * AxisCount> lastReportedPosition_{};
    // The bar whose operator move is being applied to the display state; its first change
    // notification is the operator's, any other one (nested display commands) the window's.
    Element operatorMovedBar_ = Element::None;
    std::int32_t debugPointNumber_ = 1;
    ConfigCheck configCheckState_ = ConfigCheck::Checking;
    bool closed_ = false;
};

}  // namespace kestrova
