#include "port/open_failure_reason.h"

#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>

#include "common/number_text.h"
#include "port/port_drv.h"

namespace kestrova {

namespace {

struct Holder {
    std::string name;
    long pid = 0;
};

bool IsNumber(const char* text) {
    if (*text == '\0') return false;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9') return false;
    }
    return true;
}

// The first other process with a descriptor open on the character device, as far as /proc
// lets us look (other users' descriptors are hidden from us).
std::optional<Holder> FindHolder(const std::string& path) {
    struct stat device {};
    if (::stat(path.c_str(), &device) != 0 || !S_ISCHR(device.st_mode)) return std::nullopt;

    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return std::nullopt;
    const long self = static_cast<long>(::getpid());
    std::optional<Holder> holder;
    while (!holder) {
        const dirent* process = ::readdir(proc);
        if (process == nullptr) break;
        if (!IsNumber(process->d_name)) continue;
        const long pid = std::strtol(process->d_name, nullptr, 10);
        if (pid == self) continue;

        const std::string fdFolder = std::string("/proc/") + process->d_name + "/fd";
        DIR* fds = ::opendir(fdFolder.c_str());
        if (fds == nullptr) continue;
        while (const dirent* fd = ::readdir(fds)) {
            if (!IsNumber(fd->d_name)) continue;
            struct stat target {};
            const std::string link = fdFolder + "/" + fd->d_name;
            if (::stat(link.c_str(), &target) == 0 && S_ISCHR(target.st_mode) &&
                target.st_rdev == device.st_rdev) {
                std::string name;
                std::ifstream comm(std::string("/proc/") + process->d_name + "/comm");
                std::getline(comm, name);
                holder = Holder{name.empty() ? "unknown program" : name, pid};
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return holder;
}

OpenFailureReason PermissionDenied(const std::string& path) {
    struct stat device {};
    if (::stat(path.c_str(), &device) != 0) {
        return {OpenProblem::PermissionDenied, path + ": permission denied"};
    }
    // usermod takes a group number where the group has no name.
    const group* owner = ::getgrgid(device.st_gid);
    const std::string group =
        owner != nullptr ? owner->gr_name : IntToText(static_cast<std::int64_t>(device.st_gid));
    return {OpenProblem::PermissionDenied,
            path + ": permission denied; the device belongs to group " + group +
                " - add your user to group " + group + ": sudo usermod -aG " + group +
                " $USER, then log in again"};
}

OpenFailureReason InUse(const std::string& path) {
    std::string text = path + ": in use by another program";
    if (const std::optional<Holder> holder = FindHolder(path)) {
        text += ": " + holder->name + " (process " + IntToText(holder->pid) + ")";
    }
    return {OpenProblem::InUse, text};
}

OpenFailureReason NoDevice(const std::string& path) {
    struct stat entry {};
    const bool exists = ::stat(path.c_str(), &entry) == 0;
    return {OpenProblem::NoDevice, path + (exists ? ": not a serial device" : ": no such device")};
}

}  // namespace

OpenFailureReason ExplainOpenFailure(OpenFailure failure, const std::string& path) {
    switch (failure) {
        case OpenFailure::DeviceInvalid: return NoDevice(path);
        case OpenFailure::AlreadyOpen: return InUse(path);
        case OpenFailure::HardwareUnavailable:
            return {OpenProblem::NotResponding, path + ": I/O error, the device does not respond"};
        case OpenFailure::BaudRateNotSupported:
        case OpenFailure::BadParameters:
        case OpenFailure::ByteSizeInvalid:
            return {OpenProblem::SettingsRefused, path +
                                                      ": the device refuses the line settings (" +
                                                      PortOpenFailureText(failure) + ")"};
        default: break;
    }
    // Positive codes are the errno of the failed call.
    const int err = static_cast<int>(failure);
    if (err == EACCES || err == EPERM) return PermissionDenied(path);
    if (err > 0) return {OpenProblem::Other, path + ": " + std::strerror(err)};
    return {OpenProblem::Other, path + ": " + PortOpenFailureText(failure)};
}

}  // namespace kestrova
