#include "core/host/guarded_library.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "core/app/app_paths.h"
#include "core/app/progress.h"
#include "core/surface/pe_file.h"

namespace velmor {

namespace {

using Clock = std::chrono::steady_clock;

// How long one poll of the pipes lasts: the wait hook's tick.
constexpr int kTickMs = 10;
// A debugger is looked for at most this often while a request waits.
constexpr auto kDebuggerCheckInterval = std::chrono::milliseconds(200);
// How long a helper asked to end may take before it is killed.
constexpr int kQuitGraceMs = 500;
// How long a helper whose answer channel closed may take to end before it is killed.
constexpr int kEndGraceMs = 1000;
// At most this much of what a helper wrote before it failed to start goes into the message.
constexpr std::size_t kStartOutputLimit = 2000;

std::uint64_t LoadRowsDone(HostStatus& status) {
    return std::atomic_ref<std::uint64_t>(status.rowsDone).load(std::memory_order_acquire);
}

FaultRecord RecordOf(std::uint32_t kind) {
    return kind == kFencedUserData    ? FaultRecord::kUserData
           : kind == kFencedFixedData ? FaultRecord::kFixedData
                                      : FaultRecord::kNone;
}

FaultAccess AccessOf(std::uint32_t access) {
    return access == kAccessRead    ? FaultAccess::kRead
           : access == kAccessWrite ? FaultAccess::kWrite
                                    : FaultAccess::kUnknown;
}

// A record version the program has layouts for: what an answer may carry.
bool KnownVersion(std::int32_t version) {
    return version >= kRecordVersion0 && version <= kLastRecordVersion;
}

// The answer's flags: 1 or 0, nothing else.
bool Flag(std::int32_t value) {
    return value == 0 || value == 1;
}

void SetCancel(HostStatus& status, std::uint32_t value) {
    std::atomic_ref<std::uint32_t>(status.cancel).store(value, std::memory_order_release);
}

LibraryRequestTag TagOf(std::uint64_t serial, int type, int numb, std::size_t points) {
    return {serial, type, numb, SurfaceRequestName(type, numb), points};
}

// The lines a helper wrote before it failed to start, as one line: "; " between them, empty
// lines left out, the last kStartOutputLimit bytes kept.
std::string StartOutputLine(const std::string& output) {
    std::string text;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (!line.empty()) text += (text.empty() ? "" : "; ") + line;
        start = end + 1;
    }
    if (text.size() > kStartOutputLimit)
        text = "..." + text.substr(text.size() - kStartOutputLimit);
    return text;
}

}  // namespace

std::string DefaultHelperPath() {
    return ExecutableDirectory() + kHelperExecutableName;
}

// What one request waits with: its tag for the output, and for a batch its rows and progress.
struct GuardedLibrary::Exchange {
    LibraryRequestTag tag;
    long long rows = 0;
    const BatchProgress* progress = nullptr;
    double limitSeconds = 0;  // 0: the limits' timeoutSeconds
};

GuardedLibrary::GuardedLibrary(std::string helperPath) : m_helperPath(std::move(helperPath)) {}

GuardedLibrary::~GuardedLibrary() {
    Close();
}

void GuardedLibrary::DeliverOutput(std::string& bytes, const LibraryRequestTag& tag) {
    if (bytes.empty()) return;
    if (m_startOutput != nullptr) {
        m_startOutput->append(bytes);
    } else if (m_outputSink != nullptr) {
        m_outputSink->OnLibraryOutput(bytes, tag);
    } else {
        // As a library loaded into the program would print: to the program's standard error.
        std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    }
    bytes.clear();
}

std::string GuardedLibrary::WineStartFault(const std::string& detail) {
    LibraryFault fault;
    fault.kind = LibraryFaultKind::kHost;
    fault.detail = detail;
    fault.type = kLoadRequestType;
    fault.requestName = SurfaceRequestName(kLoadRequestType, 0);
    m_fault = fault;
    return fault.Describe();
}

