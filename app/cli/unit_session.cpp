#include "unit_session.h"

#include <cstdio>

#include "common/number_text.h"
#include "core/ui_names.h"
#include "exit_code.h"
#include "tick_loop.h"

namespace kestrova::cli {
namespace {

// The window's executable name: the core reads the settings file named after it.
constexpr std::string_view WindowProgramName = "Kestrova_Interface";

}  // namespace

UnitSession::UnitSession(const std::filesystem::path& configFolder,
                         std::unique_ptr<PortCatalogue> catalogue, bool verbose)
    : display_(verbose ? HeadlessDisplay::MemoSink([this](std::string_view line) {
          std::fprintf(stderr, "%s: %.*s\n", name_.c_str(), static_cast<int>(line.size()),
                       line.data());
      })
                       : HeadlessDisplay::MemoSink()),
      catalogue_(std::move(catalogue)),
      core_(display_, window_, line_, *catalogue_, configFolder / WindowProgramName) {
    core_.SetProblemSink([this](std::string_view problem) { openProblem_ = problem; });
}

UnitSession::~UnitSession() { Close(); }

void UnitSession::Start() {
    core_.CoreStart();
    const std::string what = "configuration in " + core_.Ini().Directory;
    if (!core_.StartupError().empty()) {
        throw CommandError{ExitCode::FileRefused, what, std::string(core_.StartupError())};
    }
    if (!core_.CheckConfigVersions()) {
        throw CommandError{ExitCode::FileRefused, what,
                           "the settings, project and tag file versions must all be " +
                               IntToText(CoreSoftwareVersion)};
    }
}

void UnitSession::Open(std::string_view command, std::string_view portArgument) {
    name_ = portArgument;
    Open(command, ChoosePort(portArgument, core_.Ini().Ports));
}

void UnitSession::Open(std::string_view command, const PortChoice& port) {
    if (!port.device.empty()) core_.Ini().Ports.Set(port.comNumber, port.device);
    port_ = port;
    name_ = port.name;
    openProblem_.clear();
    core_.ServiceEvent(event_names::CommsSelect, IntToText(port.comNumber - 1));
    if (core_.Port().LinkState() != PortLinkState::Open) {
        throw CommandError{ExitCode::LinkFailure, std::string(command) + " " + name_,
                           openProblem_.empty() ? "the port did not open" : openProblem_};
    }
    openedAtNs_ = TickLoop::NowNs();
    for (int point = 0; point < MaxPoints; ++point) {
        countsAtOpen_[point] = core_.Points().PointTable()[point].Msg_Count;
    }
}

void UnitSession::Close() {
    if (core_.Port().LinkState() == PortLinkState::Open) core_.Disconnect();
}

bool UnitSession::Polled(const PointRecord& point) {
    return (point.Pt_Flags & (PtNetRead | PtNetReadWrite)) != 0;
}

bool UnitSession::AllPolledPointsRead() const {
    const auto& table = core_.Points().PointTable();
    for (int point = 0; point < MaxPoints; ++point) {
        if (!Polled(table[point])) continue;
        if (table[point].Msg_Count == countsAtOpen_[point]) return false;
        if (core_.Points().PointNeedsScaling(point)) return false;
    }
    return true;
}

std::string UnitSession::NotReadyReason() const {
    if (core_.Port().LinkState() != PortLinkState::Open) return "the port closed";
    if (core_.State().Comms == CommsState::PortOpen) return "no replies";
    if (!CommsGood()) return "the link did not settle";
    std::string points;
    const auto& table = core_.Points().PointTable();
    for (int point = 0; point < MaxPoints; ++point) {
        if (!Polled(table[point]) || table[point].Msg_Count != countsAtOpen_[point]) continue;
        points += points.empty() ? "" : ", ";
        points += IntToText(point);
    }
    return "no good reply for point(s) " + points;
}

}  // namespace kestrova::cli
