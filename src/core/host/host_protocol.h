// What the program and the helper process `velmor-surface-host` exchange. Requests and answers
// are small frames on the helper's standard input and output; everything bulky (the records a
// call uses, the points and answers of a batch) lives in one shared area both processes map.
//
// Everything here is plain portable C++ with fixed-size little-endian fields, so a helper built
// for another system (a Windows build serving Windows libraries) speaks the same protocol.
//
// Frames: uint32 magic, uint32 op, uint32 payloadBytes, then the payload. The payload of each
// op, request and answer (an answer repeats the op of its request):
//
//   op           request payload              answer payload
//   kOpHello     u32 protocol version         u32 protocol version, u32 helper process id
//   kOpLoad      string path                  i32 loaded (1/0), i32 record version, string why
//   kOpCall      -                            i32 answered (1) / no entry (0), i32 result,
//                                             i32 record version
//   kOpBatch     u32 points, u32 options      u32 points done, i32 answered (1) / no entry
//                (BatchOption bits)           (0), i32 record version
//   kOpUnload    -                            -
//   kOpQuit      -                            (none: the helper ends)
//   kOpThreads   u32 points, u32 threads,     u32 points done, i32 answered (1) / no entry
//                u32 repeats                  (0), i32 record version, then the outcome:
//                                             u32 kind (ThreadsOutcomeKind), u32 point,
//                                             u32 thread, u32 repeat, u32 answers that
//                                             differed, i32 that answer's result
//
// A string is u32 byte count and the bytes. Ops 8 .. 15 are kept for later batch variants.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/surface/records.h"