bool GuardedLibrary::StartHelper(bool windows, std::string* reason) {
    std::string error;
    if (!m_area.Create(kSharedAreaBytes, &error)) {
        *reason = error;
        return false;
    }
    std::uint64_t limit =
        m_limits.memoryMb > 0 ? static_cast<std::uint64_t>(m_limits.memoryMb) << 20 : 0;
    std::string helper = m_helperPath;
    bool started = false;
#ifndef _WIN32
    if (windows) {
        WineCommand command;
        started = PrepareWineCommand(m_wine, {WindowsPathOf(m_area.Path())}, &command, &error);
        if (started) {
            helper = command.arguments.front();
            if (limit > 0 && limit < kWineMinimumDataBytes) limit = kWineMinimumDataBytes;
            started = m_process.Start(command.wine, command.arguments, limit, &error,
                                      &command.environment);
        }
    } else
#endif
    {
        started = m_process.Start(m_helperPath, {m_area.Path()}, limit, &error);
    }
    if (!started) {
        m_area.Close();
        *reason = error;
        // Wine's side of the start is shown as a fault, so that its reason reaches the user.
        if (windows) *reason = WineStartFault(error);
        return false;
    }
    m_key = NewSealKey();
    m_finishedSeen = 0;
    Exchange hello;
    hello.tag = TagOf(++m_serial, kLoadRequestType, 0, 0);
    // Wine's start (a fresh prefix is made first) is no library call: its own limit.
    if (windows) hello.limitSeconds = std::max(kWineStartLimitSeconds, m_limits.timeoutSeconds);
    FrameWriter request(kOpHello);
    request.U32(kProtocolVersion).U64(m_key);
    // What the helper (or wine) writes while it starts is its own, not the library's: it goes
    // into the message when the start fails and nowhere when it succeeds.
    std::string startOutput;
    m_startOutput = &startOutput;
    // An answer without the version is another protocol's, as one with another version is.
    std::uint32_t version = 0;
    const bool answered = Transact(request, hello, [&](FrameReader& answer) {
        answer.U32(&version);
        return true;
    });
    m_startOutput = nullptr;
    if (!answered) {
        const std::string said = StartOutputLine(startOutput);
        if (windows && m_fault.kind != LibraryFaultKind::kStopped) {
            // Wine's own lines tell why (no prefix, a broken installation, ...).
            *reason =
                WineStartFault("wine did not start the helper " + helper + " (" + m_fault.What() +
                               ")" + (said.empty() ? std::string() : "; wine said: " + said));
            m_area.Close();
            return false;
        }
        *reason = "the helper " + helper + " did not start: " + m_fault.What() +
                  (said.empty() ? std::string() : " (it wrote: " + said + ")");
        m_fault = {};
        m_area.Close();
        return false;
    }
    if (version != kProtocolVersion) {
        *reason = "the helper " + helper + " speaks another protocol version";
        m_process.Kill();
        m_process.Reap(0);
        m_area.Close();
        return false;
    }
    // The helper holds the mapping now: no file needs to outlive the two processes.
    m_area.RemoveName();
    return true;
}

bool GuardedLibrary::Open(const std::string& path, int* recordVersion, std::string* reason) {
    Close();
    const PeCheck pe = CheckPeFile(path);
    if (pe.kind == PeKind::kRefused) {
        *reason = pe.message;
        return false;
    }
#ifdef _WIN32
    const bool windows = false;  // the helper is a Windows program already
#else
    const bool windows = pe.kind == PeKind::kX64;
#endif
    if (!StartHelper(windows, reason)) return false;
    Exchange load;
    load.tag = TagOf(++m_serial, kLoadRequestType, 0, 0);
    FrameWriter request(kOpLoad);
#ifndef _WIN32
    if (windows) {
        request.String(WindowsPathOf(path));
    } else
#endif
    {
        request.String(path);
    }
    request.U32((m_limits.fences ? kLoadFences : 0u) |
                (m_limits.allowProcesses ? kLoadAllowProcesses : 0u));
    std::int32_t loaded = 0, version = 0;
    std::string why;
    if (!Transact(request, load, [&](FrameReader& answer) {
            return answer.I32(&loaded) && answer.I32(&version) && answer.String(&why) &&
                   Flag(loaded) && KnownVersion(version);
        })) {
        *reason = m_fault.Describe();
        return false;
    }
    if (loaded == 0) {
        *reason = why;
        Close();
        return false;
    }
    m_loaded = true;
    m_recordVersion = version;
    *recordVersion = version;
    return true;
}

void GuardedLibrary::Close() {
    if (m_process.Started()) {
        std::string output;
        m_process.ReadOutput(&output);
        DeliverOutput(output, m_lastTag);
        const std::vector<unsigned char> quit = FrameWriter(kOpQuit).Bytes();
        if (m_process.Send(quit.data(), quit.size())) {
            // Its library's destructors run now; what they print still reaches the sink.
            const auto deadline = Clock::now() + std::chrono::milliseconds(kQuitGraceMs);
            while (Clock::now() < deadline) {
                const HelperProcess::Events events = m_process.Wait(kTickMs, &output);
                DeliverOutput(output, m_lastTag);
                char ignored[64];
                if (events.answerClosed ||
                    (events.answer && m_process.ReadAnswer(ignored, sizeof ignored) < 0)) {
                    break;
                }
            }
        }
        m_process.ReadOutput(&output);
        DeliverOutput(output, m_lastTag);
        m_process.Reap(0);
    }
    m_area.Close();
    m_loaded = false;
    m_answersTaken = false;
    m_confirmPending = false;
    m_fault = {};
}

