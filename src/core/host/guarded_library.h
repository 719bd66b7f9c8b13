// The surface library run in the helper process `velmor-surface-host`. Every use of the library
// (the load with its constructors, each call, each batch of samples) is a request to the helper;
// the records travel through the shared area. When the library crashes, exits or stops
// answering, only the helper ends: the call fails, Fault() tells what happened, which request
// it was and with which inputs, and every later call fails at once until the library is opened
// again (a fresh helper).
//
// While a request waits the program keeps control: a wait hook is called on every tick (about
// every 10 ms) to pump events, show "Waiting for the surface library ..." and offer Cancel; the
// library's output is handed to an output sink as it arrives; a time limit stops a helper whose
// library calls stop finishing.
//
// The helper is tied to the thread that starts it (Open): it ends when that thread ends, so a
// program that is gone leaves no helper behind. Use a library from a thread that lives as long
// as the library is loaded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/host/helper_process.h"
#include "core/host/host_protocol.h"
#include "core/host/library_fault.h"
#include "core/host/shared_area.h"
#include "core/host/threaded_batch.h"
#include "core/host/wine_launch.h"
#include "core/surface/surface_library.h"

namespace velmor {

inline constexpr const char* kHelperExecutableName = "velmor-surface-host";

// The helper beside the running executable.
std::string DefaultHelperPath();

// The limits of [LIBRARY_HOST] in the settings file.
struct LibraryLimits {
    // WAIT_MS: a request without a finished library call for this long is "waiting" (the hook's
    // LibraryWaitInfo::waiting), the moment to show the waiting window.
    int waitMs = 2000;
    // TIMEOUT_S: a request without a finished library call for this long stops the helper. The
    // clock restarts whenever a library call finishes (a long batch of quick calls never runs
    // out) and does not run while a debugger is attached to the helper.
    double timeoutSeconds = 60;
    // MEMORY_MB: the helper's data limit (heap and other private memory, not address space);
    // 0 for none.
    long long memoryMb = 4096;
    // FENCES: each call gets its records between fence pages (record_fences.h); false: in
    // ordinary memory of the helper's, for a library that must read past its record to run.
    bool fences = true;
    // ALLOW_PROCESSES: the library may start processes (at most kMaxLibraryProcesses at once,
    // ended with the helper); false: every start fails (process_guard.h).
    bool allowProcesses = false;
};

// What the wait hook is told on each tick of a request that has not been answered yet.
struct LibraryWaitInfo {
    double secondsWaiting = 0;  // since the request was sent or a library call last finished
    bool waiting = false;       // secondsWaiting has reached the limits' waitMs
    long long rowsDone = 0;     // rows of the batch finished (0 for a single call)
    long long rows = 0;         // rows of the batch (0 for a single call)
    int type = 0, numb = 0;     // the request the library has now
    const char* requestName = "";
    int helperPid = 0;
};

enum class LibraryWaitAction {
    kContinue,
    kCancelBatch,  // a batch stops after the row in progress (ignored for a single call)
    kStop,         // the helper is killed; the fault is "stopped by the user"
};

class LibraryWaitHook {
public:
    virtual ~LibraryWaitHook() = default;
    // Called on the thread that made the request. A request this hook makes of the same library
    // fails at once (LibraryCall::kFailed without a fault).
    virtual LibraryWaitAction OnLibraryWait(const LibraryWaitInfo& info) = 0;
    // Called once a request whose wait this hook was told of has ended (answered, failed or
    // stopped), with the library no longer busy: the moment to take the waiting window down.
    virtual void OnLibraryWaitEnded() {}
};

// The request whose output this is: one serial number per request, so consecutive output of one
// request can go under one heading. What a library writes between requests (from a thread of its
// own) arrives with the next request, or with the last one when the library is closed.
struct LibraryRequestTag {
    std::uint64_t serial = 0;
    int type = 0, numb = 0;  // the request (a batch: its first point's)
    const char* name = "";   // SurfaceRequestName(type, numb)
    std::size_t points = 0;  // points of a batch, 0 for a single call or the load
};

class LibraryOutputSink {
public:
    virtual ~LibraryOutputSink() = default;
    // Bytes the library wrote to its standard output or error, in the order written (both
    // streams are one channel), as they arrive: a line may come in pieces.
    virtual void OnLibraryOutput(std::string_view bytes, const LibraryRequestTag& request) = 0;
};

class GuardedLibrary final : public SurfaceLibrary {
public:
    explicit GuardedLibrary(std::string helperPath = DefaultHelperPath());
    ~GuardedLibrary() override;  // ends the helper

