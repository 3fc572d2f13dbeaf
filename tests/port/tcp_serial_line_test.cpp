#include "port/tcp_serial_line.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/alloc_counter.h"

namespace kestrova {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// Polls until the condition holds or two seconds have passed.
bool Eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(1ms);
    }
    return condition();
}

bool Contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

// A device server on 127.0.0.1 that takes one connection.
class LocalServer {
public:
    LocalServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ADD_FAILURE() << "no listening socket: " << errno;
        }
        port_ = ntohs(address.sin_port);
    }
    ~LocalServer() {
        if (peer_ >= 0) ::close(peer_);
        ::close(listener_);
    }
    std::string Url(const char* scheme) const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
    }
    // Takes the line's connection; the line connects only as far as its calls carry it on.
    bool Accept(TcpSerialLine& line) {
        return Eventually([&] {
            (void)line.QueuedInput();
            pollfd waiting{listener_, POLLIN, 0};
            if (::poll(&waiting, 1, 0) != 1) return false;
            peer_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            return peer_ >= 0;
        });
    }
    void Send(const Bytes& bytes) const {
        ASSERT_EQ(::send(peer_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    // Everything received so far, taken within a short wait.
    const Bytes& Received() {
        std::uint8_t chunk[512];
        pollfd waiting{peer_, POLLIN, 0};
        while (::poll(&waiting, 1, 20) == 1) {
            const ssize_t got = ::recv(peer_, chunk, sizeof chunk, 0);
            if (got <= 0) break;
            received_.insert(received_.end(), chunk, chunk + got);
        }
        return received_;
    }
    void Hangup() {
        ::close(peer_);
        peer_ = -1;
    }

private:
    int listener_ = -1;
    int peer_ = -1;
    std::uint16_t port_ = 0;
    Bytes received_;
};

Bytes ReadAll(TcpSerialLine& line, std::size_t wanted) {
    Bytes data;
    Eventually([&] {
        std::uint8_t chunk[64];
        const std::int32_t got = line.Read(chunk, line.QueuedInput());
        if (got > 0) data.insert(data.end(), chunk, chunk + got);
        return data.size() >= wanted;
    });
    return data;
}

TEST(TcpSerialLine, RawBytesBothWaysAndTheLossOfTheServer) {
    LocalServer server;
    TcpSerialLine line;
    ASSERT_EQ(line.Open(server.Url("tcp")), OpenFailure::None);
    EXPECT_EQ(line.Kind(), LineKind::Network);
    EXPECT_NE(line.TakeNotice().find("serial settings are the server's"), std::string_view::npos);
    // Written while still connecting: queued and sent once the connection is up.
    const Bytes frame = {0x10, 0xFF, 0x20};
    ASSERT_TRUE(line.Write(frame.data(), 3));
    ASSERT_TRUE(server.Accept(line));
    ASSERT_TRUE(Eventually([&] { return line.QueuedInput() >= 0 && line.Connected(); }));
    EXPECT_TRUE(Eventually([&] { return server.Received() == frame; }));

    server.Send({0xFF, 0x01});
    EXPECT_EQ(ReadAll(line, 2), (Bytes{0xFF, 0x01}));

    // Connected, the tick's calls allocate nothing.
    const long before = test::AllocationCount();
    std::uint8_t buffer[8];
    for (int i = 0; i < 20; ++i) {
        (void)line.QueuedInput();
        (void)line.LineErrors();
        (void)line.Read(buffer, sizeof buffer);
        (void)line.Write(frame.data(), 3);
    }
    EXPECT_EQ(test::AllocationCount(), before);

    EXPECT_TRUE(Eventually([&] { return server.Received().size() == 63; }));  // 21 frames
    server.Hangup();
    EXPECT_TRUE(Eventually([&] { return (line.LineErrors() & CE_DEVICE_GONE) != 0; }));
    EXPECT_NE(line.FailureText().find("connection closed by the server"), std::string_view::npos);
    EXPECT_FALSE(line.Write(frame.data(), 3));
}

TEST(TcpSerialLine, ComPortSettingsEscapesAndLineState) {
    LocalServer server;
    TcpSerialLine line;
    ASSERT_EQ(line.Open(server.Url("rfc2217")), OpenFailure::None);
    ASSERT_EQ(line.Configure(38400, 8, 2, 1), OpenFailure::None);
    line.SetDtr(true);
    ASSERT_TRUE(server.Accept(line));
    ASSERT_TRUE(Eventually([&] { return line.QueuedInput() >= 0 && line.Connected(); }));
    const Bytes frame = {0x01, 0xFF, 0x02};
    ASSERT_TRUE(line.Write(frame.data(), 3));

    namespace t = telnet;
    ASSERT_TRUE(Eventually([&] { return Contains(server.Received(), {0x01, 0xFF, 0xFF, 0x02}); }));
    const Bytes& sent = server.Received();
    EXPECT_TRUE(Contains(sent, {t::Iac, t::Will, t::OptComPort}));
    EXPECT_TRUE(Contains(
        sent, {t::Iac, t::Sb, t::OptComPort, t::SetBaudRate, 0, 0, 0x96, 0, t::Iac, t::Se}));
    EXPECT_TRUE(Contains(sent, {t::Iac, t::Sb, t::OptComPort, t::SetParity, 3, t::Iac, t::Se}));
    EXPECT_TRUE(Contains(
        sent, {t::Iac, t::Sb, t::OptComPort, t::SetControl, t::ControlDtrOn, t::Iac, t::Se}));
    // The data came after the settings.
    const auto at = [&](const Bytes& part) {
        return std::search(sent.begin(), sent.end(), part.begin(), part.end()) - sent.begin();
    };
    EXPECT_GT(at({0x01, 0xFF, 0xFF, 0x02}), at({t::Sb, t::OptComPort, t::SetBaudRate}));

    // A settings change reaches the server at once; an answer that differs is noted.
    ASSERT_EQ(line.Configure(0x1FF, 8, 0, 2), OpenFailure::None);
    EXPECT_TRUE(Eventually([&] {
        return Contains(server.Received(), {t::Iac, t::Sb, t::OptComPort, t::SetBaudRate, 0, 0,
                                            0x01, 0xFF, 0xFF, t::Iac, t::Se});
    }));
    // The answers to both settings requests; the second one's rate differs.
    const auto answer = [](std::uint8_t command, const Bytes& value) {
        Bytes sub = {t::Iac, t::Sb, t::OptComPort, static_cast<std::uint8_t>(command + 100)};
        for (const std::uint8_t byte : value) sub.push_back(byte);
        sub.push_back(t::Iac);
        sub.push_back(t::Se);
        return sub;
    };
    const auto answers = [&](std::uint8_t baudHigh, std::uint8_t baudLow, std::uint8_t parity,
                             std::uint8_t stop) {
        Bytes all;
        for (const Bytes& part :
             {answer(t::SetBaudRate, {0, 0, baudHigh, baudLow}), answer(t::SetDataSize, {8}),
              answer(t::SetParity, {parity}), answer(t::SetStopSize, {stop})}) {
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    };
    // The first request's answers say nothing: a later request is under way.
    server.Send({t::Iac, t::Do, t::OptComPort});
    server.Send(answers(0x96, 0x00, 3, 1));
    server.Send({0x07, t::Iac, t::Iac});
    EXPECT_EQ(ReadAll(line, 2), (Bytes{0x07, 0xFF}));
    EXPECT_TRUE(line.TakeNotice().empty());
    server.Send(answers(0x25, 0x80, 1, 2));
    server.Send({t::Iac, t::Sb, t::OptComPort, 106, 0x04, t::Iac, t::Se, 0x08});
    EXPECT_EQ(ReadAll(line, 1), (Bytes{0x08}));
    EXPECT_EQ(line.ServerSettings().baud, 9600u);
    EXPECT_EQ(line.TakeNotice(), server.Url("rfc2217") + ": the server runs 9600 baud, not 511");
    EXPECT_EQ(line.LineErrors(), CE_RXPARITY);
    EXPECT_EQ(line.LineErrors(), 0u);
    // The other line-state error bits, as a local port counts them (a break as a framing error).
    const std::pair<std::uint8_t, std::uint32_t> states[] = {
        {t::LineOverrun, CE_OVERRUN},
        {t::LineFraming, CE_FRAME},
        {t::LineBreak, CE_FRAME},
        {0x61 /* data ready, transmitter empty */, 0u}};
    for (const auto& [state, flags] : states) {
        server.Send({t::Iac, t::Sb, t::OptComPort, 106, state, t::Iac, t::Se, 0x33});
        EXPECT_EQ(ReadAll(line, 1), Bytes{0x33});
        EXPECT_EQ(line.LineErrors(), flags) << int{state};
    }
}

TEST(TcpSerialLine, ReasonsOfAFailedConnect) {
    std::string refusedUrl;
    {
        LocalServer closed;  // its port is free again once it is gone
        refusedUrl = closed.Url("tcp");
    }
    struct Row {
        std::string url;
        const char* reason;
    };
    const Row rows[] = {
        {refusedUrl, "connection refused"},
        {"rfc2217://no-such-host.invalid:2001", "name not found"},
    };
    // The tick's calls never wait for the name service or the connect: the longest one is
    // measured.
    std::chrono::steady_clock::duration longest{};
    const auto timed = [&longest](auto call) {
        const auto start = std::chrono::steady_clock::now();
        const auto result = call();
        longest = std::max(longest, std::chrono::steady_clock::now() - start);
        return result;
    };
    for (const Row& row : rows) {
        TcpSerialLine line;
        ASSERT_EQ(timed([&] { return line.Open(row.url); }), OpenFailure::None);
        EXPECT_TRUE(Eventually([&] {
            return (timed([&] { return line.LineErrors(); }) & CE_DEVICE_GONE) != 0;
        })) << row.url;
        EXPECT_EQ(line.FailureText().substr(0, row.url.size() + 2 + std::strlen(row.reason)),
                  row.url + ": " + row.reason);
    }
    EXPECT_LT(longest, std::chrono::milliseconds(20));
    TcpSerialLine line;
    EXPECT_EQ(line.Open("tcp://host"), OpenFailure::DeviceInvalid);
}

}  // namespace
}  // namespace kestrova
