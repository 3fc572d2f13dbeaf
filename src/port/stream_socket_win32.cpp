// Winsock's sockets: started once per process, non-blocking through FIONBIO, a connect's end
// seen through select (WSAPoll misses a refused connect on older Windows).
#include <winsock2.h>
#include <ws2tcpip.h>

#include <array>
#include <cstring>
#include <filesystem>

#include "common/utf8_path.h"
#include "port/stream_socket.h"

namespace kestrova::net {
namespace {

bool Started() {
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

SOCKET Native(Socket socket) { return static_cast<SOCKET>(socket); }

bool WouldBlock(int error) { return error == WSAEWOULDBLOCK || error == WSAEINTR; }

}  // namespace

Lookup Resolve(const std::string& host, std::uint16_t port, std::vector<Address>& addresses,
               std::string& text) {
    if (!Started()) {
        text = ErrorText(::WSAGetLastError());
        return Lookup::Failed;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    const int error = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
        Address address;
        if (entry->ai_addrlen > address.bytes.size()) continue;
        std::memcpy(address.bytes.data(), entry->ai_addr, entry->ai_addrlen);
        address.length = static_cast<std::uint32_t>(entry->ai_addrlen);
        addresses.push_back(address);
    }
    if (list != nullptr) ::freeaddrinfo(list);
    if (error == WSATRY_AGAIN) return Lookup::NoAnswer;
    if (error == WSAHOST_NOT_FOUND || error == WSANO_DATA || (error == 0 && addresses.empty())) {
        return Lookup::NotFound;
    }
    if (error != 0) {
        text = ErrorText(error);
        return Lookup::Failed;
    }
    return Lookup::Found;
}

Socket Open(const Address& address, int& error) {
    if (!Started()) {
        error = ::WSAGetLastError();
        return NoSocket;
    }
    const int family = reinterpret_cast<const sockaddr*>(address.bytes.data())->sa_family;
    const SOCKET socket =
        ::WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET) {
        error = ::WSAGetLastError();
        return NoSocket;
    }
    u_long nonBlocking = 1;
    const BOOL on = TRUE;
    if (::ioctlsocket(socket, FIONBIO, &nonBlocking) != 0) {
        error = ::WSAGetLastError();
        ::closesocket(socket);
        return NoSocket;
    }
    (void)::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                       sizeof on);
    return static_cast<Socket>(socket);
}

Progress Connect(Socket socket, const Address& address, int& error) {
    if (::connect(Native(socket), reinterpret_cast<const sockaddr*>(address.bytes.data()),
                  static_cast<int>(address.length)) == 0) {
        return Progress::Done;
    }
    error = ::WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS ? Progress::Pending
                                                              : Progress::Failed;
}

Progress ConnectOutcome(Socket socket, int& error) {
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(Native(socket), &writable);
    FD_SET(Native(socket), &failed);
    timeval now{0, 0};
    if (::select(0, nullptr, &writable, &failed, &now) <= 0) return Progress::Pending;
    error = 0;
    int length = sizeof error;
    if (::getsockopt(Native(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                     &length) != 0) {
        error = ::WSAGetLastError();
    }
    if (error == 0 && FD_ISSET(Native(socket), &failed)) error = WSAECONNREFUSED;
    return error == 0 ? Progress::Done : Progress::Failed;
}

long Receive(Socket socket, std::uint8_t* buffer, std::size_t size, int& error) {
    const int got = ::recv(Native(socket), reinterpret_cast<char*>(buffer),
                           static_cast<int>(std::min<std::size_t>(size, 1u << 30)), 0);
    if (got >= 0) return got;
    const int code = ::WSAGetLastError();
    error = WouldBlock(code) ? 0 : code;
    return -1;
}

long Send(Socket socket, const std::uint8_t* bytes, std::size_t count, int& error) {
    const int put = ::send(Native(socket), reinterpret_cast<const char*>(bytes),
                           static_cast<int>(std::min<std::size_t>(count, 1u << 30)), 0);
    if (put >= 0) return put;
    const int code = ::WSAGetLastError();
    error = WouldBlock(code) ? 0 : code;
    return -1;
}

void Close(Socket socket) {
    if (socket != NoSocket) ::closesocket(Native(socket));
}

std::string ErrorText(int error) {
    switch (error) {
        case WSAECONNREFUSED: return "connection refused";
        case WSAECONNRESET:
        case WSAECONNABORTED: return "connection reset";
        case WSAENETUNREACH:
        case WSAEHOSTUNREACH: return "no route to host";
        case WSAETIMEDOUT: return "timed out";
        default: break;
    }
    std::array<wchar_t, 256> buffer{};
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                         static_cast<DWORD>(error), 0, buffer.data(), buffer.size(), nullptr);
    std::wstring text(buffer.data(), length);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.')) {
        text.pop_back();
    }
    if (text.empty()) return "Winsock error " + std::to_string(error);
    return Utf8Of(std::filesystem::path(text));
}

}  // namespace kestrova::net
