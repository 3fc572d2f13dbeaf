#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "config/window_placement.h"
#include "core/app_service.h"
#include "headless_display.h"
#include "port/port_catalogue.h"
#include "port/routing_serial_line.h"
#include "port_argument.h"

namespace kestrova::cli {

// One wheel unit served by the command line: an application core of its own with a headless
// display, its own serial line and port catalogue, and the three configuration files of the
// config folder. The session reads those files and never writes them back: the window owns them,
// and several command-line runs may share them. It never calls CoreStop (which would write them);
// Close closes the link and leaves the files as they are.
class UnitSession {
public:
    // verbose: the core's debug memo lines go to stderr, each after the unit's name.
    UnitSession(const std::filesystem::path& configFolder, std::unique_ptr<PortCatalogue> catalogue,
                bool verbose);
    ~UnitSession();
    UnitSession(const UnitSession&) = delete;
    UnitSession& operator=(const UnitSession&) = delete;

    // Starts the core. Throws CommandError (file refused) when a configuration file cannot be
    // read or carries the wrong version.
    void Start();
    // Picks the unit's port as the operator would in the window. Throws CommandError (usage) for
    // a port argument that names no port, (link failure) with the core's reason when it does not
    // open. command names the command in errors.
    void Open(std::string_view command, std::string_view portArgument);
    // The same for a port chosen beforehand (see ChoosePorts): a device path is given the chosen
    // COM number in this session's map.
    void Open(std::string_view command, const PortChoice& port);
    // Closes the link when it is open.
    void Close();

    // "COM3" or the device's name; the port argument before Open.
    const std::string& Name() const { return name_; }
    // The port opened (or tried) by Open.
    const PortChoice& Port() const { return port_; }
    AppService& Core() { return core_; }
    const AppService& Core() const { return core_; }
    HeadlessDisplay& Display() { return display_; }
    PortCatalogue& Catalogue() { return *catalogue_; }

    bool CommsGood() const { return core_.State().Comms == CommsState::Good; }
    // Every point the tag file has polled (read access and a scan class) has had a good reply
    // since the port opened, and its value is scaled: the point table holds what the unit holds.
    bool AllPolledPointsRead() const;
    // Why the unit is not ready after waiting: no replies, or the points not yet read.
    std::string NotReadyReason() const;
    // When the port opened, on the tick loop's clock.
    std::int64_t OpenedAtNs() const { return openedAtNs_; }

    // Whether the tag file gives the point read access, so the scan timers poll it.
    static bool Polled(const PointRecord& point);

private:
    HeadlessDisplay display_;
    PlainWindowPlacement window_;
    RoutingSerialLine line_;
    std::unique_ptr<PortCatalogue> catalogue_;
    AppService core_;
    std::string name_;
    PortChoice port_;
    std::string openProblem_;
    std::array<std::int32_t, MaxPoints> countsAtOpen_{};
    std::int64_t openedAtNs_ = 0;
};

}  // namespace kestrova::cli
