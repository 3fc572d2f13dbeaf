#include "kestrova_run.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <stdexcept>
#include <string>

#include "common/ini_document.h"

namespace kestrova::test {

KestrovaRun::KestrovaRun(std::vector<std::string> args, const std::string& stdoutPath) {
    args.insert(args.begin(), KESTROVA_PROGRAM);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const std::string out = stdoutPath.empty() ? (folder_ / "out").string() : stdoutPath;
    const std::string err = (folder_ / "err").string();
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int failed = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) throw std::runtime_error("cannot start " + args[0]);
}

KestrovaRun::~KestrovaRun() {
    if (pid_ < 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

int KestrovaRun::Wait() {
    if (pid_ < 0) return code_;
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return code_;
}

void KestrovaRun::Signal(int signal) const { kill(pid_, signal); }

RunResult RunKestrova(std::vector<std::string> args, const std::string& stdoutPath) {
    KestrovaRun run(std::move(args), stdoutPath);
    const int code = run.Wait();
    return {code, run.Out(), run.Err()};
}

ConfigFolder::ConfigFolder() : TempFolder("kestrova_config") {
    for (const char* name : {"Kestrova_Interface.INI", "KESTROVA_001.CG0", "KESTROVA_001.TG1"}) {
        std::filesystem::copy_file(std::filesystem::path(KESTROVA_DATA_DIR) / name, *this / name);
    }
    // The units are simulated by threads of the test process, which a loaded machine or a
    // sanitizer build can hold up for longer than a unit takes to answer; the ports the runs
    // number their devices with allow for that, as a slow bridge would be given.
    IniDocument settings(*this / "Kestrova_Interface.INI");
    for (int port = 1; port <= 8; ++port) {
        settings.WriteInteger("Ports", "COM" + std::to_string(port) + ".ReplyAllowanceMs", 250);
    }
    settings.Save();
}

SimulatedUnits::SimulatedUnits(std::vector<SimOptions> options,
                               const std::function<void(std::size_t, ControllerModel&)>& prepare) {
    for (SimOptions& option : options) {
        sims_.push_back(std::make_unique<PtySimulator>(std::move(option)));
        std::string error;
        if (!sims_.back()->Start(error)) throw std::runtime_error("simulator: " + error);
        if (prepare) prepare(sims_.size() - 1, sims_.back()->Model());
    }
    for (auto& sim : sims_) {
        threads_.emplace_back([this, s = sim.get()] {
            while (!stop_) s->Poll(5);
        });
    }
}

SimulatedUnits::~SimulatedUnits() { Stop(); }

void SimulatedUnits::Stop() {
    stop_ = true;
    for (std::thread& thread : threads_) {
        if (thread.joinable()) thread.join();
    }
}

}  // namespace kestrova::test
