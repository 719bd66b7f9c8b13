// Built with -ffp-contract=off and without any fast-math option (core/CMakeLists.txt): every
// lane must round exactly as the point executor does, one operation at a time, and call the
// same C library functions.
#include "core/interp/block_executor.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace velmor {

namespace {

// A value over the lanes of a block: one number per lane, or one number every lane holds.
struct LaneValues {
    const double* data = nullptr;  // nullptr: every lane holds `scalar`
    double scalar = 0.0;
};

LaneValues Shared(double value) {
    return {nullptr, value};
}
LaneValues PerLane(const double* data) {
    return {data, 0.0};
}

// Where a variable was assigned in the run so far.
enum Assignment : uint8_t { kAssignedNowhere, kAssignedEverywhere, kAssignedSomewhere };

struct BlockVariable {
    double* lanes = nullptr;           // the lanes' values, unless `shared`
    uint8_t* assignedLanes = nullptr;  // per lane, when kAssignedSomewhere
    bool shared = true;                // every lane holds `scalar`
    double scalar = 0.0;               // (a lane not assigned always holds 0)
    Assignment assigned = kAssignedNowhere;
};

// The lanes a step runs on: every lane of [lo, hi), or there only the marked ones.
struct Span {
    int lo, hi;
    const uint8_t* mark;  // nullptr: all of [lo, hi)
};

// What a step pushes besides variables.
enum OperandKind : uint8_t { kOperandNumber, kOperandX, kOperandY };

// The step loops. Each computes one operation per lane, as the point executor does.
template <class Op>
LaneValues Apply2(const Span& s, double* out, LaneValues a, LaneValues b, Op op) {
    if (!a.data && !b.data) return Shared(op(a.scalar, b.scalar));
    const double* pa = a.data;
    const double* pb = b.data;
    const double sa = a.scalar, sb = b.scalar;
    const int lo = s.lo, hi = s.hi;
    if (!s.mark) {
        if (pa && pb) {
            for (int l = lo; l < hi; ++l) out[l] = op(pa[l], pb[l]);
        } else if (pa) {
            for (int l = lo; l < hi; ++l) out[l] = op(pa[l], sb);
        } else {
            for (int l = lo; l < hi; ++l) out[l] = op(sa, pb[l]);
        }
    } else {
        const uint8_t* mark = s.mark;
        for (int l = lo; l < hi; ++l) {
            if (mark[l]) out[l] = op(pa ? pa[l] : sa, pb ? pb[l] : sb);
        }
    }
    return PerLane(out);
}

template <class Op>
LaneValues Apply1(const Span& s, double* out, LaneValues a, Op op) {
    if (!a.data) return Shared(op(a.scalar));
    const double* pa = a.data;
    const int lo = s.lo, hi = s.hi;
    if (!s.mark) {
        for (int l = lo; l < hi; ++l) out[l] = op(pa[l]);
    } else {
        const uint8_t* mark = s.mark;
        for (int l = lo; l < hi; ++l) {
            if (mark[l]) out[l] = op(pa[l]);
        }
    }
    return PerLane(out);
}

// Whether `bad` holds for any of data[lo, hi). Written as an OR of the bits of 1.0 or 0.0 so
// that it vectorises like the step loops.
template <class Bad>
bool AnyLane(const double* data, int lo, int hi, Bad bad) {
    std::uint64_t any = 0;
    for (int l = lo; l < hi; ++l) {
        const double found = bad(data[l]) ? 1.0 : 0.0;
        std::uint64_t bits;
        std::memcpy(&bits, &found, sizeof bits);
        any |= bits;
    }
    return any != 0;
}

// out = v on the span's lanes.
void CopyLanes(const Span& s, double* out, LaneValues v) {
    if (v.data) {
        Apply1(s, out, v, [](double p) { return p; });
        return;
    }
    for (int l = s.lo; l < s.hi; ++l) {
        if (!s.mark || s.mark[l]) out[l] = v.scalar;
    }
}

struct FreeMemory {
    void operator()(void* p) const { std::free(p); }
};

template <class T>
std::unique_ptr<T[], FreeMemory> ZeroedArray(std::size_t count) {
    void* p = std::calloc(count, sizeof(T));
    if (!p) throw std::bad_alloc();
    return std::unique_ptr<T[], FreeMemory>(static_cast<T*>(p));
}

bool BinarySub(int sub) {
    return (sub >= kSubAdd && sub <= kSubDiv) || (sub >= kSubEq && sub <= kSubOr) ||
           sub == kSubPow || sub == kSubMax || sub == kSubMin;
}

}  // namespace

