#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "port/stream_socket.h"

namespace kestrova::net {

Lookup Resolve(const std::string& host, std::uint16_t port, std::vector<Address>& addresses,
               std::string& text) {
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
        address.length = entry->ai_addrlen;
        addresses.push_back(address);
    }
    if (list != nullptr) ::freeaddrinfo(list);
    if (error == EAI_AGAIN) return Lookup::NoAnswer;
    if (error == EAI_NONAME || error == EAI_NODATA || (error == 0 && addresses.empty())) {
        return Lookup::NotFound;
    }
    if (error != 0) {
        text = ::gai_strerror(error);
        return Lookup::Failed;
    }
    return Lookup::Found;
}

Socket Open(const Address& address, int& error) {
    const int family = reinterpret_cast<const sockaddr*>(address.bytes.data())->sa_family;
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = errno;
        return NoSocket;
    }
    const int on = 1;
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

Progress Connect(Socket socket, const Address& address, int& error) {
    if (::connect(static_cast<int>(socket), reinterpret_cast<const sockaddr*>(address.bytes.data()),
                  address.length) == 0) {
        return Progress::Done;
    }
    error = errno;
    return error == EINPROGRESS ? Progress::Pending : Progress::Failed;
}

Progress ConnectOutcome(Socket socket, int& error) {
    pollfd entry{static_cast<int>(socket), POLLOUT, 0};
    if (::poll(&entry, 1, 0) != 1) return Progress::Pending;
    error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(static_cast<int>(socket), SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
    }
    return error == 0 ? Progress::Done : Progress::Failed;
}

long Receive(Socket socket, std::uint8_t* buffer, std::size_t size, int& error) {
    const ssize_t got = ::recv(static_cast<int>(socket), buffer, size, MSG_DONTWAIT);
    if (got >= 0) return got;
    error = errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : errno;
    return -1;
}

long Send(Socket socket, const std::uint8_t* bytes, std::size_t count, int& error) {
    const ssize_t put = ::send(static_cast<int>(socket), bytes, count, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (put >= 0) return put;
    error = errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : errno;
    return -1;
}

void Close(Socket socket) {
    if (socket != NoSocket) ::close(static_cast<int>(socket));
}

std::string ErrorText(int error) {
    switch (error) {
        case ECONNREFUSED: return "connection refused";
        case ECONNRESET:
        case EPIPE: return "connection reset";
        case ENETUNREACH:
        case EHOSTUNREACH: return "no route to host";
        case ETIMEDOUT: return "timed out";
        default: return std::strerror(error);
    }
}

}  // namespace kestrova::net
