#include "core/host/record_fences.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/host/host_platform.h"

namespace velmor {

namespace {

// A pair for the call, the batch, the whole-pair call and each thread of the library check.
constexpr int kMaxFencedRecords = 2 * (static_cast<int>(kMaxCheckThreads) + 4);

// What FindFence knows of a live fenced record. `data` is set last when a slot is filled and
// cleared first when it is emptied, so a handler never reads a half-written slot as live.
struct FenceSlot {
    std::atomic<std::uintptr_t> data{0};
    std::atomic<std::uintptr_t> lowFence{0};   // the page before the record's first page
    std::atomic<std::uintptr_t> highFence{0};  // the page after its last page
    std::atomic<std::uint32_t> kind{0};
    std::atomic<std::uint32_t> recordBytes{0};
    std::atomic<bool> taken{false};
};

FenceSlot g_slots[kMaxFencedRecords];
std::atomic<std::size_t> g_pageBytes{0};
std::atomic<HostStatus*> g_reportStatus{nullptr};
std::atomic<std::uint64_t> g_reportKey{0};

int TakeSlot() {
    for (int i = 0; i < kMaxFencedRecords; ++i) {
        bool expected = false;
        if (g_slots[i].taken.compare_exchange_strong(expected, true)) return i;
    }
    return -1;
}

std::size_t RoundUp(std::size_t bytes, std::size_t unit) {
    return (bytes + unit - 1) / unit * unit;
}

}  // namespace

bool FencedRecord::Make(FencedRecordKind kind, std::size_t recordBytes, std::size_t roomBytes,
                        bool fenced) {
    Release();
    m_kind = kind;
    m_recordBytes = recordBytes;
    m_roomBytes = roomBytes;
    if (fenced) {
        const std::size_t page = PageBytes();
        const int slot = TakeSlot();
        const std::size_t open = RoundUp(roomBytes + kFencePatternBytes, page);
        void* base = slot >= 0 ? ReservePages(open + 2 * page) : nullptr;
        if (base != nullptr && OpenPages(static_cast<unsigned char*>(base) + page, open)) {
            m_base = static_cast<unsigned char*>(base);
            m_mapBytes = open + 2 * page;
            m_data = m_base + page + open - roomBytes;
            for (std::size_t i = 0; i < kFencePatternBytes; ++i) {
                m_data[-static_cast<std::ptrdiff_t>(kFencePatternBytes) +
                       static_cast<std::ptrdiff_t>(i)] = FencePatternByte(i);
            }
            FenceSlot& s = g_slots[slot];
            g_pageBytes.store(page, std::memory_order_relaxed);
            s.lowFence.store(reinterpret_cast<std::uintptr_t>(m_base), std::memory_order_relaxed);
            s.highFence.store(reinterpret_cast<std::uintptr_t>(m_base + page + open),
                              std::memory_order_relaxed);
            s.kind.store(kind, std::memory_order_relaxed);
            s.recordBytes.store(static_cast<std::uint32_t>(recordBytes), std::memory_order_relaxed);
            s.data.store(reinterpret_cast<std::uintptr_t>(m_data), std::memory_order_release);
            m_slot = slot;
            return true;
        }
        if (base != nullptr) ReleasePages(base, open + 2 * page);
        if (slot >= 0) g_slots[slot].taken.store(false);
        m_data = nullptr;
        return false;
    }
    // Ordinary memory: the pattern's room before the record (unused), and after it room for the
    // largest FIXED_DATA and guard bytes, so a library reading past its record reads memory of
    // the helper's, as it read the rest of the shared area before. Zeroed, as that was.
    m_mapBytes = kFencePatternBytes +
                 (roomBytes > kFixedDataAreaSize ? roomBytes : kFixedDataAreaSize) +
                 kRecordGuardBytes;
    m_base = static_cast<unsigned char*>(std::calloc(1, m_mapBytes));
    m_data = m_base != nullptr ? m_base + kFencePatternBytes : nullptr;
    return m_data != nullptr;
}

void FencedRecord::Release() {
    if (m_slot >= 0) {
        g_slots[m_slot].data.store(0, std::memory_order_release);
        ReleasePages(m_base, m_mapBytes);
        g_slots[m_slot].taken.store(false, std::memory_order_release);
    } else {
        std::free(m_base);
    }
    m_slot = -1;
    m_base = m_data = nullptr;
    m_mapBytes = m_roomBytes = m_recordBytes = 0;
}

std::int64_t FencedRecord::FarthestChanged() const {
    if (m_slot < 0) return 0;
    for (std::size_t i = 0; i < kFencePatternBytes; ++i) {
        if (m_data[static_cast<std::ptrdiff_t>(i) -
                   static_cast<std::ptrdiff_t>(kFencePatternBytes)] != FencePatternByte(i)) {
            return static_cast<std::int64_t>(i) - static_cast<std::int64_t>(kFencePatternBytes);
        }
    }
    return 0;
}

bool FencedPair::Make(int recordVersion, bool wholePair, bool fenced) {
    m_version = -1;
    m_udPattern = m_fdPattern = nullptr;
    const std::size_t fdRecord = FixedDataSize(recordVersion);
    const bool made =
        m_ud.Make(kFencedUserData, sizeof(USER_DATA),
                  sizeof(USER_DATA) + (wholePair ? kRecordGuardBytes : 0), fenced) &&
        m_fd.Make(kFencedFixedData, fdRecord,
                  wholePair ? kFixedDataAreaSize + kRecordGuardBytes : fdRecord, fenced);
    if (!made) {
        m_ud.Release();
        m_fd.Release();
        return false;
    }
    m_version = recordVersion;
    m_wholePair = wholePair;
    m_udPattern = m_ud.Pattern();
    m_fdPattern = m_fd.Pattern();
    return true;
}

void FencedPair::EndWithDamage() const {
    const FencedRecord& damaged = m_ud.PatternIntact() ? m_fd : m_ud;
    FenceHit hit;
    hit.record = damaged.Kind();
    hit.offset = damaged.FarthestChanged();
    hit.recordBytes = static_cast<std::uint32_t>(damaged.RecordBytes());
    ReportRecordOverrun(hit, kAccessWrite);
    EndWithRecordOverrun();
}

bool FindFence(std::uintptr_t address, FenceHit* hit) {
    const std::uintptr_t page = g_pageBytes.load(std::memory_order_relaxed);
    for (const FenceSlot& s : g_slots) {
        const std::uintptr_t data = s.data.load(std::memory_order_acquire);
        if (data == 0) continue;
        const std::uintptr_t low = s.lowFence.load(std::memory_order_relaxed);
        const std::uintptr_t high = s.highFence.load(std::memory_order_relaxed);
        if ((address >= low && address < low + page) ||
            (address >= high && address < high + page)) {
            hit->record = static_cast<FencedRecordKind>(s.kind.load(std::memory_order_relaxed));
            hit->offset = static_cast<std::int64_t>(address - data);
            hit->recordBytes = s.recordBytes.load(std::memory_order_relaxed);
            return true;
        }
    }
    return false;
}

void SetFenceReportTarget(HostStatus* status, std::uint64_t key) {
    g_reportKey.store(key, std::memory_order_relaxed);
    g_reportStatus.store(status, std::memory_order_release);
}

void ReportRecordOverrun(const FenceHit& hit, FenceAccess access) {
    HostStatus* status = g_reportStatus.load(std::memory_order_acquire);
    if (status == nullptr) return;
    status->reportRecord = hit.record;
    status->reportOffset = hit.offset;
    status->reportRecordBytes = hit.recordBytes;
    status->reportAccess = access;
    status->reportKind = kReportRecordOverrun;
    const std::uint64_t seal = SealReport(*status, g_reportKey.load(std::memory_order_relaxed));
    std::atomic_ref<std::uint64_t>(status->reportSeal).store(seal, std::memory_order_release);
}

void ReportException(std::uint32_t code, std::uint64_t address) {
    HostStatus* status = g_reportStatus.load(std::memory_order_acquire);
    if (status == nullptr) return;
    status->exceptionAddress = address;
    status->exceptionCode = code;
    const std::uint64_t seal = SealReport(*status, g_reportKey.load(std::memory_order_relaxed));
    std::atomic_ref<std::uint64_t>(status->reportSeal).store(seal, std::memory_order_release);
}

}  // namespace velmor
