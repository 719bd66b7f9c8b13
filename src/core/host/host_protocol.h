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
//   kOpHello     u32 protocol version,        u32 protocol version, u32 helper process id
//                u64 seal key
//   kOpLoad      string path, u32 options     i32 loaded (1/0), i32 record version, string why
//                (LoadOption bits)
//   kOpCall      u32 options (CallOption      i32 answered (1) / no entry (0), i32 result,
//                bits)                        i32 record version, u64 hash of the records
//                                             written back
//   kOpBatch     u32 points, u32 options      u32 points done, i32 answered (1) / no entry
//                (BatchOption bits)           (0), i32 record version, u32 stopped by a
//                                             cancel (1/0), u64 hash of the answers (and
//                                             durations), u64 hash of the working pair
//                                             written back
//   kOpUnload    -                            -
//   kOpQuit      -                            (none: the helper ends)
//   kOpThreads   u32 points, u32 threads,     u32 points done, i32 answered (1) / no entry
//                u32 repeats                  (0), i32 record version, then the outcome:
//                                             u32 kind (ThreadsOutcomeKind), u32 point,
//                                             u32 thread, u32 repeat, u32 answers that
//                                             differed, i32 that answer's result, then u64
//                                             hash of the answers and the differing record
//
// A string is u32 byte count and the bytes, a u64 two u32 (the low one first). Ops 8 .. 15 are
// kept for later batch variants.
//
// The library runs in the helper's process and may write anywhere the helper can, the shared
// area included. So nothing the program reads back from the shared area is taken on trust: each
// answer carries a hash of what the helper wrote there (AnswerHash, counted in the helper's own
// memory), and the status block's fields the program acts on carry seals made with a key only
// the two processes know (SealKey: sent with kOpHello).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/surface/records.h"

