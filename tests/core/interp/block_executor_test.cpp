// The block executor against the point executor: every script of the test suites and thousands
// of generated programs, at several block sizes, over points where branches split the lanes
// and faults fall on some lanes only. Values bit for bit (NaN payloads aside), validity,
// per-kind counters, verbose texts and the engine's state afterwards must all be equal.
#include "core/interp/block_executor.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "core/interp/default_script.h"
#include "core/interp/script_engine.h"
#include "script_generator.h"
#include "script_test_util.h"

namespace velmor::test {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
const int kBlockSizes[] = {1, 3, 64, kBlockLanes};

// What one run left, as the point executor's caller reads it.
struct Outcome {
    double z = 0.0;
    bool assigned = false;
    bool compiled = false;
    int runErrors = 0;
    std::string runText, compileText;
};

bool SameNumber(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

std::string Describe(const Outcome& o) {
    std::ostringstream text;
    text.precision(17);
    text << "z=" << o.z << (o.assigned ? " assigned" : " unassigned")
         << (o.compiled ? " compiled" : " not-compiled") << " errors=" << o.runErrors
         << " run text=[" << o.runText << "] compile text=[" << o.compileText << "]";
    return text.str();
}

// A grid crossing 0 on both axes, with special inputs among its points so that conditions
// split the lanes both into long runs and into single lanes.
std::vector<std::pair<double, double>> TestPoints() {
    std::vector<std::pair<double, double>> points;
    const std::pair<double, double> specials[] = {
        {0.0, 0.0},      {-0.0, 0.0},   {kNaN, 1.0},  {kInf, -kInf},
        {1e308, -1e308}, {1e-310, 2.0}, {-3.0, kNaN},
    };
    int special = 0;
    for (int j = 0; j <= 12; ++j) {
        for (int i = 0; i <= 12; ++i) {
            points.emplace_back(-1.5 + 0.25 * i, 1.5 - 0.25 * j);
            if ((i * 13 + j) % 23 == 0) points.push_back(specials[special++ % 7]);
        }
    }
    return points;
}

void KeepTexts(void* context, std::size_t index, const char* run, const char* compile) {
    auto& outcomes = *static_cast<std::vector<Outcome>*>(context);
    outcomes[index].runText = run;
    outcomes[index].compileText = compile;
}

// The first difference between the point and the block executor running `source` at the
// points, "" when there is none.
std::string FirstDifference(const std::string& source,
                            const std::vector<std::pair<double, double>>& points, int lanes,
                            bool verbose) {
    CScriptEngine pointEngine, blockEngine;
    pointEngine.Compile(source.c_str());
    blockEngine.Compile(source.c_str());
    blockEngine.SetBlockLanes(lanes);
    const std::size_t n = points.size();

    std::vector<Outcome> expected(n);
    for (std::size_t i = 0; i < n; ++i) {
        pointEngine.SetInputs(points[i].first, points[i].second);
        pointEngine.Run(verbose);
        Outcome& o = expected[i];
        o.assigned = pointEngine.ZAssigned(&o.z);
        if (!o.assigned) o.z = 0.0;
        o.compiled = pointEngine.CompileErrorCount() == 0;
        o.runErrors = pointEngine.RunErrorCount();
        if (verbose) {
            o.runText = pointEngine.RunMessageText();
            o.compileText = pointEngine.CompileMessageText();
        }
    }

    std::vector<double> xs(n), ys(n);
    for (std::size_t i = 0; i < n; ++i) xs[i] = points[i].first, ys[i] = points[i].second;
    std::vector<PointRun> runs(n);
    std::vector<Outcome> got(n);
    const PointTexts texts{KeepTexts, &got};
    blockEngine.RunPoints(n, xs.data(), ys.data(), runs.data(), verbose ? &texts : nullptr);
    for (std::size_t i = 0; i < n; ++i) {
        got[i].z = runs[i].z;
        got[i].assigned = runs[i].assigned;
        got[i].compiled = runs[i].compiled;
        got[i].runErrors = runs[i].runErrors;
        const Outcome& e = expected[i];
        const Outcome& g = got[i];
        if (!SameNumber(e.z, g.z) || e.assigned != g.assigned || e.compiled != g.compiled ||
            e.runErrors != g.runErrors || e.runText != g.runText ||
            e.compileText != g.compileText) {
            std::ostringstream at;
            at << "lanes " << lanes << ", point " << i << " (" << xs[i] << ", " << ys[i]
               << "):\n  point " << Describe(e) << "\n  block " << Describe(g);
            return at.str();
        }
    }
    for (int kind = 0; kind < kRunErrorKindCount; ++kind) {
        if (pointEngine.RunErrorCounter(kind) != blockEngine.RunErrorCounter(kind)) {
            return "lanes " + std::to_string(lanes) + ", counter " + std::to_string(kind) + ": " +
                   std::to_string(pointEngine.RunErrorCounter(kind)) + " against " +
                   std::to_string(blockEngine.RunErrorCounter(kind));
        }
    }
    // The engine afterwards: what the last run left.
    double zPoint = 0, zBlock = 0;
    const bool assignedPoint = pointEngine.ZAssigned(&zPoint);
    const bool validPoint = pointEngine.ResultOfPoint(&zPoint);
    pointEngine.AppendErrorSummary();
    blockEngine.AppendErrorSummary();
    if (assignedPoint != blockEngine.ZAssigned(&zBlock) ||
        validPoint != blockEngine.ResultOfPoint(&zBlock) || !SameNumber(zPoint, zBlock) ||
        pointEngine.RunErrorCount() != blockEngine.RunErrorCount() ||
        pointEngine.CompileErrorCount() != blockEngine.CompileErrorCount() ||
        std::strcmp(pointEngine.RunMessageText(), blockEngine.RunMessageText()) != 0 ||
        std::strcmp(pointEngine.CompileMessageText(), blockEngine.CompileMessageText()) != 0) {
        return "lanes " + std::to_string(lanes) + ": the engine's state after the runs";
    }
    return "";
}

// ---- every script the test suites compile

// The string literals of C++ source text, adjacent ones joined as the compiler joins them.
std::vector<std::string> StringLiterals(const std::string& text) {
    std::vector<std::string> literals;
    std::string current;
    bool open = false;  // `current` may still be continued by an adjacent literal
    std::size_t i = 0;
    const auto close = [&] {
        if (open) literals.push_back(current);
        current.clear();
        open = false;
    };
    while (i < text.size()) {
        const char c = text[i];
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            i = text.find('\n', i);
            if (i == std::string::npos) break;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            i = text.find("*/", i + 2);
            if (i == std::string::npos) break;
            i += 2;
        } else if (c == '\'') {  // a character literal
            for (++i; i < text.size() && text[i] != '\''; ++i) {
                if (text[i] == '\\') ++i;
            }
            ++i;
            close();
        } else if (c == 'R' && i + 1 < text.size() && text[i + 1] == '"') {  // raw: skipped
            const std::size_t paren = text.find('(', i);
            if (paren == std::string::npos) break;
            const std::string end = ")" + text.substr(i + 2, paren - i - 2) + "\"";
            i = text.find(end, paren);
            if (i == std::string::npos) break;
            i += end.size();
            close();
        } else if (c == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] != '\\') {
                    current += text[i];
                    continue;
                }
                const char e = text[++i];
                current += e == 'n'   ? '\n'
                           : e == 'r' ? '\r'
                           : e == 't' ? '\t'
                           : e == '0' ? '\0'
                                      : e;
            }
            ++i;
            open = true;
        } else {
            if (!std::isspace(static_cast<unsigned char>(c))) close();
            ++i;
        }
    }
    close();
    return literals;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// Every literal of the test sources that compiles into code, the kept crash inputs, the fuzz
