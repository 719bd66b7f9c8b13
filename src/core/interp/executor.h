// Executor of the surface script: runs the intermediate code once per input point on a stack
// of doubles, counting every fault and giving it a defined result so the run goes on.
#pragma once

#include "interp/lexer.h"
#include "interp/message_text.h"
#include "interp/opcodes.h"
#include "interp/script_engine.h"

namespace velmor {

struct Variable {
    double value;
    int32_t assigned;
};

// Everything a run reads and writes besides the code. Fixed tables only: a run allocates
// nothing.
struct Machine {
    double inputX = 0.0;
    double inputY = 0.0;
    Variable variables[kVariableSlots] = {};
    double stack[kValueStackSize] = {};
    int runErrorCount = 0;
    int counters[kRunErrorKindCount] = {};  // per-kind, summed over runs until cleared
    MessageText runMessages;
};

// What a run needs besides the machine.
struct RunSetup {
    const Instruction* code;
    int count;
    const IdentifierTable* names;  // names of uninitialised variables in verbose messages
    int slotsInUse;                // variable slots to clear (the others are never referenced)
    bool verbose;
    EscapeHook* escape;
    CompileLog* compileLog;        // receives the stack-overflow message of a verbose run
};

// Runs the program once: clears the slots and the run error count, polls the Escape hook,
// then executes until the last instruction or an Escape abort.
void Execute(const RunSetup& setup, Machine& machine);

// Report names of the per-kind counters, in counter order ("" for the unused kinds).
extern const char* const kRunErrorNames[kRunErrorKindCount];

// Appends the error summary rows to `text` when any counter is above 0.
void AppendErrorSummary(const int (&counters)[kRunErrorKindCount], MessageText& text);

}  // namespace velmor
