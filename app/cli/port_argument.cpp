#include "port_argument.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>

#include "common/utf8_path.h"
#include "exit_code.h"
#include "port/com_numbering.h"
#include "port/network_target.h"

namespace kestrova::cli {
namespace {

// "COM3" (any case, also as the device name "\\.\COM3") or "3": the number; 0 when the text
// is neither.
int NumberIn(std::string_view text) {
    if (text.starts_with("\\\\.\\")) text.remove_prefix(4);
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

// A device server's address names itself: its entry is found or made as written.
PortChoice ChooseNetworkPort(std::string_view argument, PortMap& ports) {
    const std::string target(argument);
    if (!ParseNetworkTarget(target)) {
        throw CommandError{ExitCode::Usage, "--port " + target,
                           "expected rfc2217://HOST:PORT or tcp://HOST:PORT"};
    }
    // "host-2001" names its output files.
    std::string name = target.substr(target.find("://") + 3);
    std::replace_if(
        name.begin(), name.end(), [](char c) { return c == ':' || c == '[' || c == ']'; }, '-');
    if (const int named = ports.NumberNaming(target); named != 0) {
        return {named, name, target, target};
    }
    for (int number = 1; number <= LastComNumber; ++number) {
        if (ports.HasEntry(number)) continue;
        ports.Set(number, target);
        return {number, name, target, target};
    }
    throw CommandError{ExitCode::LinkFailure, target, "every COM number from 1 to 40 is taken"};
}

}  // namespace

PortChoice ChoosePort(std::string_view argument, PortMap& ports) {
    if (IsNetworkTarget(argument)) return ChooseNetworkPort(argument, ports);
    if (!LooksLikePath(argument)) {
        const int number = NumberIn(argument);
        if (number < 1 || number > LastComNumber) {
            throw CommandError{ExitCode::Usage, "--port " + std::string(argument),
                               "expected COM1 to COM40, 1 to 40 or a device path"};
        }
        return {number, "COM" + std::to_string(number), "", std::string(argument)};
    }
    std::error_code error;
    const std::filesystem::path given = PathFromUtf8(argument);
    const std::string path = Utf8Of(std::filesystem::absolute(given, error).lexically_normal());
    if (error) {
        throw CommandError{ExitCode::Usage, "--port " + std::string(argument), error.message()};
    }
    const std::string name = Utf8Of(given.filename());
    if (const int named = ports.NumberNaming(path); named != 0) {
        return {named, name, path, std::string(argument)};
    }
    for (int number = 1; number <= LastComNumber; ++number) {
        if (ports.HasEntry(number)) continue;
        ports.Set(number, path);
        return {number, name, path, std::string(argument)};
    }
    throw CommandError{ExitCode::LinkFailure, path, "every COM number from 1 to 40 is taken"};
}

std::vector<PortChoice> ChoosePorts(const std::vector<std::string>& arguments, PortMap& ports) {
    // The COM numbers given as numbers are taken before any path is given a free one, so that
    // "--port /a/unit --port COM1" does not give the path COM1 as well; a path that one of them
    // opens (its default device among them) is then found under that number.
    for (const std::string& argument : arguments) {
        if (LooksLikePath(argument)) continue;
        const int number = ChoosePort(argument, ports).comNumber;
        if (!ports.HasEntry(number)) ports.Set(number, ports.DevicePath(number));
    }
    std::vector<PortChoice> choices;
    for (const std::string& argument : arguments) {
        PortChoice choice = ChoosePort(argument, ports);
        for (const PortChoice& earlier : choices) {
            if (earlier.comNumber == choice.comNumber ||
                SameDevice(ports.DevicePath(earlier.comNumber),
                           ports.DevicePath(choice.comNumber))) {
                throw CommandError{ExitCode::Usage,
                                   "--port " + earlier.argument + ", --port " + choice.argument,
                                   "the same port twice"};
            }
        }
        choices.push_back(std::move(choice));
    }
    return choices;
}

}  // namespace kestrova::cli
