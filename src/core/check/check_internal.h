// What the check families share: the surface the checks run against, the run's context (the
// records, the grid, the tolerances scaled to the ranges), building request points and
// reading their answers, and the texts of the details.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/check/library_check.h"
#include "core/host/host_protocol.h"
#include "core/host/threaded_batch.h"
#include "core/surface/row_catalogue.h"

namespace velmor::check {

// The surface under check: the library in a helper of its own, or the built-in surface in the
// program's process. Each request answers false when the surface faulted (Fault() set) or a
// cancel came while it waited (Cancelled()).
class Target {
public:
    virtual ~Target() = default;
    // Loads the surface; false with *why (and Fault() when it faulted).
    virtual bool Start(std::string* why) = 0;
    virtual int RecordVersion() const = 0;
    // One call with the whole pair: USER_DATA, the guard bytes, the FIXED_DATA area and its
    // guard bytes go to the surface and come back.
    virtual bool Call(SharedRecordPair& pair, int* result) = 0;
    virtual BatchPoints& Points() = 0;
    virtual const BatchAnswers& Answers() const = 0;
    // Points [0, n) of Points() from `start` with `options` (BatchOption bits); the answers in
    // Answers(), with kBatchTimed the durations in CallNs().
    virtual bool Batch(const RecordPair& start, std::size_t n, std::uint32_t options) = 0;
    virtual const std::uint64_t* CallNs() const = 0;
    // Points [0, n) from `start` once (answers in Answers(), whole records) and then as
    // RunThreadedBatch says.
    virtual bool Threads(const RecordPair& start, std::size_t n, int threads, int repeats,
                         ThreadsOutcome* outcome) = 0;
    virtual const LibraryFault* Fault() const { return nullptr; }
    virtual bool Cancelled() const { return false; }
    // After a fault: the surface loaded afresh.
    virtual bool Restart(std::string* why) { return true; }
};

std::unique_ptr<Target> MakeLibraryTarget(const CheckInput& input);
std::unique_ptr<Target> MakeBuiltInTarget();

// One point of the check's grid (x inner, y outer).
using GridPoint = CheckGridPoint;

struct Context {
    const CheckInput& input;
    Target* target = nullptr;  // null for a script
    int version = kRecordVersion0;
    std::unique_ptr<RecordPair> start;  // the initial pair
    bool gradientIndex = false;
    double halfDiagonal = 1;
    double positionTolerance = kPositionTolerance;
    double step = kDifferenceStep;  // of the central differences
    std::vector<GridPoint> grid;    // kCheckGridPoints squared
    double l0 = 0, m0 = 0, n0 = 1;  // the initial direction, normalised
    double n1 = 1, n2 = 1.5;        // n1 and n2 of the initial records

    explicit Context(const CheckInput& in) : input(in) {}
};

// The version's FIXED_DATA record size, from its row catalogue (0 for a version without rows).
std::size_t FixedDataRecordBytes(int recordVersion);
// The row of `rows` holding byte `offset`, or nullptr (padding).
const RecordRow* RowAt(const std::vector<RecordRow>& rows, std::size_t offset);
// The name of the field holding byte `offset` of a record: the row's name, or "padding at
// byte N".
std::string FieldAt(const std::vector<RecordRow>& rows, std::size_t offset);
const RecordRow* RowNamed(const std::vector<RecordRow>& rows, const std::string& name);

// Point i of a batch: its request and the fields it sets.
void SetPoint(BatchPoints& points, std::size_t i, int type, int numb, std::uint32_t fields,
              double x, double y, double z, double l, double m, double n);
// The USER_DATA a batch point is called with (kBatchFreshUserData): the start's, with the
// point's fields on top.
USER_DATA PointInput(const Context& c, const BatchPoints& points, std::size_t i);
// An example of the inputs of point i, with nothing compared.
CheckExample ExampleOf(const Context& c, const BatchPoints& points, std::size_t i);
CheckExample ExampleAt(double x, double y, double z, double l, double m, double n);

// Numbers in details: six significant digits, '.' whatever the locale.
std::string Num(double value);
// "(x, y)" and "(l, m, n)".
std::string PointText(double x, double y);
std::string VectorText(double x, double y, double z);

CheckResult Result(const char* name, CheckOutcome outcome, std::string detail);

// The checks (check_records.cpp, check_surface.cpp, check_medium.cpp, check_state.cpp). Each
// leaves the target as it found it unless the surface faulted or a cancel came.
CheckResult CheckName(Context& c);
CheckResult CheckNames(Context& c);
CheckResult CheckSafeData(Context& c);
CheckResult CheckRecords(Context& c);
CheckResult CheckSag(Context& c);
CheckResult CheckTrace(Context& c);
CheckResult CheckParaxial(Context& c);
CheckResult CheckIndex(Context& c);
// check_medium.cpp
CheckResult CheckMedium(Context& c);
CheckResult CheckRepeat(Context& c);
CheckResult CheckThreads(Context& c);
CheckResult CheckSpeed(Context& c);

// A script surface's checks (check_state.cpp): sag, repeat and speed from script runs.
CheckResult ScriptSag(Context& c);
CheckResult ScriptRepeat(Context& c);
CheckResult ScriptSpeed(Context& c);

// What the sag check judges, from a library's answers or a script's runs: each grid point's
// success and sag.
CheckResult JudgeSags(Context& c, const std::vector<bool>& ok, const std::vector<double>& sag);
// "median 1.2 us, slowest 3.4 us (1681 calls)" of call durations in ns.
std::string TimingText(std::vector<std::uint64_t> ns);

}  // namespace velmor::check
