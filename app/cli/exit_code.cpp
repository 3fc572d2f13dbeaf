#include "exit_code.h"

#include <cstdio>
#include <string>

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

}  // namespace kestrova::cli
