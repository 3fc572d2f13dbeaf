#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <sys/types.h>

namespace kestrova::soak {

// kestrova-sim as a child process: started with its options, ready once it has printed its
// device path, stopped with SIGTERM (the link is removed) or killed with SIGKILL (the link stays
// behind, stale, as after a crash). The child is also told to stop should this process die.
class SimProcess {
public:
    SimProcess() = default;
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts the program and waits up to timeoutMs for its device path. False with the reason.
    bool Start(const std::string& program, const std::vector<std::string>& args, int timeoutMs,
               std::string& error);
    // SIGKILL and reap.
    void Kill();
    // SIGTERM, reap (SIGKILL after timeoutMs); the exit code, or -1 when it did not exit by
    // itself with a code.
    int Stop(int timeoutMs);
    // What the child has written on its stdout after the device path and not yet been read, up to
    // size bytes, without waiting; 0 when there is nothing.
    std::size_t ReadOutput(char* buffer, std::size_t size);
    // True while the child runs; reaps it and keeps its status when it has ended on its own.
    bool Running();
    // How the child ended on its own, as text ("" while it runs or after Kill/Stop).
    const std::string& UnexpectedEnd() const { return unexpectedEnd_; }

    pid_t Pid() const { return pid_; }
    const std::string& DevicePath() const { return devicePath_; }

private:
    void CloseOutput();

    pid_t pid_ = -1;
    int output_ = -1;  // read end of the child's stdout, kept open so it never meets SIGPIPE
    std::string devicePath_;
    std::string unexpectedEnd_;
};

}  // namespace kestrova::soak
