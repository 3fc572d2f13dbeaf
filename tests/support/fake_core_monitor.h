#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/core_interfaces.h"
#include "points/point_database.h"

namespace kestrova::test {

// A core monitor whose answers the test sets.
class FakeCoreMonitor final : public CoreMonitor {
public:
    LinkCounters counters;
    std::string device = "/dev/ttyUSB0";
    std::int32_t comNumber = 3;
    bool open = true;
    LinkTiming timing{20, 250};
    std::int32_t latencyMs = -1;
    std::array<double, MaxPoints> values{};
    std::array<bool, MaxPoints> fromUnit = AllFromUnit();
    std::uint64_t adjustments = 0;
    std::uint64_t restores = 0;

    LinkCounters LinkStatistics() const override { return counters; }
    std::string_view LinkDevice() const override { return device; }
    std::int32_t LinkComNumber() const override { return comNumber; }
    bool LinkOpen() const override { return open; }
    LinkTiming LinkTimingInUse() const override { return timing; }
    std::int32_t AdapterLatencyMs() const override { return latencyMs; }
    double PointValue(int point) const override {
        return PointDatabase::PointIndexValid(point) ? values[static_cast<std::size_t>(point)]
                                                     : 0.0;
    }
    bool PointFromUnit(int point) const override {
        return PointDatabase::PointIndexValid(point) && fromUnit[static_cast<std::size_t>(point)];
    }
    std::uint64_t OperatorAdjustments() const override { return adjustments; }
    std::uint64_t RestoresStarted() const override { return restores; }

private:
    static std::array<bool, MaxPoints> AllFromUnit() {
        std::array<bool, MaxPoints> all{};
        all.fill(true);
        return all;
    }
};

}  // namespace kestrova::test