namespace velmor {

inline constexpr std::uint32_t kFrameMagic = 0x564d4c48;  // "HLMV" little-endian
inline constexpr std::uint32_t kProtocolVersion = 3;
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
    FrameWriter& U64(std::uint64_t value) {
        return U32(static_cast<std::uint32_t>(value)).U32(static_cast<std::uint32_t>(value >> 32));
    }
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
    bool U64(std::uint64_t* value);
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

// What the helper found when it ended a request itself (HostStatus::reportKind).
enum HostReportKind : std::uint32_t {
    kReportNone = 0,
    // The library read or wrote a fence beside its records, or wrote into the bytes kept before
    // them: reportRecord, reportOffset, reportRecordBytes and reportAccess say where.
    kReportRecordOverrun = 1,
    // The helper's request or answer channel broke (a library closed or wrote into it).
    kReportChannelLost = 2,
};

// The record a fence guards (HostStatus::reportRecord).
enum FencedRecordKind : std::uint32_t {
    kFencedNone = 0,
    kFencedUserData = 1,
    kFencedFixedData = 2,
};

// How the library touched a fence (HostStatus::reportAccess), as far as the system tells.
enum FenceAccess : std::uint32_t {
    kAccessUnknown = 0,
    kAccessRead = 1,
    kAccessWrite = 2,
};

// The request in the library's hands. The helper writes it before every library call, so after
// a fault the program reads which call faulted and with which inputs instead of guessing. The
// library can write here as well: every field the program acts on carries a seal (Seal...
// below) made with the key of kOpHello, and a field whose seal does not match is not used.
struct HostStatus {
    std::int32_t callType;  // FIXED_DATA type of the call; kLoadRequestType while loading
    std::int32_t callNumb;  // FIXED_DATA numb
    double callX, callY, callZ, callL, callM, callN;  // USER_DATA x y z l m n at the call
    std::uint64_t callsFinished;  // counts every library call that returned: the heartbeat
    std::uint32_t inCall;         // 1 while the library has a request (a call, a batch)
    std::uint32_t cancel;         // set by the program: a batch stops after the row in progress
    std::uint64_t rowsDone;       // rows of the batch in progress finished so far
    std::uint32_t helperPid;      // the helper's process id
    // A Windows helper (under wine) that meets an exception the library does not handle writes
    // its code (0xC0000005, ...) and address here before it ends: its exit status alone loses
    // the code's upper bits on the way through wine. 0 otherwise.
    std::uint32_t exceptionCode;
    std::uint64_t exceptionAddress;
    std::uint64_t requestSeal;   // SealRequest of callType .. callN
    std::uint64_t finishedSeal;  // SealFinished of callsFinished
    // The answers of the batch in progress as far as they are written: SealAnswers of the count
    // and the hash of those answers (what the program may keep when the helper ends in a batch).
    std::uint64_t answersSeal;
    std::uint32_t reportKind;    // HostReportKind, written before the helper ends a request itself
    std::uint32_t reportRecord;  // FencedRecordKind
    std::int64_t reportOffset;   // the byte of the record touched (< 0: before its start)
    std::uint32_t reportRecordBytes;  // the record's size
    std::uint32_t reportAccess;       // FenceAccess
    std::uint64_t reportSeal;         // SealReport of the report and the exception fields
    std::uint32_t reserved[8];
};
static_assert(offsetof(HostStatus, callX) == 8 && offsetof(HostStatus, callN) == 48);
static_assert(offsetof(HostStatus, callsFinished) == 56 && offsetof(HostStatus, inCall) == 64);
static_assert(offsetof(HostStatus, cancel) == 68 && offsetof(HostStatus, rowsDone) == 72);
static_assert(offsetof(HostStatus, helperPid) == 80 && offsetof(HostStatus, exceptionCode) == 84);
static_assert(offsetof(HostStatus, exceptionAddress) == 88 &&
              offsetof(HostStatus, requestSeal) == 96);
static_assert(offsetof(HostStatus, answersSeal) == 112 && offsetof(HostStatus, reportKind) == 120);
static_assert(offsetof(HostStatus, reportOffset) == 128 && offsetof(HostStatus, reportSeal) == 144);
static_assert(sizeof(HostStatus) == 184);

// The `callType` written while the library is being loaded (its constructors run).
inline constexpr std::int32_t kLoadRequestType = -1;

// Bytes kept behind each record of a pair for the library check, which looks for writes past
// the end (CallOption kCallWholePair).
inline constexpr std::size_t kRecordGuardBytes = 64;

// One USER_DATA and one FIXED_DATA area in the shared area, each followed by guard bytes. The
// helper copies the records it calls the library with out of it into memory of its own, and
// the answers back.
struct SharedRecordPair {
    USER_DATA ud;
    unsigned char udGuard[kRecordGuardBytes];
    alignas(8) unsigned char fd[kFixedDataAreaSize];
    unsigned char fdGuard[kRecordGuardBytes];
};
static_assert(offsetof(SharedRecordPair, udGuard) == 192 && offsetof(SharedRecordPair, fd) == 256);
static_assert(offsetof(SharedRecordPair, fdGuard) == 46064 && sizeof(SharedRecordPair) == 46128);

// Options of a load request (its second field).
enum LoadOption : std::uint32_t {
    // Each call gets its records in memory of the helper's own between fence pages
    // (record_fences.h); without it in ordinary memory of the helper's own.
    kLoadFences = 1u << 0,
    // The library may start processes (at most kMaxLibraryProcesses at once, all ended with the
    // helper); without it every start fails. Signals to other processes fail either way.
    kLoadAllowProcesses = 1u << 1,
};

// Most processes a library allowed to start processes may have at once.
inline constexpr int kMaxLibraryProcesses = 64;

// Options of a single call (its request field).
enum CallOption : std::uint32_t {
    // The call pair's guard bytes go to the library with its records: USER_DATA and the whole
    // FIXED_DATA area, each with the kRecordGuardBytes after it (the fences follow those).
    kCallWholePair = 1u << 0,
};

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
    std::int32_t type[kMaxBatchPoints];    // the request the point sent (FIXED_DATA type)
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
    // The program's side only (never sent): the caller counts the answers into an AnswerHash as
    // it reads them and confirms them (SurfaceLibrary::ConfirmAnswers) before it uses them, so
    // they are read once, where they are used, instead of copied first.
    kBatchReaderVerifies = 1u << 4,
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
static_assert(offsetof(BatchAnswers, value) == 8 * kMaxBatchPoints);
static_assert(offsetof(BatchAnswers, record) == 40 * kMaxBatchPoints);
static_assert(sizeof(BatchAnswers) == 232 * kMaxBatchPoints);
static_assert(offsetof(SharedArea, call) == 184 && offsetof(SharedArea, batch) == 46312);
static_assert(offsetof(SharedArea, points) == 92440);
static_assert(offsetof(SharedArea, answers) == 92440 + 64 * kMaxBatchPoints);
static_assert(offsetof(SharedArea, check) == 92440 + 296 * kMaxBatchPoints);
inline constexpr std::size_t kSharedAreaBytes = sizeof(SharedArea);

// ---------------------------------------------------------------------------------------------
// Hashes and seals.

// A 64-bit hash of what the helper writes into the shared area for a request, counted as it is
// written (the helper from its own copies, the program over what it reads back), in four lanes
// so that the words of one answer do not wait for each other. Of a batch's answers it counts
// what a reader takes: the result, and the values of the request (a sag's sag1; an index's
// index dndx dndy dndz), the whole USER_DATA when the batch carries whole records.
class AnswerHash {
public:
    void AddSag(int result, double sag1) {
        m_a = Step(m_a, static_cast<std::uint32_t>(result));
        m_b = Step(m_b, Bits(sag1));
    }
    void AddIndex(int result, double index, double dndx, double dndy, double dndz) {
        m_a = Step(m_a, static_cast<std::uint32_t>(result));
        m_b = Step(m_b, Bits(index));
        m_c = Step(m_c, Bits(dndx));
        m_b = Step(m_b, Bits(dndy));
        m_c = Step(m_c, Bits(dndz));
    }
    void AddOther(int result) { m_a = Step(m_a, static_cast<std::uint32_t>(result)); }
    // The helper's side: the answer of request `type` from the USER_DATA the call left.
    void AddAnswer(int result, int type, const USER_DATA& ud, bool wholeRecord) {
        if (type == kRequestSag) {
            AddSag(result, ud.sag1);
        } else if (type == kRequestIndex) {
            AddIndex(result, ud.index, ud.dndx, ud.dndy, ud.dndz);
        } else {
            AddOther(result);
        }
        if (wholeRecord) AddBytes(&ud, sizeof ud);
    }
    void AddWord(std::uint64_t word) { m_d = Step(m_d, word); }
    // Bytes in 8-byte words, the last one filled with zeros.
    void AddBytes(const void* data, std::size_t size);
    std::uint64_t Value() const;
    // The lanes joined without the last mixing step: what a seal is made of after every call
    // (the seal mixes in the key).
    std::uint64_t Lanes() const {
        return m_a ^ (m_b << 21 | m_b >> 43) ^ (m_c << 42 | m_c >> 22) ^ m_d;
    }

private:
    static std::uint64_t Step(std::uint64_t h, std::uint64_t word) {
        return ((h << 5 | h >> 59) ^ word) * 0x517cc1b727220a95ull;
    }
    static std::uint64_t Bits(double value) {
        std::uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        return bits;
    }
    std::uint64_t m_a = 1, m_b = 2, m_c = 3, m_d = 4;
};

// Counts answers [0, n) of a batch into `hash` as the program reads them: results, requests,
// values, the whole records when `wholeRecords`, the durations when `callNs` is given.
void HashBatchAnswers(AnswerHash& hash, const BatchAnswers& answers, std::size_t n,
                      bool wholeRecords, const std::uint64_t* callNs);

// A key for the seals, from the system's random source (never 0).
std::uint64_t NewSealKey();

// Seals of the status block's fields. Each mixes the fields with the key, so bytes the library
// wrote over them (zeros, 0xFF, anything) match their seal only by a 1 in 2^64 chance.
inline std::uint64_t SealRequest(const HostStatus& status, std::uint64_t key) {
    auto bits = [](double value) {
        std::uint64_t word;
        std::memcpy(&word, &value, sizeof word);
        return word;
    };
    auto rotate = [](std::uint64_t value, int by) { return value << by | value >> (64 - by); };
    const std::uint64_t request =
        static_cast<std::uint32_t>(status.callType) |
        static_cast<std::uint64_t>(static_cast<std::uint32_t>(status.callNumb)) << 32;
    // Three groups, each turned its own way, so that equal bytes over two fields do not cancel.
    return key ^ request ^ rotate(bits(status.callX) ^ bits(status.callZ), 21) ^
           rotate(bits(status.callY) ^ bits(status.callM), 42) ^ bits(status.callL) ^
           rotate(bits(status.callN), 7);
}
// These two are made after every call of a batch: a mix with the key is all they need (the
// answers' lanes are mixed already).
inline std::uint64_t SealFinished(std::uint64_t finished, std::uint64_t key) {
    return finished ^ key;
}
// Of the count of answers and their hash's Lanes().
inline std::uint64_t SealAnswers(std::uint64_t count, std::uint64_t lanes, std::uint64_t key) {
    return lanes ^ (count << 40) ^ ~key;
}
std::uint64_t SealReport(const HostStatus& status, std::uint64_t key);

// The status block's fields read through their seals (nullopt-like: false when a seal does not
// match). The program reads them while the helper may be writing, so a read can also find a
// field and its seal from two moments: the next read sees them agree again.
bool ReadSealedFinished(const HostStatus& status, std::uint64_t key, std::uint64_t* finished);
bool RequestSealed(const HostStatus& status, std::uint64_t key);
bool ReportSealed(const HostStatus& status, std::uint64_t key);

// ---------------------------------------------------------------------------------------------
// The helper's writes of every call, inline: a batch makes them for each point.

// Writes point i's fields into the working pair (the point's request included); with
// `sameRequest` the type, numb and fields are point 0's.
inline void ApplyBatchPoint(const BatchPoints& points, std::size_t i, bool sameRequest,
                            USER_DATA& ud, unsigned char* fd) {
    const std::size_t request = sameRequest ? 0 : i;
    const std::uint32_t set = points.fields[request];
    if (set & kSetX) ud.x = points.x[i];
    if (set & kSetY) ud.y = points.y[i];
    if (set & kSetZ) ud.z = points.z[i];
    if (set & kSetL) ud.l = points.l[i];
    if (set & kSetM) ud.m = points.m[i];
    if (set & kSetN) ud.n = points.n[i];
    // type and numb sit at offsets 0 and 4 in every FIXED_DATA version.
    if (set & kSetType) std::memcpy(fd + offsetof(FIXED_DATA, type), &points.type[request], 4);
    if (set & kSetNumb) std::memcpy(fd + offsetof(FIXED_DATA, numb), &points.numb[request], 4);
}

// Writes answer i: the result, the request, the values the request answers, and the whole
// USER_DATA when `wholeRecord`.
inline void WriteBatchAnswer(BatchAnswers& answers, std::size_t i, int result, int type,
                             const USER_DATA& ud, bool wholeRecord) {
    answers.result[i] = result;
    answers.type[i] = type;
    if (type == kRequestSag) {
        answers.value[0][i] = ud.sag1;
        answers.value[1][i] = ud.sag2;
    } else if (type == kRequestIndex) {
        answers.value[0][i] = ud.index;
        answers.value[1][i] = ud.dndx;
        answers.value[2][i] = ud.dndy;
        answers.value[3][i] = ud.dndz;
    }
    if (wholeRecord) std::memcpy(&answers.record[i], &ud, sizeof ud);
}

// Writes the request and inputs about to go to the library into the status block, sealed.
inline void WriteCallStatus(HostStatus& status, const USER_DATA& ud, const unsigned char* fd,
                            std::uint64_t key) {
    std::memcpy(&status.callType, fd + offsetof(FIXED_DATA, type), 4);
    std::memcpy(&status.callNumb, fd + offsetof(FIXED_DATA, numb), 4);
    status.callX = ud.x;
    status.callY = ud.y;
    status.callZ = ud.z;
    status.callL = ud.l;
    status.callM = ud.m;
    status.callN = ud.n;
    status.requestSeal = SealRequest(status, key);
}

// ---------------------------------------------------------------------------------------------
// Requests by name.

// The name of request `type` / `numb`: 0/0 "surface name", 0/2 "gradient-index question", 0/other
// "question", 1 "param name", 2 "xdata name", 3 "sag", 4 "paraxial ray trace", 5 "real ray
// trace", 6 "index", 7 "safe data"; kLoadRequestType "library load"; anything else "request".
const char* SurfaceRequestName(int type, int numb);

}  // namespace velmor
