// Executor of the surface script: runs the intermediate code once per input point on a stack
// of doubles, counting every fault and giving it a defined result so the run goes on.
#pragma once

#include "core/interp/lexer.h"
#include "core/interp/message_text.h"
#include "core/interp/opcodes.h"
#include "core/interp/script_engine.h"

namespace velmor {

struct Variable {
    double value;
    int32_t assigned;
};

// a / b with a divisor of 0 is a division fault and divides by this instead.
inline constexpr double kDivisorForZero = 1e-15;

// Step keys. ORDER STEP: the plain keys mirror the op codes, then one key per CAL sub-code,
// then the fused forms. The point and the block executor both dispatch on them.
enum StepKey : uint32_t {
    kStepNothing = 0,
    kStepPop = kOpPop,
    kStepPushVariable = kOpPushIdent,
    kStepPushValue = kOpPushNum,  // number, pi, x or y through `operand`
    kStepJump = kOpJump,
    kStepJumpFalse = kOpJumpFalse,
    kStepCal = 16,                                // + sub-code
    kStepAddVariable = kStepCal + kSubCodeCount,  // a op (variable)
    kStepSubVariable,
    kStepMulVariable,
    kStepDivVariable,
    kStepAddValue,  // a op *operand
    kStepSubValue,
    kStepMulValue,
    kStepDivValue,
    kStepAssignValue,  // variable = *operand
};

constexpr uint32_t Cal(SubCode sub) {
    return kStepCal + static_cast<uint32_t>(sub);
}

// One step of a run: an instruction of the code area decoded into a single dispatch key, or
// a push fused with the instruction that consumes the pushed value (see PrepareRun).
struct Step {
    uint32_t key;
    int32_t arg;            // variable slot, or the step to continue at after a jump
    const double* operand;  // value pushed by a fused or plain push of a number, pi, x or y
    double number;          // the number or pi that `operand` points at
};

// Everything a run reads and writes. Fixed tables only: a run allocates nothing. The steps
// point into the machine itself, so a machine is never copied.
struct Machine {
    Machine() = default;
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    double inputX = 0.0;
    double inputY = 0.0;
    Variable variables[kVariableSlots] = {};
    double stack[kValueStackSize] = {};
    int runErrorCount = 0;
    int counters[kRunErrorKindCount] = {};  // per-kind, summed over runs until cleared
    MessageText runMessages;
    Step steps[kCodeAreaSize] = {};
    int stepCount = 0;
};

// Decodes the code once per compiled program into the machine's steps. LBL instructions
// become nothing (a jump continues at the step after its label), and a push followed by
// + - * / or by POP becomes one step; faults, their order and the stack limit stay exactly
// those of the instructions one by one.
void PrepareRun(const Instruction* code, int count, Machine& machine);

// What a run needs besides the machine.
struct RunSetup {
    const IdentifierTable* names;  // names of uninitialised variables in verbose messages
    int slotsInUse;                // variable slots to clear (the others are never referenced)
    bool verbose;
    EscapeHook* escape;      // `pressed` is tested before every step
    CompileLog* compileLog;  // receives the stack-overflow message of a verbose run
};

// Runs the prepared program once: clears the slots and the run error count, polls the Escape
// hook, then executes until the last step or an Escape abort.
void Execute(const RunSetup& setup, Machine& machine);

// Appends the words a verbose run writes into its run message text for a fault of `kind`
// (the uninitialised-variable note names identifier `ident`). Not for the stack overflow,
// whose note goes to the compile log.
void AppendFaultText(MessageText& text, const IdentifierTable& names, int kind, int ident);

// Report names of the per-kind counters, in counter order ("" for the unused kinds).
extern const char* const kRunErrorNames[kRunErrorKindCount];

// Appends the error summary rows to `text` when any counter is above 0.
void AppendErrorSummary(const int (&counters)[kRunErrorKindCount], MessageText& text);

}  // namespace velmor
