// The entry of kestrova on Windows (wmain, linked with -municode): the arguments arrive as
// UTF-16 and are handed on as UTF-8, so a file name outside the ANSI code page survives; the
// console shows the UTF-8 output as such while the program runs.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/exit_code.h"
#include "cli/program.h"
#include "common/utf8_path.h"

namespace {

// Sets the console's output code page to UTF-8 and gives the old one back at the end.
class Utf8Console {
public:
    Utf8Console() : previous_(::GetConsoleOutputCP()) {
        if (previous_ != 0) ::SetConsoleOutputCP(CP_UTF8);
    }
    ~Utf8Console() {
        std::fflush(stdout);
        std::fflush(stderr);
        if (previous_ != 0) ::SetConsoleOutputCP(previous_);
    }
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    UINT previous_;  // 0 without a console
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const Utf8Console console;
    std::vector<std::string> arguments;
    try {
        for (int i = 0; i < argc; ++i) arguments.push_back(kestrova::Utf8Of(argv[i]));
    } catch (const std::filesystem::filesystem_error&) {  // a lone surrogate
        kestrova::cli::PrintError("arguments", "not Unicode text");
        return static_cast<int>(kestrova::cli::ExitCode::Usage);
    }
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
    return kestrova::cli::RunProgram(
        argc, pointers.data(),
        "folder of the three configuration files (default: the window's, beside the program "
        "when that folder is writable, else %APPDATA%\\Kestrova Interface)");
}
