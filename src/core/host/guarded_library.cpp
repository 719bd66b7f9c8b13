#include "core/host/guarded_library.h"

#include <algorithm>
#include <atomic>
#include <chrono>
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

std::uint64_t LoadFinishedCalls(HostStatus& status) {
    return std::atomic_ref<std::uint64_t>(status.callsFinished).load(std::memory_order_acquire);
}

std::uint64_t LoadRowsDone(HostStatus& status) {
    return std::atomic_ref<std::uint64_t>(status.rowsDone).load(std::memory_order_acquire);
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
    Exchange hello;
    hello.tag = TagOf(++m_serial, kLoadRequestType, 0, 0);
    // Wine's start (a fresh prefix is made first) is no library call: its own limit.
    if (windows) hello.limitSeconds = std::max(kWineStartLimitSeconds, m_limits.timeoutSeconds);
    std::vector<unsigned char> answer;
    FrameWriter request(kOpHello);
    request.U32(kProtocolVersion);
    // What the helper (or wine) writes while it starts is its own, not the library's: it goes
    // into the message when the start fails and nowhere when it succeeds.
    std::string startOutput;
    m_startOutput = &startOutput;
    const bool answered = Transact(request, kOpHello, hello, &answer);
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
    FrameReader reader(answer.data(), answer.size());
    std::uint32_t version = 0;
    if (!reader.U32(&version) || version != kProtocolVersion) {
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
    std::vector<unsigned char> answer;
    FrameWriter request(kOpLoad);
#ifndef _WIN32
    if (windows) {
        request.String(WindowsPathOf(path));
    } else
#endif
    {
        request.String(path);
    }
    if (!Transact(request, kOpLoad, load, &answer)) {
        *reason = m_fault.Describe();
        return false;
    }
    FrameReader reader(answer.data(), answer.size());
    std::int32_t loaded = 0, version = 0;
    std::string why;
    if (!reader.I32(&loaded) || !reader.I32(&version) || !reader.String(&why)) {
        HelperGone(LibraryFaultKind::kHost, 0, "the helper sent a broken answer");
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
        } else if (end.signaled) {
            fault.kind = LibraryFaultKind::kSignal;
            fault.signal = end.signal;
            fault.signalName = SignalName(end.signal);
            fault.signalMeaning = SignalMeaning(end.signal);
        } else {
            fault.code = end.exitCode;
        }
    }
    // The request the library had, as the helper wrote it before the call.
    if (m_area.Data() != nullptr) {
        const HostStatus& status = Area().status;
        fault.type = status.callType;
        fault.numb = status.callNumb;
        fault.x = status.callX;
        fault.y = status.callY;
        fault.z = status.callZ;
        fault.l = status.callL;
        fault.m = status.callM;
        fault.n = status.callN;
        // A Windows helper names the exception that ended it; its exit status under wine
        // would keep only the code's lowest bits.
        if (fault.kind == LibraryFaultKind::kExit && status.exceptionCode != 0) {
            fault.kind = LibraryFaultKind::kException;
            fault.exceptionCode = status.exceptionCode;
            fault.exceptionAddress = status.exceptionAddress;
        }
    }
    fault.requestName = SurfaceRequestName(fault.type, fault.numb);
    m_fault = fault;
}

