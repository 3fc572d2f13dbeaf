#pragma once

namespace kestrova {

// An axis range on round numbers: both ends and every tick lie on whole multiples of a step of
// 1, 2 or 5 times a power of ten.
struct RoundAxis {
    double minimum = 0.0;
    double maximum = 1.0;
    double step = 1.0;
    int tickCount = 2;  // ticks from the minimum to the maximum, both included
    int decimals = 0;   // places after the decimal point that a tick's label needs
};

// The narrowest such range that holds low..high with at most maxIntervals steps between its
// ticks (at least 1). A range without width is widened by 1 either way; one that is not finite
// gives the default 0..1.
RoundAxis RoundAxisFor(double low, double high, int maxIntervals);

}  // namespace kestrova
