#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "exit_code.h"
#include "stop_signal.h"

namespace kestrova::cli {

// What every command is given.
struct CommonOptions {
    std::filesystem::path configFolder;  // holds the three configuration files
    bool verbose = false;                // the core's debug memo on stderr
    bool json = false;                   // results as JSON on stdout
};

struct BackupOptions {
    std::vector<std::string> ports;
    std::filesystem::path outFile;  // only with one port
    std::filesystem::path outFolder = ".";
};

struct RestoreOptions {
    std::string port;
    std::filesystem::path file;
    bool noBackup = false;
    bool yes = false;
};

struct DiffOptions {
    std::string port;
    std::filesystem::path file;
};

struct MonitorOptions {
    std::string port;
    std::optional<int> seconds;  // until stopped when not given
    std::filesystem::path csvFile;
};

// Each command prints its results on stdout and throws CommandError when it cannot finish.
ExitCode RunPorts(const CommonOptions& common);
ExitCode RunBackup(const CommonOptions& common, const BackupOptions& options, StopSignal& stop);
ExitCode RunRestore(const CommonOptions& common, const RestoreOptions& options, StopSignal& stop);
ExitCode RunDiff(const CommonOptions& common, const DiffOptions& options, StopSignal& stop);
ExitCode RunMonitor(const CommonOptions& common, const MonitorOptions& options, StopSignal& stop);

}  // namespace kestrova::cli
