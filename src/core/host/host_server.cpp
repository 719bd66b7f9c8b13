#include "core/host/host_server.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "core/host/process_guard.h"
#include "core/host/record_fences.h"
#include "core/host/threaded_batch.h"
#include "core/surface/batch_loop.h"
#include "core/surface/dynamic_library.h"
#include "core/surface/surface_entry.h"

namespace velmor {

namespace {

// The status block's heartbeat and flags, written while the program may read them.
void StoreInCall(HostStatus& status, std::uint32_t value) {
    std::atomic_ref<std::uint32_t>(status.inCall).store(value, std::memory_order_release);
}

void Store(std::uint64_t& field, std::uint64_t value) {
    std::atomic_ref<std::uint64_t>(field).store(value, std::memory_order_release);
}

// The count of finished library calls is the helper's own; the status block gets a sealed copy.
// The helper is the only writer (but for the library check's threads): a plain store of the next
// value is enough (and costs no locked instruction per call).
class FinishedCalls {
public:
    FinishedCalls(HostStatus& status, std::uint64_t key) : m_status(status), m_key(key) {}
    void Count() {
        ++m_count;
        Store(m_status.callsFinished, m_count);
        Store(m_status.finishedSeal, SealFinished(m_count, m_key));
    }
    // After the threads of the library check counted into the status block themselves.
    void TakeFromStatus() {
        m_count = std::atomic_ref<std::uint64_t>(m_status.callsFinished).load();
        Store(m_status.finishedSeal, SealFinished(m_count, m_key));
    }
    void SetKey(std::uint64_t key) {
        m_key = key;
        Store(m_status.finishedSeal, SealFinished(m_count, m_key));
    }
    std::uint64_t Key() const { return m_key; }

private:
    HostStatus& m_status;
    std::uint64_t m_key;
    std::uint64_t m_count = 0;
};

// Before each library call of a batch: the request and its inputs into the status block,
// sealed, then "in call". After it: the bytes before the records looked at, "not in call", the
// answer counted into the hash and the sealed count of answers, the heartbeat. A template of
// what the batch carries, so that a sag pass's calls test for neither.
template <bool kWholeRecords, bool kTimed>
struct StatusHooks : BatchHooks {
    StatusHooks(HostStatus& s, FinishedCalls& f, const FencedPair& p, std::uint64_t* ns)
        : status(s), finished(f), pair(p), callNs(ns) {}

    void CallStarts(const USER_DATA& ud, const unsigned char* fd) {
        WriteCallStatus(status, ud, fd, finished.Key());
        if (kTimed) started = std::chrono::steady_clock::now();
    }
    void CallReturned(const USER_DATA&, const unsigned char*) {
        if (!pair.Intact()) pair.EndWithDamage();
    }
    void CallEnded(int result, int type, const USER_DATA& ud) {
        hash.AddAnswer(result, type, ud, kWholeRecords);
        if (kTimed) {
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                std::chrono::steady_clock::now() - started);
            callNs[answers] = static_cast<std::uint64_t>(ns.count());
            hash.AddWord(callNs[answers]);
        }
        ++answers;
        // The answers first, then the count: a helper that ends between the two leaves a seal
        // one answer ahead, which the program tries as well.
        Store(status.answersSeal, SealAnswers(answers, hash.Lanes(), finished.Key()));
        finished.Count();
    }
    bool RowEnded(std::size_t) {
        std::atomic_ref<std::uint64_t> rows(status.rowsDone);
        rows.store(rows.load(std::memory_order_relaxed) + 1, std::memory_order_release);
        std::fflush(nullptr);  // the library's own buffered streams, row by row
        return std::atomic_ref<std::uint32_t>(status.cancel).load(std::memory_order_acquire) == 0;
    }

    HostStatus& status;
    FinishedCalls& finished;
    const FencedPair& pair;
    std::uint64_t* callNs;  // kBatchTimed: each call's duration
    std::chrono::steady_clock::time_point started;
    AnswerHash hash;
    std::uint64_t answers = 0;
};

class HostServer {
public:
    HostServer(HostHandle requests, HostHandle answers, SharedArea& area)
        : m_requests(requests), m_answers(answers), m_area(area), m_finished(area.status, 0) {}