struct BlockMachine::State {
    explicit State(int laneCount) { Allocate(laneCount); }
    void Allocate(int laneCount);

    // ---- the prepared program
    const Machine* machine = nullptr;
    int stepCount = 0;
    bool blockable = false;
    int maxSlot = -1;
    std::vector<int> depthAt;          // stack depth before each step (-1: never reached)
    std::vector<uint8_t> operandKind;  // per step with an operand

    // ---- storage: one number per lane for every variable slot and stack entry
    int lanes = 0;
    std::unique_ptr<double[], FreeMemory> numbers;
    std::unique_ptr<uint8_t[], FreeMemory> assignedMarks;
    BlockVariable vars[kVariableSlots];
    double* own[kValueStackSize];         // each stack entry's lanes
    LaneValues entries[kValueStackSize];  // what each entry holds: its own lanes, a
                                          // variable's, an input's, or a shared number
    std::vector<int> errors;              // per lane: run error count
    std::vector<int> pc;                  // per waiting lane: the step it waits at
    std::vector<uint8_t> active;          // per lane: in the group that runs
    std::vector<uint8_t> waiting;         // per lane: waiting at pc[lane]
    int waitingCount = 0;
    std::vector<uint8_t> overflowNoted;   // per lane (verbose)
    std::vector<uint8_t> pressedAtStart;  // per lane: the Escape flag after its poll
    std::vector<MessageText> messages;    // per lane (verbose), sized at the first one

    // ---- the run in progress
    const RunSetup* setup = nullptr;
    Machine* m = nullptr;
    int n = 0;
    const double* inX = nullptr;
    const double* inY = nullptr;
    bool verbose = false;
    bool pressedAfterPolls = false;
    // The group: the lanes that run together now, at one step and one stack depth.
    int lo = 0, hi = 0, count = 0;
    int depth = 0;

    void Prepare(const Machine& machine);
    void Run(const RunSetup& setup, Machine& m, int n, const double* x, const double* y);
    void RunEachLane();

    Span Lanes() const { return {lo, hi, count == hi - lo ? nullptr : active.data()}; }
    void Rebound();
    int NextWaiting() const;
    bool PickGroup(int* start);
    void RunGroup(int s);
    void Join(int s);
    void Park(int target);
    void FinishGroup();
    void AbortAll();
    void Materialize(int d);
    void MaterializeAll();

    void Fault(int lane, int kind, int ident = 0);
    void GroupFault(int kind, int ident = 0);
    template <class Bad>
    void CheckLanes(LaneValues v, int kind, Bad bad);

    LaneValues Read(int slot);
    LaneValues Operand(const Step& step, int s) const;
    void Store(int slot, LaneValues v, int fromDepth);
    LaneValues Binary(int sub, LaneValues a, LaneValues b, double* out);
    LaneValues Unary(int sub, LaneValues a, double* out);
};

void BlockMachine::State::Allocate(int laneCount) {
    lanes = laneCount;
    const std::size_t perSlot = static_cast<std::size_t>(lanes);
    // Zeroed and untouched until used: the pages of slots and depths a program never reaches
    // cost nothing.
    numbers = ZeroedArray<double>((kVariableSlots + kValueStackSize) * perSlot);
    assignedMarks = ZeroedArray<uint8_t>(kVariableSlots * perSlot);
    for (int v = 0; v < kVariableSlots; ++v) {
        vars[v] = BlockVariable{};
        vars[v].lanes = numbers.get() + v * perSlot;
        vars[v].assignedLanes = assignedMarks.get() + v * perSlot;
    }
    for (int d = 0; d < kValueStackSize; ++d) {
        own[d] = numbers.get() + (kVariableSlots + d) * perSlot;
    }
    errors.assign(perSlot, 0);
    pc.assign(perSlot, 0);
    active.assign(perSlot, 0);
    waiting.assign(perSlot, 0);
    overflowNoted.assign(perSlot, 0);
    pressedAtStart.assign(perSlot, 0);
    messages.clear();
    messages.shrink_to_fit();
}