bool GuardedLibrary::Transact(const FrameWriter& request, std::uint32_t op, Exchange& exchange,
                              std::vector<unsigned char>* answer) {
    HostStatus& status = Area().status;
    std::string output;
    m_lastTag = exchange.tag;

    m_busy = true;
    struct Idle {
        GuardedLibrary& library;
        bool hookTold = false;
        ~Idle() {
            library.m_busy = false;
            if (hookTold && library.m_waitHook != nullptr) library.m_waitHook->OnLibraryWaitEnded();
        }
    } idle{*this};

    const std::vector<unsigned char> bytes = request.Bytes();
    if (!m_process.Send(bytes.data(), bytes.size())) {
        HelperGone(LibraryFaultKind::kExit, 0, {});
        return false;
    }

    // The helper sends nothing but the answer to this request: whatever arrives is read at
    // once, the header and the payload usually in one piece.
    std::vector<unsigned char> frame;
    frame.reserve(256);
    Clock::time_point clockStart = Clock::now();
    Clock::time_point nextDebuggerCheck = clockStart + kDebuggerCheckInterval;
    std::uint64_t finished = LoadFinishedCalls(status);
    long long rowsReported = 0;
    const double limit =
        exchange.limitSeconds > 0 ? exchange.limitSeconds : m_limits.timeoutSeconds;

    for (;;) {
        const HelperProcess::Events events = m_process.Wait(kTickMs, &output);
        DeliverOutput(output, exchange.tag);
        if (events.answer || events.answerClosed) {
            unsigned char bytes[256];
            const long got = m_process.ReadAnswer(bytes, sizeof bytes);
            if (got < 0) {
                HelperGone(LibraryFaultKind::kExit, 0, {});
                return false;
            }
            frame.insert(frame.end(), bytes, bytes + got);
            if (frame.size() >= kFrameHeaderBytes) {
                const FrameHeader header = DecodeFrameHeader(frame.data());
                const std::size_t whole = kFrameHeaderBytes + header.payloadBytes;
                if (header.magic != kFrameMagic || header.op != op ||
                    header.payloadBytes > kMaxFramePayload || frame.size() > whole) {
                    HelperGone(LibraryFaultKind::kHost, 0, "the helper sent a broken answer");
                    return false;
                }
                if (frame.size() == whole) {
                    // The helper flushed the library's output before it answered, so this
                    // request's output was read with the answer or before it.
                    answer->assign(frame.begin() + kFrameHeaderBytes, frame.end());
                    return true;
                }
            }
        }

        // Still waiting: the helper itself, the heartbeat, progress, the hook, the limits. A
        // process the library started may hold the answer channel open after the helper died.
        if (!events.answer && m_process.Ended()) {
            HelperGone(LibraryFaultKind::kExit, 0, {});
            return false;
        }
        const Clock::time_point now = Clock::now();
        const std::uint64_t finishedNow = LoadFinishedCalls(status);
        if (finishedNow != finished) {
            finished = finishedNow;
            clockStart = now;
        }
        if (now >= nextDebuggerCheck) {
            nextDebuggerCheck = now + kDebuggerCheckInterval;
            if (m_process.DebuggerAttached()) clockStart = now;  // the clock stands still
        }
        const long long rowsDone = static_cast<long long>(LoadRowsDone(status));
        if (exchange.progress != nullptr && exchange.progress->report && rowsDone != rowsReported &&
            rowsDone < exchange.rows) {
            rowsReported = rowsDone;
            if (ReportProgress(exchange.progress->firstRow + rowsDone,
                               exchange.progress->totalRows - 1)) {
                SetCancel(status, 1);
                if (exchange.progress != nullptr && exchange.progress->cancelled != nullptr) {
                    *exchange.progress->cancelled = true;
                }
            }
        }
        const double seconds = std::chrono::duration<double>(now - clockStart).count();
        if (m_waitHook != nullptr) {
            LibraryWaitInfo info;
            info.secondsWaiting = seconds;
            info.waiting = seconds * 1000.0 >= m_limits.waitMs;
            info.rowsDone = exchange.rows > 0 ? rowsDone : 0;
            info.rows = exchange.rows;
            info.type = status.callType;
            info.numb = status.callNumb;
            info.requestName = SurfaceRequestName(info.type, info.numb);
            info.helperPid = m_process.Pid();
            idle.hookTold = true;
            const LibraryWaitAction action = m_waitHook->OnLibraryWait(info);
            if (action == LibraryWaitAction::kStop) {
                HelperGone(LibraryFaultKind::kStopped, 0, {});
                return false;
            }
            if (action == LibraryWaitAction::kCancelBatch && exchange.rows > 0) {
                SetCancel(status, 1);
                if (exchange.progress != nullptr && exchange.progress->cancelled != nullptr) {
                    *exchange.progress->cancelled = true;
                }
            }
        }
        if (limit > 0 && seconds >= limit) {
            HelperGone(LibraryFaultKind::kTimeout, limit, {});
            return false;
        }
    }
}