void GuardedLibrary::HelperGone(LibraryFaultKind kind, double limitSeconds,
                                const std::string& detail) {
    if (kind != LibraryFaultKind::kExit) m_process.Kill();
    std::string output;
    m_process.ReadOutput(&output);
    DeliverOutput(output, m_lastTag);
    const HelperEnd end = m_process.Reap(kEndGraceMs);

    LibraryFault fault;
    fault.kind = kind;
    fault.limitSeconds = limitSeconds;
    fault.detail = detail;
    if (kind == LibraryFaultKind::kExit) {
        if (!end.known) {
            fault.kind = LibraryFaultKind::kHost;
            fault.detail = "the helper ended; how, the system could not tell";
        } else if (end.killed) {
            // Its answer channel closed while it went on running: the library closed it.
            fault.kind = LibraryFaultKind::kConnection;
            fault.detail = "its answer channel closed while it ran";
        } else if (end.signaled) {
            fault.kind = LibraryFaultKind::kSignal;
            fault.signal = end.signal;
            fault.signalName = SignalName(end.signal);
            fault.signalMeaning = SignalMeaning(end.signal);
#ifdef SIGKILL
            // Velmor's own kills are faults of their own (stopped, timeout); SIGKILL is no
            // signal a library's fault raises.
            if (end.signal == SIGKILL) fault.killedBy = "another process";
#endif
        } else {
            fault.code = end.exitCode;
        }
    }
    fault.batchPoints = m_lastTag.points;
    // The request the library had, as the helper wrote it before the call; the request the
    // program sent when that was overwritten.
    fault.type = m_lastTag.type;
    fault.numb = m_lastTag.numb;
    fault.inputsKnown = false;
    if (m_area.Data() != nullptr) {
        const HostStatus& status = Area().status;
        if (RequestSealed(status, m_key)) {
            fault.type = status.callType;
            fault.numb = status.callNumb;
            fault.x = status.callX;
            fault.y = status.callY;
            fault.z = status.callZ;
            fault.l = status.callL;
            fault.m = status.callM;
            fault.n = status.callN;
            fault.inputsKnown = true;
        }
        // What the helper reported before it ended: an overrun of a record, a broken channel,
        // or (a Windows helper) the exception that ended it, whose code the exit status under
        // wine would keep only the lowest bits of. Not for a helper Velmor stopped itself.
        const bool helpersOwnEnd = kind == LibraryFaultKind::kExit;
        if (helpersOwnEnd && ReportSealed(status, m_key)) {
            const FaultRecord record = RecordOf(status.reportRecord);
            if (status.reportKind == kReportRecordOverrun && record != FaultRecord::kNone &&
                status.reportRecordBytes <= sizeof(SharedRecordPair) &&
                status.reportAccess <= kAccessWrite) {
                fault.kind = LibraryFaultKind::kRecordOverrun;
                fault.record = record;
                fault.offset = status.reportOffset;
                fault.recordBytes = status.reportRecordBytes;
                fault.access = AccessOf(status.reportAccess);
            } else if (status.reportKind == kReportChannelLost) {
                fault.kind = LibraryFaultKind::kConnection;
                fault.detail = "its channel to Velmor broke";
            } else if (fault.kind == LibraryFaultKind::kExit && status.exceptionCode != 0) {
                fault.kind = LibraryFaultKind::kException;
                fault.exceptionCode = status.exceptionCode;
                fault.exceptionAddress = status.exceptionAddress;
            }
        }
    }
    fault.requestName = SurfaceRequestName(fault.type, fault.numb);
    m_fault = fault;
}

void GuardedLibrary::SharedMemoryOverwritten(const Exchange& exchange) {
    const std::string request = SurfaceRequestName(exchange.tag.type, exchange.tag.numb);
    HelperGone(LibraryFaultKind::kSharedMemory, 0, {});
    // The batch's request as the program sent it: the status block may be overwritten too, and
    // no one point of the batch is to blame.
    if (exchange.tag.points > 0) {
        m_fault.type = exchange.tag.type;
        m_fault.numb = exchange.tag.numb;
        m_fault.requestName = request;
        m_fault.inputsKnown = false;
    }
}

