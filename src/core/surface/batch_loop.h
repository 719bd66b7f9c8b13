// The loop of a batch of surface requests, shared by the library in the program's process and
// the helper process, so both send the same requests in the same order with the same records.
#pragma once

#include <cstddef>
#include <cstring>

#include "core/host/host_protocol.h"
#include "core/surface/surface_entry.h"

namespace velmor {

// What RunBatchLoop tells its hooks, each doing nothing here: a loop's hooks derive from this
// and hide what they need.
struct BatchHooks {
    bool RowStarts(std::size_t) { return true; }
    void CallStarts(const USER_DATA&, const unsigned char*) {}
    void CallReturned(const USER_DATA&, const unsigned char*) {}
    void CallEnded(int /*result*/, int /*type*/, const USER_DATA&) {}
    bool RowEnded(std::size_t) { return true; }
};

// For each point (`options`: BatchOption bits): with kBatchFreshUserData the USER_DATA the batch
// started with back into the working pair; its fields into the working pair (ud, fd),
// hooks.CallStarts(ud, fd), the call, hooks.CallReturned(ud, fd), the answer (WriteBatchAnswer),
// hooks.CallEnded(result, type, ud) (so a call counted as ended has its answer in place).
// hooks.RowStarts(row) before the first point of every row (false: stop before it) and
// hooks.RowEnded(row) after every point with kEndsRow (false: stop after it). Returns the points
// done.
template <class Hooks>
std::size_t RunBatchLoop(const SurfaceEntry& entry, USER_DATA& ud, unsigned char* fd,
                         const BatchPoints& points, BatchAnswers& answers, std::size_t n,
                         std::uint32_t options, Hooks& hooks) {
    const bool sameRequest = (options & kBatchSameRequest) != 0;
    const bool wholeRecords = (options & kBatchWholeRecords) != 0;
    const bool fresh = (options & kBatchFreshUserData) != 0;
    const USER_DATA start = ud;
    std::size_t row = 0;
    bool rowStarts = true;
    for (std::size_t i = 0; i < n; ++i) {
        if (rowStarts) {
            if (!hooks.RowStarts(row)) return i;
            rowStarts = false;
        }
        if (fresh) ud = start;
        ApplyBatchPoint(points, i, sameRequest, ud, fd);
        int type = 0;
        std::memcpy(&type, fd, sizeof type);  // the request sent, whatever the library does to it
        hooks.CallStarts(ud, fd);
        const int result = CallSurfaceEntry(entry, &ud, fd);
        hooks.CallReturned(ud, fd);
        WriteBatchAnswer(answers, i, result, type, ud, wholeRecords);
        hooks.CallEnded(result, type, ud);
        if (points.flags[i] & kEndsRow) {
            if (!hooks.RowEnded(row)) return i + 1;
            ++row;
            rowStarts = true;
        }
    }
    return n;
}

}  // namespace velmor