// The depth before every step, following the fall-through and every jump (all go forward, so
// one pass in order sees every way into a step before the step itself). A push at 200 entries
// stops the run, so nothing follows it. Any step reached at two depths, or taking more entries
// than there are, makes the program run lane by lane.
void BlockMachine::State::Prepare(const Machine& from) {
    machine = &from;
    stepCount = from.stepCount;
    depthAt.assign(static_cast<std::size_t>(stepCount) + 1, -1);
    operandKind.assign(static_cast<std::size_t>(stepCount), kOperandNumber);
    maxSlot = -1;
    blockable = true;
    depthAt[0] = 0;
    const auto reach = [&](int target, int d) {
        if (target >= stepCount) return;
        int& at = depthAt[target];
        if (at < 0) at = d;
        if (at != d) blockable = false;
    };
    for (int s = 0; s < stepCount && blockable; ++s) {
        const Step& step = from.steps[s];
        const int d = depthAt[s];
        if (d < 0) continue;
        int need = 0, after = d, target = -1;
        bool falls = true, pushes = false, slot = false;
        const uint32_t key = step.key;
        if (key == kStepPop) {
            need = 1, after = d - 1, slot = true;
        } else if (key == kStepPushVariable) {
            pushes = true, after = d + 1, slot = true;
        } else if (key == kStepPushValue) {
            pushes = true, after = d + 1;
        } else if (key == kStepJump) {
            falls = false, target = step.arg;
        } else if (key == kStepJumpFalse) {
            need = 1, after = d - 1, target = step.arg;
        } else if (key > kStepCal && key < kStepCal + kSubCodeCount) {
            const bool binary = BinarySub(static_cast<int>(key - kStepCal));
            need = binary ? 2 : 1, after = binary ? d - 1 : d;
        } else if (key >= kStepAddVariable && key <= kStepDivVariable) {
            pushes = true, need = 1, slot = true;
        } else if (key >= kStepAddValue && key <= kStepDivValue) {
            pushes = true, need = 1;
        } else if (key == kStepAssignValue) {
            pushes = true, slot = true;
        }
        if (slot) {
            if (step.arg < 0 || step.arg >= kVariableSlots) {
                blockable = false;
                break;
            }
            maxSlot = std::max(maxSlot, step.arg);
        }
        if (step.operand == &from.inputX) operandKind[s] = kOperandX;
        if (step.operand == &from.inputY) operandKind[s] = kOperandY;
        if (need > d) {
            blockable = false;
            break;
        }
        if (pushes && d >= kValueStackSize) continue;  // overflow: the run stops here
        if (falls) reach(s + 1, after);
        if (target >= 0) reach(target, after);
    }
}

void BlockMachine::State::Fault(int lane, int kind, int ident) {
    if (errors[lane] < INT_MAX) ++errors[lane];
    if (m->counters[kind] < INT_MAX) ++m->counters[kind];
    if (!verbose) return;
    if (kind == kRunErrorStackOverflow) {
        overflowNoted[lane] = 1;
    } else {
        AppendFaultText(messages[lane], *setup->names, kind, ident);
    }
}

void BlockMachine::State::GroupFault(int kind, int ident) {
    for (int l = lo; l < hi; ++l) {
        if (active[l]) Fault(l, kind, ident);
    }
}

// Counts the fault `kind` in every lane of the group whose value `bad` finds.
template <class Bad>
void BlockMachine::State::CheckLanes(LaneValues v, int kind, Bad bad) {
    if (!v.data) {
        if (bad(v.scalar)) GroupFault(kind);
        return;
    }
    if (!AnyLane(v.data, lo, hi, bad)) return;
    for (int l = lo; l < hi; ++l) {
        if (active[l] && bad(v.data[l])) Fault(l, kind);
    }
}

