#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrova::cli {

// What a run of kestrova ends with, the same for every command.
enum class ExitCode : int {
    Done = 0,          // done; a restore also verified
    Differences = 1,   // diff found a value that differs
    Usage = 2,         // the command line is wrong
    LinkFailure = 3,   // the port did not open, or the unit did not answer in time
    FileRefused = 4,   // a file was refused, could not be read or written
    NotVerified = 5,   // the restore's read-back did not match
    Interrupted = 130  // stopped by SIGINT or SIGTERM (128 + SIGINT, as shells report it)
};

// The table of exit codes for --help and the README.
inline constexpr std::string_view ExitCodeTable =
    "Exit codes:\n"
    "  0    done (restore: verified)\n"
    "  1    differences found (diff)\n"
    "  2    usage error\n"
    "  3    link failure (the port did not open, or no replies)\n"
    "  4    file refused or not writable\n"
    "  5    restore not verified\n"
    "  130  stopped by Ctrl-C or SIGTERM\n";

// A command that cannot go on: printed as "kestrova: <what>: <why>", and the program ends with
// code.
struct CommandError {
    ExitCode code;
    std::string what;
    std::string why;
};

// Throws CommandError (file refused, "<command> <file>: no such file") unless file is a regular
// file.
void RequireFile(std::string_view command, const std::filesystem::path& file);

// "kestrova: <what>: <why>" on stderr, on one line (line breaks of why become "; ").
void PrintError(std::string_view what, std::string_view why);

}  // namespace kestrova::cli