// seeds and the default example.
std::vector<std::string> TestSuiteScripts() {
    std::vector<std::string> scripts = {kDefaultScript};
    const std::filesystem::path root(VELMOR_SOURCE_DIR);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root / "tests")) {
        const std::string ext = entry.path().extension().string();
        if (ext == ".cpp" || ext == ".h") {
            for (const std::string& literal : StringLiterals(ReadFile(entry.path()))) {
                CScriptEngine engine;
                engine.Compile(literal.c_str());
                if (engine.CompileErrorCount() == 0 && engine.InstructionCount() > 0) {
                    scripts.push_back(literal);
                }
            }
        }
    }
    for (const char* folder : {"tests/data/script_crashes", "fuzz/seeds/script"}) {
        for (const auto& entry : std::filesystem::directory_iterator(root / folder)) {
            scripts.push_back(ReadFile(entry.path()));
        }
    }
    return scripts;
}

TEST(BlockExecutorTest, MatchesThePointExecutorOnEveryScriptOfTheTests) {
    const std::vector<std::string> scripts = TestSuiteScripts();
    EXPECT_GT(scripts.size(), 60u);  // the suites hold many more; the extraction works
    const auto points = TestPoints();
    for (const std::string& script : scripts) {
        for (int lanes : kBlockSizes) {
            for (bool verbose : {false, true}) {
                const std::string difference = FirstDifference(script, points, lanes, verbose);
                ASSERT_EQ(difference, "") << script;
            }
        }
    }
}

