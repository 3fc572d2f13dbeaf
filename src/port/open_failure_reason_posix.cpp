#include "port/open_failure_reason.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "common/number_text.h"
#include "port/network_target.h"
#include "port/port_drv.h"
#include "port/port_holder.h"

namespace kestrova {

namespace {

OpenFailureReason PermissionDenied(const std::string& path) {
    struct stat device {};
    if (::stat(path.c_str(), &device) != 0) {
        return {OpenProblem::PermissionDenied, path + ": permission denied"};
    }
    // Joining the group helps only where the group may read and write.
    constexpr mode_t GroupReadWrite = S_IRGRP | S_IWGRP;
    if ((device.st_mode & GroupReadWrite) != GroupReadWrite) {
        const passwd* user = ::getpwuid(device.st_uid);
        const std::string name =
            user != nullptr ? user->pw_name : IntToText(static_cast<std::int64_t>(device.st_uid));
        return {OpenProblem::PermissionDenied,
                path + ": permission denied; only its owner (" + name + ") may open it"};
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
    const std::optional<PortHolder> holder = FindPortHolder(path, "/proc", {}).holder;
    if (holder && holder->self)
        return {OpenProblem::InUse, path + ": already open in this program"};
    std::string text = path + ": in use by another program";
    if (holder) text += ": " + holder->name + " (process " + IntToText(holder->pid) + ")";
    return {OpenProblem::InUse, text};
}

OpenFailureReason NoDevice(const std::string& path) {
    if (IsNetworkTarget(path)) {
        return {OpenProblem::NoDevice,
                path + ": not a network address (rfc2217://HOST:PORT or tcp://HOST:PORT)"};
    }
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
