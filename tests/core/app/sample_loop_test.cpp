// The sampling loop of the views and the surface map: x advances by repeated addition.
#include "core/app/sample_loop.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmor {
namespace {

TEST(SampleLoop, RepeatedAdditionAndEmptyLoops) {
    std::vector<double> xs;
    EXPECT_EQ(ForEachSample(-10, 10, 0.025, [&](double x) { xs.push_back(x); }), 800);
    double sum = -10;
    for (std::size_t i = 1; i < xs.size(); ++i) ASSERT_EQ(xs[i], sum += 0.025);
    EXPECT_EQ(ForEachSample(-10, 10, 0.1, [](double) {}), 201);
    EXPECT_EQ(ForEachSample(-10, 10, 0.0, [](double) {}), 0);
    EXPECT_EQ(ForEachSample(-10, 10, -0.025, [](double) {}), 0);
    EXPECT_EQ(ForEachSample(10, -10, 0.025, [](double) {}), 0);
    // A step too small to move the coordinate ends the loop instead of running forever.
    EXPECT_EQ(ForEachSample(1e20, 2e20, 1.0, [](double) {}), 1);
    EXPECT_EQ(ForEachSample(-1e9, 1e9, 0.001, [](double) {}), kMaxLoopSamples);
}

}  // namespace
}  // namespace velmor
