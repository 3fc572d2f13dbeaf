#pragma once

#include <string>

#include "core/core_fixture.h"
#include "port/udev_port_catalogue.h"
#include "testbed.h"

namespace kestrova::test {

// A core in a fresh folder that finds its adapters through libudev in an emulated /sys and /dev.
// The simulated controller answers behind an emulated device node: the node leads to the
// simulator's terminal, so the program opens /dev/ttyUSB0 (or its by-id link) and talks to it.
class EmulatedAdapterFixture : public CoreFixture {
protected:
    PortCatalogue& Catalogue() override { return udev_; }

    // The line closes while the testbed still answers its ioctls: without it a close waits for
    // an answer that never comes.
    void TearDown() override {
        CoreFixture::TearDown();
        device_.Close();
    }

    // The adapter of the description plugged in, with the simulator answering behind its node.
    void PlugServed(const std::string& description, const std::string& node) {
        testbed_.Plug(description);
        testbed_.PassIoctlsThrough(description);
        SimOptions options;
        options.linkPath = testbed_.Emulated(node).string();
        ServeSimulator(options);
    }
    // Pulled out: the simulator's terminal hangs up and the devices go, with their uevents.
    void PullServed(const std::string& description) {
        UnplugSimulator();
        testbed_.Pull(description);
    }

    Testbed testbed_;  // before the catalogue, which opens its uevent monitor in it
    UdevPortCatalogue udev_;
};

}  // namespace kestrova::test
