// The surface script engine: one object holds the identifier table, the code area, the
// variables, the value stack, the counters and the message texts. The program owns exactly
// one; tests make as many as they like. Not re-entrant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmor {

// Run-error kinds, in the order of the per-kind counters and the error summary.
enum RunErrorKind : int {
    kRunErrorAbort = 0,          // "ABORT (key ESC)"
    kRunErrorStackOverflow = 1,  // "stack overflow !!!"
    kRunErrorUninitialized = 2,  // "uninitialized variable"
    kRunErrorDivideByZero = 3,   // "Divided 0"
    kRunErrorSqrt = 4,           // "sqrt(negative)"
    kRunErrorLn = 5,             // "ln(0 or negative)"
    kRunErrorLog = 6,            // "log(0 or negative)"
    kRunErrorLog10 = 7,          // "log10(0 or negative)"
    kRunErrorKindCount = 16,
};

// The Escape abort. The executor tests `pressed` before every instruction (a push and the
// operation that takes the pushed value are tested as one); that is all it costs. Whoever
// drives the engine keeps the flag current: the program from the keyboard state (rate-limited
// inside `poll`), tests by setting it. `poll`, when set, is called once at the start of every
// run so a long batch of runs notices a key press. `forget`, when set, is called as a sampling
// pass begins: a press from before the pass no longer counts.
struct EscapeHook {
    volatile bool pressed = false;
    void (*poll)(EscapeHook* hook) = nullptr;
    void (*forget)(EscapeHook* hook) = nullptr;
    void* context = nullptr;
};

// What one run of a batch (CScriptEngine::RunPoints) left for its point: what Run followed by
// ZAssigned, RunErrorCount and CompileErrorCount would tell.
struct PointRun {
    double z = 0.0;         // the value of z when it was assigned, else 0
    int runErrors = 0;      // the run's error count
    bool assigned = false;  // z was assigned in the run
    bool compiled = false;  // the compile error count was 0 after the run
};

// Receives the texts of a verbose batch, point by point in point order: the run message text
// and the compile message text each point's own verbose Run would have left.
struct PointTexts {
    void (*point)(void* context, std::size_t index, const char* runMessages,
                  const char* compileMessages) = nullptr;
    void* context = nullptr;
};

class CScriptEngine {
public:
    CScriptEngine();
    ~CScriptEngine();
    CScriptEngine(const CScriptEngine&) = delete;
    CScriptEngine& operator=(const CScriptEngine&) = delete;

    // Compiles zero-terminated 8-bit source text (a zero or 0xFF byte ends it). Fills the
    // compile message text; on any compile error the code area is left empty.
    void Compile(const char* source);

    int InstructionCount() const;
    void DiscardInstructions();  // a newly opened source file drops the compiled code
    int CompileErrorCount() const;

    // The intermediate-code listing of the compiled code, into the listing text.
    void MakeListing();

    // One point: set inputs, run, read the result.
    void SetInputs(double x, double y);
    void Run(bool verbose);
    int RunErrorCount() const;
    // True when the compile error count is 0, `z` is assigned and the last run had no error;
    // then *z is the value of `z`.
    bool ResultOfPoint(double* z);
    // Interns "z" and reports whether it was assigned (whatever the run errors).
    bool ZAssigned(double* z);

    // Many points: the n points (x[i], y[i]) run in blocks of BlockLanes() by the block
    // executor, each exactly as SetInputs and Run would run it, one after the other: values bit
    // for bit, faults, per-kind counters, the Escape abort (its hook polled once per point).
    // out[i] tells what run i left; afterwards the engine holds what the last run left. With
    // `texts` (its `point` set) the runs are verbose and each point's texts go to it.
    void RunPoints(std::size_t n, const double* x, const double* y, PointRun* out,
                   const PointTexts* texts = nullptr);
    // Lanes per block (1 .. kMaxBlockLanes; tests and benchmarks try other sizes).
    void SetBlockLanes(int lanes);
    int BlockLanes() const;

    // Per-kind run-error counters, summed over runs until cleared.
    void ClearRunErrorCounters();
    int RunErrorCounter(int kind) const;
    // Appends the summary rows to the run message text when any counter is above 0.
    void AppendErrorSummary();

    // Message texts (each at most 2047 bytes plus terminator), 8-bit text with CR LF.
    const char* CompileMessageText() const;
    const char* RunMessageText() const;
    const char* ListingText() const;

    EscapeHook& Escape();
    // A sampling pass begins (a repaint, the surface map, the mesh, the script ray trace): an
    // Escape press from before it, latched or still held, no longer aborts its runs.
    void BeginEscapePass();

private:
    struct State;
    State* m_state;
};

}  // namespace velmor
