// kestrova: the command-line companion of the window: ports, backup, restore, diff and monitor,
// for one unit or several at once.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "cli/commands.h"
#include "cli/program.h"
#include "common/errors.h"
#include "common/utf8_path.h"
#include "config/config_folder.h"
#include "config/kestrova_ini.h"

namespace {

using kestrova::cli::CommandError;
using kestrova::cli::ExitCode;

constexpr std::string_view PortHelp = "the unit's port: COM3, 3 or a device path";

// The folder given, or the one the window uses: beside the program, or the user's folder when
// installed, seeded with the defaults the window would copy there on its first start.
std::filesystem::path ConfigFolderToUse(const std::string& given) {
    if (!given.empty()) return kestrova::PathFromUtf8(given);
    const kestrova::ConfigFolder config =
        kestrova::ChooseConfigFolder(kestrova::ExecutablePath().parent_path(),
                                     kestrova::ProcessEnvironment(), kestrova::FolderWritable);
    kestrova::CopyMissingDefaults(config);
    return config.folder;
}

}  // namespace

int kestrova::cli::RunProgram(int argc, const char* const* argv, std::string_view configDirHelp) {
    CLI::App app{"kestrova: back up, restore, compare and watch Kestrova wheel units"};
    app.footer(std::string(kestrova::cli::ExitCodeTable));
    app.require_subcommand(1);

    kestrova::cli::CommonOptions common;
    std::string configFolder;
    app.add_option("--config-dir", configFolder, std::string(configDirHelp));
    app.add_flag("-v,--verbose", common.verbose, "the core's debug memo on stderr");

    CLI::App* ports = app.add_subcommand("ports", "every COM number 1 to 40 and its device");
    ports->add_flag("--json", common.json, "results as JSON");

    kestrova::cli::BackupOptions backup;
    std::string outFile;
    std::string outFolder = ".";
    CLI::App* backupCommand =
        app.add_subcommand("backup", "save each unit's values, all units at once");
    backupCommand->add_option("-p,--port", backup.ports, std::string(PortHelp) + "; repeatable")
        ->required();
    auto* outFileOption =
        backupCommand->add_option("-o", outFile, "the file to write (one port only)");
    backupCommand->add_option("--out-dir", outFolder, "folder of the files (default: here)")
        ->excludes(outFileOption);
    backupCommand->add_flag("--json", common.json, "results as JSON");

    kestrova::cli::RestoreOptions restore;
    std::string restoreFile;
    CLI::App* restoreCommand = app.add_subcommand(
        "restore", "checked, backed-up and verified restore of a parameter file");
    restoreCommand->add_option("-p,--port", restore.port, std::string(PortHelp))->required();
    restoreCommand->add_option("FILE", restoreFile, "the parameter file")->required();
    restoreCommand->add_flag("--no-backup", restore.noBackup,
                             "no backup of the unit's values before the restore");
    restoreCommand->add_flag("-y,--yes", restore.yes, "restore without asking");

    kestrova::cli::DiffOptions diff;
    std::string diffFile;
    CLI::App* diffCommand =
        app.add_subcommand("diff", "the unit's calibration values against a parameter file");
    diffCommand->add_option("-p,--port", diff.port, std::string(PortHelp))->required();
    diffCommand->add_option("FILE", diffFile, "the parameter file")->required();
    diffCommand->add_flag("--json", common.json, "results as JSON");

    kestrova::cli::MonitorOptions monitor;
    std::string csvFile;
    int seconds = 0;
    CLI::App* monitorCommand =
        app.add_subcommand("monitor", "the link and the axes' values, once a second");
    monitorCommand->add_option("-p,--port", monitor.port, std::string(PortHelp))->required();
    auto* secondsOption =
        monitorCommand->add_option("--seconds", seconds, "stop after N seconds (else Ctrl-C)")
            ->check(CLI::PositiveNumber);
    monitorCommand->add_option("--csv", csvFile, "also write the rows to this CSV file");
    monitorCommand->add_flag("--json", common.json, "one JSON object a second");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : static_cast<int>(ExitCode::Usage);
    }
    backup.outFile = kestrova::PathFromUtf8(outFile);
    backup.outFolder = kestrova::PathFromUtf8(outFolder);
    restore.file = kestrova::PathFromUtf8(restoreFile);
    diff.file = kestrova::PathFromUtf8(diffFile);
    monitor.csvFile = kestrova::PathFromUtf8(csvFile);
    if (*secondsOption) monitor.seconds = seconds;

    const std::string command = app.get_subcommands().front()->get_name();
    try {
        common.configFolder = ConfigFolderToUse(configFolder);
        kestrova::cli::StopSignal stop;
        ExitCode code = ExitCode::Done;
        if (*ports) code = kestrova::cli::RunPorts(common);
        if (*backupCommand) code = kestrova::cli::RunBackup(common, backup, stop);
        if (*restoreCommand) code = kestrova::cli::RunRestore(common, restore, stop);
        if (*diffCommand) code = kestrova::cli::RunDiff(common, diff, stop);
        if (*monitorCommand) code = kestrova::cli::RunMonitor(common, monitor, stop);
        // Results that never reached their reader (a full disk) are no success; a write that
        // failed earlier leaves the stream's error mark, its reason gone with its errno.
        errno = 0;
        if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
            kestrova::cli::PrintError(command + " standard output",
                                      errno != 0 ? std::strerror(errno) : "write error");
            return static_cast<int>(ExitCode::FileRefused);
        }
        return static_cast<int>(code);
    } catch (const CommandError& error) {
        kestrova::cli::PrintError(error.what, error.why);
        return static_cast<int>(error.code);
    } catch (const kestrova::FileError& error) {
        kestrova::cli::PrintError(command, error.what());
        return static_cast<int>(ExitCode::FileRefused);
    } catch (const kestrova::ConversionError& error) {
        kestrova::cli::PrintError(command, error.what());
        return static_cast<int>(ExitCode::FileRefused);
    }
}
