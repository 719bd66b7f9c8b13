// Choosing the picked item from an OpenGL selection buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmor {

struct PickChoice {
    bool found = false;
    int count = 0;                          // names of the chosen record
    std::array<std::uint32_t, 10> names{};  // the first `count` are set
};

// A word the selection never writes as a name; the buffer is filled with it before selecting,
// so that after an overflow the complete records can still be told from the unwritten rest.
constexpr std::uint32_t kUnwrittenSelectWord = 0xFFFFFFFFu;

// Walks the hit records (name count, min depth, max depth, names...) of `buffer`. Records with
// more than 10 names are skipped. The first record is taken; a later one replaces it when its
// maximum depth / 2^31 is smaller, or equal with a smaller second name (the item type), so on
// equal depth a point wins over an edge and an edge over a face. `hits` < 0 (the buffer ran
// over) uses the complete records that fit. Never reads past `size` words.
PickChoice ChoosePickRecord(const std::uint32_t* buffer, std::size_t size, int hits);

}  // namespace velmor
