#include "core/interp/script_engine.h"

#include <algorithm>
#include <string>

#include "core/interp/block_executor.h"
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
    BlockMachine block;
    std::string listing;
    EscapeHook escape;
    // Slot of "z", looked up once per compile: the table changes only by compiling and by
    // entering "z" here.
    int zSlot = kZNotLookedUp;

    int ZSlot();
    RunSetup Setup(bool verbose);
    void Prepare(int instructionCount);
    void BeginRun(bool verbose);
};

RunSetup CScriptEngine::State::Setup(bool verbose) {
    RunSetup setup;
    setup.names = &names;
    // One slot more than there are names, for a "z" entered after the run.
    setup.slotsInUse = names.Count() < kVariableSlots ? names.Count() + 1 : kVariableSlots;
    setup.verbose = verbose;
    setup.escape = &escape;
    setup.compileLog = &compileLog;
    return setup;
}

void CScriptEngine::State::Prepare(int instructionCount) {
    PrepareRun(compiler.Code(), instructionCount, machine);
    block.Prepare(machine);
}

// What every run empties first; a verbose run also sets the compile error count to 0.
void CScriptEngine::State::BeginRun(bool verbose) {
    compileLog.messages.Clear();
    listing.clear();
    machine.runMessages.Clear();
    if (verbose) compileLog.errorCount = 0;
}

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
    s.Prepare(s.compiler.InstructionCount());
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
    m_state->Prepare(0);
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
    s.BeginRun(verbose);
    Execute(s.Setup(verbose), s.machine);
}

void CScriptEngine::RunPoints(std::size_t n, const double* x, const double* y, PointRun* out,
                              const PointTexts* texts) {
    if (n == 0) return;
    State& s = *m_state;
    const bool verbose = texts != nullptr && texts->point != nullptr;
    s.BeginRun(verbose);
    // z is entered before the runs rather than after the first: the slots a run clears then
    // include it all the same.
    const int zSlot = s.ZSlot();
    const RunSetup setup = s.Setup(verbose);
    // A quiet run leaves the compile error count as it is; a verbose one starts it at 0 and
    // a stack overflow raises it by one.
    const bool compiled = s.compileLog.errorCount == 0;
    const std::size_t lanes = static_cast<std::size_t>(s.block.Lanes());
    CompileLog note;
    bool overflowed = false;
    for (std::size_t at = 0; at < n; at += lanes) {
        const int k = static_cast<int>(std::min(lanes, n - at));
        s.block.Run(setup, s.machine, k, x + at, y + at);
        s.block.ReadLanes(zSlot, k, out + at);
        if (!verbose) {
            for (int l = 0; l < k; ++l) out[at + l].compiled = compiled;
            continue;
        }
        for (int l = 0; l < k; ++l) {
            overflowed = s.block.StackOverflowNoted(l);
            out[at + l].compiled = !overflowed;
            note.Clear();
            if (overflowed) note.Error("stack overflow!!!");
            texts->point(texts->context, at + l, s.block.RunMessages(l), note.messages.Text());
        }
    }
    if (overflowed) s.compileLog.Error("stack overflow!!!");
}

void CScriptEngine::SetBlockLanes(int lanes) {
    m_state->block.SetLanes(lanes);
    m_state->block.Prepare(m_state->machine);
}

int CScriptEngine::BlockLanes() const {
    return m_state->block.Lanes();
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
