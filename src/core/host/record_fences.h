// Records behind fences: the memory of the helper's own that a library call gets its USER_DATA
// and FIXED_DATA in. Each record is placed so that its last byte is the last byte of a page,
// followed by a page that can be neither read nor written (a fence); the page before the
// record's first page is a fence too, and the kFencePatternBytes just before the record hold a
// pattern looked at after every call. A library that reads or writes past its record, or
// before it, so ends the call as a fault that names the record, the byte and the access,
// instead of changing the helper's memory or the next point's parameters unseen.
//
// The helper copies a call's fields in and its answers out; the shared area never reaches the
// library. Without fences (LIBRARY_HOST FENCES=0) the records live in ordinary memory of the
// helper's with room after them, for a library that must read past its record to run at all.
//
// Portable: the pages come from host_platform.h, whose fault handler asks FindFence where a
// faulting address lies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/host/host_protocol.h"

namespace velmor {

inline constexpr std::size_t kFencePatternBytes = 64;

// The pattern before a record: bytes no library computes by chance, unlike zeros; as bytes and
// as the little-endian words the check after every call compares.
constexpr unsigned char FencePatternByte(std::size_t i) {
    return static_cast<unsigned char>(0xA5 ^ (i * 29));
}
constexpr std::uint64_t FencePatternWord(std::size_t word) {
    std::uint64_t value = 0;
    for (std::size_t b = 0; b < 8; ++b) {
        value |= static_cast<std::uint64_t>(FencePatternByte(word * 8 + b)) << (8 * b);
    }
    return value;
}

// One record's room: `roomBytes` for the library (the record, and for the library check's
// whole-pair call the guard bytes after it), fenced or in ordinary memory.
class FencedRecord {
public:
    FencedRecord() = default;
    ~FencedRecord() { Release(); }
    FencedRecord(const FencedRecord&) = delete;
    FencedRecord& operator=(const FencedRecord&) = delete;

    // False when the memory cannot be had (the record is then unusable).
    bool Make(FencedRecordKind kind, std::size_t recordBytes, std::size_t roomBytes, bool fenced);
    void Release();

    unsigned char* Data() const { return m_data; }
    std::size_t RoomBytes() const { return m_roomBytes; }
    std::size_t RecordBytes() const { return m_recordBytes; }
    FencedRecordKind Kind() const { return m_kind; }
    bool Fenced() const { return m_slot >= 0; }

    // True while the bytes before the record hold the pattern (always without fences).
    bool PatternIntact() const { return m_slot < 0 || PatternsIntact(Pattern(), Pattern()); }
    // The kFencePatternBytes before the record; nullptr without fences.
    const unsigned char* Pattern() const {
        return m_slot >= 0 ? m_data - kFencePatternBytes : nullptr;
    }
    // True while both patterns (neither null) hold: one pass, made after every call of a batch.
    static bool PatternsIntact(const unsigned char* a, const unsigned char* b) {
#if defined(__GNUC__)
        // 16-byte compares (GCC and Clang's vector types: SSE2 on x86-64).
        typedef std::uint64_t Pair __attribute__((vector_size(16)));
        Pair differ = {0, 0};
        for (std::size_t w = 0; w < kFencePatternBytes / 8; w += 2) {
            const Pair expected = {FencePatternWord(w), FencePatternWord(w + 1)};
            Pair words;
            std::memcpy(&words, a + 8 * w, sizeof words);
            differ |= words ^ expected;
            std::memcpy(&words, b + 8 * w, sizeof words);
            differ |= words ^ expected;
        }
        return (differ[0] | differ[1]) == 0;
#else
        std::uint64_t differ = 0;
        for (std::size_t w = 0; w < kFencePatternBytes / 8; ++w) {
            std::uint64_t word;
            std::memcpy(&word, a + 8 * w, sizeof word);
            differ |= word ^ FencePatternWord(w);
            std::memcpy(&word, b + 8 * w, sizeof word);
            differ |= word ^ FencePatternWord(w);
        }
        return differ == 0;
#endif
    }
    // The byte before the record (its offset, below 0) farthest from it that no longer holds
    // the pattern; 0 when all do.
    std::int64_t FarthestChanged() const;

private:
    unsigned char* m_base = nullptr;  // the mapping (fenced) or the allocation
    std::size_t m_mapBytes = 0;
    unsigned char* m_data = nullptr;
    std::size_t m_roomBytes = 0;
    std::size_t m_recordBytes = 0;
    FencedRecordKind m_kind = kFencedNone;
    int m_slot = -1;  // in the table FindFence looks through
};

// The USER_DATA and FIXED_DATA of one call, one batch or one thread of the library check's.
class FencedPair {
public:
    // The records of `recordVersion` (its FIXED_DATA size); with `wholePair` each with the
    // kRecordGuardBytes after it and the FIXED_DATA as the whole area (kCallWholePair).
    bool Make(int recordVersion, bool wholePair, bool fenced);
    bool Ready() const { return m_ud.Data() != nullptr && m_fd.Data() != nullptr; }
    bool Matches(int recordVersion, bool wholePair, bool fenced) const {
        return Ready() && m_version == recordVersion && m_wholePair == wholePair &&
               m_ud.Fenced() == fenced;
    }

    USER_DATA* Ud() const { return reinterpret_cast<USER_DATA*>(m_ud.Data()); }
    unsigned char* Fd() const { return m_fd.Data(); }
    // The bytes copied in and out: USER_DATA (with its guard bytes for the whole pair), and the
    // version's FIXED_DATA record (the whole area and its guard bytes for the whole pair).
    std::size_t UdBytes() const { return m_ud.RoomBytes(); }
    std::size_t FdBytes() const { return m_fd.RoomBytes(); }

    // After every call: false when the library wrote into the bytes before a record.
    bool Intact() const {
        return m_udPattern == nullptr || FencedRecord::PatternsIntact(m_udPattern, m_fdPattern);
    }
    // Reports that write (ReportRecordOverrun) and ends the helper.
    [[noreturn]] void EndWithDamage() const;

private:
    FencedRecord m_ud, m_fd;
    const unsigned char* m_udPattern = nullptr;  // both null without fences
    const unsigned char* m_fdPattern = nullptr;
    int m_version = -1;
    bool m_wholePair = false;
};

// Where a fault address lies, when it is in a fence of a live record.
struct FenceHit {
    FencedRecordKind record = kFencedNone;
    std::int64_t offset = 0;  // from the record's first byte (< 0: before it)
    std::uint32_t recordBytes = 0;
};
// Safe in a signal handler: it only reads the table of live records.
bool FindFence(std::uintptr_t address, FenceHit* hit);

// The status block a record overrun is reported into, with the seal key.
void SetFenceReportTarget(HostStatus* status, std::uint64_t key);
// Writes the overrun into the status block, sealed (safe in a signal handler).
void ReportRecordOverrun(const FenceHit& hit, FenceAccess access);
// Writes the exception that ends a Windows helper into the status block, sealed with what was
// reported before it.
void ReportException(std::uint32_t code, std::uint64_t address);

}  // namespace velmor
