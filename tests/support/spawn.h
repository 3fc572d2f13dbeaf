#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrova::test {

// Starts a program with its stdout and stderr in a file; extra "NAME=value" entries override
// the environment. Returns the process id, or -1 when it could not be started.
pid_t Spawn(const std::vector<std::string>& arguments, const std::filesystem::path& output,
            const std::vector<std::string>& environment = {});

// The exit status, or -1 when the process did not end in time (it is then killed).
int WaitForExit(pid_t pid, std::chrono::seconds limit);

}  // namespace kestrova::test