bool GuardedLibrary::ReadFinished(std::uint64_t* finished) const {
    if (m_area.Data() == nullptr) return false;
    return ReadSealedFinished(static_cast<const SharedArea*>(m_area.Data())->status, m_key,
                              finished);
}

bool GuardedLibrary::Ready() const {
    return m_loaded && !m_fault.Faulted() && !m_busy && m_area.Data() != nullptr;
}

// One request's answer as it arrives. The helper sends nothing but the answer to the request, so
// whatever arrives belongs to it, the header and the payload usually in one piece.
class GuardedLibrary::AnswerFrame {
public:
    enum State { kPartial, kWhole, kBroken };
    explicit AnswerFrame(std::uint32_t op) : m_op(op) { m_bytes.reserve(256); }

    // Adds bytes read; kBroken when they cannot be this request's answer (another op, more
    // payload than any answer has, bytes past the frame's end).
    State Add(const unsigned char* bytes, std::size_t count) {
        m_bytes.insert(m_bytes.end(), bytes, bytes + count);
        if (m_bytes.size() < kFrameHeaderBytes) return kPartial;
        const FrameHeader header = DecodeFrameHeader(m_bytes.data());
        const std::size_t whole = kFrameHeaderBytes + header.payloadBytes;
        if (header.magic != kFrameMagic || header.op != m_op ||
            header.payloadBytes > kMaxFramePayload || m_bytes.size() > whole) {
            return kBroken;
        }
        return m_bytes.size() == whole ? kWhole : kPartial;
    }
    FrameReader Payload() const {
        return {m_bytes.data() + kFrameHeaderBytes, m_bytes.size() - kFrameHeaderBytes};
    }

private:
    std::uint32_t m_op;
    std::vector<unsigned char> m_bytes;
};

// One request's wait for its answer. The library is busy meanwhile; on each tick without the
// answer the wait looks at the helper's heartbeat (the time limit's clock restarts whenever a
// library call finishes and stands still while a debugger is attached), reports a batch's
// progress, tells the wait hook and stops the helper at the time limit.
class GuardedLibrary::RequestWait {
public:
    RequestWait(GuardedLibrary& library, const Exchange& exchange)
        : m_library(library),
          m_exchange(exchange),
          m_status(library.Area().status),
          m_limit(exchange.limitSeconds > 0 ? exchange.limitSeconds
                                            : library.m_limits.timeoutSeconds) {
        if (!m_library.ReadFinished(&m_finished)) m_finished = m_library.m_finishedSeen;
        m_library.m_finishedSeen = m_finished;
        m_library.m_busy = true;
        m_library.m_cancelAsked = false;
    }
    ~RequestWait() {
        m_library.m_busy = false;
        if (m_hookTold && m_library.m_waitHook != nullptr) {
            m_library.m_waitHook->OnLibraryWaitEnded();
        }
    }
    RequestWait(const RequestWait&) = delete;
    RequestWait& operator=(const RequestWait&) = delete;

    // One tick without the answer; false after a fault (the hook stopped the helper, or the time
    // limit did).
    bool Tick() {
        const double seconds = SecondsWithoutFinishedCall();
        // The rows as the helper counts them, within the batch's (the library may have written
        // anything there).
        const std::uint64_t rows = LoadRowsDone(m_status);
        const long long rowsDone =
            rows <= static_cast<std::uint64_t>(m_exchange.rows) ? static_cast<long long>(rows) : 0;
        ReportRows(rowsDone);
        if (m_library.m_waitHook != nullptr) {
            const LibraryWaitAction action = TellHook(seconds, rowsDone);
            if (action == LibraryWaitAction::kStop) {
                m_library.HelperGone(LibraryFaultKind::kStopped, 0, {});
                return false;
            }
            if (action == LibraryWaitAction::kCancelBatch && m_exchange.rows > 0) CancelBatch();
        }
        if (m_limit > 0 && seconds >= m_limit) {
            m_library.HelperGone(LibraryFaultKind::kTimeout, m_limit, {});
            return false;
        }
        return true;
    }

private:
    // Only a heartbeat whose seal agrees counts: bytes the library wrote over it do not keep a
    // hanging call from its time limit.
    double SecondsWithoutFinishedCall() {
        const Clock::time_point now = Clock::now();
        std::uint64_t finished = 0;
        if (m_library.ReadFinished(&finished) && finished != m_finished) {
            m_finished = finished;
            m_library.m_finishedSeen = finished;
            m_clockStart = now;
        }
        if (now >= m_nextDebuggerCheck) {
            m_nextDebuggerCheck = now + kDebuggerCheckInterval;
            if (m_library.m_process.DebuggerAttached()) m_clockStart = now;
        }
        return std::chrono::duration<double>(now - m_clockStart).count();
    }