    // Limits take effect at the next Open; the hook and the sink at once. Neither is owned.
    // Without a sink the library's output goes to the program's standard error.
    void SetLimits(const LibraryLimits& limits) { m_limits = limits; }
    void SetWaitHook(LibraryWaitHook* hook) { m_waitHook = hook; }
    void SetOutputSink(LibraryOutputSink* sink) { m_outputSink = sink; }
    // How a Windows DLL's helper runs under wine (on Linux); takes effect at the next Open.
    void SetWine(const WineLaunch& wine) { m_wine = wine; }

    // Starts a fresh helper and loads the library there. A helper that cannot be started, or
    // a library that cannot be loaded, fails with *reason; a library that faults while loading
    // fails with the fault's description (and Fault() set). A Windows DLL (by its content) for
    // x64 runs in the Windows helper under wine, whose start is not bound by the time limit (a
    // fresh prefix takes a while); one for another machine is refused with the message of
    // CheckPeFile. When wine cannot start the helper, Fault() says why, with what wine wrote.
    bool Open(const std::string& path, int* recordVersion, std::string* reason) override;
    // Asks the helper to unload the library and end (it is killed after half a second).
    void Close() override;
    // True from a successful Open to Close, also after a fault: the faulted library is still
    // the one loaded, and every call fails until it is opened again.
    bool IsOpen() const override { return m_loaded; }

    LibraryCall Call(RecordPair& pair, int* result, int* recordVersion) override;
    BatchPoints& Points() override;
    const BatchAnswers& Answers() const override;
    std::size_t RunBatch(RecordPair& working, std::size_t n, std::uint32_t options,
                         const BatchProgress& progress, LibraryCall* status,
                         int* recordVersion) override;
    bool ConfirmAnswers(std::uint64_t hash) override;
    const LibraryFault* Fault() const override { return m_fault.Faulted() ? &m_fault : nullptr; }
    bool Busy() const override { return m_busy; }

    // The helper's process id (for the output window's title and a debugger), 0 when none runs.
    int HelperPid() const { return m_process.Pid(); }

    // --- What the library check asks besides calls and batches.
    // A single call that carries the whole pair as it is given: USER_DATA and the guard bytes
    // after it, the whole FIXED_DATA area and the guard bytes after that, so the caller sees
    // every byte the library wrote, also past its records. On kAnswered `pair` holds them all.
    LibraryCall CallWholePair(SharedRecordPair& pair, int* result);
    // Points [0, n) of Points() from `start` (kOpThreads): one run for the answers, left in
    // Answers() with whole records, then RunThreadedBatch's runs; *outcome says how they
    // compared. *done is the points of the first run (n unless the library faulted).
    LibraryCall RunThreads(const RecordPair& start, std::size_t n, int threads, int repeats,
                           std::size_t* done, ThreadsOutcome* outcome);
    // Each call's duration (ns) in the last batch run with kBatchTimed; nullptr when no
    // helper runs.
    const std::uint64_t* CallNanoseconds() const;

private:
    struct Exchange;
    class AnswerFrame;
    class RequestWait;
    // The bytes of a pair that cross to the helper and back for one call.
    struct CallBytes {
        unsigned char* ud;  // from the USER_DATA on
        std::size_t udBytes;
        unsigned char* fd;  // from the FIXED_DATA on
        std::size_t fdBytes;
    };
    // Reads the fields of a request's answer from its payload: false when they are not all
    // there or make no sense (a broken answer). It refers to the caller's function (a lambda),
    // which outlives the Transact it is passed to; nothing is copied or allocated per request.
    class AnswerReader {
    public:
        template <typename Read>
        AnswerReader(const Read& read)  // implicit: Transact(request, exchange, [&](...) {...})
            : m_read(&read), m_call([](const void* f, FrameReader& answer) {
                  return (*static_cast<const Read*>(f))(answer);
              }) {}
        bool operator()(FrameReader& answer) const { return m_call(m_read, answer); }

    private:
        const void* m_read;
        bool (*m_call)(const void*, FrameReader&);
    };