    int Run() {
        m_area.status.helperPid = CurrentProcessId();
        CatchFenceFaults();
        std::vector<unsigned char> payload;
        for (;;) {
            unsigned char head[kFrameHeaderBytes];
            if (!ReadExact(m_requests, head, sizeof head)) return ChannelEnded();
            const FrameHeader header = DecodeFrameHeader(head);
            if (header.magic != kFrameMagic || header.payloadBytes > kMaxFramePayload) {
                return Broken();
            }
            payload.resize(header.payloadBytes);
            if (!payload.empty() && !ReadExact(m_requests, payload.data(), payload.size())) {
                return ChannelEnded();
            }
            NoteGuardedRequest();
            FrameReader reader(payload.data(), payload.size());
            FrameWriter answer(header.op);
            bool understood = true;
            switch (header.op) {
                case kOpHello:
                    understood = Hello(reader, answer);
                    break;
                case kOpLoad:
                    understood = Load(reader, answer);
                    break;
                case kOpCall:
                    understood = Call(reader, answer);
                    break;
                case kOpBatch:
                    understood = Batch(reader, answer);
                    break;
                case kOpThreads:
                    understood = Threads(reader, answer);
                    break;
                case kOpUnload:
                    Unload();
                    break;
                case kOpQuit:
                    Unload();
                    return 0;
                default:
                    understood = false;
                    break;
            }
            if (!understood) return Broken();
            ReapAdoptedProcesses();
            const std::vector<unsigned char> bytes = answer.Bytes();
            if (!WriteExact(m_answers, bytes.data(), bytes.size())) return ChannelEnded();
        }
    }

private:
    // The request stream ended, or the answer could not be written: the program has gone, or
    // the library closed or broke the channel. Reported for the program in case it is there.
    int ChannelEnded() {
        Report(kReportChannelLost);
        Unload();
        return 0;
    }
    int Broken() {
        Report(kReportChannelLost);
        Unload();
        return 2;
    }
    void Report(HostReportKind kind) {
        HostStatus& status = m_area.status;
        status.reportKind = kind;
        status.reportRecord = kFencedNone;
        status.reportOffset = 0;
        status.reportRecordBytes = 0;
        status.reportAccess = kAccessUnknown;
        Store(status.reportSeal, SealReport(status, m_finished.Key()));
    }
    void Unload() {
        m_library.Close();
        EndLibraryProcesses();
    }

    bool Hello(FrameReader& reader, FrameWriter& answer) {
        std::uint32_t version = 0;
        std::uint64_t key = 0;
        if (!reader.U32(&version)) return false;
        // Another protocol's program: the answer's version tells it so.
        if (version == kProtocolVersion && !reader.U64(&key)) return false;
        m_finished.SetKey(key);
        SetFenceReportTarget(&m_area.status, key);
        answer.U32(kProtocolVersion).U32(CurrentProcessId());
        return true;
    }

    // The library's constructors run inside dlopen: the status block names the load meanwhile.
    // The guard against processes is in place before they run.
    bool Load(FrameReader& reader, FrameWriter& answer) {
        std::string path;
        std::uint32_t options = 0;
        if (!reader.String(&path) || !reader.U32(&options)) return false;
        m_fences = (options & kLoadFences) != 0;
        if (!m_guarded) {
            m_guarded = true;
            std::string error;
            if (!GuardProcesses((options & kLoadAllowProcesses) != 0, &error)) {
                std::fprintf(stderr, "velmor-surface-host: %s\n", error.c_str());
            }
        }
        HostStatus& status = m_area.status;
        status.callType = kLoadRequestType;
        status.callNumb = 0;
        status.callX = status.callY = status.callZ = 0;
        status.callL = status.callM = status.callN = 0;
        status.requestSeal = SealRequest(status, m_finished.Key());
        StoreInCall(status, 1);
        const bool opened = m_library.Open(path);
        StoreInCall(status, 0);
        m_finished.Count();
        std::fflush(nullptr);
        SurfaceEntry entry;
        std::string why = m_library.Error();
        if (opened) {
            entry = FindSurfaceEntry(m_library);
            if (entry.address == nullptr) {
                why = kNoSurfaceEntryText;
                m_library.Close();
            }
        }
        answer.I32(m_library.IsOpen() ? 1 : 0).I32(entry.recordVersion).String(why);
        return true;
    }