    // A batch's rows reach ReportProgress as the helper finishes them; a cancel there stops the
    // batch after the row in progress.
    void ReportRows(long long rowsDone) {
        const BatchProgress* progress = m_exchange.progress;
        if (progress == nullptr || !progress->report || rowsDone == m_rowsReported ||
            rowsDone >= m_exchange.rows) {
            return;
        }
        m_rowsReported = rowsDone;
        if (ReportProgress(progress->firstRow + rowsDone, progress->totalRows - 1)) CancelBatch();
    }

    LibraryWaitAction TellHook(double seconds, long long rowsDone) {
        LibraryWaitInfo info;
        info.secondsWaiting = seconds;
        info.waiting = seconds * 1000.0 >= m_library.m_limits.waitMs;
        info.rowsDone = m_exchange.rows > 0 ? rowsDone : 0;
        info.rows = m_exchange.rows;
        const bool sealed = RequestSealed(m_status, m_library.m_key);
        info.type = sealed ? m_status.callType : m_exchange.tag.type;
        info.numb = sealed ? m_status.callNumb : m_exchange.tag.numb;
        info.requestName = SurfaceRequestName(info.type, info.numb);
        info.helperPid = m_library.m_process.Pid();
        m_hookTold = true;
        return m_library.m_waitHook->OnLibraryWait(info);
    }

    void CancelBatch() {
        SetCancel(m_status, 1);
        m_library.m_cancelAsked = true;
        if (m_exchange.progress != nullptr && m_exchange.progress->cancelled != nullptr) {
            *m_exchange.progress->cancelled = true;
        }
    }

    GuardedLibrary& m_library;
    const Exchange& m_exchange;
    HostStatus& m_status;
    const double m_limit;
    Clock::time_point m_clockStart = Clock::now();
    Clock::time_point m_nextDebuggerCheck = m_clockStart + kDebuggerCheckInterval;
    std::uint64_t m_finished;
    long long m_rowsReported = 0;
    bool m_hookTold = false;
};

bool GuardedLibrary::Transact(const FrameWriter& request, const Exchange& exchange,
                              const AnswerReader& read) {
    m_lastTag = exchange.tag;
    RequestWait wait(*this, exchange);
    const std::vector<unsigned char> bytes = request.Bytes();
    if (!m_process.Send(bytes.data(), bytes.size())) {
        HelperGone(LibraryFaultKind::kExit, 0, {});
        return false;
    }
    AnswerFrame frame(request.Op());
    std::string output;
    for (;;) {
        const HelperProcess::Events events = m_process.Wait(kTickMs, &output);
        DeliverOutput(output, exchange.tag);
        if (events.answer || events.answerClosed) {
            // The helper flushed the library's output before it answered, so this request's
            // output was read with the answer or before it.
            const AnswerState state = ReadAnswer(frame, read);
            if (state != AnswerState::kIncomplete) return state == AnswerState::kRead;
        }
        // A process the library started may hold the answer channel open after the helper died.
        if (!events.answer && m_process.Ended()) {
            HelperGone(LibraryFaultKind::kExit, 0, {});
            return false;
        }
        if (!wait.Tick()) return false;
    }
}

GuardedLibrary::AnswerState GuardedLibrary::ReadAnswer(AnswerFrame& frame,
                                                       const AnswerReader& read) {
    unsigned char bytes[256];
    const long got = m_process.ReadAnswer(bytes, sizeof bytes);
    if (got < 0) {
        HelperGone(LibraryFaultKind::kExit, 0, {});
        return AnswerState::kFailed;
    }
    switch (frame.Add(bytes, static_cast<std::size_t>(got))) {
        case AnswerFrame::kPartial:
            return AnswerState::kIncomplete;
        case AnswerFrame::kWhole: {
            FrameReader payload = frame.Payload();
            if (read(payload)) return AnswerState::kRead;
            break;
        }
        case AnswerFrame::kBroken:
            break;
    }
    // Not the answer this request has (a library wrote into the channel): nothing more the
    // helper says can be trusted.
    HelperGone(LibraryFaultKind::kConnection, 0, "bytes that are no answer came on its channel");
    return AnswerState::kFailed;
}

