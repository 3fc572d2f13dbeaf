#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrova {

// Every file name the program handles is UTF-8 text (settings, arguments, display pairs); these
// two are where such text becomes a path and a path becomes text again. On Linux the bytes pass
// as they are. On Windows the path holds UTF-16 for the wide calls and is converted through
// char8_t text; the path type's own std::string conversions would go through the ANSI code page
// instead, byte by byte, and garble every name outside it.
std::filesystem::path PathFromUtf8(std::string_view text);
std::string Utf8Of(const std::filesystem::path& path);

}  // namespace kestrova
