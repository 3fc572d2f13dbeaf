#pragma once

#include <cstdint>
#include <string_view>

#include "port/link_timing.h"
#include "protocol/link_counters.h"

namespace kestrova {

// What the application core asks of the window: one entry for everything it wants shown.
class Display {
public:
    virtual ~Display() = default;
    virtual void DisplayUpdate(std::string_view key, std::string_view value) = 0;
};

// What the window asks of the application core. The window reports every operator action as an
// event pair and drives the core with two clock-free ticks.
class Core {
public:
    virtual ~Core() = default;
    virtual void CoreStart() = 0;
    virtual void CoreStop() = 0;
    virtual void CommsTick() = 0;   // every 1 ms
    virtual void SystemTick() = 0;  // every 10 ms
    virtual bool CheckConfigVersions() = 0;
    // Whether CommsTick has anything to do now; while not, the window may stop its 1 ms timer.
    virtual bool CommsTickWanted() const { return true; }
    virtual void ServiceEvent(std::string_view objectName, std::string_view eventText) = 0;
    // Why a configuration file could not be read completely at start-up (one line per file),
    // for the window to show once it is up; empty when every file was read. The start-up went
    // on regardless, and such a file is not written back at exit.
    virtual std::string_view StartupError() const { return {}; }
};

// What views beside the dashboard may read of the core: the link's counters and the points'
// values, sampled on the views' own timers. Read-only: an operator action in such a view still
// goes to Core::ServiceEvent. (Display commands would push every value as text and leave a line
// in the debug memo for each, many times a second.)
class CoreMonitor {
public:
    virtual ~CoreMonitor() = default;
    virtual LinkCounters LinkStatistics() const = 0;
    // The serial device of the selected port and its COM number.
    virtual std::string_view LinkDevice() const = 0;
    virtual std::int32_t LinkComNumber() const = 0;
    virtual bool LinkOpen() const = 0;
    // The timing the link runs with, and the open USB adapter's latency timer in milliseconds as
    // the system shows it (-1 when it shows none).
    virtual LinkTiming LinkTimingInUse() const = 0;
    virtual std::int32_t AdapterLatencyMs() const = 0;
    // A point's engineering value; 0 for a number outside 0..39.
    virtual double PointValue(int point) const = 0;
    // Whether the point's value came from the controller: the point had a good exchange since
    // the link opened and the value it brought is taken in. False while the link is closed,
    // from a loss of the link until the point's next good exchange, and for a number outside
    // 0..39; until then the value is the tag file's or the last one before the loss.
    virtual bool PointFromUnit(int point) const = 0;
    // Operator events that wrote a value, and restores started, since the start: a view marks
    // the moments these change.
    virtual std::uint64_t OperatorAdjustments() const = 0;
    virtual std::uint64_t RestoresStarted() const = 0;
};

}  // namespace kestrova
