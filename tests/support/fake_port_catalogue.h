#pragma once

#include <utility>
#include <vector>

#include "port/port_catalogue.h"

namespace kestrova::test {

// The serial devices a test says are present; `changed` is reported (and cleared) by the next
// Changed, as a device coming or going would be.
class FakePortCatalogue final : public PortCatalogue {
public:
    std::vector<PortInfo> present;
    bool changed = false;
    int scans = 0;

    std::vector<PortInfo> Scan() override {
        ++scans;
        return present;
    }
    bool Changed() override { return std::exchange(changed, false); }
};

}  // namespace kestrova::test