TEST(BlockExecutorTest, MatchesThePointExecutorOnGeneratedPrograms) {
    const auto points = TestPoints();
    int compiled = 0, faulting = 0, splitting = 0;
    for (std::uint64_t seed = 1; seed <= 3000; ++seed) {
        fuzz::SeededChoices choices(seed);
        const std::string script = fuzz::GenerateScript(choices);
        CScriptEngine probe;
        probe.Compile(script.c_str());
        ASSERT_EQ(probe.CompileErrorCount(), 0) << script;
        ++compiled;
        for (int lanes : kBlockSizes) {
            const std::string difference = FirstDifference(script, points, lanes, seed % 2 == 0);
            ASSERT_EQ(difference, "") << "seed " << seed << "\n" << script;
        }
        // How much of the ground the programs cover: faults on some points only, and branches
        // taken differently.
        std::vector<double> xs, ys;
        for (const auto& p : points) xs.push_back(p.first), ys.push_back(p.second);
        std::vector<PointRun> runs(points.size());
        probe.RunPoints(points.size(), xs.data(), ys.data(), runs.data());
        int withErrors = 0;
        for (const PointRun& run : runs) withErrors += run.runErrors > 0;
        faulting += withErrors > 0 && withErrors < static_cast<int>(runs.size());
        splitting += script.find("if") != std::string::npos;
    }
    EXPECT_EQ(compiled, 3000);
    EXPECT_GT(faulting, 300);
    EXPECT_GT(splitting, 1000);
}

// Faults on some lanes only, one program per kind, and a variable assigned in one branch.
TEST(BlockExecutorTest, FaultsFallOnTheirLanesOnly) {
    const auto points = TestPoints();
    const char* scripts[] = {
        "z = 1 / x;",
        "a = x - 0.5; z = y / a + 2;",
        "z = ln(x) + log(y) + log10(x * y);",
        "z = sqrt(x) + sqrt(y);",
        "if (x > 0) a = 1; z = a + x;",
        "if (x > y) { a = x; b = 2; } else { if (y > 0.25) c = 3; z = c / (x - 0.5); } z = a + b;",
        "if (!(x == 0)) z = 1 / 0; else z = sqrt(-1);",
    };
    for (const char* script : scripts) {
        for (int lanes : kBlockSizes) {
            for (bool verbose : {false, true}) {
                EXPECT_EQ(FirstDifference(script, points, lanes, verbose), "") << script;
            }
        }
    }
}

// Lanes 0..7 repeating: every if of three levels splits every group of lanes that reaches it,
// and each of the eight paths ends differently (three of them in a fault).
TEST(BlockExecutorTest, LanesSplitAtEveryIfNestedThreeDeep) {
    const char* script =
        "if (x >= 4) {\n"
        "  if (x >= 6) { if (x >= 7) z = 7; else z = 6 / (x - x); }\n"
        "  else { if (x >= 5) z = 5; else { a = 1; z = 4 + a; } }\n"
        "} else {\n"
        "  if (x >= 2) { if (x >= 3) z = sqrt(x - 4); else z = 2 + b; }\n"
        "  else { if (x >= 1) z = ln(x - 1); else z = 10 * x; }\n"
        "}\n";
    const double expected[8] = {0, -kInf, 2, kNaN, 5, 5, 6.0 / kDivisorForZero, 7};
    const int errors[8] = {0, 1, 1, 1, 0, 0, 1, 0};
    for (int lanes : kBlockSizes) {
        CScriptEngine engine;
        engine.Compile(script);
        engine.SetBlockLanes(lanes);
        const int n = 2 * kBlockLanes + 5;
        std::vector<double> xs(n), ys(n, 0.0);
        for (int i = 0; i < n; ++i) xs[i] = i % 8;
        std::vector<PointRun> runs(n);
        engine.RunPoints(n, xs.data(), ys.data(), runs.data());
        for (int i = 0; i < n; ++i) {
            ASSERT_TRUE(runs[i].assigned) << i;
            EXPECT_TRUE(SameNumber(runs[i].z, expected[i % 8]))
                << "lanes " << lanes << " point " << i << ": " << runs[i].z;
            EXPECT_EQ(runs[i].runErrors, errors[i % 8]) << i;
        }
        const int perPath = n / 8;  // paths 0..4 get one more of the 5 left over
        EXPECT_EQ(engine.RunErrorCounter(kRunErrorDivideByZero), perPath);
        EXPECT_EQ(engine.RunErrorCounter(kRunErrorUninitialized), perPath + 1);
        EXPECT_EQ(engine.RunErrorCounter(kRunErrorSqrt), perPath + 1);
        EXPECT_EQ(engine.RunErrorCounter(kRunErrorLn), perPath + 1);
        EXPECT_EQ(
            FirstDifference(script, {{0, 0}, {7, 0}, {1, 0}, {6, 0}, {2, 0}, {3, 0}}, lanes, true),
            "");
    }
}

