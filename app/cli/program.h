#pragma once

#include <string_view>

namespace kestrova::cli {

// The whole kestrova program: parses the arguments (UTF-8 text) and runs the command; returns the
// exit code. The system's entry (main_posix.cpp, main_win32.cpp) hands over the arguments and the
// help text of --config-dir, which names the system's folders.
int RunProgram(int argc, const char* const* argv, std::string_view configDirHelp);

}  // namespace kestrova::cli