void BlockMachine::State::Rebound() {
    lo = n, hi = 0, count = 0;
    for (int l = 0; l < n; ++l) {
        if (!active[l]) continue;
        lo = std::min(lo, l);
        hi = l + 1;
        ++count;
    }
    if (count == 0) lo = hi = 0;
}

int BlockMachine::State::NextWaiting() const {
    int next = INT_MAX;
    if (waitingCount == 0) return next;
    for (int l = 0; l < n; ++l) {
        if (waiting[l] && pc[l] < next) next = pc[l];
    }
    return next;
}

// The group's entries into their own lanes, so that lanes joining or leaving the group find
// their stack there.
void BlockMachine::State::Materialize(int d) {
    LaneValues& entry = entries[d];
    if (entry.data == own[d]) return;
    CopyLanes(Lanes(), own[d], entry);
    entry = PerLane(own[d]);
}

void BlockMachine::State::MaterializeAll() {
    for (int d = 0; d < depth; ++d) Materialize(d);
}

// The waiting lanes at the lowest step become the group. False when no lane waits.
bool BlockMachine::State::PickGroup(int* start) {
    const int s = NextWaiting();
    if (s == INT_MAX) return false;
    for (int l = 0; l < n; ++l) {
        if (!waiting[l] || pc[l] != s) continue;
        waiting[l] = 0;
        active[l] = 1;
        --waitingCount;
    }
    Rebound();
    depth = s < stepCount ? depthAt[s] : 0;
    for (int d = 0; d < depth; ++d) entries[d] = PerLane(own[d]);
    *start = s;
    return true;
}

// Lanes waiting at step s join the group arriving there.
void BlockMachine::State::Join(int s) {
    MaterializeAll();
    for (int l = 0; l < n; ++l) {
        if (waiting[l] && pc[l] == s) {
            waiting[l] = 0;
            active[l] = 1;
            --waitingCount;
        }
    }
    Rebound();
}

// The group waits at `target` while lanes at earlier steps go first.
void BlockMachine::State::Park(int target) {
    MaterializeAll();
    for (int l = lo; l < hi; ++l) {
        if (!active[l]) continue;
        active[l] = 0;
        waiting[l] = 1;
        pc[l] = target;
        ++waitingCount;
    }
    count = 0;
}

void BlockMachine::State::FinishGroup() {
    std::fill(active.begin() + lo, active.begin() + hi, uint8_t{0});
    count = 0;
}

// Escape pressed during the run: every lane still running aborts at its next step.
void BlockMachine::State::AbortAll() {
    for (int l = 0; l < n; ++l) {
        const bool running = active[l] || (waiting[l] && pc[l] < stepCount);
        active[l] = 0;
        waiting[l] = 0;
        if (running) Fault(l, kRunErrorAbort);
    }
    count = 0;
    waitingCount = 0;
}

// A variable's values for the group; a lane where it was not assigned reads 0 (what it holds)
// with the fault.
LaneValues BlockMachine::State::Read(int slot) {
    BlockVariable& var = vars[slot];
    if (var.assigned == kAssignedNowhere) {
        GroupFault(kRunErrorUninitialized, slot);
    } else if (var.assigned == kAssignedSomewhere) {
        bool everywhere = count == n;
        for (int l = lo; l < hi; ++l) {
            if (!active[l] || var.assignedLanes[l]) continue;
            Fault(l, kRunErrorUninitialized, slot);
            everywhere = false;
        }
        if (everywhere) var.assigned = kAssignedEverywhere;  // assigned on every path taken
    }
    return var.shared ? Shared(var.scalar) : PerLane(var.lanes);
}

LaneValues BlockMachine::State::Operand(const Step& step, int s) const {
    switch (operandKind[s]) {
        case kOperandX:
            return PerLane(inX);
        case kOperandY:
            return PerLane(inY);
        default:
            return Shared(*step.operand);
    }
}

