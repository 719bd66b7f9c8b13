#include "interp/executor.h"

#include <cassert>
#include <climits>
#include <cmath>
#include <cstdio>

namespace velmor {

const char* const kRunErrorNames[kRunErrorKindCount] = {
    "ABORT (key ESC)",       // kRunErrorAbort
    "stack overflow !!!",    // kRunErrorStackOverflow
    "uninitialized variable",// kRunErrorUninitialized
    "Divided 0",             // kRunErrorDivideByZero
    "sqrt(negative)",        // kRunErrorSqrt
    "ln(0 or negative)",     // kRunErrorLn
    "log(0 or negative)",    // kRunErrorLog
    "log10(0 or negative)",  // kRunErrorLog10
    "", "", "", "", "", "", "", "",
};

namespace {

constexpr double kDivisorForZero = 1e-15;

// Counts one fault of `kind` in the run and in the per-kind counters; in a verbose run also
// writes its message. Kept out of line: faults are the rare path.
[[gnu::noinline, gnu::cold]] void Fault(const RunSetup& setup, Machine& m, int kind,
                                        int ident = 0) {
    if (m.runErrorCount < INT_MAX) ++m.runErrorCount;
    if (m.counters[kind] < INT_MAX) ++m.counters[kind];
    if (!setup.verbose) return;
    switch (kind) {
        case kRunErrorUninitialized:
            m.runMessages.Append(setup.names->Name(ident));
            m.runMessages.Append(": uninitialized. (assume 0.0)\r\n");
            break;
        case kRunErrorStackOverflow:
            setup.compileLog->Error("stack overflow!!!");
            break;
        default:
            m.runMessages.Append(kRunErrorNames[kind]);
            m.runMessages.Append("\r\n");
            break;
    }
}

}  // namespace

void Execute(const RunSetup& setup, Machine& m) {
    for (int i = 0; i < setup.slotsInUse; ++i) m.variables[i] = Variable{0.0, 0};
    m.runErrorCount = 0;
    EscapeHook& escape = *setup.escape;
    if (escape.poll) escape.poll(&escape);

    const Instruction* const code = setup.code;
    const int count = setup.count;
    Variable* const vars = m.variables;
    double* const stack = m.stack;
    int top = -1;

    for (int pc = 0; pc < count; ++pc) {
        if (escape.pressed) {
            Fault(setup, m, kRunErrorAbort);
            return;
        }
        const Instruction& in = code[pc];
        switch (in.op) {
            case kOpPop:
                assert(top >= 0 && in.operand >= 0 && in.operand < kVariableSlots);
                vars[in.operand].value = stack[top--];
                vars[in.operand].assigned = 1;
                break;
            case kOpPushIdent: {
                if (top + 1 >= kValueStackSize) goto overflow;
                assert(in.operand >= 0 && in.operand < kVariableSlots);
                const Variable& v = vars[in.operand];
                if (v.assigned) {
                    stack[++top] = v.value;
                } else {
                    stack[++top] = 0.0;
                    Fault(setup, m, kRunErrorUninitialized, in.operand);
                }
                break;
            }
            case kOpPushNum:
                if (top + 1 >= kValueStackSize) goto overflow;
                stack[++top] = in.number;
                break;
            case kOpPushPi:
                if (top + 1 >= kValueStackSize) goto overflow;
                stack[++top] = kPi;
                break;
            case kOpPushX:
                if (top + 1 >= kValueStackSize) goto overflow;
                stack[++top] = m.inputX;
                break;
            case kOpPushY:
                if (top + 1 >= kValueStackSize) goto overflow;
                stack[++top] = m.inputY;
                break;
            case kOpCal: {
                // Two-operand sub-codes pop b and replace a; one-operand ones replace the top.
                assert(top >= 0);
                double& t = stack[top];
                switch (in.operand) {
                    case kSubAdd: assert(top >= 1); stack[top - 1] += t; --top; break;
                    case kSubSub: assert(top >= 1); stack[top - 1] -= t; --top; break;
                    case kSubMul: assert(top >= 1); stack[top - 1] *= t; --top; break;
                    case kSubDiv: {
                        assert(top >= 1);
                        double b = t;
                        if (b == 0.0) {
                            Fault(setup, m, kRunErrorDivideByZero);
                            b = kDivisorForZero;
                        }
                        stack[top - 1] /= b;
                        --top;
                        break;
                    }
                    case kSubNeg: t = -t; break;
                    case kSubEq: assert(top >= 1); stack[top - 1] = stack[top - 1] == t ? 1.0 : 0.0; --top; break;
                    case kSubNe: assert(top >= 1); stack[top - 1] = stack[top - 1] != t ? 1.0 : 0.0; --top; break;
                    case kSubGt: assert(top >= 1); stack[top - 1] = stack[top - 1] > t ? 1.0 : 0.0; --top; break;
                    case kSubGe: assert(top >= 1); stack[top - 1] = stack[top - 1] >= t ? 1.0 : 0.0; --top; break;
                    case kSubLt: assert(top >= 1); stack[top - 1] = stack[top - 1] < t ? 1.0 : 0.0; --top; break;
                    case kSubLe: assert(top >= 1); stack[top - 1] = stack[top - 1] <= t ? 1.0 : 0.0; --top; break;
                    case kSubAnd:
                        assert(top >= 1);
                        stack[top - 1] = stack[top - 1] != 0.0 && t != 0.0 ? 1.0 : 0.0;
                        --top;
                        break;
                    case kSubOr:
                        assert(top >= 1);
                        stack[top - 1] = stack[top - 1] == 0.0 && t == 0.0 ? 0.0 : 1.0;
                        --top;
                        break;
                    case kSubNot: t = t == 0.0 ? 1.0 : 0.0; break;
                    case kSubSin: t = std::sin(t); break;
                    case kSubCos: t = std::cos(t); break;
                    case kSubTan: t = std::tan(t); break;
                    case kSubAsin: t = std::asin(t); break;
                    case kSubAcos: t = std::acos(t); break;
                    case kSubAtan: t = std::atan(t); break;
                    case kSubSinh: t = std::sinh(t); break;
                    case kSubCosh: t = std::cosh(t); break;
                    case kSubTanh: t = std::tanh(t); break;
                    case kSubExp: t = std::exp(t); break;
                    // "Not above 0" includes not-a-number; the result is the logarithm still.
                    case kSubLn:
                        if (!(t > 0.0)) Fault(setup, m, kRunErrorLn);
                        t = std::log(t);
                        break;
                    case kSubLog:
                        if (!(t > 0.0)) Fault(setup, m, kRunErrorLog);
                        t = std::log(t);
                        break;
                    case kSubLog10:
                        if (!(t > 0.0)) Fault(setup, m, kRunErrorLog10);
                        t = std::log10(t);
                        break;
                    case kSubPow: assert(top >= 1); stack[top - 1] = std::pow(stack[top - 1], t); --top; break;
                    case kSubSqrt:
                        if (t < 0.0) Fault(setup, m, kRunErrorSqrt);
                        t = std::sqrt(t);
                        break;
                    case kSubAbs: t = std::fabs(t); break;
                    case kSubMax: {
                        assert(top >= 1);
                        double a = stack[top - 1];
                        stack[top - 1] = a > t ? a : t;
                        --top;
                        break;
                    }
                    case kSubMin: {
                        assert(top >= 1);
                        double a = stack[top - 1];
                        stack[top - 1] = t > a ? a : t;
                        --top;
                        break;
                    }
                    default: break;
                }
                break;
            }
            case kOpLabel: break;
            case kOpJump:
                assert(in.operand >= pc && in.operand < count);
                pc = in.operand;
                break;
            case kOpJumpFalse:
                assert(top >= 0 && in.operand >= pc && in.operand < count);
                if (stack[top--] == 0.0) pc = in.operand;
                break;
            default: break;
        }
    }
    return;

overflow:
    // A push past the stack's 200 entries: the value is not written and the run stops.
    Fault(setup, m, kRunErrorStackOverflow);
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