namespace velmor {

inline constexpr std::uint32_t kFrameMagic = 0x564d4c48;  // "HLMV" little-endian
inline constexpr std::uint32_t kProtocolVersion = 2;
// No frame of this protocol carries more; a larger count is a broken stream.
inline constexpr std::uint32_t kMaxFramePayload = 1 << 16;

enum HostOp : std::uint32_t {
    kOpHello = 1,
    kOpLoad = 2,
    kOpCall = 3,
    kOpBatch = 4,
    kOpUnload = 5,
    kOpQuit = 6,
    kOpThreads = 7,  // the library check: a batch from several threads at once (threaded_batch.h)
};

struct FrameHeader {
    std::uint32_t magic = kFrameMagic;
    std::uint32_t op = 0;
    std::uint32_t payloadBytes = 0;
};
inline constexpr std::size_t kFrameHeaderBytes = 12;

// Payload writer and reader: fixed-width little-endian fields, strings with their byte count.
class FrameWriter {
public:
    explicit FrameWriter(std::uint32_t op) : m_op(op) {}
    FrameWriter& U32(std::uint32_t value);
    FrameWriter& I32(std::int32_t value) { return U32(static_cast<std::uint32_t>(value)); }
    FrameWriter& String(std::string_view text);
    std::uint32_t Op() const { return m_op; }
    // Header and payload, ready to write.
    std::vector<unsigned char> Bytes() const;

private:
    std::uint32_t m_op;
    std::vector<unsigned char> m_payload;
};

class FrameReader {
public:
    FrameReader(const unsigned char* data, std::size_t size) : m_data(data), m_size(size) {}
    // Each read fails (false, value untouched) past the end of the payload.
    bool U32(std::uint32_t* value);
    bool I32(std::int32_t* value);
    bool String(std::string* text);

private:
    const unsigned char* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

void EncodeFrameHeader(const FrameHeader& header, unsigned char out[kFrameHeaderBytes]);
FrameHeader DecodeFrameHeader(const unsigned char in[kFrameHeaderBytes]);

// ---------------------------------------------------------------------------------------------
// The shared area.

// The request in the library's hands. The helper writes it before every library call, so after
// a fault the program reads which call faulted and with which inputs instead of guessing.
struct HostStatus {
    std::int32_t callType;  // FIXED_DATA type of the call; kLoadRequestType while loading
    std::int32_t callNumb;  // FIXED_DATA numb
    double callX, callY, callZ, callL, callM, callN;  // USER_DATA x y z l m n at the call
    std::uint64_t callsFinished;  // counts every library call that returned: the heartbeat
    std::uint32_t inCall;         // 1 while the library has a call
    std::uint32_t cancel;         // set by the program: a batch stops after the row in progress
    std::uint64_t rowsDone;       // rows of the batch in progress finished so far
    std::uint32_t helperPid;      // the helper's process id
    // A Windows helper (under wine) that meets an exception the library does not handle writes
    // its code (0xC0000005, ...) and address here before it ends: its exit status alone loses
    // the code's upper bits on the way through wine. 0 otherwise.
    std::uint32_t exceptionCode;
    std::uint64_t exceptionAddress;
    std::uint32_t reserved[8];
};
static_assert(offsetof(HostStatus, callX) == 8 && offsetof(HostStatus, callN) == 48);
static_assert(offsetof(HostStatus, callsFinished) == 56 && offsetof(HostStatus, inCall) == 64);
static_assert(offsetof(HostStatus, cancel) == 68 && offsetof(HostStatus, rowsDone) == 72);
static_assert(offsetof(HostStatus, helperPid) == 80 && offsetof(HostStatus, exceptionCode) == 84);
static_assert(offsetof(HostStatus, exceptionAddress) == 88 && sizeof(HostStatus) == 128);

// The `callType` written while the library is being loaded (its constructors run).
inline constexpr std::int32_t kLoadRequestType = -1;

// Bytes kept free behind each record of a pair (a later check looks for writes past the end).
inline constexpr std::size_t kRecordGuardBytes = 64;

// One USER_DATA and one FIXED_DATA area in the shared area, each followed by guard bytes.
struct SharedRecordPair {
    USER_DATA ud;
    unsigned char udGuard[kRecordGuardBytes];
    alignas(8) unsigned char fd[kFixedDataAreaSize];
    unsigned char fdGuard[kRecordGuardBytes];
};
static_assert(offsetof(SharedRecordPair, udGuard) == 192 && offsetof(SharedRecordPair, fd) == 256);
static_assert(offsetof(SharedRecordPair, fdGuard) == 46064 && sizeof(SharedRecordPair) == 46128);

// Most points one batch request carries; a longer pass is sent as several requests.
inline constexpr std::size_t kMaxBatchPoints = 65536;

// Which fields of the working USER_DATA / FIXED_DATA a batch point sets before its call. The
// rest stays as the previous point (or the batch's starting pair) left it, exactly as in the
// program's own sampling loops.
enum BatchField : std::uint32_t {
    kSetType = 1u << 0,
    kSetNumb = 1u << 1,
    kSetX = 1u << 2,
    kSetY = 1u << 3,
    kSetZ = 1u << 4,
    kSetL = 1u << 5,
    kSetM = 1u << 6,
    kSetN = 1u << 7,
};
// What a sag sample sets (x, y, request 3) and what an index sample sets (x, y, z, request 6).
inline constexpr std::uint32_t kSagPointFields = kSetType | kSetX | kSetY;
inline constexpr std::uint32_t kIndexPointFields = kSetType | kSetX | kSetY | kSetZ;

enum BatchPointFlag : std::uint32_t {
    kEndsRow = 1u << 0,  // the last point of a row: progress and cancel are looked at after it
};

// The points of a batch, point i at index i of every array (a field the point does not set is
// never read, so a sag pass writes type, fields, flags, x and y only). Arrays rather than one
// record per point: the two processes then exchange only the bytes a pass uses.
struct BatchPoints {
    std::int32_t type[kMaxBatchPoints];
    std::int32_t numb[kMaxBatchPoints];
    std::uint32_t fields[kMaxBatchPoints];  // BatchField bits
    std::uint32_t flags[kMaxBatchPoints];   // BatchPointFlag bits
    double x[kMaxBatchPoints], y[kMaxBatchPoints], z[kMaxBatchPoints];
    double l[kMaxBatchPoints], m[kMaxBatchPoints], n[kMaxBatchPoints];
};

// The answers of a batch, answer i at index i of every array.
struct BatchAnswers {
    std::int32_t result[kMaxBatchPoints];  // the library's result for the point
    // What the point's request answers, from the USER_DATA after its call: sag (3) sag1 and
    // sag2; index (6) index, dndx, dndy and dndz; nothing for other requests.
    double value[4][kMaxBatchPoints];
    // The whole USER_DATA after each call, written only for a batch that asks for it.
    USER_DATA record[kMaxBatchPoints];
};

// Options of a batch request (its second payload word).
enum BatchOption : std::uint32_t {
    kBatchWholeRecords = 1u << 0,  // fill BatchAnswers::record as well
    // Every point has point 0's type, numb and fields (a sag or index pass): only point 0's
    // entries of those arrays are written and read.
    kBatchSameRequest = 1u << 1,
    // Every point starts from the batch's starting USER_DATA (its own fields set on top), so no
    // answer depends on what an earlier point left in the record (the library check's batches).
    kBatchFreshUserData = 1u << 2,
    // Each call's duration goes into CheckRoom::callNs (steady clock, nanoseconds).
    kBatchTimed = 1u << 3,
};

// Most threads, and most repeats per thread, a kOpThreads request may ask for.
inline constexpr std::uint32_t kMaxCheckThreads = 64;

// What only the library check uses: call durations of a timed batch, and the answer of a
// threaded batch that differed from the single-threaded one.
struct CheckRoom {
    std::uint64_t callNs[kMaxBatchPoints];  // point i's call, kBatchTimed batches only
    USER_DATA differing;                    // kOpThreads: that answer's USER_DATA
};

struct SharedArea {
    HostStatus status;
    SharedRecordPair call;   // the pair of a single call
    SharedRecordPair batch;  // the working pair of a batch
    BatchPoints points;
    BatchAnswers answers;
    CheckRoom check;
};
static_assert(offsetof(BatchPoints, x) == 16 * kMaxBatchPoints &&
              sizeof(BatchPoints) == 64 * kMaxBatchPoints);
static_assert(offsetof(BatchAnswers, value) == 4 * kMaxBatchPoints);
static_assert(offsetof(BatchAnswers, record) == 36 * kMaxBatchPoints);
static_assert(sizeof(BatchAnswers) == 228 * kMaxBatchPoints);
static_assert(offsetof(SharedArea, call) == 128 && offsetof(SharedArea, batch) == 46256);
static_assert(offsetof(SharedArea, points) == 92384);
static_assert(offsetof(SharedArea, answers) == 92384 + 64 * kMaxBatchPoints);
static_assert(offsetof(SharedArea, check) == 92384 + 292 * kMaxBatchPoints);
inline constexpr std::size_t kSharedAreaBytes = sizeof(SharedArea);

// Writes point i's fields into the working pair (the point's request included); with
// `sameRequest` the type, numb and fields are point 0's.
void ApplyBatchPoint(const BatchPoints& points, std::size_t i, bool sameRequest, USER_DATA& ud,
                     unsigned char* fd);

// Writes answer i: the result, the values the point's request answers, and the whole USER_DATA
// when `wholeRecord`.
void WriteBatchAnswer(BatchAnswers& answers, std::size_t i, int result, int type,
                      const USER_DATA& ud, bool wholeRecord);

// Writes the request and inputs about to go to the library into the status block.
void WriteCallStatus(HostStatus& status, const USER_DATA& ud, const unsigned char* fd);

// ---------------------------------------------------------------------------------------------
// Requests by name.

// The name of request `type` / `numb`: 0/0 "surface name", 0/2 "gradient-index question", 0/other
// "question", 1 "param name", 2 "xdata name", 3 "sag", 4 "paraxial ray trace", 5 "real ray
// trace", 6 "index", 7 "safe data"; kLoadRequestType "library load"; anything else "request".
const char* SurfaceRequestName(int type, int numb);

}  // namespace velmor
