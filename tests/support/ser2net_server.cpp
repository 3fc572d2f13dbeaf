#include "support/ser2net_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace kestrova::test {

namespace {

constexpr const char* Ser2netProgram = "/usr/sbin/ser2net";

// A port the system has just handed out and taken back: free unless someone takes it meanwhile.
std::uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    std::uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

// Whether a socket listens on 127.0.0.1:port, from the kernel's table (connecting to find out
// would make ser2net open the device).
bool Listening(std::uint16_t port) {
    std::ifstream table("/proc/net/tcp");
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local == wanted && state == "0A") return true;
    }
    return false;
}

}  // namespace

Ser2netServer::Ser2netServer(std::filesystem::path folder, std::string device)
    : folder_(std::move(folder)),
      device_(std::move(device)),
      rfcPort_(FreePort()),
      rawPort_(FreePort()) {}

Ser2netServer::~Ser2netServer() { Stop(); }

bool Ser2netServer::Available() { return ::access(Ser2netProgram, X_OK) == 0; }

bool Ser2netServer::Start() {
    const std::filesystem::path config = folder_ / "ser2net.yaml";
    {
        std::ofstream yaml(config);
        const std::string connector = "serialdev," + device_ + ",38400n81,local";
        yaml << "connection: &rfc2217\n"
             << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << rfcPort_ << "\n"
             << "  connector: " << connector << "\n"
             << "  options:\n    chardelay: false\n"
             << "connection: &raw\n"
             << "  accepter: tcp,127.0.0.1," << rawPort_ << "\n"
             << "  connector: " << connector << "\n"
             << "  options:\n    chardelay: false\n";
        if (!yaml) return false;
    }
    const std::string pidFile = (folder_ / "ser2net.pid").string();
    pid_ = ::fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
        ::execl(Ser2netProgram, Ser2netProgram, "-n", "-c", config.c_str(), "-P", pidFile.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 200; ++i) {
        if (Listening(rfcPort_) && Listening(rawPort_)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void Ser2netServer::Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

}  // namespace kestrova::test
