#include "port/routing_serial_line.h"

#include "port/network_target.h"

namespace kestrova {

OpenFailure RoutingSerialLine::Open(const std::string& path) {
    // The line of the previous open is released whichever kind comes next.
    (void)active_->Close();
    active_ = IsNetworkTarget(path) ? static_cast<SerialLine*>(&network_) : &device_;
    return active_->Open(path);
}

}  // namespace kestrova
