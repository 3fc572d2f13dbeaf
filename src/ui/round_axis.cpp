#include "ui/round_axis.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace kestrova {

RoundAxis RoundAxisFor(double low, double high, int maxIntervals) {
    if (!std::isfinite(high - low)) return {};
    if (high < low) std::swap(low, high);
    if (!(high > low)) {
        low -= 1.0;
        high += 1.0;
    }
    const int intervals = std::max(1, maxIntervals);
    // A step holds a little less than a multiple of itself when the division rounds up.
    constexpr double Tolerance = 1e-9;
    constexpr std::array<double, 3> Mantissas{1.0, 2.0, 5.0};
    // Rounding the ends out may need up to two more intervals than the width alone, so the
    // steps are tried from the smallest candidate upwards until the range fits.
    double decade = std::pow(10.0, std::floor(std::log10((high - low) / intervals)));
    for (;;) {
        for (double mantissa : Mantissas) {
            const double step = mantissa * decade;
            const double first = std::floor(low / step + Tolerance);
            const double last = std::ceil(high / step - Tolerance);
            if (last - first > intervals) continue;
            RoundAxis axis;
            axis.step = step;
            axis.minimum = first * step;
            axis.maximum = last * step;
            axis.tickCount = static_cast<int>(last - first) + 1;
            axis.decimals =
                std::max(0, -static_cast<int>(std::floor(std::log10(step) + Tolerance)));
            return axis;
        }
        decade *= 10.0;
    }
}

}  // namespace kestrova