// The variable `slot` takes v in the group's lanes; `fromDepth` is the stack entry v comes
// from (-1: none).
void BlockMachine::State::Store(int slot, LaneValues v, int fromDepth) {
    BlockVariable& var = vars[slot];
    // An entry still on the stack that reads this variable keeps the values it read.
    if (!var.shared) {
        for (int d = 0; d < depth; ++d) {
            if (d != fromDepth && entries[d].data == var.lanes) Materialize(d);
        }
    }
    if (count == n) {  // every lane of the block
        if (!v.data) {
            var.shared = true;
            var.scalar = v.scalar;
        } else if (fromDepth >= 0 && v.data == own[fromDepth]) {
            std::swap(var.lanes, own[fromDepth]);  // the entry is popped: take its lanes
            var.shared = false;
        } else {
            if (v.data != var.lanes) std::memcpy(var.lanes, v.data, sizeof(double) * n);
            var.shared = false;
        }
        var.assigned = kAssignedEverywhere;
        return;
    }
    if (var.shared) {
        std::fill(var.lanes, var.lanes + n, var.scalar);
        var.shared = false;
    }
    const Span s = Lanes();
    if (v.data != var.lanes) CopyLanes(s, var.lanes, v);
    if (var.assigned == kAssignedEverywhere) return;
    if (var.assigned == kAssignedNowhere) {
        std::memset(var.assignedLanes, 0, static_cast<std::size_t>(n));
        var.assigned = kAssignedSomewhere;
    }
    for (int l = s.lo; l < s.hi; ++l) {
        if (!s.mark || s.mark[l]) var.assignedLanes[l] = 1;
    }
}

LaneValues BlockMachine::State::Binary(int sub, LaneValues a, LaneValues b, double* out) {
    const Span s = Lanes();
    // clang-format off
    switch (sub) {
        case kSubAdd: return Apply2(s, out, a, b, [](double p, double q) { return p + q; });
        case kSubSub: return Apply2(s, out, a, b, [](double p, double q) { return p - q; });
        case kSubMul: return Apply2(s, out, a, b, [](double p, double q) { return p * q; });
        case kSubDiv:
            CheckLanes(b, kRunErrorDivideByZero, [](double q) { return q == 0.0; });
            return Apply2(s, out, a, b,
                          [](double p, double q) { return p / (q == 0.0 ? kDivisorForZero : q); });
        case kSubEq: return Apply2(s, out, a, b, [](double p, double q) { return p == q ? 1.0 : 0.0; });
        case kSubNe: return Apply2(s, out, a, b, [](double p, double q) { return p != q ? 1.0 : 0.0; });
        case kSubGt: return Apply2(s, out, a, b, [](double p, double q) { return p > q ? 1.0 : 0.0; });
        case kSubGe: return Apply2(s, out, a, b, [](double p, double q) { return p >= q ? 1.0 : 0.0; });
        case kSubLt: return Apply2(s, out, a, b, [](double p, double q) { return p < q ? 1.0 : 0.0; });
        case kSubLe: return Apply2(s, out, a, b, [](double p, double q) { return p <= q ? 1.0 : 0.0; });
        case kSubAnd:
            return Apply2(s, out, a, b,
                          [](double p, double q) { return p != 0.0 && q != 0.0 ? 1.0 : 0.0; });
        case kSubOr:
            return Apply2(s, out, a, b,
                          [](double p, double q) { return p == 0.0 && q == 0.0 ? 0.0 : 1.0; });
        case kSubPow: return Apply2(s, out, a, b, [](double p, double q) { return std::pow(p, q); });
        case kSubMax: return Apply2(s, out, a, b, [](double p, double q) { return p > q ? p : q; });
        case kSubMin: return Apply2(s, out, a, b, [](double p, double q) { return q > p ? p : q; });
        default: return a;
    }
    // clang-format on
}

