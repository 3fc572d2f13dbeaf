#include "ui/trend_samples.h"

namespace kestrova {

bool TrendSampler::Sample(const CoreMonitor& monitor, std::int64_t nowMs) {
    const bool first = size_ == 0;
    if (!first && nowMs - Latest().timeMs < SamplePeriodMs) return false;
    TrendSample& s = samples_[next_];
    next_ = next_ + 1 == samples_.size() ? 0 : next_ + 1;
    if (size_ < samples_.size()) ++size_;
    s.timeMs = nowMs;
    for (std::size_t i = 0; i < TrendPointCount; ++i) {
        s.values[i] = monitor.PointValue(TrendPoints[i].point);
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
