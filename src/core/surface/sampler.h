// The one way views, the cursor read-out, the surface map, the mesh builder and the script ray
// trace sample the surface: "sag at (x, y)" and "index at (x, y, z)", each with success or
// failure. The provider supplies the implementation (library / built-in surface through the
// working record pair, or one script run in interpreter mode).
#pragma once

namespace velmor {

struct IndexSample {
    double index = 0, dndx = 0, dndy = 0, dndz = 0;
};

class Sampler {
public:
    virtual ~Sampler() = default;
    // Sag at (x, y); false when the sample failed (non-zero result, script fault, z unset).
    virtual bool Sag(double x, double y, double* z) = 0;
    // Index and gradient at (x, y, z); false when the sample failed.
    virtual bool Index(double x, double y, double z, IndexSample* out) = 0;
};

}  // namespace velmor
