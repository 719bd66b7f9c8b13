#include "core/host/host_server.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

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

// The helper is the only writer of its counters: a plain store of the next value is enough (and
// costs no locked instruction per call).
void Bump(std::uint64_t& counter) {
    std::atomic_ref<std::uint64_t> value(counter);
    value.store(value.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

void CountFinishedCall(HostStatus& status) {
    Bump(status.callsFinished);
}

// Before each library call: the request and its inputs into the status block, then "in call".
// After it: "not in call" and the heartbeat.
struct StatusHooks {
    HostStatus& status;
    bool RowStarts(std::size_t) { return true; }
    void CallStarts(const USER_DATA& ud, const unsigned char* fd) {
        WriteCallStatus(status, ud, fd);
        StoreInCall(status, 1);
    }
    void CallEnded() {
        StoreInCall(status, 0);
        CountFinishedCall(status);
    }
    bool RowEnded(std::size_t) {
        Bump(status.rowsDone);
        std::fflush(nullptr);  // the library's own buffered streams, row by row
        return std::atomic_ref<std::uint32_t>(status.cancel).load(std::memory_order_acquire) == 0;
    }
};

// The status hooks, with each call's duration written as it ends (a timed batch).
struct TimedStatusHooks : StatusHooks {
    std::uint64_t* callNs;
    std::size_t next = 0;
    std::chrono::steady_clock::time_point started;
    bool RowStarts(std::size_t row) { return StatusHooks::RowStarts(row); }
    void CallStarts(const USER_DATA& ud, const unsigned char* fd) {
        StatusHooks::CallStarts(ud, fd);
        started = std::chrono::steady_clock::now();
    }
    void CallEnded() {
        const auto ended = std::chrono::steady_clock::now();
        callNs[next++] = static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(ended - started).count());
        StatusHooks::CallEnded();
    }
    bool RowEnded(std::size_t row) { return StatusHooks::RowEnded(row); }
};

class HostServer {
public:
    HostServer(HostHandle requests, HostHandle answers, SharedArea& area)
        : m_requests(requests), m_answers(answers), m_area(area) {}

    int Run() {
        m_area.status.helperPid = CurrentProcessId();
        std::vector<unsigned char> payload;
        for (;;) {
            unsigned char head[kFrameHeaderBytes];
            if (!ReadExact(m_requests, head, sizeof head)) return 0;  // the program has gone
            const FrameHeader header = DecodeFrameHeader(head);
            if (header.magic != kFrameMagic || header.payloadBytes > kMaxFramePayload) return 2;
            payload.resize(header.payloadBytes);
            if (!payload.empty() && !ReadExact(m_requests, payload.data(), payload.size())) {
                return 0;
            }
            FrameReader reader(payload.data(), payload.size());
            FrameWriter answer(header.op);
            switch (header.op) {
                case kOpHello:
                    answer.U32(kProtocolVersion).U32(CurrentProcessId());
                    break;
                case kOpLoad:
                    if (!Load(reader, answer)) return 2;
                    break;
                case kOpCall:
                    Call(answer);
                    break;
                case kOpBatch:
                    if (!Batch(reader, answer)) return 2;
                    break;
                case kOpThreads:
                    if (!Threads(reader, answer)) return 2;
                    break;
                case kOpUnload:
                    m_library.Close();
                    break;
                case kOpQuit:
                    m_library.Close();
                    return 0;
                default:
                    return 2;
            }
            const std::vector<unsigned char> bytes = answer.Bytes();
            if (!WriteExact(m_answers, bytes.data(), bytes.size())) return 0;
        }
    }

private:
    // The library's constructors run inside dlopen: the status block names the load meanwhile.
    bool Load(FrameReader& reader, FrameWriter& answer) {
        std::string path;
        if (!reader.String(&path)) return false;
        HostStatus& status = m_area.status;
        status.callType = kLoadRequestType;
        status.callNumb = 0;
        status.callX = status.callY = status.callZ = 0;
        status.callL = status.callM = status.callN = 0;
        StoreInCall(status, 1);
        const bool opened = m_library.Open(path);
        StoreInCall(status, 0);
        CountFinishedCall(status);
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

    void Call(FrameWriter& answer) {
        const SurfaceEntry entry =
            m_library.IsOpen() ? FindSurfaceEntry(m_library) : SurfaceEntry{};
        if (entry.address == nullptr) {
            answer.I32(0).I32(0).I32(kRecordVersion0);
            return;
        }
        SharedRecordPair& pair = m_area.call;
        StatusHooks hooks{m_area.status};
        hooks.CallStarts(pair.ud, pair.fd);
        const int result = CallSurfaceEntry(entry, &pair.ud, pair.fd);
        hooks.CallEnded();
        std::fflush(nullptr);
        answer.I32(1).I32(result).I32(entry.recordVersion);
    }

    bool Batch(FrameReader& reader, FrameWriter& answer) {
        std::uint32_t count = 0, options = 0;
        if (!reader.U32(&count) || !reader.U32(&options) || count > kMaxBatchPoints) return false;
        const SurfaceEntry entry =
            m_library.IsOpen() ? FindSurfaceEntry(m_library) : SurfaceEntry{};
        std::size_t done = 0;
        if (entry.address != nullptr) {
            SharedRecordPair& pair = m_area.batch;
            if (options & kBatchTimed) {
                TimedStatusHooks hooks{{m_area.status}, m_area.check.callNs, 0, {}};
                done = RunBatchLoop(entry, pair.ud, pair.fd, m_area.points, m_area.answers, count,
                                    options, hooks);
            } else {
                StatusHooks hooks{m_area.status};
                done = RunBatchLoop(entry, pair.ud, pair.fd, m_area.points, m_area.answers, count,
                                    options, hooks);
            }
            std::fflush(nullptr);
        }
        answer.U32(static_cast<std::uint32_t>(done))
            .I32(entry.address != nullptr ? 1 : 0)
            .I32(entry.recordVersion);
        return true;
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
        if (entry.address != nullptr) {
            SharedRecordPair& pair = m_area.batch;
            const USER_DATA startUd = pair.ud;
            std::unique_ptr<double[]> startWords(new double[kFixedDataAreaSize / sizeof(double)]);
            auto* startFd = reinterpret_cast<unsigned char*>(startWords.get());
            std::memcpy(startFd, pair.fd, kFixedDataAreaSize);
            StatusHooks hooks{m_area.status};
            done = RunBatchLoop(entry, pair.ud, pair.fd, m_area.points, m_area.answers, count,
                                kBatchWholeRecords | kBatchFreshUserData, hooks);
            std::fflush(nullptr);
            if (done == count && count > 0) {
                USER_DATA first = startUd;
                std::memcpy(pair.fd, startFd, kFixedDataAreaSize);
                ApplyBatchPoint(m_area.points, 0, false, first, pair.fd);
                WriteCallStatus(m_area.status, first, pair.fd);
                StoreInCall(m_area.status, 1);
                outcome = RunThreadedBatch(entry, startUd, startFd, m_area.points, m_area.answers,
                                           count, static_cast<int>(threads),
                                           static_cast<int>(repeats), &m_area.status.callsFinished);
                StoreInCall(m_area.status, 0);
                std::fflush(nullptr);
                m_area.check.differing = outcome.record;
            }
        }
        answer.U32(static_cast<std::uint32_t>(done))
            .I32(entry.address != nullptr ? 1 : 0)
            .I32(entry.recordVersion)
            .U32(outcome.kind)
            .U32(outcome.point)
            .U32(outcome.thread)
            .U32(outcome.repeat)
            .U32(outcome.differing)
            .I32(outcome.result);
        return true;
    }

    HostHandle m_requests;
    HostHandle m_answers;
    SharedArea& m_area;
    DynamicLibrary m_library;
};

}  // namespace

int RunHostServer(HostHandle requests, HostHandle answers, SharedArea& area) {
    return HostServer(requests, answers, area).Run();
}

}  // namespace velmor
