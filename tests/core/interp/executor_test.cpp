// Executor and script call interface: values, faults and their counters, messages, the error
// summary, the result-of-a-point rule and the Escape abort.
#include "interp/executor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "script_test_util.h"

namespace velmor {
namespace {

using testing::CountOf;
using testing::EvalZ;
using testing::Repeat;
using testing::RunZ;

// The example the interpreter window starts with.
constexpr const char* kDefaultExample =
    "//program ex. <Even Asphere>\r\n"
    "c = 0.25;\t//curvature\r\n"
    "k = 0.0;\t//conic constant\r\n"
    "a1 = 0.0;\r\n"
    "a2 = 0.0;\r\n"
    "a3 = 0.0;\r\n"
    "a4 = 0.0;\r\n"
    "rr = x*x + y*y;\r\n"
    "A = 1.0 - (1.0+k)*c*c*rr;\r\n"
    "A = max(0.0, A);\r\n"
    "z = c*rr / (1.0 + sqrt(A));\r\n"
    "z = z + a1*rr;\r\n"
    "z = z + a2*rr*rr;\r\n"
    "z = z + a3*rr*rr*rr;\r\n"
    "z = z + a4*rr*rr*rr*rr;\r\n"
    "z = min(z, 2.0);\t//limitation\r\n";

double NativeExample(double x, double y) {
    double c = 0.25, k = 0.0, a1 = 0.0, a2 = 0.0, a3 = 0.0, a4 = 0.0;
    double rr = x * x + y * y;
    double A = 1.0 - (1.0 + k) * c * c * rr;
    A = std::max(0.0, A);
    double z = c * rr / (1.0 + std::sqrt(A));
    z = z + a1 * rr;
    z = z + a2 * rr * rr;
    z = z + a3 * rr * rr * rr;
    z = z + a4 * rr * rr * rr * rr;
    return 2.0 > z ? z : 2.0;
}

TEST(ExecutorTest, DefaultExampleGivesTheEvenAsphere) {
    CScriptEngine engine;
    engine.Compile(kDefaultExample);
    ASSERT_EQ(engine.CompileErrorCount(), 0);
    for (double x : {-7.0, -2.0, -0.5, 0.0, 0.3, 1.0, 4.0}) {
        for (double y : {-3.0, 0.0, 0.25, 2.0, 10.0}) {
            engine.SetInputs(x, y);
            engine.Run(false);
            double z = -1.0;
            ASSERT_TRUE(engine.ResultOfPoint(&z)) << x << " " << y;
            EXPECT_EQ(z, NativeExample(x, y)) << x << " " << y;
        }
    }
}

TEST(ExecutorTest, ArithmeticAndFunctionsUseTheCMathLibrary) {
    const double v = 0.37;
    EXPECT_EQ(EvalZ("z = x + y;", 1.5, 2.25), 3.75);
    EXPECT_EQ(EvalZ("z = x - y;", 1.5, 2.25), -0.75);
    EXPECT_EQ(EvalZ("z = x * y;", 1.5, 2.25), 3.375);
    EXPECT_EQ(EvalZ("z = x / y;", 1.5, 2.25), 1.5 / 2.25);
    EXPECT_EQ(EvalZ("z = sin(x);", v), std::sin(v));
    EXPECT_EQ(EvalZ("z = cos(x);", v), std::cos(v));
    EXPECT_EQ(EvalZ("z = tan(x);", v), std::tan(v));
    EXPECT_EQ(EvalZ("z = asin(x);", v), std::asin(v));
    EXPECT_EQ(EvalZ("z = acos(x);", v), std::acos(v));
    EXPECT_EQ(EvalZ("z = atan(x);", v), std::atan(v));
    EXPECT_EQ(EvalZ("z = sinh(x);", v), std::sinh(v));
    EXPECT_EQ(EvalZ("z = cosh(x);", v), std::cosh(v));
    EXPECT_EQ(EvalZ("z = tanh(x);", v), std::tanh(v));
    EXPECT_EQ(EvalZ("z = exp(x);", v), std::exp(v));
    EXPECT_EQ(EvalZ("z = ln(x);", v), std::log(v));
    EXPECT_EQ(EvalZ("z = log10(x);", 1000.0), 3.0);
    EXPECT_EQ(EvalZ("z = pow(x, y);", 2.0, 0.5), std::pow(2.0, 0.5));
    EXPECT_EQ(EvalZ("z = sqrt(x);", 2.0), std::sqrt(2.0));
    EXPECT_EQ(EvalZ("z = abs(x);", -2.5), 2.5);
    EXPECT_FALSE(std::signbit(EvalZ("z = abs(x);", -0.0)));
    EXPECT_TRUE(std::signbit(EvalZ("z = -x;", 0.0)));
    EXPECT_EQ(EvalZ("z = pi;"), 3.141592653589793);
    // ln and log are the same function: log(e) == ln(e) == 1.
    EXPECT_EQ(EvalZ("e = exp(1); z = log(e) + 10 * ln(e);"), 11.0);
}

TEST(ExecutorTest, ComparisonsAndLogicGiveOneOrZero) {
    EXPECT_EQ(EvalZ("z = (x == y) + 2 * (x != y) + 4 * (x > y) + 8 * (x >= y) + "
                    "16 * (x < y) + 32 * (x <= y);",
                    1, 2),
              2 + 16 + 32);
    EXPECT_EQ(EvalZ("z = (x == y) + 2 * (x != y) + 4 * (x > y) + 8 * (x >= y) + "
                    "16 * (x < y) + 32 * (x <= y);",
                    2, 2),
              1 + 8 + 32);
    EXPECT_EQ(EvalZ("z = (x && y) + 2 * (x || y) + 4 * !x;", 0, 0), 4);
    EXPECT_EQ(EvalZ("z = (x && y) + 2 * (x || y) + 4 * !x;", -3, 0), 2);
    EXPECT_EQ(EvalZ("z = (x && y) + 2 * (x || y) + 4 * !x;", 0.5, 7), 3);
}

// "n = 1e400 - 1e400" makes a not-a-number without any fault.
TEST(ExecutorTest, NotANumberFollowsIeeeComparisons) {
    const std::string nan = "n = 1e400 - 1e400; ";
    CScriptEngine engine;
    auto eval = [&](const std::string& body) {
        engine.Compile((nan + body).c_str());
        double z = RunZ(engine);
        EXPECT_EQ(engine.RunErrorCount(), 0) << body;
        return z;
    };
    EXPECT_TRUE(std::isnan(eval("z = n;")));
    EXPECT_EQ(eval("z = (n == n) + 2 * (n != n) + 4 * (n > 1) + 8 * (n >= 1) + 16 * (n < 1) + "
                   "32 * (n <= 1);"),
              2.0);
    // Not-a-number counts as not 0.
    EXPECT_EQ(eval("z = (n && 1) + 2 * (n || 0) + 4 * !n;"), 3.0);
    EXPECT_EQ(eval("if (n) z = 1; else z = 2;"), 1.0);
    // max and min give b whenever the comparison involves a not-a-number.
    EXPECT_EQ(eval("z = max(n, 3);"), 3.0);
    EXPECT_TRUE(std::isnan(eval("z = max(3, n);")));
    EXPECT_TRUE(std::isnan(eval("z = min(3, n);")));
    EXPECT_EQ(eval("z = min(n, 3);"), 3.0);
    EXPECT_EQ(eval("z = max(2, 3) + 10 * min(2, 3);"), 23.0);
}

struct Outcome {
    bool valid;
    double z;  // the value of z, valid or not (NaN when unassigned)
    int runErrors;
    std::vector<int> counters;  // kinds 0..7
    std::string runMessages;
    std::string compileMessages;
};

Outcome RunVerbose(const std::string& source, double x = 0.0, double y = 0.0) {
    CScriptEngine engine;
    engine.Compile(source.c_str());
    EXPECT_EQ(engine.CompileErrorCount(), 0) << source;
    engine.SetInputs(x, y);
    engine.Run(true);
    Outcome out;
    double z = 0.0;
    out.valid = engine.ResultOfPoint(&z);
    out.z = engine.ZAssigned(&z) ? z : std::numeric_limits<double>::quiet_NaN();
    out.runErrors = engine.RunErrorCount();
    for (int kind = 0; kind < 8; ++kind) out.counters.push_back(engine.RunErrorCounter(kind));
    out.runMessages = engine.RunMessageText();
    out.compileMessages = engine.CompileMessageText();
    return out;
}

std::vector<int> Only(int kind, int count = 1) {
    std::vector<int> counters(8, 0);
    counters[kind] = count;
    return counters;
}

TEST(ExecutorTest, DivisionByZeroDividesBy1e15) {
    Outcome out = RunVerbose("z = 1 / 0;");
    EXPECT_FALSE(out.valid);
    EXPECT_EQ(out.z, 1.0 / 1e-15);
    EXPECT_DOUBLE_EQ(out.z, 1e15);
    EXPECT_EQ(out.runErrors, 1);
    EXPECT_EQ(out.counters, Only(kRunErrorDivideByZero));
    EXPECT_EQ(out.runMessages, "Divided 0\r\n");
    EXPECT_EQ(RunVerbose("z = -2 / x;", -0.0).z, -2.0 / 1e-15);
    EXPECT_EQ(RunVerbose("z = 0 / 0;").z, 0.0);
}

TEST(ExecutorTest, UninitialisedVariableReadsAsZero) {
    Outcome out = RunVerbose("z = a + 1; b = c * 2 + a;");
    EXPECT_FALSE(out.valid);
    EXPECT_EQ(out.z, 1.0);
    EXPECT_EQ(out.runErrors, 3);
    EXPECT_EQ(out.counters, Only(kRunErrorUninitialized, 3));
    EXPECT_EQ(out.runMessages,
              "a: uninitialized. (assume 0.0)\r\n"
              "c: uninitialized. (assume 0.0)\r\n"
              "a: uninitialized. (assume 0.0)\r\n");
    // A variable assigned only in a branch not taken.
    EXPECT_FALSE(RunVerbose("if (x) a = 1; z = a;", 0).valid);
    EXPECT_TRUE(RunVerbose("if (x) a = 1; z = a;", 1).valid);
}

TEST(ExecutorTest, ProgramThatNeverAssignsZHasNoResult) {
    Outcome out = RunVerbose("a = 1; if (0) z = 1;");
    EXPECT_FALSE(out.valid);
    EXPECT_TRUE(std::isnan(out.z));
    EXPECT_EQ(out.runErrors, 0);
    EXPECT_EQ(out.runMessages, "");
    // Never mentioned at all: "z" is entered when the result is read, still unassigned.
    CScriptEngine engine;
    engine.Compile("a = 1;");
    engine.Run(false);
    double z = 5.0;
    EXPECT_FALSE(engine.ZAssigned(&z));
    EXPECT_EQ(z, 0.0);
    EXPECT_FALSE(engine.ResultOfPoint(&z));
    engine.Run(false);
    EXPECT_FALSE(engine.ZAssigned(&z));
    EXPECT_EQ(engine.CompileErrorCount(), 0);
}

TEST(ExecutorTest, ZCannotBeEnteredIntoAFullTable) {
    // 66 two-letter names fill the pool (198 bytes): "z" has no room. Reading the result
    // then counts no compile error and reports no value.
    std::string source;
    for (int i = 0; i < 66; ++i) {
        source += std::string(1, static_cast<char>('a' + i / 26)) +
                  static_cast<char>('a' + i % 26) + " = 1;";
    }
    CScriptEngine engine;
    engine.Compile(source.c_str());
    ASSERT_EQ(engine.CompileErrorCount(), 0);
    engine.Run(true);
    double z = 5.0;
    EXPECT_FALSE(engine.ZAssigned(&z));
    EXPECT_EQ(z, 0.0);
    EXPECT_FALSE(engine.ResultOfPoint(&z));
    EXPECT_EQ(engine.CompileErrorCount(), 0);
    EXPECT_STREQ(engine.CompileMessageText(), "");
}

TEST(ExecutorTest, SquareRootOfNegativeIsNotANumber) {
    Outcome out = RunVerbose("z = sqrt(-1);");
    EXPECT_FALSE(out.valid);
    EXPECT_TRUE(std::isnan(out.z));
    EXPECT_EQ(out.counters, Only(kRunErrorSqrt));
    EXPECT_EQ(out.runMessages, "sqrt(negative)\r\n");
    // Not-a-number is not 0: the first branch is taken.
    Outcome branch = RunVerbose("if (sqrt(-1)) z = 1; else z = 2;");
    EXPECT_EQ(branch.z, 1.0);
    EXPECT_FALSE(branch.valid);
    EXPECT_TRUE(RunVerbose("z = sqrt(-0.0);").valid);
}

TEST(ExecutorTest, LogarithmsOfValuesNotAboveZeroAreFaults) {
    Outcome ln = RunVerbose("z = ln(0);");
    EXPECT_EQ(ln.z, -HUGE_VAL);
    EXPECT_EQ(ln.counters, Only(kRunErrorLn));
    EXPECT_EQ(ln.runMessages, "ln(0 or negative)\r\n");
    Outcome log = RunVerbose("z = log(-1);");
    EXPECT_TRUE(std::isnan(log.z));
    EXPECT_EQ(log.counters, Only(kRunErrorLog));
    EXPECT_EQ(log.runMessages, "log(0 or negative)\r\n");
    Outcome log10 = RunVerbose("z = log10(x);", -0.0);
    EXPECT_EQ(log10.z, -HUGE_VAL);
    EXPECT_EQ(log10.counters, Only(kRunErrorLog10));
    EXPECT_EQ(log10.runMessages, "log10(0 or negative)\r\n");
    // Not-a-number is "not above 0" too.
    Outcome nan = RunVerbose("n = 1e400 - 1e400; z = ln(n) + log(n) + log10(n);");
    EXPECT_EQ(nan.counters, std::vector<int>({0, 0, 0, 0, 0, 1, 1, 1}));
    EXPECT_TRUE(RunVerbose("z = ln(1e-300) + log(5) + log10(0.1);").valid);
}

TEST(ExecutorTest, QuietRunCountsWithoutMessages) {
    CScriptEngine engine;
    engine.Compile("z = 1 / 0 + a + sqrt(-1);");
    engine.Run(false);
    EXPECT_EQ(engine.RunErrorCount(), 3);
    EXPECT_STREQ(engine.RunMessageText(), "");
}

TEST(ExecutorTest, RunsAreIndependent) {
    CScriptEngine engine;
    engine.Compile("if (x > 0) a = 10; z = a + x;");
    double z = 0.0;
    engine.SetInputs(1, 0);
    engine.Run(false);
    ASSERT_TRUE(engine.ResultOfPoint(&z));
    EXPECT_EQ(z, 11.0);
    // The variable a of the previous run does not survive.
    engine.SetInputs(-1, 0);
    engine.Run(false);
    EXPECT_FALSE(engine.ResultOfPoint(&z));
    EXPECT_EQ(engine.RunErrorCount(), 1);
    EXPECT_TRUE(engine.ZAssigned(&z));
    EXPECT_EQ(z, -1.0);
    // And the fault of that run does not stick to the next.
    engine.SetInputs(2, 0);
    engine.Run(false);
    ASSERT_TRUE(engine.ResultOfPoint(&z));
    EXPECT_EQ(z, 12.0);
}

TEST(ExecutorTest, EnginesAreIndependent) {
    CScriptEngine first, second;
    first.Compile("z = x * 2;");
    second.Compile("a = 1; b = 2; z = y + 1 + b;");
    EXPECT_EQ(RunZ(first, 3, 4), 6.0);
    EXPECT_EQ(RunZ(second, 3, 4), 7.0);
    second.Compile("z = ;");
    EXPECT_EQ(first.CompileErrorCount(), 0);
    EXPECT_EQ(RunZ(first, 5, 0), 10.0);
}

TEST(ExecutorTest, RunEmptiesTheMessageTexts) {
    CScriptEngine engine;
    engine.Compile("z = 1; w = ;");  // a failed compile with a message
    ASSERT_EQ(engine.CompileErrorCount(), 1);
    engine.Run(false);
    EXPECT_STREQ(engine.CompileMessageText(), "");
    EXPECT_EQ(engine.CompileErrorCount(), 1);  // only a verbose run clears the count
    engine.Run(true);
    EXPECT_EQ(engine.CompileErrorCount(), 0);

    engine.Compile("z = 1 / 0;");
    engine.MakeListing();
    EXPECT_STRNE(engine.ListingText(), "");
    engine.Run(true);
    EXPECT_STREQ(engine.ListingText(), "");
    EXPECT_STREQ(engine.RunMessageText(), "Divided 0\r\n");
    engine.Run(true);
    EXPECT_STREQ(engine.RunMessageText(), "Divided 0\r\n");
}

TEST(ExecutorTest, RunMessagesAreCutAt2047Bytes) {
    // 300 reads of a long unassigned name: 300 messages of 47 bytes, far more than fits.
    std::string source = "z = 0" + Repeat(" + abcdefghijklmnop", 49) + ";";
    CScriptEngine engine;
    engine.Compile(Repeat(source, 6).c_str());
    ASSERT_EQ(engine.CompileErrorCount(), 0);
    engine.Run(true);
    EXPECT_EQ(engine.RunErrorCount(), 294);
    std::string line = "abcdefghijklmnop: uninitialized. (assume 0.0)\r\n";
    EXPECT_EQ(std::string(engine.RunMessageText()), Repeat(line, 294).substr(0, 2047));
    // The summary finds no room left.
    engine.AppendErrorSummary();
    EXPECT_EQ(std::strlen(engine.RunMessageText()), 2047u);
}

TEST(ErrorSummaryTest, RowsForEveryCounterAboveZero) {
    CScriptEngine engine;
    engine.Compile("z = 1 / x + sqrt(x - 1);");
    engine.ClearRunErrorCounters();
    for (double x : {0.0, 0.0, 0.5, 2.0}) {
        engine.SetInputs(x, 0);
        engine.Run(false);
    }
    EXPECT_EQ(engine.RunErrorCounter(kRunErrorDivideByZero), 2);
    EXPECT_EQ(engine.RunErrorCounter(kRunErrorSqrt), 3);
    EXPECT_EQ(engine.RunErrorCounter(-1), 0);
    EXPECT_EQ(engine.RunErrorCounter(16), 0);
    engine.AppendErrorSummary();
    EXPECT_STREQ(engine.RunMessageText(),
                 "(execution error)                (# occurred)\r\n"
                 "Divided 0                        2\r\n"
                 "sqrt(negative)                   3\r\n");
    // Counters add up over runs until cleared; no summary without faults.
    engine.ClearRunErrorCounters();
    engine.Run(false);
    EXPECT_EQ(engine.RunErrorCounter(kRunErrorDivideByZero), 0);
    engine.SetInputs(2, 0);
    engine.Run(false);
    engine.AppendErrorSummary();
    EXPECT_STREQ(engine.RunMessageText(), "");
}

TEST(ErrorSummaryTest, NamesOfEveryKind) {
    int counters[kRunErrorKindCount] = {1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 0, 9};
    MessageText text;
    AppendErrorSummary(counters, text);
    EXPECT_STREQ(text.Text(),
                 "(execution error)                (# occurred)\r\n"
                 "ABORT (key ESC)                  1\r\n"
                 "stack overflow !!!               2\r\n"
                 "uninitialized variable           3\r\n"
                 "Divided 0                        4\r\n"
                 "sqrt(negative)                   5\r\n"
                 "ln(0 or negative)                6\r\n"
                 "log(0 or negative)               7\r\n"
                 "log10(0 or negative)             8\r\n"
                 "                                 9\r\n");
}

struct KeyState {
    int runsBeforePress = 0;
    int polls = 0;
};

void PollKey(EscapeHook* hook) {
    KeyState* state = static_cast<KeyState*>(hook->context);
    if (++state->polls > state->runsBeforePress) hook->pressed = true;
}

TEST(EscapeTest, HeldKeyAbortsEveryRemainingRun) {
    CScriptEngine engine;
    engine.Compile(kDefaultExample);
    KeyState key;
    key.runsBeforePress = 3;
    engine.Escape().context = &key;
    engine.Escape().poll = PollKey;
    engine.ClearRunErrorCounters();
    int valid = 0;
    for (int i = 0; i < 10; ++i) {
        engine.SetInputs(i * 0.1, 0);
        engine.Run(false);
        double z = 0.0;
        if (engine.ResultOfPoint(&z)) ++valid;
    }
    EXPECT_EQ(key.polls, 10);
    EXPECT_EQ(valid, 3);
    EXPECT_EQ(engine.RunErrorCount(), 1);
    EXPECT_EQ(engine.RunErrorCounter(kRunErrorAbort), 7);
    double z = 0.0;
    EXPECT_FALSE(engine.ZAssigned(&z));  // aborted before the first instruction
    engine.AppendErrorSummary();
    EXPECT_STREQ(engine.RunMessageText(),
                 "(execution error)                (# occurred)\r\n"
                 "ABORT (key ESC)                  7\r\n");

    engine.Run(true);
    EXPECT_STREQ(engine.RunMessageText(), "ABORT (key ESC)\r\n");
    // Released: runs go through again.
    engine.Escape().poll = nullptr;
    engine.Escape().pressed = false;
    engine.Run(false);
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
    // fused with the instruction after it or not.
    for (Instruction push : {Instruction{kOpPushX, 0, 0.0}, Instruction{kOpPushIdent, 0, 0.0},
                             Instruction{kOpPushNum, 0, 4.0}}) {
        for (Instruction after :
             {Instruction{kOpPop, 0, 0.0}, Instruction{kOpCal, kSubAdd, 0.0},
              Instruction{kOpCal, kSubDiv, 0.0}, Instruction{kOpCal, kSubNeg, 0.0}}) {
            HandRun run;
            run.machine.inputX = 4.0;
            // z = 4 first, so that a variable push reads an assigned slot.
            std::vector<Instruction> code = {{kOpPushNum, 0, 4.0}, {kOpPop, 0, 0.0}};
            code.insert(code.end(), 199, Instruction{kOpPushNum, 0, 1.0});
            code.push_back(push);
            code.push_back(after);
            code.push_back(Instruction{kOpPushNum, 0, 9.0});  // a further push: the 201st
            code.push_back(Instruction{kOpPop, 0, 0.0});
            run.Run(code);
            // 200 entries at most: only after a one-operand CAL is the further push too many.
            const int overflows = after.operand == kSubNeg ? 1 : 0;
            EXPECT_EQ(run.machine.runErrorCount, overflows);
            code.insert(code.begin() + 2, Instruction{kOpPushNum, 0, 1.0});  // push 201 earlier
            run.Run(code);
            EXPECT_EQ(run.machine.runErrorCount, 1) << push.op << " " << after.operand;
            EXPECT_EQ(run.machine.counters[kRunErrorStackOverflow], overflows + 1);
            EXPECT_EQ(run.machine.counters[kRunErrorUninitialized], 0);
            EXPECT_EQ(run.machine.counters[kRunErrorDivideByZero], 0);
            EXPECT_EQ(run.machine.variables[0].value, 4.0);  // the POPs after it never ran
        }
    }
}

TEST(StackTest, OverflowMessageGoesToTheCompileText) {
    HandRun run;
    std::vector<Instruction> code(201, Instruction{kOpPushY, 0, 0.0});
    run.Run(code);
    EXPECT_EQ(run.machine.counters[kRunErrorStackOverflow], 1);
    EXPECT_STREQ(run.log.messages.Text(), "[stack overflow!!!]\r\n");
    EXPECT_EQ(run.log.errorCount, 1);
    EXPECT_STREQ(run.machine.runMessages.Text(), "");
    // A quiet run only counts.
    run.log.Clear();
    run.Run(code, false);
    EXPECT_EQ(run.machine.counters[kRunErrorStackOverflow], 2);
    EXPECT_EQ(run.log.errorCount, 0);
}

TEST(PrepareRunTest, FusedStepsKeepFaultsAndTheirOrder) {
    HandRun run;
    run.names.Intern("v", run.log);  // slot 1, never assigned
    // z = 5 / v: the read of v fails first, then the division by its value 0.
    run.Run(
        {{kOpPushNum, 0, 5.0}, {kOpPushIdent, 1, 0.0}, {kOpCal, kSubDiv, 0.0}, {kOpPop, 0, 0.0}});
    EXPECT_EQ(run.machine.variables[0].value, 5.0 / 1e-15);
    EXPECT_STREQ(run.machine.runMessages.Text(), "v: uninitialized. (assume 0.0)\r\nDivided 0\r\n");
    // A jump continues after its label even when a fused pair follows the label.
    run.machine.inputY = 3.0;
    run.Run({{kOpPushNum, 0, 0.0},
             {kOpJumpFalse, 3, 0.0},
             {kOpPushNum, 0, 1.0},
             {kOpLabel, 0, 0.0},
             {kOpPushY, 0, 0.0},
             {kOpPop, 0, 0.0}});
    EXPECT_EQ(run.machine.variables[0].value, 3.0);
    EXPECT_EQ(run.machine.stepCount, 4);  // the LBL is gone, PUSH y + POP is one step
    // A jump backwards (never compiled) cannot make a run loop.
    run.Run({{kOpLabel, 0, 0.0}, {kOpPushNum, 0, 6.0}, {kOpPop, 0, 0.0}, {kOpJump, 0, 0.0}});
    EXPECT_EQ(run.machine.variables[0].value, 6.0);
    // Unknown op codes and sub-codes do nothing.
    run.Run({{kOpPushNum, 0, 2.0},
             {0, 0, 0.0},
             {42, 7, 0.0},
             {kOpCal, 0, 0.0},
             {kOpCal, 33, 0.0},
             {kOpPop, 0, 0.0}});
    EXPECT_EQ(run.machine.variables[0].value, 2.0);
    EXPECT_EQ(run.machine.runErrorCount, 0);
}

TEST(StackTest, DeepestCompiledExpressionFitsTheStack) {
    // Nesting to the right keeps the most values on the stack at once: 99 nodes, 50 deep.
    std::string expression = "1";
    for (int i = 0; i < 49; ++i) expression = "1 + (" + expression + ")";
    CScriptEngine engine;
    engine.Compile(("z = " + expression + ";").c_str());
    EXPECT_EQ(engine.CompileErrorCount(), 0);
    EXPECT_EQ(RunZ(engine), 50.0);
    EXPECT_EQ(engine.RunErrorCount(), 0);
}

}  // namespace
}  // namespace velmor
