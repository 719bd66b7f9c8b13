// A run allocates nothing: it is called once per sample point, a million times for a map; nor
// does a quiet batch of runs in blocks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "core/interp/script_engine.h"

namespace {
long g_allocations = 0;
}  // namespace

// Counts every allocation of this test program.
void* operator new(std::size_t size) {
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

TEST(RunAllocationTest, RunsAndResultsAllocateNothing) {
    velmor::CScriptEngine engine;
    engine.Compile(
        "a = sqrt(x * x + y * y); if (a < 1) z = a; else { z = 1 / 0 + b; w = ln(-1); }");
    engine.MakeListing();  // leaves a listing that every run empties
    const long before = g_allocations;
    for (int i = 0; i < 1000; ++i) {
        engine.SetInputs(i * 0.002, 0.5);
        engine.Run(i % 2 == 0);
        double z = 0.0;
        engine.ResultOfPoint(&z);
        engine.ZAssigned(&z);
    }
    engine.AppendErrorSummary();
    EXPECT_EQ(g_allocations, before);
    EXPECT_GT(engine.RunErrorCounter(velmor::kRunErrorDivideByZero), 0);
}

TEST(RunAllocationTest, QuietBlockRunsAllocateNothing) {
    velmor::CScriptEngine engine;
    engine.Compile("a = sqrt(x * x + y * y); if (a < 1) z = a; else { z = 1 / 0 + b; }");
    static double xs[1000], ys[1000];
    static velmor::PointRun runs[1000];
    for (int i = 0; i < 1000; ++i) xs[i] = i * 0.002, ys[i] = 0.5;
    const long before = g_allocations;
    engine.RunPoints(1000, xs, ys, runs);
    engine.RunPoints(1000, ys, xs, runs);
    EXPECT_EQ(g_allocations, before);
    EXPECT_TRUE(runs[0].assigned && runs[0].runErrors == 0);
    EXPECT_EQ(runs[999].runErrors, 2);
}
