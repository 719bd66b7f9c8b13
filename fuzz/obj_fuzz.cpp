#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/view3d/model_reader.h"
#include "model_check.h"

// The input is read as the OBJ file and, for every material library it names, as the MTL file.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velmor;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    MemorySource source(bytes);
    const MtlOpener openMtl = [bytes](const std::string&) {
        return std::make_unique<MemorySource>(bytes);
    };
    CModel model;
    if (ReadObj(source, openMtl, model)) CheckModel(model);
    return 0;
}
