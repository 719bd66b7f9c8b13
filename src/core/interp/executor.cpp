#include "core/interp/executor.h"

#include <cassert>
#include <climits>
#include <cmath>
#include <cstdio>

namespace velmor {

const char* const kRunErrorNames[kRunErrorKindCount] = {
    "ABORT (key ESC)",         // kRunErrorAbort
    "stack overflow !!!",      // kRunErrorStackOverflow
    "uninitialized variable",  // kRunErrorUninitialized
    "Divided 0",               // kRunErrorDivideByZero
    "sqrt(negative)",          // kRunErrorSqrt
    "ln(0 or negative)",       // kRunErrorLn
    "log(0 or negative)",      // kRunErrorLog
    "log10(0 or negative)",    // kRunErrorLog10
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
};

namespace {

// Counts one fault of `kind` in the run and in the per-kind counters; in a verbose run also
// writes its message. Kept out of line: faults are the rare path.
[[gnu::noinline, gnu::cold]] void Fault(const RunSetup& setup, Machine& m, int kind,
                                        int ident = 0) {
    if (m.runErrorCount < INT_MAX) ++m.runErrorCount;
    if (m.counters[kind] < INT_MAX) ++m.counters[kind];
    if (!setup.verbose) return;
    if (kind == kRunErrorStackOverflow) {
        setup.compileLog->Error("stack overflow!!!");
    } else {
        AppendFaultText(m.runMessages, *setup.names, kind, ident);
    }
}

// a / b with the division fault: a divisor of 0 counts one fault and is taken as 1e-15. Every
// division of a run goes through here.
[[gnu::always_inline]] inline double Divide(const RunSetup& setup, Machine& m, double a, double b) {
    if (b == 0.0) {
        Fault(setup, m, kRunErrorDivideByZero);
        b = kDivisorForZero;
    }
    return a / b;
}

// The fused key for a push followed by `next`, or kStepNothing when they do not fuse.
uint32_t FusedKey(bool variable, const Instruction& next) {
    if (next.op == kOpPop) return variable ? kStepNothing : kStepAssignValue;
    if (next.op != kOpCal) return kStepNothing;
    uint32_t base = variable ? kStepAddVariable : kStepAddValue;
    // clang-format off
    switch (next.operand) {
        case kSubAdd: return base;
        case kSubSub: return base + 1;
        case kSubMul: return base + 2;
        case kSubDiv: return base + 3;
        default: return kStepNothing;
    }
    // clang-format on
}

}  // namespace

void AppendFaultText(MessageText& text, const IdentifierTable& names, int kind, int ident) {
    if (kind == kRunErrorUninitialized) {
        AppendUninitializedNote(text, names.Name(ident));
        return;
    }
    text.Append(kRunErrorNames[kind]);
    text.Append("\r\n");
}

void PrepareRun(const Instruction* code, int count, Machine& m) {
    if (count < 0) count = 0;
    if (count > kCodeAreaSize) count = kCodeAreaSize;
    int stepAt[kCodeAreaSize + 1];  // instruction index -> its step (or the next one)
    int n = 0;
    for (int i = 0; i < count; ++i) {
        stepAt[i] = n;
        const Instruction& in = code[i];
        Step& step = m.steps[n];
        step = Step{kStepNothing, 0, nullptr, 0.0};
        bool variable = false;
        // clang-format off
        switch (in.op) {
            case kOpPop:       step.key = kStepPop;          step.arg = in.operand; break;
            case kOpPushIdent: step.key = kStepPushVariable; step.arg = in.operand;
                               variable = true; break;
            case kOpPushNum:   step.key = kStepPushValue;    step.number = in.number; break;
            case kOpPushPi:    step.key = kStepPushValue;    step.number = kPi; break;
            case kOpPushX:     step.key = kStepPushValue;    step.operand = &m.inputX; break;
            case kOpPushY:     step.key = kStepPushValue;    step.operand = &m.inputY; break;
            case kOpCal:
                if (in.operand > 0 && in.operand < kSubCodeCount) {
                    step.key = Cal(SubCode(in.operand));
                }
                break;
            case kOpJump:      step.key = kStepJump;         step.arg = in.operand; break;
            case kOpJumpFalse: step.key = kStepJumpFalse;    step.arg = in.operand; break;
            default: break;  // LBL and unknown op codes do nothing
        }
        // clang-format on
        if (step.key == kStepNothing) continue;
        if (step.key == kStepPushValue && !step.operand) step.operand = &step.number;
        if ((step.key == kStepPushVariable || step.key == kStepPushValue) && i + 1 < count) {
            uint32_t fused = FusedKey(variable, code[i + 1]);
            if (fused != kStepNothing) {
                step.key = fused;
                if (fused == kStepAssignValue) step.arg = code[i + 1].operand;
                stepAt[++i] = n;
            }
        }
        ++n;
    }
    stepAt[count] = n;
    // A jump names the index of its LBL instruction; the run continues after that label.
    // Compiled jumps always go forward; anything else is made to, so every run ends.
    for (int s = 0; s < n; ++s) {
        Step& step = m.steps[s];
        if (step.key != kStepJump && step.key != kStepJumpFalse) continue;
        int target = step.arg >= 0 && step.arg < count ? stepAt[step.arg + 1] : n;
        step.arg = target > s ? target : s + 1;
    }
    m.stepCount = n;
}

void Execute(const RunSetup& setup, Machine& m) {
    for (int i = 0; i < setup.slotsInUse; ++i) m.variables[i] = Variable{0.0, 0};
    m.runErrorCount = 0;
    EscapeHook& escape = *setup.escape;
    if (escape.poll) escape.poll(&escape);

    const Step* const steps = m.steps;
    const int count = m.stepCount;
    Variable* const vars = m.variables;
    // The top of the stack is kept in `top`; the entries below it are spill[1..depth-1].
    // spill[0] only ever receives the meaningless top of an empty stack.
    double* const spill = m.stack;
    double top = 0.0;
    int depth = 0;

    // Every push checks the limit first: past 200 entries nothing is written.
#define VELMOR_PUSH(value)                           \
    do {                                             \
        if (depth >= kValueStackSize) goto overflow; \
        spill[depth++] = top;                        \
        top = (value);                               \
    } while (0)
    // Two-operand sub-codes: a is the entry below the top, b the top; the result replaces both.
#define VELMOR_BINARY(expression)        \
    do {                                 \
        assert(depth >= 2);              \
        const double a = spill[--depth]; \
        const double b = top;            \
        top = (expression);              \
    } while (0)
    // A variable read: 0 (its cleared value) and a fault when it was not assigned in this run.
#define VELMOR_READ_VARIABLE(name)                         \
    assert(step.arg >= 0 && step.arg < kVariableSlots);    \
    const Variable& name##Slot = vars[step.arg];           \
    double name = name##Slot.value;                        \
    if (!name##Slot.assigned) {                            \
        name = 0.0;                                        \
        Fault(setup, m, kRunErrorUninitialized, step.arg); \
    }

    for (int pc = 0; pc < count;) {
        if (escape.pressed) {
            Fault(setup, m, kRunErrorAbort);
            return;
        }
        const Step& step = steps[pc++];
        // clang-format off
        switch (step.key) {
            case kStepPop:
                assert(depth >= 1 && step.arg >= 0 && step.arg < kVariableSlots);
                vars[step.arg].value = top;
                vars[step.arg].assigned = 1;
                top = spill[--depth];
                break;
            case kStepPushVariable: {
                if (depth >= kValueStackSize) goto overflow;
                VELMOR_READ_VARIABLE(b);
                VELMOR_PUSH(b);
                break;
            }
            case kStepPushValue: VELMOR_PUSH(*step.operand); break;
            case kStepJump:
                assert(step.arg >= pc && step.arg <= count);
                pc = step.arg;
                break;
            case kStepJumpFalse: {
                assert(depth >= 1 && step.arg >= pc && step.arg <= count);
                const double condition = top;
                top = spill[--depth];
                if (condition == 0.0) pc = step.arg;
                break;
            }

            case Cal(kSubAdd): VELMOR_BINARY(a + b); break;
            case Cal(kSubSub): VELMOR_BINARY(a - b); break;
            case Cal(kSubMul): VELMOR_BINARY(a * b); break;
            case Cal(kSubDiv): VELMOR_BINARY(Divide(setup, m, a, b)); break;
            case Cal(kSubNeg): top = -top; break;
            case Cal(kSubEq): VELMOR_BINARY(a == b ? 1.0 : 0.0); break;
            case Cal(kSubNe): VELMOR_BINARY(a != b ? 1.0 : 0.0); break;
            case Cal(kSubGt): VELMOR_BINARY(a > b ? 1.0 : 0.0); break;
            case Cal(kSubGe): VELMOR_BINARY(a >= b ? 1.0 : 0.0); break;
            case Cal(kSubLt): VELMOR_BINARY(a < b ? 1.0 : 0.0); break;
            case Cal(kSubLe): VELMOR_BINARY(a <= b ? 1.0 : 0.0); break;
            case Cal(kSubAnd): VELMOR_BINARY(a != 0.0 && b != 0.0 ? 1.0 : 0.0); break;
            case Cal(kSubOr): VELMOR_BINARY(a == 0.0 && b == 0.0 ? 0.0 : 1.0); break;
            case Cal(kSubNot): top = top == 0.0 ? 1.0 : 0.0; break;
            case Cal(kSubSin): top = std::sin(top); break;
            case Cal(kSubCos): top = std::cos(top); break;
            case Cal(kSubTan): top = std::tan(top); break;
            case Cal(kSubAsin): top = std::asin(top); break;
            case Cal(kSubAcos): top = std::acos(top); break;
            case Cal(kSubAtan): top = std::atan(top); break;
            case Cal(kSubSinh): top = std::sinh(top); break;
            case Cal(kSubCosh): top = std::cosh(top); break;
            case Cal(kSubTanh): top = std::tanh(top); break;
            case Cal(kSubExp): top = std::exp(top); break;
            // "Not above 0" includes not-a-number; the result is the logarithm all the same.
            case Cal(kSubLn):
                if (!(top > 0.0)) Fault(setup, m, kRunErrorLn);
                top = std::log(top);
                break;
            case Cal(kSubLog):
                if (!(top > 0.0)) Fault(setup, m, kRunErrorLog);
                top = std::log(top);
                break;
            case Cal(kSubLog10):
                if (!(top > 0.0)) Fault(setup, m, kRunErrorLog10);
                top = std::log10(top);
                break;
            case Cal(kSubPow): VELMOR_BINARY(std::pow(a, b)); break;
            case Cal(kSubSqrt):
                if (top < 0.0) Fault(setup, m, kRunErrorSqrt);
                top = std::sqrt(top);
                break;
            case Cal(kSubAbs): top = std::fabs(top); break;
            case Cal(kSubMax): VELMOR_BINARY(a > b ? a : b); break;
            case Cal(kSubMin): VELMOR_BINARY(b > a ? a : b); break;

            // A push fused with the + - * / that pops it again: the push's limit check and
            // fault come first, as they would one instruction at a time.
            case kStepAddVariable: {
                if (depth >= kValueStackSize) goto overflow;
                VELMOR_READ_VARIABLE(b);
                top = top + b;
                break;
            }
            case kStepSubVariable: {
                if (depth >= kValueStackSize) goto overflow;
                VELMOR_READ_VARIABLE(b);
                top = top - b;
                break;
            }
            case kStepMulVariable: {
                if (depth >= kValueStackSize) goto overflow;
                VELMOR_READ_VARIABLE(b);
                top = top * b;
                break;
            }
            case kStepDivVariable: {
                if (depth >= kValueStackSize) goto overflow;
                VELMOR_READ_VARIABLE(b);
                top = Divide(setup, m, top, b);
                break;
            }
            case kStepAddValue:
                if (depth >= kValueStackSize) goto overflow;
                top = top + *step.operand;
                break;
            case kStepSubValue:
                if (depth >= kValueStackSize) goto overflow;
                top = top - *step.operand;
                break;
            case kStepMulValue:
                if (depth >= kValueStackSize) goto overflow;
                top = top * *step.operand;
                break;
            case kStepDivValue:
                if (depth >= kValueStackSize) goto overflow;
                top = Divide(setup, m, top, *step.operand);
                break;
            case kStepAssignValue:
                if (depth >= kValueStackSize) goto overflow;
                assert(step.arg >= 0 && step.arg < kVariableSlots);
                vars[step.arg].value = *step.operand;
                vars[step.arg].assigned = 1;
                break;
            default: break;
        }
        // clang-format on
    }
    return;

overflow:
    // A push past the stack's 200 entries: nothing is written and the run stops.
    Fault(setup, m, kRunErrorStackOverflow);
#undef VELMOR_PUSH
#undef VELMOR_BINARY
#undef VELMOR_READ_VARIABLE
}

void AppendErrorSummary(const int (&counters)[kRunErrorKindCount], MessageText& text) {
    long long sum = 0;
    for (int count : counters) sum += count;
    if (sum <= 0) return;
    char row[96];
    std::snprintf(row, sizeof(row), "%-32s %s\r\n", "(execution error)", "(# occurred)");
    text.Append(row);
    for (int kind = 0; kind < kRunErrorKindCount; ++kind) {
        if (counters[kind] <= 0) continue;
        std::snprintf(row, sizeof(row), "%-32s %d\r\n", kRunErrorNames[kind], counters[kind]);
        text.Append(row);
    }
}

}  // namespace velmor