LibraryCall GuardedLibrary::CallRecords(const CallBytes& bytes, bool wholePair, int* result,
                                        int* recordVersion) {
    if (!Ready()) return LibraryCall::kFailed;
    SharedRecordPair& shared = Area().call;
    unsigned char* const sharedUd = reinterpret_cast<unsigned char*>(&shared.ud);
    std::memcpy(sharedUd, bytes.ud, bytes.udBytes);
    std::memcpy(shared.fd, bytes.fd, bytes.fdBytes);
    int type = 0, numb = 0;
    std::memcpy(&type, bytes.fd + offsetof(FIXED_DATA, type), sizeof type);
    std::memcpy(&numb, bytes.fd + offsetof(FIXED_DATA, numb), sizeof numb);
    Exchange call;
    call.tag = TagOf(++m_serial, type, numb, 0);
    FrameWriter request(kOpCall);
    request.U32(wholePair ? kCallWholePair : 0u);
    std::int32_t answered = 0, value = 0, version = 0;
    std::uint64_t hash = 0;
    if (!Transact(request, call, [&](FrameReader& answer) {
            return answer.I32(&answered) && answer.I32(&value) && answer.I32(&version) &&
                   answer.U64(&hash) && Flag(answered) && KnownVersion(version);
        })) {
        return LibraryCall::kFailed;
    }
    if (answered == 0) return LibraryCall::kNoEntry;
    // The records as the helper wrote them back, or none of them.
    AnswerHash read;
    read.AddBytes(sharedUd, bytes.udBytes);
    read.AddBytes(shared.fd, bytes.fdBytes);
    if (read.Value() != hash) {
        SharedMemoryOverwritten(call);
        return LibraryCall::kFailed;
    }
    std::memcpy(bytes.ud, sharedUd, bytes.udBytes);
    std::memcpy(bytes.fd, shared.fd, bytes.fdBytes);
    *result = value;
    if (recordVersion != nullptr) *recordVersion = version;
    return LibraryCall::kAnswered;
}

LibraryCall GuardedLibrary::Call(RecordPair& pair, int* result, int* recordVersion) {
    // The USER_DATA and the entry's own FIXED_DATA record cross, not the whole 45808-byte area
    // (copying that would cost more than the call); the area's bytes past the record stay as
    // they are, and only a library writing past its record would touch them.
    return CallRecords({reinterpret_cast<unsigned char*>(&pair.ud), sizeof pair.ud, pair.fd,
                        FixedDataSize(m_recordVersion)},
                       false, result, recordVersion);
}

LibraryCall GuardedLibrary::CallWholePair(SharedRecordPair& pair, int* result) {
    constexpr std::size_t kFdOffset = offsetof(SharedRecordPair, fd);
    return CallRecords(
        {reinterpret_cast<unsigned char*>(&pair), kFdOffset, pair.fd, sizeof pair - kFdOffset},
        true, result, nullptr);
}

std::size_t GuardedLibrary::KeptAnswers(std::uint64_t before, std::size_t n, bool wholeRecords,
                                        const std::uint64_t* callNs) {
    if (m_area.Data() == nullptr) return 0;
    std::uint64_t finished = 0;
    if (!ReadFinished(&finished)) finished = m_finishedSeen;
    if (finished < before) return 0;
    const std::uint64_t count = finished - before < n ? finished - before : n;
    const SharedArea& area = Area();
    const std::uint64_t seal = area.status.answersSeal;
    // The helper seals the answers before it counts the call: one more may stand.
    for (std::uint64_t candidate = count; candidate <= count + 1 && candidate <= n; ++candidate) {
        AnswerHash hash;
        HashBatchAnswers(hash, area.answers, static_cast<std::size_t>(candidate), wholeRecords,
                         callNs);
        if (SealAnswers(candidate, hash.Lanes(), m_key) == seal) {
            return static_cast<std::size_t>(candidate);
        }
    }
    return 0;
}

