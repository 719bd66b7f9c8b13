// A stand-in for velmor-surface-host that speaks the protocol as the real helper does, except for
// the one field a test names: it answers requests itself (a paraboloid, sag = (x^2 + y^2) / 4,
// record version 0) and, by the "library path" of the load request, writes one bad value into
// an answer or into the status block. The real helper never writes such values; a library that
// writes into the helper's channels or the shared area can. The program must take none of them.
//
//   fake_surface_host SHARED-AREA-FILE     (started by GuardedLibrary in place of the helper)
//
// Modes (the load request's path): load-loaded-2, load-version-9; call-answered-2,
// call-version-9, call-hash; batch-done-over, batch-answered-2, batch-version-9,
// batch-stopped-2, batch-stopped-wrong, batch-stopped-unasked, batch-answers-hash,
// batch-pair-hash; threads-point, threads-kind, threads-thread, threads-repeat; frame-magic,
// frame-op, frame-huge, frame-extra; status-finished, status-finished-sealed, status-rows,
// status-request, status-request-sealed, status-report, status-report-unsealed,
// status-report-sealed, status-exception, status-answers, status-answers-sealed; anything else
// answers soundly.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "core/host/host_platform.h"
#include "core/host/host_protocol.h"
#include "core/host/shared_area.h"

