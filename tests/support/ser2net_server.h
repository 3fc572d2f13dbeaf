#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace kestrova::test {

// A ser2net on 127.0.0.1 in front of a serial device (the simulator's pseudo-terminal), with a
// telnet/RFC 2217 accepter and a raw TCP one, both without character delay. Started with a YAML
// configuration written into folder; stopped (and restarted on the same ports) by the test.
class Ser2netServer {
public:
    Ser2netServer(std::filesystem::path folder, std::string device);
    ~Ser2netServer();
    Ser2netServer(const Ser2netServer&) = delete;
    Ser2netServer& operator=(const Ser2netServer&) = delete;

    // Whether ser2net is installed where the tests look for it.
    static bool Available();

    // Starts ser2net and waits (at most two seconds) until both ports listen; false on failure.
    bool Start();
    void Stop();

    std::string Rfc2217Url() const { return "rfc2217://127.0.0.1:" + std::to_string(rfcPort_); }
    std::string RawUrl() const { return "tcp://127.0.0.1:" + std::to_string(rawPort_); }

private:
    std::filesystem::path folder_;
    std::string device_;
    std::uint16_t rfcPort_ = 0;
    std::uint16_t rawPort_ = 0;
    pid_t pid_ = -1;
};

}  // namespace kestrova::test
