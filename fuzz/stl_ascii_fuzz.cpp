#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/view3d/model_reader.h"
#include "model_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velmor;
    MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
    IsStlAscii(source);
    CModel model;
    if (ReadStlAscii(source, model)) CheckModel(model);
    return 0;
}
