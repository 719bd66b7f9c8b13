#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/view3d/model_reader.h"
#include "model_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velmor;
    MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
    CModel model;
    if (ReadStlBinary(source, model)) {
        CheckModel(model);
        // Never more triangles than whole records in the input.
        if (size < 84 || model.faces.size() > (size - 84) / 50) __builtin_trap();
    }
    return 0;
}
