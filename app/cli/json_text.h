#pragma once

#include <string>
#include <string_view>

namespace kestrova::cli {

// text as a JSON string, quotes included. Bytes that are not UTF-8 (a file name may hold any)
// become U+FFFD, one for each byte, so the output stays valid JSON.
std::string JsonString(std::string_view text);

}  // namespace kestrova::cli