LibraryCall GuardedLibrary::Call(RecordPair& pair, int* result, int* recordVersion) {
    if (!m_loaded || m_fault.Faulted() || m_busy) return LibraryCall::kFailed;
    // The USER_DATA and the entry's own FIXED_DATA record cross, not the whole 45808-byte area
    // (copying that would cost more than the call); the area's bytes past the record stay as
    // they are, and only a library writing past its record would touch them.
    SharedRecordPair& shared = Area().call;
    const std::size_t fdBytes = FixedDataSize(m_recordVersion);
    std::memcpy(&shared.ud, &pair.ud, sizeof pair.ud);
    std::memcpy(shared.fd, pair.fd, fdBytes);
    Exchange call;
    call.tag = TagOf(++m_serial, pair.Type(), pair.Numb(), 0);
    std::vector<unsigned char> answer;
    if (!Transact(FrameWriter(kOpCall), kOpCall, call, &answer)) return LibraryCall::kFailed;
    FrameReader reader(answer.data(), answer.size());
    std::int32_t answered = 0, value = 0, version = 0;
    if (!reader.I32(&answered) || !reader.I32(&value) || !reader.I32(&version)) {
        HelperGone(LibraryFaultKind::kHost, 0, "the helper sent a broken answer");
        return LibraryCall::kFailed;
    }
    if (answered == 0) return LibraryCall::kNoEntry;
    std::memcpy(&pair.ud, &shared.ud, sizeof pair.ud);
    std::memcpy(pair.fd, shared.fd, fdBytes);
    *result = value;
    *recordVersion = version;
    return LibraryCall::kAnswered;
}

LibraryCall GuardedLibrary::CallWholePair(SharedRecordPair& pair, int* result) {
    if (!m_loaded || m_fault.Faulted() || m_busy) return LibraryCall::kFailed;
    SharedRecordPair& shared = Area().call;
    std::memcpy(&shared, &pair, sizeof pair);
    Exchange call;
    int type = 0, numb = 0;
    std::memcpy(&type, pair.fd + offsetof(FIXED_DATA, type), sizeof type);
    std::memcpy(&numb, pair.fd + offsetof(FIXED_DATA, numb), sizeof numb);
    call.tag = TagOf(++m_serial, type, numb, 0);
    std::vector<unsigned char> answer;
    if (!Transact(FrameWriter(kOpCall), kOpCall, call, &answer)) return LibraryCall::kFailed;
    FrameReader reader(answer.data(), answer.size());
    std::int32_t answered = 0, value = 0, version = 0;
    if (!reader.I32(&answered) || !reader.I32(&value) || !reader.I32(&version)) {
        HelperGone(LibraryFaultKind::kHost, 0, "the helper sent a broken answer");
        return LibraryCall::kFailed;
    }
    if (answered == 0) return LibraryCall::kNoEntry;
    std::memcpy(&pair, &shared, sizeof pair);
    *result = value;
    return LibraryCall::kAnswered;
}