LaneValues BlockMachine::State::Unary(int sub, LaneValues a, double* out) {
    const Span s = Lanes();
    // "Not above 0" includes not-a-number; the result is the logarithm all the same.
    const auto notAbove0 = [](double p) { return !(p > 0.0); };
    // clang-format off
    switch (sub) {
        case kSubNeg: return Apply1(s, out, a, [](double p) { return -p; });
        case kSubNot: return Apply1(s, out, a, [](double p) { return p == 0.0 ? 1.0 : 0.0; });
        case kSubSin: return Apply1(s, out, a, [](double p) { return std::sin(p); });
        case kSubCos: return Apply1(s, out, a, [](double p) { return std::cos(p); });
        case kSubTan: return Apply1(s, out, a, [](double p) { return std::tan(p); });
        case kSubAsin: return Apply1(s, out, a, [](double p) { return std::asin(p); });
        case kSubAcos: return Apply1(s, out, a, [](double p) { return std::acos(p); });
        case kSubAtan: return Apply1(s, out, a, [](double p) { return std::atan(p); });
        case kSubSinh: return Apply1(s, out, a, [](double p) { return std::sinh(p); });
        case kSubCosh: return Apply1(s, out, a, [](double p) { return std::cosh(p); });
        case kSubTanh: return Apply1(s, out, a, [](double p) { return std::tanh(p); });
        case kSubExp: return Apply1(s, out, a, [](double p) { return std::exp(p); });
        case kSubLn:
            CheckLanes(a, kRunErrorLn, notAbove0);
            return Apply1(s, out, a, [](double p) { return std::log(p); });
        case kSubLog:
            CheckLanes(a, kRunErrorLog, notAbove0);
            return Apply1(s, out, a, [](double p) { return std::log(p); });
        case kSubLog10:
            CheckLanes(a, kRunErrorLog10, notAbove0);
            return Apply1(s, out, a, [](double p) { return std::log10(p); });
        case kSubSqrt:
            CheckLanes(a, kRunErrorSqrt, [](double p) { return p < 0.0; });
            return Apply1(s, out, a, [](double p) { return std::sqrt(p); });
        case kSubAbs: return Apply1(s, out, a, [](double p) { return std::fabs(p); });
        default: return a;
    }
    // clang-format on
}

// Runs the group from step s until its lanes end, stop, or wait for lanes at earlier steps.
void BlockMachine::State::RunGroup(int s) {
    const Step* const steps = machine->steps;
    const EscapeHook& escape = *setup->escape;
    int nextWaiting = NextWaiting();
    while (count > 0) {
        if (s >= stepCount) {
            FinishGroup();
            return;
        }
        if (s == nextWaiting) {
            Join(s);
            nextWaiting = NextWaiting();
        }
        // A press after the polls (not by them) aborts every lane still running.
        if (escape.pressed && !pressedAfterPolls) {
            AbortAll();
            return;
        }
        assert(depth == depthAt[s]);
        const int at = s;
        const Step& step = steps[s++];
        const uint32_t key = step.key;
        int target = -1;  // all lanes jump there
        if (key == kStepPop) {
            --depth;
            Store(step.arg, entries[depth], depth);
        } else if (key == kStepPushVariable || key == kStepPushValue) {
            if (depth >= kValueStackSize) {
                GroupFault(kRunErrorStackOverflow);
                FinishGroup();
                return;
            }
            entries[depth] = key == kStepPushValue ? Operand(step, at) : Read(step.arg);
            ++depth;
        } else if (key == kStepJump) {
            target = step.arg;
        } else if (key == kStepJumpFalse) {
            const LaneValues condition = entries[--depth];
            if (!condition.data) {
                if (condition.scalar == 0.0) target = step.arg;
            } else {
                const double* c = condition.data;
                const auto zero = [](double v) { return v == 0.0; };
                const auto notZero = [](double v) { return v != 0.0; };
                int jumping = 0;
                if (count == hi - lo) {
                    jumping = !AnyLane(c, lo, hi, zero)      ? 0
                              : !AnyLane(c, lo, hi, notZero) ? count
                                                             : -1;
                } else {
                    for (int l = lo; l < hi; ++l) jumping += active[l] && c[l] == 0.0;
                }
                if (jumping == count) {
                    target = step.arg;
                } else if (jumping != 0) {
                    // The lanes split: those whose condition is 0 wait at the target.
                    MaterializeAll();
                    for (int l = lo; l < hi; ++l) {
                        if (!active[l] || condition.data[l] != 0.0) continue;
                        active[l] = 0;
                        waiting[l] = 1;
                        pc[l] = step.arg;
                        ++waitingCount;
                    }
                    Rebound();
                    nextWaiting = std::min(nextWaiting, step.arg);
                }
            }
        } else if (key > kStepCal && key < kStepCal + kSubCodeCount) {
            const int sub = static_cast<int>(key - kStepCal);
            if (BinarySub(sub)) {
                --depth;
                entries[depth - 1] =
                    Binary(sub, entries[depth - 1], entries[depth], own[depth - 1]);
            } else {
                entries[depth - 1] = Unary(sub, entries[depth - 1], own[depth - 1]);
            }
        } else if (key >= kStepAddVariable && key <= kStepDivValue) {
            // A push fused with the + - * / that takes it: the push's limit check and fault
            // come first.
            if (depth >= kValueStackSize) {
                GroupFault(kRunErrorStackOverflow);
                FinishGroup();
                return;
            }
            const bool variable = key <= kStepDivVariable;
            const LaneValues b = variable ? Read(step.arg) : Operand(step, at);
            const int sub =
                kSubAdd + static_cast<int>(key - (variable ? kStepAddVariable : kStepAddValue));
            entries[depth - 1] = Binary(sub, entries[depth - 1], b, own[depth - 1]);
        } else if (key == kStepAssignValue) {
            if (depth >= kValueStackSize) {
                GroupFault(kRunErrorStackOverflow);
                FinishGroup();
                return;
            }
            Store(step.arg, Operand(step, at), -1);
        }
        if (target >= 0) {
            if (nextWaiting < target) {
                Park(target);
                return;
            }
            s = target;
        }
    }
}

