// Executor and script call interface: values, faults and their counters, messages, the error
// summary, the result-of-a-point rule and the Escape abort.
#include "core/interp/executor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "script_test_util.h"

namespace velmor::test {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool Same(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

// Operators and functions use the C math library; comparisons follow IEEE rules, and a
// not-a-number counts as not 0 (x = NaN below).
TEST(ExecutorTest, OperatorsFunctionsAndNotANumber) {
    const double v = 0.37;
    const char* compare =
        "z = (x == y) + 2*(x != y) + 4*(x > y) + 8*(x >= y) + 16*(x < y) + "
        "32*(x <= y) + 64*(x && y) + 128*(x || y) + 256*!x;";
    const struct {
        const char* source;
        double x, y, z;
    } cases[] = {
        {"z = x - y + x / y;", 1.5, 2.25, -0.75 + 1.5 / 2.25},
        {"z = sin(x) + cos(x) * tan(x);", v, 0, std::sin(v) + std::cos(v) * std::tan(v)},
        {"z = asin(x) + acos(x) * atan(x);", v, 0, std::asin(v) + std::acos(v) * std::atan(v)},
        {"z = sinh(x) + cosh(x) * tanh(x);", v, 0, std::sinh(v) + std::cosh(v) * std::tanh(v)},
        {"z = exp(x) + ln(x);", v, 0, std::exp(v) + std::log(v)},
        {"z = log(exp(1)) + log10(x);", 1000, 0, 4.0},  // log is the natural logarithm
        {"z = pow(x, y) + sqrt(x) + abs(-x);", 2, 0.5, std::pow(2.0, 0.5) + std::sqrt(2.0) + 2},
        {"z = pi;", 0, 0, 3.141592653589793},
        {compare, 1, 2, 2 + 16 + 32 + 64 + 128},
        {compare, 2, 0, 2 + 4 + 8 + 128},
        {compare, 0, 0, 1 + 8 + 32 + 256},
        {compare, kNaN, 1, 2 + 64 + 128},
        {"if (x) z = 1; else z = 2;", kNaN, 0, 1},
        // max and min give b whenever the comparison involves a not-a-number.
        {"z = max(x, 3) + 10 * min(x, 3);", kNaN, 0, 33},
        {"z = max(3, x);", kNaN, 0, kNaN},
        {"z = min(3, x);", kNaN, 0, kNaN},
    };
    for (const auto& c : cases) EXPECT_TRUE(Same(EvalZ(c.source, c.x, c.y), c.z)) << c.source;
    EXPECT_TRUE(std::signbit(EvalZ("z = -x;", 0.0)));
}

TEST(ExecutorTest, FaultsGiveTheirValueCounterAndMessage) {
    const std::string uninitialized = "a: uninitialized. (assume 0.0)\r\n";
    const struct {
        const char* source;
        double x;
        int kind, count;
        std::string messages;
        double z;
    } cases[] = {
        {"z = 1 / 0;", 0, kRunErrorDivideByZero, 1, "Divided 0\r\n", 1.0 / 1e-15},
        {"z = 0 / 0;", 0, kRunErrorDivideByZero, 1, "Divided 0\r\n", 0.0},
        // A divisor held in a variable, and one computed on the stack: the same rule.
        {"a = 0; z = -1 / a;", 0, kRunErrorDivideByZero, 1, "Divided 0\r\n", -1.0 / 1e-15},
        {"z = 2 / (x - x);", 0, kRunErrorDivideByZero, 1, "Divided 0\r\n", 2.0 / 1e-15},
        {"z = a + 1; b = c * 2 + a;", 0, kRunErrorUninitialized, 3,
         uninitialized + "c: uninitialized. (assume 0.0)\r\n" + uninitialized, 1.0},
        {"if (x) a = 1; z = a;", 0, kRunErrorUninitialized, 1, uninitialized, 0.0},
        {"z = sqrt(-1);", 0, kRunErrorSqrt, 1, "sqrt(negative)\r\n", kNaN},
        {"z = ln(0);", 0, kRunErrorLn, 1, "ln(0 or negative)\r\n", -HUGE_VAL},
        {"z = log(-1);", 0, kRunErrorLog, 1, "log(0 or negative)\r\n", kNaN},
        {"z = log10(x);", -0.0, kRunErrorLog10, 1, "log10(0 or negative)\r\n", -HUGE_VAL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        CScriptEngine engine;
        engine.Compile(c.source);
        engine.SetInputs(c.x, 0);
        engine.Run(true);
        double z = 0.0;
        EXPECT_FALSE(engine.ResultOfPoint(&z));
        ASSERT_TRUE(engine.ZAssigned(&z));
        EXPECT_TRUE(Same(z, c.z)) << z;
        EXPECT_EQ(engine.RunErrorCount(), c.count);
        for (int kind = 0; kind < kRunErrorKindCount; ++kind) {
            EXPECT_EQ(engine.RunErrorCounter(kind), kind == c.kind ? c.count : 0) << kind;
        }
        EXPECT_EQ(engine.RunMessageText(), c.messages);
    }
    // Not-a-number is "not above 0" for the logarithms too; values just inside are no faults.
    CScriptEngine engine;
    engine.Compile("n = 1e400 - 1e400; z = ln(n) + log(n) + log10(n);");
    engine.Run(false);
    EXPECT_EQ(engine.RunErrorCount(), 3);
    engine.Compile("if (x) a = 1; z = a + sqrt(-0.0) + ln(1e-300) + log(5) + log10(0.1);");
    EXPECT_FALSE(std::isnan(RunZ(engine, 1, 0)));
    EXPECT_EQ(engine.RunErrorCount(), 0);
}

TEST(ExecutorTest, ProgramThatNeverAssignsZHasNoResult) {
    // In the second, 66 two-letter names fill the pool: "z" finds no room when it is read.
    std::string full;
    for (int i = 0; i < 66; ++i)
        full += std::string{char('a' + i / 26), char('a' + i % 26)} + "=1;";
    CScriptEngine engine;
    for (const std::string& source : {std::string("a = 1; if (0) z = 1;"), full}) {
        engine.Compile(source.c_str());
        engine.Run(true);
        double z = 5.0;
        EXPECT_FALSE(engine.ZAssigned(&z));
        EXPECT_FALSE(engine.ResultOfPoint(&z));
        EXPECT_EQ(engine.CompileErrorCount(), 0);
    }
}

TEST(ExecutorTest, RunsAreIndependent) {
    CScriptEngine engine;
    engine.Compile("if (x > 0) a = 10; z = a + x;");
    EXPECT_EQ(RunZ(engine, 1, 0), 11.0);
    // The variable a of the previous run does not survive...
    EXPECT_EQ(RunZ(engine, -1, 0), -1.0);
    EXPECT_EQ(engine.RunErrorCount(), 1);
    // ...and the fault of that run does not stick to the next.
    EXPECT_EQ(RunZ(engine, 2, 0), 12.0);
    double z = 0.0;
    EXPECT_TRUE(engine.ResultOfPoint(&z));
}

TEST(ExecutorTest, RunMessagesAreCutAt2047Bytes) {
    // 294 reads of a long unassigned name: 294 messages of 47 bytes, far more than fits.
    CScriptEngine engine;
    engine.Compile(Repeat("z = 0" + Repeat(" + abcdefghijklmnop", 49) + ";", 6).c_str());
    engine.Run(true);
    const std::string line = "abcdefghijklmnop: uninitialized. (assume 0.0)\r\n";
    EXPECT_EQ(std::string(engine.RunMessageText()), Repeat(line, 294).substr(0, 2047));
    engine.AppendErrorSummary();  // finds no room left
    EXPECT_EQ(std::strlen(engine.RunMessageText()), 2047u);
}

TEST(ErrorSummaryTest, RowsForEveryCounterAboveZero) {
    CScriptEngine engine;
    engine.Compile("z = 1 / x + sqrt(x - 1);");
    for (double x : {0.0, 0.0, 0.5, 2.0}) RunZ(engine, x);
    EXPECT_STREQ(engine.RunMessageText(), "");  // a quiet run only counts
    engine.AppendErrorSummary();
    EXPECT_STREQ(engine.RunMessageText(),
                 "(execution error)                (# occurred)\r\n"
                 "Divided 0                        2\r\n"
                 "sqrt(negative)                   3\r\n");
    // No summary without faults since the counters were cleared.
    engine.ClearRunErrorCounters();
    RunZ(engine, 2.0);
    engine.AppendErrorSummary();
    EXPECT_STREQ(engine.RunMessageText(), "");
}

// Presses the key from the fourth run on.
void PollKey(EscapeHook* hook) {
    if (++*static_cast<int*>(hook->context) > 3) hook->pressed = true;
}

TEST(EscapeTest, HeldKeyAbortsEveryRemainingRun) {
    CScriptEngine engine;
    engine.Compile("z = x;");
    int polls = 0;
    engine.Escape().context = &polls;
    engine.Escape().poll = PollKey;
    int valid = 0;
    double z = 0.0;
    for (int i = 0; i < 10; ++i) {
        RunZ(engine);
        valid += engine.ResultOfPoint(&z);
    }
    EXPECT_EQ(valid, 3);
    EXPECT_FALSE(engine.ZAssigned(&z));  // aborted before the first instruction
    engine.AppendErrorSummary();
    EXPECT_STREQ(engine.RunMessageText(),
                 "(execution error)                (# occurred)\r\n"
                 "ABORT (key ESC)                  7\r\n");
    engine.Run(true);
    EXPECT_STREQ(engine.RunMessageText(), "ABORT (key ESC)\r\n");
    engine.Escape().poll = nullptr;  // released: runs go through again
    engine.Escape().pressed = false;
    RunZ(engine);
    EXPECT_TRUE(engine.ResultOfPoint(&z));
}

// Runs hand-made code on a machine of its own; "z" is slot 0.
struct HandRun {
    IdentifierTable names;
    CompileLog log;
    EscapeHook hook;
    Machine machine;

    HandRun() { names.Intern("z", log); }
    void Run(const std::vector<Instruction>& code, bool verbose = true) {
        PrepareRun(code.data(), static_cast<int>(code.size()), machine);
        Execute(RunSetup{&names, 1, verbose, &hook, &log}, machine);
    }
};

TEST(StackTest, PushPast200EntriesStopsTheRun) {
    // A compiled program cannot get this deep; hand-made code can. Every kind of push counts,
    // fused with the operation after it or not; z = 4 first, so a variable push reads it.
    const Instruction pushes[] = {{kOpPushX, 0, 0.0}, {kOpPushIdent, 0, 0.0}, {kOpPushNum, 0, 4.0}};
    const Instruction afters[] = {{kOpPop, 0, 0.0}, {kOpCal, kSubDiv, 0.0}, {kOpCal, kSubNeg, 0.0}};
    for (const Instruction& push : pushes) {
        for (const Instruction& after : afters) {
            HandRun run;
            std::vector<Instruction> code = {{kOpPushNum, 0, 4.0}, {kOpPop, 0, 0.0}};
            code.insert(code.end(), 200, Instruction{kOpPushNum, 0, 1.0});
            code.insert(code.end(), {push, after, Instruction{kOpPop, 0, 0.0}});  // the 201st
            run.Run(code);
            EXPECT_EQ(run.machine.runErrorCount, 1) << push.op << " " << after.operand;
            EXPECT_EQ(run.machine.counters[kRunErrorStackOverflow], 1);
            EXPECT_EQ(run.machine.variables[0].value, 4.0);  // the POPs after it never ran
        }
    }
    // 200 entries fit; the message of the 201st goes to the compile text.
    HandRun run;
    std::vector<Instruction> code(200, Instruction{kOpPushY, 0, 0.0});
    run.Run(code);
    EXPECT_EQ(run.machine.runErrorCount, 0);
    code.push_back(Instruction{kOpPushY, 0, 0.0});
    run.Run(code);
    EXPECT_STREQ(run.log.messages.Text(), "[stack overflow!!!]\r\n");
    EXPECT_STREQ(run.machine.runMessages.Text(), "");
    // A jump backwards (never compiled) cannot make a run loop.
    run.Run({{kOpLabel, 0, 0.0}, {kOpPushNum, 0, 6.0}, {kOpPop, 0, 0.0}, {kOpJump, 0, 0.0}});
    EXPECT_EQ(run.machine.variables[0].value, 6.0);
}

}  // namespace
}  // namespace velmor::test
