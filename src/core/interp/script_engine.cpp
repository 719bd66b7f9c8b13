#include "core/interp/script_engine.h"

#include <string>

#include "core/interp/compiler.h"
#include "core/interp/executor.h"
#include "core/interp/lexer.h"

namespace velmor {

namespace {
constexpr int kZNotLookedUp = -1;
constexpr int kZNoRoom = -2;
}  // namespace

struct CScriptEngine::State {
    CompileLog compileLog;
    IdentifierTable names;
    Lexer lexer{names, compileLog};
    Compiler compiler{names, lexer, compileLog};
    Machine machine;
    std::string listing;
    EscapeHook escape;
    // Slot of "z", looked up once per compile: the table changes only by compiling and by
    // entering "z" here.
    int zSlot = kZNotLookedUp;

    int ZSlot();
};

// The slot of "z", entering the name when the program never mentioned it. When the table has
// no room left for it, z cannot have been assigned: there is no slot, and no error is counted
// (that would turn a finished compile into a failed one).
int CScriptEngine::State::ZSlot() {
    if (zSlot >= 0) return zSlot;
    if (zSlot == kZNoRoom) return -1;
    if (names.HasRoomFor("z")) {
        zSlot = names.Intern("z", compileLog);
        return zSlot;
    }
    zSlot = kZNoRoom;
    return -1;
}

CScriptEngine::CScriptEngine() : m_state(new State) {}

CScriptEngine::~CScriptEngine() {
    delete m_state;
}

void CScriptEngine::Compile(const char* source) {
    State& s = *m_state;
    s.listing.clear();
    s.machine.runMessages.Clear();
    s.compiler.Compile(source);
    PrepareRun(s.compiler.Code(), s.compiler.InstructionCount(), s.machine);
    s.zSlot = kZNotLookedUp;
    // Nothing of the previous program's runs may pass for a result of this one.
    for (Variable& v : s.machine.variables) v = Variable{0.0, 0};
    s.machine.runErrorCount = 0;
}

int CScriptEngine::InstructionCount() const {
    return m_state->compiler.InstructionCount();
}

void CScriptEngine::DiscardInstructions() {
    m_state->compiler.DiscardInstructions();
    PrepareRun(m_state->compiler.Code(), 0, m_state->machine);
}

int CScriptEngine::CompileErrorCount() const {
    return m_state->compileLog.errorCount;
}

void CScriptEngine::MakeListing() {
    const Compiler& compiler = m_state->compiler;
    velmor::MakeListing(compiler.Code(), compiler.InstructionCount(), m_state->names,
                        &m_state->listing);
}

void CScriptEngine::SetInputs(double x, double y) {
    m_state->machine.inputX = x;
    m_state->machine.inputY = y;
}

void CScriptEngine::Run(bool verbose) {
    State& s = *m_state;
    s.compileLog.messages.Clear();
    s.listing.clear();
    s.machine.runMessages.Clear();
    if (verbose) s.compileLog.errorCount = 0;

    RunSetup setup;
    setup.names = &s.names;
    // One slot more than there are names, for a "z" entered after the run.
    setup.slotsInUse = s.names.Count() < kVariableSlots ? s.names.Count() + 1 : kVariableSlots;
    setup.verbose = verbose;
    setup.escape = &s.escape;
    setup.compileLog = &s.compileLog;
    Execute(setup, s.machine);
}

int CScriptEngine::RunErrorCount() const {
    return m_state->machine.runErrorCount;
}

bool CScriptEngine::ResultOfPoint(double* z) {
    State& s = *m_state;
    int slot = s.ZSlot();
    if (s.compileLog.errorCount != 0 || slot < 0 || !s.machine.variables[slot].assigned ||
        s.machine.runErrorCount != 0) {
        return false;
    }
    if (z) *z = s.machine.variables[slot].value;
    return true;
}

bool CScriptEngine::ZAssigned(double* z) {
    State& s = *m_state;
    int slot = s.ZSlot();
    if (slot < 0) {
        if (z) *z = 0.0;
        return false;
    }
    if (z) *z = s.machine.variables[slot].value;
    return s.machine.variables[slot].assigned != 0;
}

void CScriptEngine::ClearRunErrorCounters() {
    for (int& counter : m_state->machine.counters) counter = 0;
}

int CScriptEngine::RunErrorCounter(int kind) const {
    if (kind < 0 || kind >= kRunErrorKindCount) return 0;
    return m_state->machine.counters[kind];
}

void CScriptEngine::AppendErrorSummary() {
    velmor::AppendErrorSummary(m_state->machine.counters, m_state->machine.runMessages);
}

const char* CScriptEngine::CompileMessageText() const {
    return m_state->compileLog.messages.Text();
}

const char* CScriptEngine::RunMessageText() const {
    return m_state->machine.runMessages.Text();
}

const char* CScriptEngine::ListingText() const {
    return m_state->listing.c_str();
}

EscapeHook& CScriptEngine::Escape() {
    return m_state->escape;
}

void CScriptEngine::BeginEscapePass() {
    EscapeHook& escape = m_state->escape;
    if (escape.forget) escape.forget(&escape);
    escape.pressed = false;
}

}  // namespace velmor