LibraryCall GuardedLibrary::RunThreads(const RecordPair& start, std::size_t n, int threads,
                                       int repeats, std::size_t* done, ThreadsOutcome* outcome) {
    *done = 0;
    *outcome = {};
    if (!Ready()) return LibraryCall::kFailed;
    if (n > kMaxBatchPoints) n = kMaxBatchPoints;
    m_answersTaken = false;
    m_confirmPending = false;
    SharedArea& area = Area();
    std::memcpy(&area.batch.ud, &start.ud, sizeof start.ud);
    std::memcpy(area.batch.fd, start.fd, sizeof start.fd);
    Exchange batch;
    const std::uint32_t fields = n > 0 ? area.points.fields[0] : 0;
    batch.tag = TagOf(++m_serial, (fields & kSetType) ? area.points.type[0] : 0,
                      (fields & kSetNumb) ? area.points.numb[0] : 0, n);
    auto clamp = [](int value) {
        return static_cast<std::uint32_t>(value < 1 ? 1
                                          : value > static_cast<int>(kMaxCheckThreads)
                                              ? kMaxCheckThreads
                                              : value);
    };
    std::uint64_t finishedBefore = m_finishedSeen;
    ReadFinished(&finishedBefore);
    FrameWriter request(kOpThreads);
    request.U32(static_cast<std::uint32_t>(n)).U32(clamp(threads)).U32(clamp(repeats));
    std::uint32_t count = 0;
    std::int32_t answered = 0, version = 0;
    std::uint64_t hash = 0;
    ThreadsOutcome got;
    if (!Transact(request, batch, [&](FrameReader& answer) {
            return answer.U32(&count) && answer.I32(&answered) && answer.I32(&version) &&
                   answer.U32(&got.kind) && answer.U32(&got.point) && answer.U32(&got.thread) &&
                   answer.U32(&got.repeat) && answer.U32(&got.differing) &&
                   answer.I32(&got.result) && answer.U64(&hash) && count <= n && Flag(answered) &&
                   KnownVersion(version) && got.point < (n > 0 ? n : 1) &&
                   got.kind <= kThreadsNotRepeatable && got.thread <= clamp(threads) &&
                   got.repeat < clamp(repeats);
        })) {
        *done = KeptAnswers(finishedBefore, n, true, nullptr);
        return LibraryCall::kFailed;
    }
    if (answered == 0) return LibraryCall::kNoEntry;
    // The answers and the differing record out of the shared area first, then checked.
    std::memcpy(&got.record, &area.check.differing, sizeof got.record);
    AnswerHash read;
    const std::uint64_t answersHash = TakeAnswers(count, true, false);
    read.AddWord(answersHash);
    read.AddBytes(&got.record, sizeof got.record);
    if (read.Value() != hash) {
        m_answersTaken = false;
        SharedMemoryOverwritten(batch);
        return LibraryCall::kFailed;
    }
    *done = count;
    *outcome = got;
    return LibraryCall::kAnswered;
}

const std::uint64_t* GuardedLibrary::CallNanoseconds() const {
    if (m_answersTaken && m_takenNs != nullptr) return m_takenNs.get();
    if (m_area.Data() == nullptr) return nullptr;
    return static_cast<const SharedArea*>(m_area.Data())->check.callNs;
}

std::uint64_t GuardedLibrary::TakeAnswers(std::size_t n, bool wholeRecords, bool timed) {
    if (m_takenAnswers == nullptr) m_takenAnswers.reset(new BatchAnswers);
    const BatchAnswers& shared = Area().answers;
    BatchAnswers& taken = *m_takenAnswers;
    std::memcpy(taken.result, shared.result, n * sizeof taken.result[0]);
    std::memcpy(taken.type, shared.type, n * sizeof taken.type[0]);
    for (int v = 0; v < 4; ++v) {
        std::memcpy(taken.value[v], shared.value[v], n * sizeof taken.value[v][0]);
    }
    if (wholeRecords) std::memcpy(taken.record, shared.record, n * sizeof taken.record[0]);
    if (timed) {
        if (m_takenNs == nullptr) m_takenNs.reset(new std::uint64_t[kMaxBatchPoints]);
        std::memcpy(m_takenNs.get(), Area().check.callNs, n * sizeof(std::uint64_t));
    }
    m_answersTaken = true;
    AnswerHash hash;
    HashBatchAnswers(hash, taken, n, wholeRecords, timed ? m_takenNs.get() : nullptr);
    return hash.Value();
}

bool GuardedLibrary::ConfirmAnswers(std::uint64_t hash) {
    if (!m_confirmPending) return true;
    m_confirmPending = false;
    if (hash == m_pendingHash) return true;
    Exchange batch;
    batch.tag = m_pendingTag;
    SharedMemoryOverwritten(batch);
    return false;
}

BatchPoints& GuardedLibrary::Points() {
    if (m_area.Data() != nullptr) return Area().points;
    if (m_sparePoints == nullptr) m_sparePoints.reset(new BatchPoints);
    return *m_sparePoints;
}

const BatchAnswers& GuardedLibrary::Answers() const {
    if (m_answersTaken) return *m_takenAnswers;
    if (m_area.Data() != nullptr) return static_cast<const SharedArea*>(m_area.Data())->answers;
    if (m_spareAnswers == nullptr) m_spareAnswers.reset(new BatchAnswers);
    return *m_spareAnswers;
}

