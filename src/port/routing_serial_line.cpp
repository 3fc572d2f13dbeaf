#include "port/routing_serial_line.h"

#include "port/network_target.h"
#include "port/system_port.h"

namespace kestrova {

RoutingSerialLine::RoutingSerialLine()
    : device_(MakeDeviceLine()), network_(MakeNetworkLine()), active_(device_.get()) {}

RoutingSerialLine::~RoutingSerialLine() = default;

OpenFailure RoutingSerialLine::Open(const std::string& path) {
    // The line of the previous open is released whichever kind comes next.
    (void)active_->Close();
    active_ = IsNetworkTarget(path) ? network_.get() : device_.get();
    return active_->Open(path);
}

}  // namespace kestrova