LibraryCall GuardedLibrary::RunThreads(const RecordPair& start, std::size_t n, int threads,
                                       int repeats, std::size_t* done, ThreadsOutcome* outcome) {
    *done = 0;
    *outcome = {};
    if (!m_loaded || m_fault.Faulted() || m_busy || m_area.Data() == nullptr) {
        return LibraryCall::kFailed;
    }
    if (n > kMaxBatchPoints) n = kMaxBatchPoints;
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
    const std::uint64_t finishedBefore = LoadFinishedCalls(area.status);
    std::vector<unsigned char> answer;
    FrameWriter request(kOpThreads);
    request.U32(static_cast<std::uint32_t>(n)).U32(clamp(threads)).U32(clamp(repeats));
    if (!Transact(request, kOpThreads, batch, &answer)) {
        const std::uint64_t finished = LoadFinishedCalls(area.status) - finishedBefore;
        *done = finished < n ? static_cast<std::size_t>(finished) : n;
        return LibraryCall::kFailed;
    }
    FrameReader reader(answer.data(), answer.size());
    std::uint32_t count = 0;
    std::int32_t answered = 0, version = 0;
    ThreadsOutcome got;
    if (!reader.U32(&count) || !reader.I32(&answered) || !reader.I32(&version) ||
        !reader.U32(&got.kind) || !reader.U32(&got.point) || !reader.U32(&got.thread) ||
        !reader.U32(&got.repeat) || !reader.U32(&got.differing) || !reader.I32(&got.result) ||
        count > n || got.point >= (n > 0 ? n : 1) || got.kind > kThreadsNotRepeatable) {
        HelperGone(LibraryFaultKind::kHost, 0, "the helper sent a broken answer");
        return LibraryCall::kFailed;
    }
    if (answered == 0) return LibraryCall::kNoEntry;
    std::memcpy(&got.record, &area.check.differing, sizeof got.record);
    *done = count;
    *outcome = got;
    return LibraryCall::kAnswered;
}

const std::uint64_t* GuardedLibrary::CallNanoseconds() const {
    if (m_area.Data() == nullptr) return nullptr;
    return static_cast<const SharedArea*>(m_area.Data())->check.callNs;
}

BatchPoints& GuardedLibrary::Points() {
    if (m_area.Data() != nullptr) return Area().points;
    if (m_sparePoints == nullptr) m_sparePoints.reset(new BatchPoints);
    return *m_sparePoints;
}

const BatchAnswers& GuardedLibrary::Answers() const {
    if (m_area.Data() != nullptr) return static_cast<const SharedArea*>(m_area.Data())->answers;
    if (m_spareAnswers == nullptr) m_spareAnswers.reset(new BatchAnswers);
    return *m_spareAnswers;
}

std::size_t GuardedLibrary::RunBatch(RecordPair& working, std::size_t n, std::uint32_t options,
                                     const BatchProgress& progress, LibraryCall* status,
                                     int* recordVersion) {
    *status = LibraryCall::kFailed;
    if (!m_loaded || m_fault.Faulted() || m_busy || m_area.Data() == nullptr) return 0;
    if (n > kMaxBatchPoints) n = kMaxBatchPoints;
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
    const std::uint64_t finishedBefore = LoadFinishedCalls(area.status);

    std::vector<unsigned char> answer;
    FrameWriter request(kOpBatch);
    request.U32(static_cast<std::uint32_t>(n)).U32(options);
    if (!Transact(request, kOpBatch, batch, &answer)) {
        // Every call that returned before the fault left its answer.
        const std::uint64_t done = LoadFinishedCalls(area.status) - finishedBefore;
        return done < n ? static_cast<std::size_t>(done) : n;
    }
    FrameReader reader(answer.data(), answer.size());
    std::uint32_t done = 0;
    std::int32_t answered = 0, version = 0;
    if (!reader.U32(&done) || !reader.I32(&answered) || !reader.I32(&version) || done > n) {
        HelperGone(LibraryFaultKind::kHost, 0, "the helper sent a broken answer");
        return 0;
    }
    if (answered == 0) {
        *status = LibraryCall::kNoEntry;
        return 0;
    }
    std::memcpy(&working.ud, &area.batch.ud, sizeof working.ud);
    std::memcpy(working.fd, area.batch.fd, sizeof working.fd);
    *status = LibraryCall::kAnswered;
    *recordVersion = version;
    return done;
}

}  // namespace velmor