void BlockMachine::State::Run(const RunSetup& runSetup, Machine& machineIn, int laneCount,
                              const double* x, const double* y) {
    setup = &runSetup;
    m = &machineIn;
    n = laneCount;
    inX = x;
    inY = y;
    verbose = runSetup.verbose;
    if (verbose && messages.size() < static_cast<std::size_t>(lanes)) {
        messages.resize(static_cast<std::size_t>(lanes));
    }
    std::fill_n(errors.begin(), n, 0);
    std::fill_n(overflowNoted.begin(), n, uint8_t{0});
    if (verbose) {
        for (int l = 0; l < n; ++l) messages[l].Clear();
    }
    if (!blockable || maxSlot >= runSetup.slotsInUse || machine != m) {
        RunEachLane();
        return;
    }
    for (int v = 0; v < runSetup.slotsInUse; ++v) {
        BlockVariable& var = vars[v];
        var.shared = true;
        var.scalar = 0.0;
        var.assigned = kAssignedNowhere;
    }
    // Each lane's run polls the Escape hook as it starts; a lane whose poll finds the key
    // pressed aborts before its first step, as its own run would.
    EscapeHook& escape = *runSetup.escape;
    bool anyPressed = false;
    if (escape.poll) {
        for (int l = 0; l < n; ++l) {
            escape.poll(&escape);
            pressedAtStart[l] = escape.pressed;
            anyPressed = anyPressed || pressedAtStart[l];
        }
    } else {
        anyPressed = escape.pressed;
        std::fill_n(pressedAtStart.begin(), n, static_cast<uint8_t>(anyPressed));
    }
    pressedAfterPolls = escape.pressed;
    std::fill_n(waiting.begin(), n, uint8_t{0});
    waitingCount = 0;
    if (anyPressed && stepCount > 0) {
        std::fill_n(active.begin(), n, uint8_t{0});
        for (int l = 0; l < n; ++l) {
            if (pressedAtStart[l]) {
                Fault(l, kRunErrorAbort);
            } else {
                waiting[l] = 1;
                pc[l] = 0;
                ++waitingCount;
            }
        }
    } else {
        // Every lane starts together at the first step.
        std::fill_n(active.begin(), n, uint8_t{1});
        lo = 0, hi = n, count = n;
        depth = 0;
        RunGroup(0);
    }
    int start = 0;
    while (PickGroup(&start)) RunGroup(start);

    // The machine as the last lane's run leaves it.
    const int last = n - 1;
    m->inputX = x[last];
    m->inputY = y[last];
    for (int v = 0; v < runSetup.slotsInUse; ++v) {
        const BlockVariable& var = vars[v];
        m->variables[v].value = var.shared ? var.scalar : var.lanes[last];
        m->variables[v].assigned = var.assigned == kAssignedEverywhere ||
                                   (var.assigned == kAssignedSomewhere && var.assignedLanes[last]);
    }
    m->runErrorCount = errors[last];
    if (verbose) m->runMessages = messages[last];
}

