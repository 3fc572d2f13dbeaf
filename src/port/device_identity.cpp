#include "port/device_identity.h"

#include <sys/stat.h>

namespace kestrova {

bool SameDeviceNode(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
    // Device number 0:0 names no device, so two nodes reporting it are not the same one.
    return S_ISCHR(first.st_mode) && S_ISCHR(second.st_mode) && first.st_rdev != 0 &&
           first.st_rdev == second.st_rdev;
}

}  // namespace kestrova
