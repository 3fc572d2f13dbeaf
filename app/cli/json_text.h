#pragma once

#include <string>
#include <string_view>

namespace kestrova::cli {

// text as a JSON string, quotes included.
std::string JsonString(std::string_view text);

}  // namespace kestrova::cli
