// Fuzz target for the script engine: compiles arbitrary bytes, lists the code and runs it a
// few times, verbose and quiet, with ordinary and extreme inputs. A long-lived engine (state
// left over from earlier inputs) must give the same results as a fresh one. The block executor
// must give what the point executor gives, bit for bit, on that program and on the program the
// script generator makes of the same bytes (which always compiles).
//
// Built and run as fuzz/CMakeLists.txt shows:
//   build-fuzz/bin/fuzz_script -max_total_time=300 -max_len=4096 CORPUS_DIR fuzz/seeds/script
// Keep every input it reports under tests/data/script_crashes/ (replayed by test_core_interp).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "core/interp/script_engine.h"
#include "script_generator.h"

namespace {

struct Result {
    bool valid;
    bool assigned;
    double z;
    int runErrors;
};

bool Same(const Result& a, const Result& b) {
    bool sameZ = (std::isnan(a.z) && std::isnan(b.z)) || a.z == b.z;
    return a.valid == b.valid && a.assigned == b.assigned && sameZ && a.runErrors == b.runErrors;
}

void Check(bool condition) {
    if (!condition) std::abort();
}

constexpr double kInputs[][2] = {
    {0.0, 0.0},
    {1.0, -2.0},
    {-0.0, 1e-310},
    {1e308, -1e308},
    {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()},
};
constexpr int kInputCount = sizeof(kInputs) / sizeof(kInputs[0]);

void Exercise(velmor::CScriptEngine& engine, const char* source, Result (&results)[kInputCount]) {
    engine.Compile(source);
    Check(std::strlen(engine.CompileMessageText()) < 2048);
    Check(engine.InstructionCount() >= 0 && engine.InstructionCount() <= 1000);
    if (engine.CompileErrorCount() > 0) Check(engine.InstructionCount() == 0);
    if (engine.InstructionCount() > 0) {
        engine.MakeListing();
        Check(std::strlen(engine.ListingText()) > 0);
    }
    engine.ClearRunErrorCounters();
    for (int i = 0; i < kInputCount; ++i) {
        engine.SetInputs(kInputs[i][0], kInputs[i][1]);
        engine.Run(i == 0);
        Result& r = results[i];
        r.runErrors = engine.RunErrorCount();
        r.z = 0.0;
        r.assigned = engine.ZAssigned(&r.z);
        double z = 0.0;
        r.valid = engine.ResultOfPoint(&z);
        if (r.valid) Check((std::isnan(z) && std::isnan(r.z)) || z == r.z);
        Check(std::strlen(engine.RunMessageText()) < 2048);
        Check(std::strlen(engine.CompileMessageText()) < 2048);
    }
    engine.AppendErrorSummary();
    Check(std::strlen(engine.RunMessageText()) < 2048);
}

bool SameNumber(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

struct Texts {
    std::string run[kInputCount], compile[kInputCount];
};

void KeepTexts(void* context, std::size_t index, const char* run, const char* compile) {
    auto& texts = *static_cast<Texts*>(context);
    texts.run[index] = run;
    texts.compile[index] = compile;
}

// The inputs point by point and in blocks of 3 lanes (so the lanes split and join within a
// block, and a block ends inside the inputs), verbose and quiet: everything equal.
void CompareExecutors(const char* source) {
    velmor::CScriptEngine point, block;
    point.Compile(source);
    block.Compile(source);
    block.SetBlockLanes(3);
    double xs[kInputCount], ys[kInputCount];
    for (int i = 0; i < kInputCount; ++i) xs[i] = kInputs[i][0], ys[i] = kInputs[i][1];
    for (const bool verbose : {false, true}) {
        Texts texts;
        const velmor::PointTexts sink{KeepTexts, &texts};
        velmor::PointRun runs[kInputCount];
        block.RunPoints(kInputCount, xs, ys, runs, verbose ? &sink : nullptr);
        for (int i = 0; i < kInputCount; ++i) {
            point.SetInputs(xs[i], ys[i]);
            point.Run(verbose);
            double z = 0.0;
            const bool assigned = point.ZAssigned(&z);
            Check(runs[i].assigned == assigned);
            Check(SameNumber(runs[i].z, assigned ? z : 0.0));
            Check(runs[i].runErrors == point.RunErrorCount());
            Check(runs[i].compiled == (point.CompileErrorCount() == 0));
            if (verbose) {
                Check(texts.run[i] == point.RunMessageText());
                Check(texts.compile[i] == point.CompileMessageText());
            }
        }
    }
    for (int kind = 0; kind < velmor::kRunErrorKindCount; ++kind) {
        Check(point.RunErrorCounter(kind) == block.RunErrorCounter(kind));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static velmor::CScriptEngine* longLived = new velmor::CScriptEngine;
    std::string source(reinterpret_cast<const char*>(data), size);  // adds the terminator

    Result first[kInputCount];
    Exercise(*longLived, source.c_str(), first);

    velmor::CScriptEngine fresh;
    Result second[kInputCount];
    Exercise(fresh, source.c_str(), second);
    for (int i = 0; i < kInputCount; ++i) Check(Same(first[i], second[i]));

    CompareExecutors(source.c_str());
    velmor::fuzz::ByteChoices choices(data, size);
    const std::string generated = velmor::fuzz::GenerateScript(choices);
    CompareExecutors(generated.c_str());
    return 0;
}
