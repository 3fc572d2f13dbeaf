#include "exit_code.h"

#include <cstdio>
#include <string>

#include "common/utf8_path.h"

namespace kestrova::cli {

void PrintError(std::string_view what, std::string_view why) {
    std::string line = "kestrova: ";
    line += what;
    line += ": ";
    for (const char c : why) {
        if (c == '\n') {
            line += "; ";
        } else {
            line += c;
        }
    }
    line += '\n';
    std::fputs(line.c_str(), stderr);
}

void RequireFile(std::string_view command, const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        throw CommandError{ExitCode::FileRefused, std::string(command) + " " + Utf8Of(file),
                           "no such file"};
    }
}

}  // namespace kestrova::cli
