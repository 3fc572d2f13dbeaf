#include "ui/trend_samples.h"

#include <algorithm>

namespace kestrova {

bool TrendSample::AnyFromUnit() const {
    return std::ranges::any_of(fromUnit, [](bool b) { return b; });
}

bool TrendSampler::Sample(const CoreMonitor& monitor, std::int64_t steadyMs, std::int64_t wallMs) {
    const bool first = size_ == 0;
    if (!first && steadyMs - Latest().steadyMs < SamplePeriodMs - SampleSlackMs) return false;
    TrendSample& s = samples_[next_];
    next_ = next_ + 1 == samples_.size() ? 0 : next_ + 1;
    if (size_ < samples_.size()) ++size_;
    s.steadyMs = steadyMs;
    s.timeMs = wallMs;
    for (std::size_t i = 0; i < TrendPointCount; ++i) {
        const int point = TrendPoints[i].point;
        s.fromUnit[i] = monitor.PointFromUnit(point);
        s.values[i] = s.fromUnit[i] ? monitor.PointValue(point) : 0.0;
    }
    const std::uint64_t adjustments = monitor.OperatorAdjustments();
    const std::uint64_t restores = monitor.RestoresStarted();
    // The first sample marks nothing that happened before the sampling began.
    s.adjusted = !first && adjustments != adjustmentsSeen_;
    s.restored = !first && restores != restoresSeen_;
    adjustmentsSeen_ = adjustments;
    restoresSeen_ = restores;
    return true;
}

const TrendSample& TrendSampler::At(std::size_t index) const {
    const std::size_t oldest = size_ < samples_.size() ? 0 : next_;
    return samples_[(oldest + index) % samples_.size()];
}

}  // namespace kestrova
