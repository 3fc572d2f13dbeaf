#include "port/network_target.h"

#include <charconv>

namespace kestrova {

namespace {

constexpr std::string_view Rfc2217Scheme = "rfc2217://";
constexpr std::string_view TcpScheme = "tcp://";

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool ValidHostName(std::string_view host) {
    if (host.empty() || host.size() > 253) return false;
    for (const char c : host) {
        const bool letterOrDigit =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit && c != '-' && c != '.' && c != '_') return false;
    }
    return true;
}

bool ValidIpv6(std::string_view host) {
    if (host.empty() || host.size() > 45) return false;
    for (const char c : host) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex && c != ':' && c != '.') return false;
    }
    return true;
}

}  // namespace

bool IsNetworkTarget(std::string_view text) {
    return StartsWith(text, Rfc2217Scheme) || StartsWith(text, TcpScheme);
}

std::optional<NetworkTarget> ParseNetworkTarget(std::string_view text) {
    NetworkTarget target;
    if (StartsWith(text, Rfc2217Scheme)) {
        target.mode = NetworkMode::Rfc2217;
        text.remove_prefix(Rfc2217Scheme.size());
    } else if (StartsWith(text, TcpScheme)) {
        target.mode = NetworkMode::RawTcp;
        text.remove_prefix(TcpScheme.size());
    } else {
        return std::nullopt;
    }

    std::string_view host;
    std::string_view rest;
    if (StartsWith(text, "[")) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = text.substr(1, close - 1);
        if (!ValidIpv6(host)) return std::nullopt;
        rest = text.substr(close + 1);
    } else {
        const std::size_t colon = text.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        host = text.substr(0, colon);
        if (!ValidHostName(host)) return std::nullopt;
        rest = text.substr(colon);
    }
    if (!StartsWith(rest, ":")) return std::nullopt;
    rest.remove_prefix(1);

    unsigned int port = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), port);
    if (rest.empty() || error != std::errc() || end != rest.data() + rest.size() || port == 0 ||
        port > 65535) {
        return std::nullopt;
    }
    target.host = std::string(host);
    target.port = static_cast<std::uint16_t>(port);
    return target;
}

}  // namespace kestrova
