#include "port/port_holder.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kestrova {

namespace {

using Clock = std::chrono::steady_clock;

bool IsNumber(const char* text) {
    if (*text == '\0') return false;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9') return false;
    }
    return true;
}

class Budget {
public:
    Budget(const HolderSearchBudget& budget, HolderSearch& search)
        : budget_(budget), search_(search), start_(Clock::now()) {}

    // Counts one more entry; false once the budget is spent.
    bool Spend() {
        if (search_.exhausted) return false;
        ++search_.entries;
        search_.exhausted =
            search_.entries > budget_.entries || Clock::now() - start_ >= budget_.time;
        return !search_.exhausted;
    }

private:
    const HolderSearchBudget& budget_;
    HolderSearch& search_;
    Clock::time_point start_;
};

class Folder {
public:
    explicit Folder(const std::string& path) : dir_(::opendir(path.c_str())) {}
    ~Folder() {
        if (dir_ != nullptr) ::closedir(dir_);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // The next entry named by a number (a process or a descriptor), or nullptr at the end.
    const char* NextNumber() {
        while (dir_ != nullptr) {
            const dirent* entry = ::readdir(dir_);
            if (entry == nullptr) return nullptr;
            if (IsNumber(entry->d_name)) return entry->d_name;
        }
        return nullptr;
    }

private:
    DIR* dir_;
};

PortHolder Named(const std::filesystem::path& procRoot, pid_t pid) {
    std::string name;
    std::ifstream comm(procRoot / std::to_string(pid) / "comm");
    std::getline(comm, name);
    return {name.empty() ? "unknown program" : name, pid, pid == ::getpid()};
}

// The lock on the device's node, as /proc/locks lists it: "1: FLOCK ADVISORY WRITE <pid>
// <major>:<minor>:<inode> 0 EOF"; waiters ("1: -> FLOCK ...") hold nothing.
std::optional<pid_t> LockHolder(const std::string& device, const std::filesystem::path& procRoot,
                                Budget& budget) {
    struct stat node {};
    if (::stat(device.c_str(), &node) != 0) return std::nullopt;
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%llu", ::major(node.st_dev),
                  ::minor(node.st_dev), static_cast<unsigned long long>(node.st_ino));

    std::ifstream locks(procRoot / "locks");
    std::string line;
    while (std::getline(locks, line) && budget.Spend()) {
        std::istringstream fields(line);
        std::string number;
        std::string kind;
        std::string mode;
        std::string access;
        long pid = 0;
        std::string file;
        if (!(fields >> number >> kind) || kind == "->") continue;
        if (fields >> mode >> access >> pid >> file && file == wanted && pid > 0) {
            return static_cast<pid_t>(pid);
        }
    }
    return std::nullopt;
}

}  // namespace

HolderSearch FindPortHolder(const std::string& device, const std::filesystem::path& procRoot,
                            const HolderSearchBudget& budget) {
    HolderSearch search;
    Budget spend(budget, search);
    // Descriptor links name the node itself, so a stable link (/dev/serial/by-id/...) is
    // compared by the node it leads to.
    char resolved[PATH_MAX];
    const std::string node = ::realpath(device.c_str(), resolved) != nullptr ? resolved : device;

    if (const std::optional<pid_t> pid = LockHolder(node, procRoot, spend)) {
        search.holder = Named(procRoot, *pid);
        return search;
    }

    const pid_t self = ::getpid();
    bool selfHolds = false;
    Folder processes(procRoot.string());
    while (const char* process = processes.NextNumber()) {
        if (!spend.Spend()) break;
        const pid_t pid = static_cast<pid_t>(std::strtol(process, nullptr, 10));
        const std::string fdFolder = (procRoot / process / "fd").string();
        Folder fds(fdFolder);
        while (const char* fd = fds.NextNumber()) {
            if (!spend.Spend()) break;
            char target[PATH_MAX];
            const std::string link = fdFolder + "/" + fd;
            const ssize_t length = ::readlink(link.c_str(), target, sizeof target);
            if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) continue;
            if (std::string_view(target, static_cast<std::size_t>(length)) != node) continue;
            if (pid != self) {
                search.holder = Named(procRoot, pid);
                return search;
            }
            selfHolds = true;
            break;
        }
        if (search.exhausted) break;
    }
    if (selfHolds) search.holder = Named(procRoot, self);
    return search;
}

}  // namespace kestrova
