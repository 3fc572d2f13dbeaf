// The serial devices present: COM numbers for new adapters, the port list's tooltips, the reason
// of a failed open, and the watch for a device that went away while its port was selected.
#include <string>
#include <system_error>

#include "common/number_text.h"
#include "common/utf8_path.h"
#include "core/app_service.h"
#include "core/port_presence.h"
#include "core/ui_names.h"
#include "port/device_identity.h"
#include "port/network_target.h"

namespace kestrova {
namespace {

constexpr std::string_view Dash = " \u2014 ";

bool SameDevice(const std::string& path, const PortInfo& info) {
    return path == info.stablePath || path == info.node || SameDeviceNode(path, info.node);
}

// "FT232R USB UART (FTDI)"; the driver's name when the device names neither.
std::string Description(const PortInfo& info) {
    std::string text = info.product.empty() ? info.manufacturer : info.product;
    if (!info.product.empty() && !info.manufacturer.empty()) {
        text += " (" + info.manufacturer + ")";
    }
    return text.empty() ? info.driver : text;
}

}  // namespace

void AppService::RefreshPortList() {
    const std::vector<PortInfo> present = catalogue_.Scan();
    const ComNumbering numbering = NumberNewAdapters(ini_.Ports, present);
    for (const auto& [number, path] : numbering.assigned) {
        Show(display_keys::DebugInfo, "COM" + IntToText(number) + " given to " + path);
    }
    for (const std::string& path : numbering.unnumbered) {
        Show(display_keys::DebugInfo, "No COM number left for " + path);
    }
    // Only the tooltips that changed go out, so opening the list adds no lines to the memo.
    for (int port = 1; port <= LastComNumber; ++port) {
        std::string hint = PortHint(port, present);
        std::string& sent = portHints_[static_cast<std::size_t>(port - 1)];
        if (hint == sent) continue;
        sent = hint;
        Show(display_keys::CommsSelectHint, IntToText(port) + " " + hint);
    }
}

PortPresence PresenceOf(const PortMap& ports, int port, const std::vector<PortInfo>& present) {
    PortPresence presence;
    presence.path = ports.DevicePath(port);
    presence.network = IsNetworkTarget(presence.path);
    if (presence.network) return presence;
    for (const PortInfo& info : present) {
        if (!SameDevice(presence.path, info)) continue;
        presence.present = true;
        presence.device = info;
        return presence;
    }
    std::error_code error;
    presence.present = std::filesystem::exists(PathFromUtf8(presence.path), error);
    return presence;
}

// The device the port opens and what is there.
std::string AppService::PortHint(int port, const std::vector<PortInfo>& present) const {
    const PortPresence presence = PresenceOf(ini_.Ports, port, present);
    std::string hint = presence.path;
    hint += Dash;
    if (presence.device) {
        const std::string description = Description(*presence.device);
        if (!description.empty()) hint += description + ", ";
    }
    if (presence.network) return hint + "network";
    return hint + (presence.present ? "present" : "not present");
}

// The caption says "COM<n> Not Valid"; the reason goes to the indicator's tooltip, the memo and
// the problem sink, and, when the operator can fix it, once per selection to a message box.
void AppService::ReportOpenFailure(const OpenFailureReason& reason) {
    state_.StatusHintShown = true;
    Show(display_keys::CommsStatusHint, reason.text);
    Show(display_keys::DebugInfo, reason.text);
    if (problemSink_) problemSink_(reason.text);
    if (reason.OperatorCanFix() && !state_.OpenFailureBoxShown) {
        state_.OpenFailureBoxShown = true;
        Show(display_keys::MessageBox, reason.text);
    }
}

// The link closed under the core: a restore under way stops (its remaining steps would go to
// the adjust values instead of the controller), a verification under way ends with the values
// not yet read back, and a device that went away is waited for.
void AppService::LinkWentAway() {
    if (LinkOpen()) return;  // a selection made from inside a display command opened it again
    InterruptRestore({});
    if (port_.DeviceGone()) {
        state_.AwaitingReturn = true;
        state_.ReturnPort = port_.CurrentPort();
        state_.ReturnCheckTicks = ReturnCheckLoad;
        returnDevice_ = PathFromUtf8(ini_.Ports.DevicePath(state_.ReturnPort));
        Show(display_keys::DebugInfo,
             "COM" + IntToText(state_.ReturnPort) + " gone: waiting for " + Utf8Of(returnDevice_));
        // A network line says why (refused, closed by the server, ...); a server that stays
        // away is tried again every second, and the same reason is not repeated each time.
        const std::string_view why = port_.LineFailureText();
        if (!why.empty() && why != lineFailure_) {
            lineFailure_ = why;
            ReportOpenFailure({OpenProblem::NotResponding, lineFailure_});
        } else if (!why.empty()) {
            state_.StatusHintShown = true;  // the retry's open cleared the tooltip
            Show(display_keys::CommsStatusHint, lineFailure_);
        }
    }
}

// Once a second, or when the system reports devices coming or going, looks whether the device
// is back; when it is, selects its port again as the operator would.
void AppService::WatchForReturn(bool devicesChanged) {
    if (!state_.AwaitingReturn || LinkOpen()) return;
    if (state_.ReturnCheckTicks > 0) --state_.ReturnCheckTicks;
    if (state_.ReturnCheckTicks != 0 && !devicesChanged) return;
    state_.ReturnCheckTicks = ReturnCheckLoad;
    // A device server cannot be looked for without connecting: it is simply tried again.
    std::error_code error;
    const bool network = IsNetworkTarget(Utf8Of(returnDevice_));
    if (!network && !std::filesystem::exists(returnDevice_, error)) return;
    if (!network) Show(display_keys::DebugInfo, "COM" + IntToText(state_.ReturnPort) + " back");
    SelectPort(state_.ReturnPort - 1, false);
}

}  // namespace kestrova