// Presses the key from the fourth poll on.
void PollKey(EscapeHook* hook) {
    if (++*static_cast<int*>(hook->context) > 3) hook->pressed = true;
}

// The Escape rule through the block path: each point's run polls as it starts, so a key that
// goes down during a block aborts exactly the runs it would abort one point at a time.
TEST(BlockExecutorTest, EscapeAbortsTheRunsOfABlockAsBefore) {
    for (int lanes : kBlockSizes) {
        CScriptEngine engine;
        engine.Compile("z = x;");
        engine.SetBlockLanes(lanes);
        int polls = 0;
        engine.Escape().context = &polls;
        engine.Escape().poll = PollKey;
        const double xs[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        PointRun runs[10];
        std::vector<Outcome> texts(10);
        const PointTexts sink{KeepTexts, &texts};
        engine.RunPoints(10, xs, xs, runs, &sink);
        EXPECT_EQ(polls, 10);
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(runs[i].assigned, i < 3) << i;
            EXPECT_EQ(runs[i].runErrors, i < 3 ? 0 : 1) << i;
            EXPECT_EQ(texts[i].runText, i < 3 ? "" : "ABORT (key ESC)\r\n") << i;
        }
        double z = 0;
        EXPECT_FALSE(engine.ZAssigned(&z));  // the last run aborted before its first step
        engine.AppendErrorSummary();
        EXPECT_STREQ(engine.RunMessageText(),
                     "ABORT (key ESC)\r\n"
                     "(execution error)                (# occurred)\r\n"
                     "ABORT (key ESC)                  7\r\n");
        // Held without a poll: every run aborts; released: they go through again.
        engine.Escape().poll = nullptr;
        engine.RunPoints(10, xs, xs, runs);
        for (const PointRun& run : runs) EXPECT_EQ(run.runErrors, 1);
        EXPECT_EQ(engine.RunErrorCounter(kRunErrorAbort), 17);
        engine.Escape().pressed = false;
        engine.RunPoints(10, xs, xs, runs);
        for (const PointRun& run : runs) EXPECT_TRUE(run.assigned && run.runErrors == 0);
    }
    // A program without code has no step to abort, one point at a time or in a block.
    CScriptEngine engine;
    engine.Compile("");
    engine.Escape().pressed = true;
    const double xs[2] = {0, 1};
    PointRun runs[2];
    engine.RunPoints(2, xs, xs, runs);
    EXPECT_EQ(runs[0].runErrors + runs[1].runErrors, 0);
}

// ---- hand-made code (a compiled program never overflows the stack nor joins paths at two
// depths)

struct HandMachines {
    IdentifierTable names;
    CompileLog log;
    EscapeHook hook;
    Machine point, block;
    BlockMachine blockMachine{5};

    HandMachines() { names.Intern("z", log); }
};