namespace velmor {
namespace {

HostHandle g_requests = 0, g_answers = 0;
SharedArea* g_area = nullptr;
std::uint64_t g_key = 0;
std::uint64_t g_finished = 0;
std::string g_mode;

void Send(FrameWriter& answer) {
    std::vector<unsigned char> bytes = answer.Bytes();
    if (g_mode == "frame-magic") bytes[0] ^= 0xFF;
    if (g_mode == "frame-op") bytes[4] = static_cast<unsigned char>(kOpUnload);
    if (g_mode == "frame-huge") {
        const std::uint32_t huge = kMaxFramePayload + 1;
        std::memcpy(bytes.data() + 8, &huge, 4);
    }
    if (g_mode == "frame-extra") bytes.push_back(0);
    WriteExact(g_answers, bytes.data(), bytes.size());
}

void CountCall() {
    HostStatus& status = g_area->status;
    status.callsFinished = ++g_finished;
    status.finishedSeal = SealFinished(g_finished, g_key);
}

void WriteRequest(int type, double x, double y, bool sealed) {
    HostStatus& status = g_area->status;
    status.callType = type;
    status.callNumb = 0;
    status.callX = x;
    status.callY = y;
    status.callZ = status.callL = status.callM = status.callN = 0;
    status.requestSeal = SealRequest(status, g_key) ^ (sealed ? 0 : 1);
}

// Ends as a crashing library ends the real helper.
[[noreturn]] void Crash() {
    ::signal(SIGSEGV, SIG_DFL);
    ::raise(SIGSEGV);
    ::_exit(1);
}

void Report(std::uint32_t record, bool sealed) {
    HostStatus& status = g_area->status;
    status.reportKind = kReportRecordOverrun;
    status.reportRecord = record;
    status.reportOffset = 200;
    status.reportRecordBytes = sizeof(USER_DATA);
    status.reportAccess = kAccessWrite;
    status.reportSeal = SealReport(status, g_key) ^ (sealed ? 0 : 1);
}

void Batch(FrameReader& reader) {
    std::uint32_t n = 0, options = 0;
    reader.U32(&n);
    reader.U32(&options);
    SharedArea& area = *g_area;
    AnswerHash answers;
    std::uint32_t done = n;
    if (g_mode == "batch-stopped-unasked" && n > 0) done = n - 1;
    for (std::uint32_t i = 0; i < done; ++i) {
        const double x = area.points.x[i], y = area.points.y[i];
        const double sag = 0.25 * (x * x + y * y);
        area.answers.result[i] = 0;
        area.answers.type[i] = kRequestSag;
        area.answers.value[0][i] = area.answers.value[1][i] = sag;
        answers.AddSag(0, sag);
        WriteRequest(kRequestSag, x, y, true);
        if (g_mode == "status-rows") area.status.rowsDone = ~std::uint64_t{0} / 3;
        if ((g_mode == "status-answers" || g_mode == "status-answers-sealed") && i == 2) {
            // Two answers stand; the third call crashes.
            area.status.answersSeal ^= g_mode == "status-answers" ? 1 : 0;
            Crash();
        }
        area.status.answersSeal = SealAnswers(i + 1, answers.Lanes(), g_key);
        CountCall();
        if (g_mode == "status-rows" && i == 0) ::usleep(300 * 1000);  // the program ticks
    }
    if (g_mode == "status-finished" || g_mode == "status-finished-sealed") {
        // A call that takes 2.5 s while the heartbeat goes on: sealed, or not.
        for (int tick = 0; tick < 250; ++tick) {
            ++area.status.callsFinished;
            if (g_mode == "status-finished-sealed") CountCall();
            ::usleep(10 * 1000);
        }
    }
    AnswerHash pair;
    pair.AddBytes(&area.batch.ud, sizeof area.batch.ud);
    pair.AddBytes(area.batch.fd, FixedDataSize(kRecordVersion0));
    std::uint32_t stopped = done < n ? 1 : 0;
    std::int32_t answered = 1, version = 0;
    std::uint64_t answersHash = answers.Value(), pairHash = pair.Value();
    if (g_mode == "batch-done-over") done = n + 1;
    if (g_mode == "batch-answered-2") answered = 2;
    if (g_mode == "batch-version-9") version = 9;
    if (g_mode == "batch-stopped-2") stopped = 2;
    if (g_mode == "batch-stopped-wrong") stopped = 1;
    if (g_mode == "batch-answers-hash") answersHash ^= 1;
    if (g_mode == "batch-pair-hash") pairHash ^= 1;
    FrameWriter answer(kOpBatch);
    answer.U32(done).I32(answered).I32(version).U32(stopped).U64(answersHash).U64(pairHash);
    Send(answer);
}

void Call(FrameReader& reader) {
    std::uint32_t options = 0;
    reader.U32(&options);
    SharedArea& area = *g_area;
    USER_DATA& ud = area.call.ud;
    const bool sealed = g_mode != "status-request";
    WriteRequest(kRequestSag, ud.x, ud.y, sealed);
    if (g_mode == "status-request" || g_mode == "status-request-sealed") Crash();
    if (g_mode == "status-report" || g_mode == "status-report-unsealed" ||
        g_mode == "status-report-sealed") {
        Report(g_mode == "status-report" ? 7u : std::uint32_t{kFencedUserData},
               g_mode != "status-report-unsealed");
        Crash();
    }
    if (g_mode == "status-exception") {
        area.status.exceptionCode = 0xC0000005u;
        ::_exit(5);
    }
    ud.sag1 = ud.sag2 = 0.25 * (ud.x * ud.x + ud.y * ud.y);
    CountCall();
    AnswerHash hash;
    hash.AddBytes(&ud, sizeof ud);
    hash.AddBytes(area.call.fd, FixedDataSize(kRecordVersion0));
    std::int32_t answered = 1, version = 0;
    std::uint64_t value = hash.Value();
    if (g_mode == "call-answered-2") answered = 2;
    if (g_mode == "call-version-9") version = 9;
    if (g_mode == "call-hash") value ^= 1;
    FrameWriter answer(kOpCall);
    answer.I32(answered).I32(0).I32(version).U64(value);
    Send(answer);
}

void Threads(FrameReader& reader) {
    std::uint32_t n = 0, threads = 0, repeats = 0;
    reader.U32(&n);
    reader.U32(&threads);
    reader.U32(&repeats);
    SharedArea& area = *g_area;
    AnswerHash answers;
    for (std::uint32_t i = 0; i < n; ++i) {
        USER_DATA ud = area.batch.ud;
        ud.x = area.points.x[i];
        ud.y = area.points.y[i];
        ud.sag1 = ud.sag2 = 0.25 * (ud.x * ud.x + ud.y * ud.y);
        area.answers.result[i] = 0;
        area.answers.type[i] = kRequestSag;
        area.answers.value[0][i] = area.answers.value[1][i] = ud.sag1;
        area.answers.record[i] = ud;
        answers.AddAnswer(0, kRequestSag, ud, true);
        CountCall();
    }
    std::memset(&area.check.differing, 0, sizeof area.check.differing);
    AnswerHash hash;
    hash.AddWord(answers.Value());
    hash.AddBytes(&area.check.differing, sizeof area.check.differing);
    std::uint32_t kind = 0, point = 0, thread = 0, repeat = 0;
    if (g_mode == "threads-point") point = n;
    if (g_mode == "threads-kind") kind = 3;
    if (g_mode == "threads-thread") thread = threads + 1;
    if (g_mode == "threads-repeat") repeat = repeats;
    FrameWriter answer(kOpThreads);
    answer.U32(n).I32(1).I32(0).U32(kind).U32(point).U32(thread).U32(repeat).U32(0).I32(0).U64(
        hash.Value());
    Send(answer);
}

int Serve() {
    std::vector<unsigned char> payload;
    for (;;) {
        unsigned char head[kFrameHeaderBytes];
        if (!ReadExact(g_requests, head, sizeof head)) return 0;
        const FrameHeader header = DecodeFrameHeader(head);
        payload.resize(header.payloadBytes);
        if (!payload.empty() && !ReadExact(g_requests, payload.data(), payload.size())) return 0;
        FrameReader reader(payload.data(), payload.size());
        switch (header.op) {
            case kOpHello: {
                std::uint32_t version = 0;
                reader.U32(&version);
                reader.U64(&g_key);
                g_area->status.finishedSeal = SealFinished(0, g_key);
                FrameWriter answer(kOpHello);
                answer.U32(kProtocolVersion).U32(CurrentProcessId());
                WriteExact(g_answers, answer.Bytes().data(), answer.Bytes().size());
                break;
            }
            case kOpLoad: {
                reader.String(&g_mode);
                CountCall();
                FrameWriter answer(kOpLoad);
                answer.I32(g_mode == "load-loaded-2" ? 2 : 1)
                    .I32(g_mode == "load-version-9" ? 9 : 0)
                    .String("");
                WriteExact(g_answers, answer.Bytes().data(), answer.Bytes().size());
                break;
            }
            case kOpCall:
                Call(reader);
                break;
            case kOpBatch:
                Batch(reader);
                break;
            case kOpThreads:
                Threads(reader);
                break;
            case kOpQuit:
                return 0;
            default: {
                FrameWriter answer(header.op);
                WriteExact(g_answers, answer.Bytes().data(), answer.Bytes().size());
                break;
            }
        }
    }
}

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) {
    using namespace velmor;
    if (argc != 2) return 2;
    std::string error;
    if (!TakeProtocolStreams(&g_requests, &g_answers, &error)) return 2;
    SharedAreaFile area;
    if (!area.Open(argv[1], kSharedAreaBytes, &error)) return 2;
    g_area = static_cast<SharedArea*>(area.Data());
    return Serve();
}
