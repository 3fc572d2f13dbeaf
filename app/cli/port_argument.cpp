#include "port_argument.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>

#include "exit_code.h"
#include "port/com_numbering.h"

namespace kestrova::cli {
namespace {

// "COM3" (any case) or "3": the number; 0 when the text is neither.
int NumberIn(std::string_view text) {
    if (text.size() > 3 && std::equal(text.begin(), text.begin() + 3, "COM", [](char a, char b) {
            return std::toupper(static_cast<unsigned char>(a)) == b;
        })) {
        text.remove_prefix(3);
    }
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return 0;
    return number;
}

bool LooksLikePath(std::string_view text) { return text.find('/') != std::string_view::npos; }

}  // namespace

PortChoice ChoosePort(std::string_view argument, PortMap& ports) {
    if (!LooksLikePath(argument)) {
        const int number = NumberIn(argument);
        if (number < 1 || number > LastComNumber) {
            throw CommandError{ExitCode::Usage, "--port " + std::string(argument),
                               "expected COM1 to COM40, 1 to 40 or a device path"};
        }
        return {number, "COM" + std::to_string(number)};
    }
    const std::string path(argument);
    const std::string name = std::filesystem::path(path).filename().string();
    if (const int named = ports.NumberNaming(path); named != 0) return {named, name};
    for (int number = 1; number <= LastComNumber; ++number) {
        if (ports.HasEntry(number)) continue;
        ports.Set(number, path);
        return {number, name};
    }
    throw CommandError{ExitCode::LinkFailure, path, "every COM number from 1 to 40 is taken"};
}

}  // namespace kestrova::cli
