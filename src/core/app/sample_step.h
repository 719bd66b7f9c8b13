// The smallest sample step the analysis accepts. A "delta 2D" or "delta 3D" value of smaller
// magnitude (0 included) becomes this step, so no sampling loop is asked to crawl or stand still.
#pragma once

#include <cmath>

namespace velmor {

inline constexpr double kMinimumSampleStep = 0.001;

inline bool StepBelowMinimum(double step) {
    return std::fabs(step) < kMinimumSampleStep;
}

inline double LimitSampleStep(double step) {
    return StepBelowMinimum(step) ? kMinimumSampleStep : step;
}

}  // namespace velmor
