#include "common/quoted_value.h"

namespace kestrova {

std::string QuoteValue(std::string_view value) {
    std::size_t characters = 0;
    std::size_t end = 0;
    for (; end < value.size(); ++end) {
        const bool continuation = (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80;
        if (!continuation && characters++ == QuotedValueLimit) break;
    }
    std::string quoted = "'";
    quoted.append(value.substr(0, end));
    if (end < value.size()) quoted += "\u2026";
    return quoted + "'";
}

}  // namespace kestrova
