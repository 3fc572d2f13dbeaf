// kestrova restore: the window's checked restore of a parameter file, driven from the command
// line: the core's checks, its preview printed, the operator's answer, the core's backup, the 17
// timed steps and the read-back.
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>
#include <system_error>

#include "commands.h"
#include "common/errors.h"
#include "common/utf8_path.h"
#include "core/ui_names.h"
#include "port/system_port.h"
#include "restore_progress.h"
#include "tick_loop.h"
#include "unit_ready.h"
#include "unit_session.h"

namespace kestrova::cli {
namespace {

constexpr std::string_view Verified = "Restore verified";
constexpr std::string_view NotVerified = "Restore NOT verified";
// 17 steps 0.4 s apart and the read-back's 5 s, with room to spare.
constexpr std::chrono::seconds RestoreLimit{30};
// How long a stop waits for the unit to acknowledge every axis back in Normal.
constexpr std::chrono::seconds NormalLimit{2};

// The preview's rows ("<name>|<unit now>|<file>") as a table; a value the restore changes is
// marked with "*".
void PrintPreview(const std::vector<std::string>& rows) {
    std::string out = "  value                  unit now     file\n";
    for (const std::string& row : rows) {
        const std::size_t a = row.find('|');
        const std::size_t b = row.find('|', a + 1);
        const std::string name = row.substr(0, a);
        const std::string now = row.substr(a + 1, b - a - 1);
        const std::string file = row.substr(b + 1);
        std::array<char, 128> line{};
        std::snprintf(line.data(), line.size(), "%c %-22s %-12s %s\n", now == file ? ' ' : '*',
                      name.c_str(), now.c_str(), file.c_str());
        out += line.data();
    }
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
}

// Asks on the terminal; a stop while waiting for the answer is an interruption.
bool Confirmed(const UnitSession& unit, StopSignal& stop) {
    std::fprintf(stderr, "Restore these values to %s? [y/N] ", unit.Name().c_str());
    std::fflush(stderr);
    stop.WaitForInput();
    if (stop.Requested()) throw Interruption("restore", unit, "stopped; nothing was written");
    std::array<char, 16> answer{};
    const bool read = std::fgets(answer.data(), answer.size(), stdin) != nullptr;
    // Where a stop interrupts the read itself, it arrives here.
    if (stop.Requested()) throw Interruption("restore", unit, "stopped; nothing was written");
    return read && (answer[0] == 'y' || answer[0] == 'Y');
}

// Stops the restore under way; with the link open, waits until the unit has acknowledged every
// axis back in Normal (at most NormalLimit) before the port closes.
std::string StopRestore(AppService& core, TickLoop& loop) {
    const CoreState& state = core.State();
    const std::uint32_t run = RestoreProgress::StepsRun(state);
    const bool verifying = state.Verification.active;
    core.StopRestore();
    if (verifying) return "stopped while reading the values back after step 17; not verified";
    if (run == 0) return "stopped before step 1 of 17; nothing was written";
    std::string text = "stopped after step " + std::to_string(run) + " of 17";
    if (!core.LinkOpen()) return text + "; the unit holds part of the file";
    const auto back = loop.RunDespiteStop([&core] { return core.AxesBackInNormal(); }, NormalLimit);
    text += back == TickLoop::Outcome::Done
                ? "; every axis is back in Normal (acknowledged by the unit)"
                : "; the unit did not acknowledge every axis back in Normal within 2 s";
    return text + "; the unit holds part of the file";
}

}  // namespace

ExitCode RunRestore(const CommonOptions& common, const RestoreOptions& options, StopSignal& stop) {
    const std::string fileWhat = "restore " + Utf8Of(options.file);
    RequireFile("restore", options.file);
    UnitSession unit(common.configFolder, MakePortCatalogue(), common.verbose);
    unit.Start();
    unit.Open("restore", options.port);
    TickLoop loop({&unit}, stop);
    WaitUntilReady(loop, unit, "restore");

    AppService& core = unit.Core();
    HeadlessDisplay& display = unit.Display();
    core.SetBackupBeforeRestore(!options.noBackup);
    core.SetBackupUnitName(unit.Name());
    display.ClearMessages();
    try {
        core.ServiceEvent(event_names::FileOpen_Selected, Utf8Of(options.file));
    } catch (const std::runtime_error& failure) {  // ConversionError, FileError
        throw CommandError{ExitCode::FileRefused, fileWhat, failure.what()};
    }
    if (!display.MessageBoxes().empty()) {
        throw CommandError{ExitCode::FileRefused, fileWhat, display.MessageBoxes().front()};
    }
    PrintPreview(display.PreviewRows());
    if (isatty(STDIN_FILENO) && !options.yes && !Confirmed(unit, stop)) {
        core.ServiceEvent(event_names::RestorePreview_Selected, event_texts::Cancel);
        std::fputs("kestrova: restore cancelled; nothing was written\n", stderr);
        return ExitCode::Done;
    }

    const std::string unitWhat = "restore " + unit.Name();
    core.ServiceEvent(event_names::RestorePreview_Selected, event_texts::Restore);
    if (!display.MessageBoxes().empty()) {
        throw CommandError{ExitCode::FileRefused, unitWhat, display.MessageBoxes().front()};
    }
    RestoreProgress progress(isatty(STDERR_FILENO) != 0);
    const auto outcome = loop.RunUntil(
        [&] {
            progress.Follow(core.State());
            return display.RestoreState() == display_values::RestoreIdle;
        },
        RestoreLimit);
    progress.Finish();
    if (outcome == TickLoop::Outcome::Stopped) {
        throw Interruption("restore", unit, StopRestore(core, loop));
    }
    if (outcome == TickLoop::Outcome::TimedOut) {
        throw CommandError{ExitCode::LinkFailure, unitWhat, "the restore did not end in time"};
    }
    if (display.Notification() == Verified) {
        std::printf("%s\n", Verified.data());
        return ExitCode::Done;
    }
    if (display.MessageBoxes().empty()) {
        throw CommandError{ExitCode::LinkFailure, unitWhat,
                           "the link closed before the values could be read back"};
    }
    const std::string& box = display.MessageBoxes().front();
    if (box.starts_with(NotVerified)) {
        PrintError(unitWhat, box);
        return ExitCode::NotVerified;
    }
    throw CommandError{ExitCode::LinkFailure, unitWhat, box};  // the link went away meanwhile
}

}  // namespace kestrova::cli