    // The pair for a request of the entry's record version, made when it is not there yet.
    // False (with a line in the library's output) when its memory cannot be had.
    bool PairFor(FencedPair& pair, int version, bool wholePair) {
        if (pair.Matches(version, wholePair, m_fences)) return true;
        if (pair.Make(version, wholePair, m_fences)) return true;
        std::fprintf(stderr, "velmor-surface-host: no memory for the library's records\n");
        return false;
    }

    bool Call(FrameReader& reader, FrameWriter& answer) {
        std::uint32_t options = 0;
        if (!reader.U32(&options)) return false;
        const SurfaceEntry entry =
            m_library.IsOpen() ? FindSurfaceEntry(m_library) : SurfaceEntry{};
        if (entry.address == nullptr) {
            answer.I32(0).I32(0).I32(kRecordVersion0).U64(0);
            return true;
        }
        const bool whole = (options & kCallWholePair) != 0;
        FencedPair& pair = whole ? m_wholePair : m_callPair;
        if (!PairFor(pair, entry.recordVersion, whole)) return false;
        SharedRecordPair& shared = m_area.call;
        std::memcpy(pair.Ud(), &shared.ud, pair.UdBytes());
        std::memcpy(pair.Fd(), shared.fd, pair.FdBytes());
        HostStatus& status = m_area.status;
        WriteCallStatus(status, *pair.Ud(), pair.Fd(), m_finished.Key());
        StoreInCall(status, 1);
        const int result = CallSurfaceEntry(entry, pair.Ud(), pair.Fd());
        if (!pair.Intact()) pair.EndWithDamage();
        StoreInCall(status, 0);
        m_finished.Count();
        std::fflush(nullptr);
        std::memcpy(&shared.ud, pair.Ud(), pair.UdBytes());
        std::memcpy(shared.fd, pair.Fd(), pair.FdBytes());
        AnswerHash hash;
        hash.AddBytes(pair.Ud(), pair.UdBytes());
        hash.AddBytes(pair.Fd(), pair.FdBytes());
        answer.I32(1).I32(result).I32(entry.recordVersion).U64(hash.Value());
        return true;
    }

    // The working pair comes into the batch pair once per batch (the FIXED_DATA record is not
    // copied per point) and goes back once.
    bool Batch(FrameReader& reader, FrameWriter& answer) {
        std::uint32_t count = 0, options = 0;
        if (!reader.U32(&count) || !reader.U32(&options) || count > kMaxBatchPoints) return false;
        const SurfaceEntry entry =
            m_library.IsOpen() ? FindSurfaceEntry(m_library) : SurfaceEntry{};
        std::size_t done = 0;
        std::uint64_t answersHash = 0, pairHash = 0;
        if (entry.address != nullptr) {
            if (!PairFor(m_batchPair, entry.recordVersion, false)) return false;
            SharedRecordPair& shared = m_area.batch;
            std::memcpy(m_batchPair.Ud(), &shared.ud, sizeof(USER_DATA));
            std::memcpy(m_batchPair.Fd(), shared.fd, m_batchPair.FdBytes());
            const bool whole = (options & kBatchWholeRecords) != 0;
            const bool timed = (options & kBatchTimed) != 0;
            if (whole && timed) {
                done = RunBatch<true, true>(entry, count, options, &answersHash);
            } else if (whole) {
                done = RunBatch<true, false>(entry, count, options, &answersHash);
            } else if (timed) {
                done = RunBatch<false, true>(entry, count, options, &answersHash);
            } else {
                done = RunBatch<false, false>(entry, count, options, &answersHash);
            }
            std::fflush(nullptr);
            std::memcpy(&shared.ud, m_batchPair.Ud(), sizeof(USER_DATA));
            std::memcpy(shared.fd, m_batchPair.Fd(), m_batchPair.FdBytes());
            AnswerHash pair;
            pair.AddBytes(m_batchPair.Ud(), sizeof(USER_DATA));
            pair.AddBytes(m_batchPair.Fd(), m_batchPair.FdBytes());
            pairHash = pair.Value();
        }
        answer.U32(static_cast<std::uint32_t>(done))
            .I32(entry.address != nullptr ? 1 : 0)
            .I32(entry.recordVersion)
            .U32(done < count ? 1 : 0)
            .U64(answersHash)
            .U64(pairHash);
        return true;
    }

