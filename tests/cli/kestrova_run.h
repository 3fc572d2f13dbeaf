#pragma once

#include <sys/types.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/pty_simulator.h"
#include "support/temp_folder.h"

namespace kestrova::test {

// A run of the kestrova program: started with its output going to files of its own (stdout to
// stdoutPath when given), stdin from /dev/null, then waited for.
class KestrovaRun {
public:
    explicit KestrovaRun(std::vector<std::string> args, const std::string& stdoutPath = "");
    ~KestrovaRun();  // a run not waited for is killed
    KestrovaRun(const KestrovaRun&) = delete;
    KestrovaRun& operator=(const KestrovaRun&) = delete;

    // Waits for the end (once); the exit code (128 + the signal when killed by one).
    int Wait();
    void Signal(int signal) const;
    std::string Out() const { return ReadText(folder_ / "out"); }
    std::string Err() const { return ReadText(folder_ / "err"); }

private:
    TempFolder folder_{"kestrova_run"};
    pid_t pid_ = -1;
    int code_ = -1;
};

// Runs the program to its end.
struct RunResult {
    int code;
    std::string out;
    std::string err;
};
RunResult RunKestrova(std::vector<std::string> args, const std::string& stdoutPath = "");

// A config folder with the shipped configuration files.
class ConfigFolder : public TempFolder {
public:
    ConfigFolder();
};

// Simulated units on pseudo-terminals, each served by a thread of its own until they go.
class SimulatedUnits {
public:
    // prepare, when given, sets up each unit's model before it is served.
    explicit SimulatedUnits(std::vector<SimOptions> options,
                            const std::function<void(std::size_t, ControllerModel&)>& prepare = {});
    ~SimulatedUnits();

    // The device path of unit i.
    const std::string& Device(std::size_t i) const { return sims_[i]->DevicePath(); }
    // Stops serving, so the units' memory may be read.
    void Stop();
    const ControllerModel& Model(std::size_t i) const { return sims_[i]->Model(); }

private:
    std::vector<std::unique_ptr<PtySimulator>> sims_;
    std::vector<std::thread> threads_;
    std::atomic<bool> stop_{false};
};

}  // namespace kestrova::test
