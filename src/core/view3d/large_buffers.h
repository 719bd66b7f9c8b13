// Large model lists (tens of megabytes for a million triangles) are touched page by page as
// they fill; asking the kernel for huge pages saves most of those page faults.
#pragma once

#include <cstddef>
#include <vector>

namespace velmor {

// A hint only: advises huge pages for the whole 2 MB pages inside [data, data + bytes).
void AdviseHugePages(void* data, size_t bytes);

template <typename T>
void ReserveLarge(std::vector<T>& list, size_t count) {
    list.reserve(count);
    AdviseHugePages(list.data(), list.capacity() * sizeof(T));
}

}  // namespace velmor