    // A function of its own: inlined into the request loop its calls' state would go to the
    // stack (measured: a fifth slower).
    template <bool kWholeRecords, bool kTimed>
    [[gnu::noinline]] std::size_t RunBatch(const SurfaceEntry& entry, std::size_t count,
                                           std::uint32_t options, std::uint64_t* answersHash) {
        StatusHooks<kWholeRecords, kTimed> hooks(m_area.status, m_finished, m_batchPair,
                                                 kTimed ? m_area.check.callNs : nullptr);
        StoreInCall(m_area.status, 1);
        const std::size_t done = RunBatchLoop(entry, *m_batchPair.Ud(), m_batchPair.Fd(),
                                              m_area.points, m_area.answers, count, options, hooks);
        StoreInCall(m_area.status, 0);
        *answersHash = hooks.hash.Value();
        return done;
    }

    // The batch in the shared area from the batch pair: once on this thread for the answers to
    // compare with (left in the shared answers), then as RunThreadedBatch says. While the
    // threads run, the status block names the batch's first point.
    bool Threads(FrameReader& reader, FrameWriter& answer) {
        std::uint32_t count = 0, threads = 0, repeats = 0;
        if (!reader.U32(&count) || !reader.U32(&threads) || !reader.U32(&repeats) ||
            count > kMaxBatchPoints || threads > kMaxCheckThreads || repeats > kMaxCheckThreads) {
            return false;
        }
        const SurfaceEntry entry =
            m_library.IsOpen() ? FindSurfaceEntry(m_library) : SurfaceEntry{};
        ThreadsOutcome outcome;
        std::size_t done = 0;
        std::uint64_t hash = 0;
        if (entry.address != nullptr) {
            if (!PairFor(m_batchPair, entry.recordVersion, false)) return false;
            FencedPair& pair = m_batchPair;
            const SharedRecordPair& shared = m_area.batch;
            std::memcpy(pair.Ud(), &shared.ud, sizeof(USER_DATA));
            std::memcpy(pair.Fd(), shared.fd, pair.FdBytes());
            const USER_DATA startUd = *pair.Ud();
            std::unique_ptr<double[]> startWords(new double[kFixedDataAreaSize / sizeof(double)]);
            auto* startFd = reinterpret_cast<unsigned char*>(startWords.get());
            std::memcpy(startFd, pair.Fd(), pair.FdBytes());
            StatusHooks<true, false> hooks(m_area.status, m_finished, pair, nullptr);
            done = RunBatchLoop(entry, *pair.Ud(), pair.Fd(), m_area.points, m_area.answers, count,
                                kBatchWholeRecords | kBatchFreshUserData, hooks);
            std::fflush(nullptr);
            if (done == count && count > 0) {
                USER_DATA first = startUd;
                std::memcpy(pair.Fd(), startFd, pair.FdBytes());
                ApplyBatchPoint(m_area.points, 0, false, first, pair.Fd());
                WriteCallStatus(m_area.status, first, pair.Fd(), m_finished.Key());
                StoreInCall(m_area.status, 1);
                const CallCounter counter{&m_area.status.callsFinished, &m_area.status.finishedSeal,
                                          m_finished.Key()};
                outcome =
                    RunThreadedBatch(entry, startUd, startFd, m_area.points, m_area.answers, count,
                                     static_cast<int>(threads), static_cast<int>(repeats),
                                     {entry.recordVersion, m_fences}, counter);
                StoreInCall(m_area.status, 0);
                m_finished.TakeFromStatus();
                std::fflush(nullptr);
            }
            m_area.check.differing = outcome.record;
            AnswerHash threads;
            threads.AddWord(hooks.hash.Value());
            threads.AddBytes(&outcome.record, sizeof outcome.record);
            hash = threads.Value();
        }
        answer.U32(static_cast<std::uint32_t>(done))
            .I32(entry.address != nullptr ? 1 : 0)
            .I32(entry.recordVersion)
            .U32(outcome.kind)
            .U32(outcome.point)
            .U32(outcome.thread)
            .U32(outcome.repeat)
            .U32(outcome.differing)
            .I32(outcome.result)
            .U64(hash);
        return true;
    }

    HostHandle m_requests;
    HostHandle m_answers;
    SharedArea& m_area;
    FinishedCalls m_finished;
    DynamicLibrary m_library;
    bool m_fences = true;
    bool m_guarded = false;
    FencedPair m_callPair, m_wholePair, m_batchPair;
};

}  // namespace

int RunHostServer(HostHandle requests, HostHandle answers, SharedArea& area) {
    return HostServer(requests, answers, area).Run();
}

}  // namespace velmor
