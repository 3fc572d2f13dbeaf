#include "soak/reply_log.h"

#include <charconv>

#include "points/point_database.h"

namespace kestrova::soak {

namespace {

bool HexByte(std::string_view pair, std::uint8_t& out) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(pair.data(), pair.data() + pair.size(), value, 16);
    out = static_cast<std::uint8_t>(value);
    return error == std::errc() && end == pair.data() + pair.size();
}

}  // namespace

void ReplyLog::Feed(const char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const char c = bytes[i];
        if (c == '\n') {
            if (!lineTooLong_) TakeLine(std::string_view(line_.data(), lineLength_));
            lineLength_ = 0;
            lineTooLong_ = false;
        } else if (lineLength_ < line_.size()) {
            line_[lineLength_++] = c;
        } else {
            lineTooLong_ = true;
        }
    }
}

// "read <address> <data>", both in hex, the data two digits a byte.
void ReplyLog::TakeLine(std::string_view line) {
    constexpr std::string_view prefix = "read ";
    if (!line.starts_with(prefix)) return;
    line.remove_prefix(prefix.size());
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return;
    std::uint32_t address = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + space, address, 16);
    if (error != std::errc() || end != line.data() + space || address >= AddressCount) return;

    const std::string_view hex = line.substr(space + 1);
    if (hex.size() % 2 != 0) return;
    LastRead read;
    for (std::size_t i = 0; i < hex.size() / 2; ++i) {
        std::uint8_t byte = 0;
        if (!HexByte(hex.substr(2 * i, 2), byte)) return;
        if (i < read.data.size()) read.data[i] = byte;
    }
    read.known = true;
    last_[address] = read;
}

std::optional<std::int32_t> ReplyLog::LastValue(std::uint32_t address,
                                                std::uint32_t ptFlags) const {
    if (address >= AddressCount || !last_[address].known) return std::nullopt;
    return PointDatabase::DecodeTypedValue(last_[address].data.data(), ptFlags);
}

}  // namespace kestrova::soak
