// kestrova backup: every unit's values saved at once, each in the window's Save As format, once
// the unit's link is good and every value the unit is polled for has been read.
//
// The points the tag file never polls (no read access: spare entries, the write-only restore
// targets) are saved as the point table holds them, as the window's Save As saves them; they
// hold the tag file's values, not the controller's.

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "common/errors.h"
#include "common/file_create.h"
#include "common/number_text.h"
#include "common/utf8_path.h"
#include "core/core_tables.h"
#include "core/ui_names.h"
#include "json_text.h"
#include "port/system_port.h"
#include "tick_loop.h"
#include "unit_ready.h"
#include "unit_session.h"

namespace kestrova::cli {
namespace {

struct BackupUnit {
    std::unique_ptr<UnitSession> session;
    bool waiting = false;
    std::filesystem::path file;  // once written
    std::optional<CommandError> error;
};

// "<unit>_<software version as the window shows it>_<YYYY-MM-DD_HHMMSS>.PRM", where a unit named
// by its device path is "<device name>_COM<n>": devices of the same name in different folders
// get names of their own.
std::string BackupName(const UnitSession& unit) {
    const std::tm now = SystemLocalTime();
    std::array<char, 32> stamp{};
    std::strftime(stamp.data(), stamp.size(), "%Y-%m-%d_%H%M%S", &now);
    const double version = unit.Core().Points().PointTable()[core::VersionShownPoint].ScaledValue;
    const std::string name = unit.Port().device.empty()
                                 ? unit.Name()
                                 : unit.Name() + "_COM" + std::to_string(unit.Port().comNumber);
    return name + "_" + DoubleToText(version) + "_" + stamp.data() + ".PRM";
}

// Claims the name for this run with an empty file made only when none is there, so that a file
// written before (in this run or any other) is never replaced; the save then takes its place.
void ClaimName(const std::filesystem::path& path, const UnitSession& unit) {
    if (!CreateNewFile(path)) {
        const int error = errno;
        throw CommandError{ExitCode::FileRefused, "backup " + unit.Name(),
                           Utf8Of(path) + ": " +
                               (error == EEXIST ? "already there; not replaced"
                                                : std::string(std::strerror(error)))};
    }
}

void CreateFolder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        throw CommandError{ExitCode::FileRefused, "backup --out-dir " + Utf8Of(folder),
                           "cannot create the folder: " + error.message()};
    }
}

// Saves the unit's values through the core's Save As and closes its link.
void Save(BackupUnit& unit, const BackupOptions& options) {
    unit.waiting = false;
    const bool claimed = options.outFile.empty();
    const std::filesystem::path path =
        claimed ? options.outFolder / PathFromUtf8(BackupName(*unit.session)) : options.outFile;
    try {
        if (claimed) ClaimName(path, *unit.session);
        try {
            unit.session->Core().ServiceEvent(event_names::FileSave_Selected, Utf8Of(path));
            unit.file = path;
        } catch (const FileError& error) {
            if (claimed) std::filesystem::remove(path);
            throw CommandError{ExitCode::FileRefused, "backup " + unit.session->Name(),
                               error.what()};
        }
    } catch (const CommandError& error) {
        unit.error = error;
    }
    unit.session->Close();
}

// Called after every round of ticks: saves each unit that is ready, gives up on each that is not
// after the limit. True when no unit waits any more.
bool AdvanceUnits(std::vector<BackupUnit>& units, const BackupOptions& options) {
    const std::int64_t now = TickLoop::NowNs();
    bool anyWaiting = false;
    for (BackupUnit& unit : units) {
        if (!unit.waiting) continue;
        if (UnitReady(*unit.session)) {
            Save(unit, options);
        } else if (now - unit.session->OpenedAtNs() >
                   std::chrono::nanoseconds(ReadyLimit).count()) {
            unit.waiting = false;
            unit.error = CommandError{ExitCode::LinkFailure, "backup " + unit.session->Name(),
                                      unit.session->NotReadyReason() + " within 15 s"};
            unit.session->Close();
        }
        anyWaiting = anyWaiting || unit.waiting;
    }
    return !anyWaiting;
}

void PrintResults(const std::vector<BackupUnit>& units, bool json) {
    std::string out = json ? "[\n" : "";
    for (std::size_t i = 0; i < units.size(); ++i) {
        const BackupUnit& unit = units[i];
        if (json) {
            out += "  {\"port\": " + JsonString(unit.session->Name()) +
                   ", \"file\": " + (unit.file.empty() ? "null" : JsonString(Utf8Of(unit.file))) +
                   ", \"error\": " + (unit.error ? JsonString(unit.error->why) : "null") + "}" +
                   (i + 1 < units.size() ? ",\n" : "\n");
        } else if (!unit.file.empty()) {
            out += unit.session->Name() + ": " + Utf8Of(unit.file) + "\n";
        }
    }
    if (json) out += "]\n";
    std::fputs(out.c_str(), stdout);
}

}  // namespace

ExitCode RunBackup(const CommonOptions& common, const BackupOptions& options, StopSignal& stop) {
    if (!options.outFile.empty() && options.ports.size() > 1) {
        throw CommandError{ExitCode::Usage, "backup", "-o FILE names the file of one port only"};
    }
    std::vector<BackupUnit> units(options.ports.size());
    for (BackupUnit& unit : units) {
        unit.session =
            std::make_unique<UnitSession>(common.configFolder, MakePortCatalogue(), common.verbose);
        unit.session->Start();
    }
    PortMap ports = units.front().session->Core().Ini().Ports;
    const std::vector<PortChoice> choices = ChoosePorts(options.ports, ports);
    if (options.outFile.empty()) CreateFolder(options.outFolder);

    std::vector<UnitSession*> sessions;
    for (std::size_t i = 0; i < units.size(); ++i) {
        BackupUnit& unit = units[i];
        try {
            unit.session->Open("backup", choices[i]);
            unit.waiting = true;
            sessions.push_back(unit.session.get());
        } catch (const CommandError& error) {
            if (error.code == ExitCode::Usage) throw;
            unit.error = error;
        }
    }

    TickLoop loop(sessions, stop);
    const auto outcome = loop.RunUntil([&] { return AdvanceUnits(units, options); },
                                       ReadyLimit + std::chrono::seconds(1));
    ExitCode code = ExitCode::Done;
    for (BackupUnit& unit : units) {
        if (unit.waiting) {
            unit.error = outcome == TickLoop::Outcome::Stopped
                             ? Interruption("backup", *unit.session, "stopped; no file written")
                             : CommandError{ExitCode::LinkFailure, "backup " + unit.session->Name(),
                                            unit.session->NotReadyReason()};
        }
        if (!unit.error) continue;
        PrintError(unit.error->what, unit.error->why);
        code = std::max(code, unit.error->code);
    }
    PrintResults(units, common.json);
    return code;
}

}  // namespace kestrova::cli
