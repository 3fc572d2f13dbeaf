#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The socket calls of the TCP line: a name lookup and one non-blocking stream connection, on BSD
// sockets (stream_socket_posix.cpp) or Winsock (stream_socket_win32.cpp).
namespace kestrova::net {

using Socket = std::intptr_t;
inline constexpr Socket NoSocket = -1;

// One address of a name, as the system's lookup gives it.
struct Address {
    std::array<std::uint8_t, 128> bytes{};
    std::uint32_t length = 0;
};

enum class Lookup { Found, NotFound, NoAnswer, Failed };
// The addresses for a stream connection to host:port. NotFound for a name the service does not
// know (or that has no address), NoAnswer when it did not answer; Failed with the system's text.
Lookup Resolve(const std::string& host, std::uint16_t port, std::vector<Address>& addresses,
               std::string& text);

// The result of a call that may not be able to finish at once.
enum class Progress { Done, Pending, Failed };

// A non-blocking stream socket for the address's family, without Nagle's delay (the requests
// are small and each waits for its reply); NoSocket, with the error, when none can be made.
Socket Open(const Address& address, int& error);
// Starts the connection: Done at once (rare), Pending while it goes on, or Failed.
Progress Connect(Socket socket, const Address& address, int& error);
// Whether the connection Connect started has come up (Done), failed, or still goes on.
Progress ConnectOutcome(Socket socket, int& error);
// Bytes read without waiting: the count (0: the server closed the connection), or -1 with error
// 0 when nothing is waiting, or with the error.
long Receive(Socket socket, std::uint8_t* buffer, std::size_t size, int& error);
// Bytes sent without waiting: the count, or -1 with error 0 when the send queue is full, or
// with the error.
long Send(Socket socket, const std::uint8_t* bytes, std::size_t count, int& error);
void Close(Socket socket);

// The operator's words for a connection's error: "connection refused", "connection reset",
// "no route to host", "timed out", else the system's text.
std::string ErrorText(int error);

}  // namespace kestrova::net
