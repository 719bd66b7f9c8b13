// Block executor of the surface script: runs the steps PrepareRun made of a program over a
// block of points at once. Every step is one loop over the block's lanes, on stack entries and
// variables laid out by slot with one number per lane, so the dispatch is paid once per block
// and the arithmetic runs in tight loops. A value every lane shares (a constant, a variable
// assigned one) stays one number until a lane needs its own.
//
// Each lane gets exactly what a run of the point executor at its point gets: the same
// operations in the same order (values bit for bit), the same faults in the same order with the
// same per-kind counters and verbose texts, the stack limit, the unassigned-variable rule and the
// Escape abort. Where a condition splits the lanes, each part goes on under a mark of its lanes
// and they join again where their paths meet, so every lane runs exactly its own steps. (Cutting
// the block into runs of agreeing lanes instead measured as fast where a condition splits a row
// into a few long runs, and three times slower where it changes every few points.) A part whose
// lanes lie side by side runs without the mark.
#pragma once

#include <memory>

#include "core/interp/executor.h"

namespace velmor {

// Lanes of a block, chosen by measurement (bench/script_engine.cpp: the default example over
// 1024 x 1024 points at 16 to 1024 lanes, in rows of 1024 and of 800). Per point, 16 lanes cost
// four times 512; from 256 on the gain flattens (1024 is a few percent faster again, an Update
// 2D no faster than with 512) while the memory per engine doubles; 512 keeps a usual script's
// lanes (ten variables and entries of 4 KB) within the first-level cache.
inline constexpr int kBlockLanes = 512;
inline constexpr int kMaxBlockLanes = 4096;

class BlockMachine {
public:
    explicit BlockMachine(int lanes = kBlockLanes);
    ~BlockMachine();
    BlockMachine(const BlockMachine&) = delete;
    BlockMachine& operator=(const BlockMachine&) = delete;

    int Lanes() const;
    // Lanes of a block, 1 .. kMaxBlockLanes; the program is to be prepared again.
    void SetLanes(int lanes);

    // Reads the steps PrepareRun left in `m`, after every PrepareRun: the stack depth before
    // each step, which for every compiled program is the same on every path. A program where
    // it is not (only hand-made code) runs lane by lane through the point executor.
    void Prepare(const Machine& m);

    // Runs the prepared program at the n points (x[i], y[i]), 1 <= n <= Lanes(): lane i as
    // Execute(setup, m) runs it with the inputs x[i], y[i], the runs one after the other in
    // lane order. The Escape hook is polled once per lane before any of them runs, and its flag
    // is tested before every step. The faults go into m's per-kind counters; a verbose run's
    // messages stay with their lane (RunMessages), and so does a stack overflow's note, which
    // the point executor writes into setup.compileLog (StackOverflowNoted). Afterwards m's
    // inputs, variables, run error count and (verbose) run messages are the last lane's.
    // Allocates nothing, except the lanes' message texts at the first verbose run.
    void Run(const RunSetup& setup, Machine& m, int n, const double* x, const double* y);

    // What the last Run left in a lane (slot below the run's setup.slotsInUse).
    int RunErrors(int lane) const;
    bool Assigned(int slot, int lane) const;
    double Value(int slot, int lane) const;
    // For lanes 0 .. n-1: the run error count, and z, assigned, from the variable `slot`
    // (-1: none; z 0 where it was not assigned). `compiled` is left as it is.
    void ReadLanes(int slot, int n, PointRun* out) const;
    // Verbose runs only: the lane's run message text, and whether its run overflowed the stack.
    const char* RunMessages(int lane) const;
    bool StackOverflowNoted(int lane) const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace velmor