std::size_t GuardedLibrary::RunBatch(RecordPair& working, std::size_t n, std::uint32_t options,
                                     const BatchProgress& progress, LibraryCall* status,
                                     int* recordVersion) {
    *status = LibraryCall::kFailed;
    if (!Ready()) return 0;
    if (n > kMaxBatchPoints) n = kMaxBatchPoints;
    m_answersTaken = false;
    m_confirmPending = false;
    SharedArea& area = Area();
    Exchange batch;
    batch.rows = progress.rows;
    if (batch.rows <= 0) {
        for (std::size_t i = 0; i < n; ++i) {
            if (area.points.flags[i] & kEndsRow) ++batch.rows;
        }
        if (n > 0 && !(area.points.flags[n - 1] & kEndsRow)) ++batch.rows;  // ends unmarked
    }
    batch.progress = &progress;
    // The batch's request as its first point sets it (or as the working pair has it).
    int type = working.Type(), numb = working.Numb();
    if (n > 0 && (area.points.fields[0] & kSetType)) type = area.points.type[0];
    if (n > 0 && (area.points.fields[0] & kSetNumb)) numb = area.points.numb[0];
    batch.tag = TagOf(++m_serial, type, numb, n);
    if (progress.report && !progress.continuesRow &&
        ReportProgress(progress.firstRow, progress.totalRows - 1)) {
        if (progress.cancelled != nullptr) *progress.cancelled = true;
        *status = LibraryCall::kAnswered;
        return 0;
    }
    std::memcpy(&area.batch.ud, &working.ud, sizeof working.ud);
    std::memcpy(area.batch.fd, working.fd, sizeof working.fd);
    SetCancel(area.status, 0);
    std::atomic_ref<std::uint64_t>(area.status.rowsDone).store(0, std::memory_order_release);
    std::uint64_t finishedBefore = m_finishedSeen;
    ReadFinished(&finishedBefore);
    const bool wholeRecords = (options & kBatchWholeRecords) != 0;
    const bool timed = (options & kBatchTimed) != 0;

    FrameWriter request(kOpBatch);
    request.U32(static_cast<std::uint32_t>(n)).U32(options & ~std::uint32_t{kBatchReaderVerifies});
    std::uint32_t done = 0, stopped = 0;
    std::int32_t answered = 0, version = 0;
    std::uint64_t answersHash = 0, pairHash = 0;
    if (!Transact(request, batch, [&](FrameReader& answer) {
            return answer.U32(&done) && answer.I32(&answered) && answer.I32(&version) &&
                   answer.U32(&stopped) && answer.U64(&answersHash) && answer.U64(&pairHash) &&
                   done <= n && Flag(answered) && KnownVersion(version) && stopped <= 1 &&
                   (stopped == 1) == (done < n);
        })) {
        // Every call that returned before the fault left its answer, as far as they are still
        // as the helper wrote them.
        if (!m_fault.Faulted() || m_fault.kind == LibraryFaultKind::kSharedMemory) return 0;
        return KeptAnswers(finishedBefore, n, wholeRecords, timed ? area.check.callNs : nullptr);
    }
    if (answered == 0) {
        *status = LibraryCall::kNoEntry;
        return 0;
    }
    // The working pair out of the shared area, then checked; and a batch stops short only when
    // the program asked it to (the library may set the flag too).
    const std::size_t fdBytes = FixedDataSize(version);
    if (m_takenPair == nullptr) m_takenPair = std::make_unique<RecordPair>();
    std::memcpy(&m_takenPair->ud, &area.batch.ud, sizeof area.batch.ud);
    std::memcpy(m_takenPair->fd, area.batch.fd, fdBytes);
    AnswerHash pair;
    pair.AddBytes(&m_takenPair->ud, sizeof m_takenPair->ud);
    pair.AddBytes(m_takenPair->fd, fdBytes);
    bool asWritten = pair.Value() == pairHash && (stopped == 0 || m_cancelAsked);
    // The answers: checked by their reader as it reads them, or taken out and checked here.
    if (asWritten && (options & kBatchReaderVerifies)) {
        m_confirmPending = true;
        m_pendingHash = answersHash;
        m_pendingTag = batch.tag;
    } else if (asWritten) {
        asWritten = TakeAnswers(done, wholeRecords, timed) == answersHash;
        m_answersTaken = asWritten;
    }
    if (!asWritten) {
        SharedMemoryOverwritten(batch);
        return 0;
    }
    std::memcpy(&working.ud, &m_takenPair->ud, sizeof working.ud);
    std::memcpy(working.fd, m_takenPair->fd, fdBytes);
    *status = LibraryCall::kAnswered;
    *recordVersion = version;
    return done;
}

}  // namespace velmor
