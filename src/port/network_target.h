#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova {

// How the bytes travel to a serial device server: telnet with the com-port option, which also
// carries the line settings, or the bytes as they are (the server keeps its own settings).
enum class NetworkMode : std::int32_t { Rfc2217, RawTcp };

// A serial line on a device server: "rfc2217://HOST:PORT" or "tcp://HOST:PORT", HOST a name, an
// IPv4 address or an IPv6 address in brackets.
struct NetworkTarget {
    NetworkMode mode = NetworkMode::RawTcp;
    std::string host;  // without the brackets of an IPv6 address
    std::uint16_t port = 0;
};

// Whether text names a network line (by its scheme, whether or not the rest is well formed).
bool IsNetworkTarget(std::string_view text);

// The target text names; nothing when it is not a well-formed network target.
std::optional<NetworkTarget> ParseNetworkTarget(std::string_view text);

}  // namespace kestrova