// A program the block cannot run together (hand-made code only): the point executor, lane
// after lane, its results kept per lane.
void BlockMachine::State::RunEachLane() {
    for (int v = 0; v < setup->slotsInUse; ++v) {
        vars[v].shared = false;
        vars[v].assigned = kAssignedSomewhere;
    }
    for (int l = 0; l < n; ++l) {
        m->inputX = inX[l];
        m->inputY = inY[l];
        CompileLog note;
        RunSetup one = *setup;
        one.compileLog = &note;
        if (verbose) m->runMessages.Clear();
        Execute(one, *m);
        errors[l] = m->runErrorCount;
        overflowNoted[l] = !note.messages.Empty();
        if (verbose) messages[l] = m->runMessages;
        for (int v = 0; v < setup->slotsInUse; ++v) {
            vars[v].lanes[l] = m->variables[v].value;
            vars[v].assignedLanes[l] = m->variables[v].assigned != 0;
        }
    }
}

BlockMachine::BlockMachine(int lanes)
    : m_state(std::make_unique<State>(std::clamp(lanes, 1, kMaxBlockLanes))) {}

BlockMachine::~BlockMachine() = default;

int BlockMachine::Lanes() const {
    return m_state->lanes;
}

void BlockMachine::SetLanes(int lanes) {
    m_state->Allocate(std::clamp(lanes, 1, kMaxBlockLanes));
}

void BlockMachine::Prepare(const Machine& m) {
    m_state->Prepare(m);
}

void BlockMachine::Run(const RunSetup& setup, Machine& m, int n, const double* x, const double* y) {
    if (n <= 0) return;
    assert(n <= m_state->lanes);
    m_state->Run(setup, m, std::min(n, m_state->lanes), x, y);
}

int BlockMachine::RunErrors(int lane) const {
    return m_state->errors[lane];
}

bool BlockMachine::Assigned(int slot, int lane) const {
    const BlockVariable& var = m_state->vars[slot];
    return var.assigned == kAssignedEverywhere ||
           (var.assigned == kAssignedSomewhere && var.assignedLanes[lane]);
}

double BlockMachine::Value(int slot, int lane) const {
    const BlockVariable& var = m_state->vars[slot];
    return var.shared ? var.scalar : var.lanes[lane];
}

const char* BlockMachine::RunMessages(int lane) const {
    const State& s = *m_state;
    return s.verbose && static_cast<std::size_t>(lane) < s.messages.size() ? s.messages[lane].Text()
                                                                           : "";
}

void BlockMachine::ReadLanes(int slot, int n, PointRun* out) const {
    const State& s = *m_state;
    for (int l = 0; l < n; ++l) out[l].runErrors = s.errors[l];
    if (slot < 0) {
        for (int l = 0; l < n; ++l) out[l].assigned = false, out[l].z = 0.0;
        return;
    }
    const BlockVariable& var = s.vars[slot];
    for (int l = 0; l < n; ++l) out[l].z = var.shared ? var.scalar : var.lanes[l];
    switch (var.assigned) {
        case kAssignedEverywhere:
            for (int l = 0; l < n; ++l) out[l].assigned = true;
            break;
        case kAssignedNowhere:
            for (int l = 0; l < n; ++l) out[l].assigned = false;
            break;
        default:
            for (int l = 0; l < n; ++l) out[l].assigned = var.assignedLanes[l] != 0;
            break;
    }
    // A lane not assigned holds 0, as z reads then.
}

bool BlockMachine::StackOverflowNoted(int lane) const {
    return m_state->overflowNoted[lane] != 0;
}

}  // namespace velmor
