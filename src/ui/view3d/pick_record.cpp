#include "ui/view3d/pick_record.h"

#include <climits>

namespace velmor {

PickChoice ChoosePickRecord(const std::uint32_t* buffer, std::size_t size, int hits) {
    PickChoice choice;
    float bestDepth = 0.0f;
    std::uint32_t bestType = 0;
    const bool overflowed = hits < 0;
    const int records = overflowed ? INT_MAX : hits;
    std::size_t pos = 0;
    for (int r = 0; r < records; ++r) {
        if (size < 3 || pos > size - 3) break;
        const std::uint32_t count = buffer[pos];
        if (count > size - 3 - pos) break;  // also the unwritten word after an overflow
        const std::uint32_t* names = buffer + pos + 3;
        if (overflowed) {
            bool complete = true;
            for (std::uint32_t i = 0; i < count; ++i)
                if (names[i] == kUnwrittenSelectWord) complete = false;
            if (!complete) break;
        }
        if (count <= 10) {
            const float depth = static_cast<float>(buffer[pos + 2]) / 2147483648.0f;
            const std::uint32_t type = count >= 2 ? names[1] : kUnwrittenSelectWord;
            if (!choice.found || depth < bestDepth || (depth == bestDepth && type < bestType)) {
                choice.found = true;
                choice.count = static_cast<int>(count);
                choice.names.fill(0);
                for (std::uint32_t i = 0; i < count; ++i) choice.names[i] = names[i];
                bestDepth = depth;
                bestType = type;
            }
        }
        pos += 3 + count;
    }
    return choice;
}

}  // namespace velmor