// Runs `code` at each x (y = 2x) on the point executor and on the block executor; compares z,
// the errors, the counters and the texts of every lane.
void ExpectSameHandRuns(const std::vector<Instruction>& code, const std::vector<double>& xs) {
    HandMachines h;
    const int n = static_cast<int>(xs.size());
    std::vector<double> ys(xs);
    for (double& y : ys) y *= 2;
    PrepareRun(code.data(), static_cast<int>(code.size()), h.point);
    PrepareRun(code.data(), static_cast<int>(code.size()), h.block);
    h.blockMachine.Prepare(h.block);
    CompileLog blockLog;
    const RunSetup blockSetup{&h.names, 1, true, &h.hook, &blockLog};
    h.blockMachine.Run(blockSetup, h.block, n, xs.data(), ys.data());
    EXPECT_STREQ(blockLog.messages.Text(), "");  // the notes stay with their lanes
    for (int l = 0; l < n; ++l) {
        SCOPED_TRACE(l);
        CompileLog log;
        h.point.inputX = xs[l];
        h.point.inputY = ys[l];
        h.point.runMessages.Clear();
        Execute(RunSetup{&h.names, 1, true, &h.hook, &log}, h.point);
        EXPECT_EQ(h.blockMachine.RunErrors(l), h.point.runErrorCount);
        EXPECT_EQ(h.blockMachine.Assigned(0, l), h.point.variables[0].assigned != 0);
        EXPECT_TRUE(SameNumber(h.blockMachine.Value(0, l), h.point.variables[0].value));
        EXPECT_STREQ(h.blockMachine.RunMessages(l), h.point.runMessages.Text());
        EXPECT_EQ(h.blockMachine.StackOverflowNoted(l), !log.messages.Empty());
    }
    for (int kind = 0; kind < kRunErrorKindCount; ++kind) {
        EXPECT_EQ(h.block.counters[kind], h.point.counters[kind]) << kind;
    }
    EXPECT_EQ(h.block.runErrorCount, h.point.runErrorCount);  // the last lane's
}

TEST(BlockExecutorTest, StackOverflowOnSomeLanesOnly) {
    // z = 4; lanes with x != 0 push past 200 entries and stop, the others set z = y.
    std::vector<Instruction> code = {
        {kOpPushNum, 0, 4.0}, {kOpPop, 0, 0.0}, {kOpPushX, 0, 0.0}, {kOpJumpFalse, 206, 0.0}};
    code.insert(code.end(), 200, Instruction{kOpPushNum, 0, 1.0});
    code.insert(code.end(), {Instruction{kOpPushNum, 0, 1.0}, Instruction{kOpPop, 0, 0.0},
                             Instruction{kOpLabel, 0, 0.0}, Instruction{kOpPushY, 0, 0.0},
                             Instruction{kOpPop, 0, 0.0}});
    ASSERT_EQ(code[206].op, kOpLabel);
    ExpectSameHandRuns(code, {0, 1, 0, -2, kNaN});
    // The same with the overflow on a plain push and on a push fused with a division.
    code[204] = {kOpPushIdent, 0, 0.0};
    code[205] = {kOpCal, kSubDiv, 0.0};
    ExpectSameHandRuns(code, {3, 0, 0, 1, 0});
}

TEST(BlockExecutorTest, EntriesBelowAJumpOrAStoreKeepTheirValues) {
    // x stays on the stack across a split on y: lanes with y != 0 add 1 to it, the others
    // jump; where the paths join, z takes the entry.
    ExpectSameHandRuns({{kOpPushX, 0, 0.0},
                        {kOpPushY, 0, 0.0},
                        {kOpJumpFalse, 5, 0.0},
                        {kOpPushNum, 0, 1.0},
                        {kOpCal, kSubAdd, 0.0},
                        {kOpLabel, 0, 0.0},
                        {kOpPop, 0, 0.0}},
                       {0, 1, -0.0, 3, 0});
    // z = x; z is pushed, then z = y is stored under it; popping the old entry gives z = x.
    ExpectSameHandRuns({{kOpPushX, 0, 0.0},
                        {kOpPop, 0, 0.0},
                        {kOpPushIdent, 0, 0.0},
                        {kOpPushY, 0, 0.0},
                        {kOpPop, 0, 0.0},
                        {kOpPop, 0, 0.0}},
                       {1, 2, 3, 4, 5});
}

TEST(BlockExecutorTest, CodeJoiningPathsAtTwoDepthsRunsLaneByLane) {
    // x != 0 leaves an extra 5 on the stack where the paths join; z = 1 + that entry or + y.
    const std::vector<Instruction> code = {
        {kOpPushX, 0, 0.0}, {kOpJumpFalse, 3, 0.0}, {kOpPushNum, 0, 5.0},   {kOpLabel, 0, 0.0},
        {kOpPushY, 0, 0.0}, {kOpPushNum, 0, 1.0},   {kOpCal, kSubAdd, 0.0}, {kOpPop, 0, 0.0},
    };
    ExpectSameHandRuns(code, {0, 1, 2, 0, 0});
}

}  // namespace
}  // namespace velmor::test