    // A request can go to the helper: a library is loaded, it has not faulted, and no request
    // is waiting for its answer (one made from a wait hook or a progress report would be).
    bool Ready() const;
    bool StartHelper(bool windows, std::string* reason);
    // Keeps a fault of kind kHost in the library load with `detail` (wine could not start the
    // Windows helper) and returns its description.
    std::string WineStartFault(const std::string& detail);
    // Sends one request and waits for its answer, watching the helper; `read` takes the answer's
    // fields. False after a fault (m_fault set, the helper gone), a broken answer included.
    bool Transact(const FrameWriter& request, const Exchange& exchange, const AnswerReader& read);
    // Transact's reading of the answer channel: what has arrived joins `frame`; once the frame is
    // whole, `read` takes its fields.
    enum class AnswerState { kIncomplete, kRead, kFailed };
    AnswerState ReadAnswer(AnswerFrame& frame, const AnswerReader& read);
    // A single call with the records `bytes` describes (the whole pair with its guard bytes for
    // the library check); *recordVersion may be null.
    LibraryCall CallRecords(const CallBytes& bytes, bool wholePair, int* result,
                            int* recordVersion);
    // After a fault in a batch of `n` points begun when the heartbeat stood at `before`: the
    // points whose answers stand, those that finished and whose answers are as the helper wrote
    // them (their sealed hash agrees); 0 when that cannot be told.
    std::size_t KeptAnswers(std::uint64_t before, std::size_t n, bool wholeRecords,
                            const std::uint64_t* callNs);
    // The heartbeat, when its seal agrees (false otherwise: read it again later).
    bool ReadFinished(std::uint64_t* finished) const;
    void HelperGone(LibraryFaultKind kind, double limitSeconds, const std::string& detail);
    // The answers of `exchange` differ from what the helper wrote: the library overwrote the
    // shared area. The helper is ended, and the fault names the request the program sent.
    void SharedMemoryOverwritten(const Exchange& exchange);
    // Copies answers [0, n) of the shared area (the whole records with `wholeRecords`, the
    // durations with `timed`) into memory of the program's own, where Answers() and
    // CallNanoseconds() find them from now on, and returns their hash: what is checked is what
    // is used, whatever the library writes into the shared area later.
    std::uint64_t TakeAnswers(std::size_t n, bool wholeRecords, bool timed);
    // Hands the library's output to the sink, or keeps it in *m_startOutput while a helper
    // starts (it is the helper's or wine's own then).
    void DeliverOutput(std::string& bytes, const LibraryRequestTag& tag);
    SharedArea& Area() { return *static_cast<SharedArea*>(m_area.Data()); }

    std::string m_helperPath;
    LibraryLimits m_limits;
    WineLaunch m_wine;
    std::string* m_startOutput = nullptr;
    LibraryWaitHook* m_waitHook = nullptr;
    LibraryOutputSink* m_outputSink = nullptr;
    HelperProcess m_process;
    SharedAreaFile m_area;
    bool m_loaded = false;
    int m_recordVersion = kRecordVersion0;  // of the loaded library's entry
    bool m_busy = false;                    // a request is waiting for its answer
    bool m_cancelAsked = false;             // the batch waiting was asked to stop short
    std::uint64_t m_key = 0;                // the seals' key of the running helper
    std::uint64_t m_finishedSeen = 0;       // the heartbeat as last read with its seal
    std::uint64_t m_serial = 0;
    LibraryRequestTag m_lastTag;
    LibraryFault m_fault;
    // Batch room while no helper runs (made on first use, left uninitialised).
    mutable std::unique_ptr<BatchPoints> m_sparePoints;
    mutable std::unique_ptr<BatchAnswers> m_spareAnswers;
    // The answers (and durations) of the last batch taken out of the shared area, and where
    // Answers() finds the last batch's: the shared area after a batch its reader checks.
    std::unique_ptr<BatchAnswers> m_takenAnswers;
    std::unique_ptr<std::uint64_t[]> m_takenNs;
    std::unique_ptr<RecordPair> m_takenPair;  // the working pair as a batch left it
    bool m_answersTaken = false;
    // A batch read by its caller: the hash its answers must have, and its request.
    bool m_confirmPending = false;
    std::uint64_t m_pendingHash = 0;
    LibraryRequestTag m_pendingTag;
};

}  // namespace velmor
