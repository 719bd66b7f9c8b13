// The sampling loops of the views: a coordinate starts at the range's minimum and grows by
// repeated addition of the step while it does not exceed the maximum. With [-10, 10] and 0.025
// that gives 800 samples (the sum passes 10 by rounding one step early), with 0.1 it gives 201.
#pragma once

#include <cmath>

namespace velmor {

// No loop of the views takes more samples than this, however wide the range or fine the step.
inline constexpr long long kMaxLoopSamples = 1LL << 20;

// Calls visit(v) for v = min, min + step, min + step + step, ... while v <= max. A step that is
// not positive, a reversed range or a bound that is not a number samples nothing; the loop also
// ends when the addition no longer moves v or after kMaxLoopSamples. Returns the sample count.
template <class Visit>
long long ForEachSample(double min, double max, double step, Visit&& visit) {
    if (!(step > 0) || !std::isfinite(step) || !std::isfinite(min) || !(min <= max)) return 0;
    long long count = 0;
    double v = min;
    while (v <= max && count < kMaxLoopSamples) {
        visit(v);
        ++count;
        const double next = v + step;
        if (next == v) break;
        v = next;
    }
    return count;
}

}  // namespace velmor
