#pragma once

#include <string>

namespace kestrova {

// True when both paths lead to the same character device: their nodes name the same device
// number, whatever links lie between. Compared by stat alone, so links are followed by the system
// and no path is resolved by hand. False when either is missing or not a device.
bool SameDeviceNode(const std::string& a, const std::string& b);

}  // namespace kestrova
