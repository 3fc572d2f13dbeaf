#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/core_interfaces.h"

namespace kestrova {

// A point whose value the core pushes to the dashboard, with a name for people.
struct TrendPoint {
    int point;
    std::string_view name;
};

inline constexpr std::size_t TrendPointCount = 20;
// The points the dashboard shows: per axis the neutral, output, adjust values and maximum and the
// mode, then the controller mode and the version shown.
inline constexpr std::array<TrendPoint, TrendPointCount> TrendPoints{{
    {11, "Pan neutral"},          {16, "Pan output"},
    {10, "Pan positive adjust"},  {13, "Pan negative adjust"},
    {12, "Pan adjust maximum"},   {17, "Pan mode"},
    {21, "Tilt neutral"},         {26, "Tilt output"},
    {20, "Tilt positive adjust"}, {23, "Tilt negative adjust"},
    {22, "Tilt adjust maximum"},  {27, "Tilt mode"},
    {31, "Roll neutral"},         {36, "Roll output"},
    {30, "Roll positive adjust"}, {33, "Roll negative adjust"},
    {32, "Roll adjust maximum"},  {37, "Roll mode"},
    {6, "Controller mode"},       {9, "Version"},
}};

// Where in a sample the plotted values are: the three outputs, then the three neutral values.
inline constexpr std::array<std::size_t, 6> TrendPlotted{1, 7, 13, 0, 6, 12};

struct TrendSample {
    // The monotonic clock paces the sampling and places the sample on the time axis; the wall
    // clock only stamps it, so setting the system's clock neither stops nor bunches samples.
    std::int64_t steadyMs = 0;
    std::int64_t timeMs = 0;  // wall clock, milliseconds since 1970 (UTC)
    // A value that did not come from the controller is neither drawn nor recorded (and held
    // as 0 here).
    std::array<double, TrendPointCount> values{};
    std::array<bool, TrendPointCount> fromUnit{};
    bool adjusted = false;  // the operator wrote a value since the previous sample
    bool restored = false;  // a restore started since the previous sample

    bool AnyFromUnit() const;
};

// The values of the trend points every SamplePeriodMs over the last ten minutes, in storage
// taken once at construction.
class TrendSampler {
public:
    static constexpr std::int64_t SamplePeriodMs = 100;
    // The window's timer may fire a little early, and the clock's milliseconds are cut off.
    static constexpr std::int64_t SampleSlackMs = SamplePeriodMs / 10;
    static constexpr std::int64_t KeptMs = 10 * 60 * 1000;

    TrendSampler() : samples_(static_cast<std::size_t>(KeptMs / SamplePeriodMs)) {}

    // Takes a sample when a period (less the slack) has passed on the monotonic clock since the
    // last one, or none was taken yet; true when it did. wallMs stamps the sample.
    bool Sample(const CoreMonitor& monitor, std::int64_t steadyMs, std::int64_t wallMs);
    std::size_t Size() const { return size_; }
    // index 0 is the oldest kept.
    const TrendSample& At(std::size_t index) const;
    const TrendSample& Latest() const { return At(size_ - 1); }

private:
    std::vector<TrendSample> samples_;
    std::size_t next_ = 0;
    std::size_t size_ = 0;
    std::uint64_t adjustmentsSeen_ = 0;
    std::uint64_t restoresSeen_ = 0;
};

}  // namespace kestrova
