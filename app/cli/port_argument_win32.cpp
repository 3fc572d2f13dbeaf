#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "common/utf8_path.h"
#include "port_argument.h"

namespace kestrova::cli {

bool SameDevice(const std::string& a, const std::string& b) {
    // Windows names are the same in any case ("\\.\com5" is "\\.\COM5").
    if (std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::toupper(static_cast<unsigned char>(x)) ==
                   std::toupper(static_cast<unsigned char>(y));
        })) {
        return true;
    }
    std::error_code error;
    return std::filesystem::equivalent(PathFromUtf8(a), PathFromUtf8(b), error) && !error;
}

}  // namespace kestrova::cli
