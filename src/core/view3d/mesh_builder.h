// The surface mesh builder: samples the surface on a grid over the analysis ranges with the 3D
// steps and turns the samples into triangles of a CModel.
#pragma once

#include <string>

#include "core/surface/sampler.h"
#include "core/view3d/model.h"

namespace velmor {

// Mesh patterns of the pattern list.
enum MeshPattern {
    kRightTriangle1 = 0,
    kRightTriangle2 = 1,
    kEquilateralTriangle1 = 2,  // rows along x, uses only dx
    kEquilateralTriangle2 = 3,  // rows along y, uses only dy
};

struct MeshParams {
    double xmin = -10, xmax = 10;  // analysis x range
    double ymin = -10, ymax = 10;  // analysis y range
    double dx = 0.05, dy = 0.05;   // the "delta 3D" steps
    int pattern = kRightTriangle1;
    // A failed sample lies at z = 0 and its triangles stay (the full grid); otherwise the
    // triangles with a failed corner are left out.
    bool failedAtZero = false;
};

// The samples a mesh build took and how many of them failed (a non-zero answer, a value that is
// no finite number or one beyond the range of a float).
struct MeshSamples {
    long long taken = 0;
    long long failed = 0;
};

// What the 3D window and velmor-cli stl say after a build whose samples failed.
inline constexpr char kMeshNoSampleText[] = "No sample of the surface answered in this range";
// "N of M samples failed: their triangles are left out" (or, with failedAtZero, "...: they lie
// at z = 0"); kMeshNoSampleText when every sample failed and their triangles are left out;
// empty when none failed.
std::string MeshSamplesText(const MeshSamples& samples, bool failedAtZero);
// Every sample taken failed and their triangles are left out: there is no mesh to show or save.
inline bool MeshHasNoSample(const MeshSamples& samples, bool failedAtZero) {
    return !failedAtZero && samples.taken > 0 && samples.failed == samples.taken;
}

// Most triangles a mesh may plan; one million is still accepted.
inline constexpr double kMeshTriangleBudget = 1000000.0;

// Shown (information icon) when the steps were enlarged to keep within the budget.
inline constexpr char kMeshStepsEnlargedMessage[] =
    "too many triangles ... changed \"delta 3D\"        ";

// The triangle budget. The planned count is 2 (trunc(dX / sx) + 1) (trunc(dY / sy) + 1)
// for the pattern's lattice (sx across a row, sy between rows). When it exceeds the budget,
// params.dx and params.dy are enlarged once to a multiple of 0.001 (the caller writes them back
// with "%.3f" and shows kMeshStepsEnlargedMessage) and the answer is true. Steps that make no
// mesh (not positive, reversed or empty ranges) are left alone.
bool FitMeshStepsToBudget(MeshParams& params);

// Builds the mesh with the steps as they are (the budget is not checked again) into `out`
// (cleared first): triangle k has the unshared vertices 3k, 3k+1, 3k+2, face (3k, 3k+1, 3k+2,
// -1, -1, -1, k), unit normal k pointing towards +z, and there is exactly one group (surface
// material) listing 0, 1, 2, ... in order. A failed sample, and one whose sag lies beyond the
// range of a float, leaves out every triangle it is a corner of (with params.failedAtZero it
// lies at z = 0 instead); *samples (optional) receives the samples taken and failed. The rows are
// sampled ahead in passes of whole rows (Sampler::SagBatch), so a library in the helper process is
// asked once per pass. ReportProgress(row, row steps) is called at the start of every row (through
// the helper: as each pass starts and whenever rows finished); a cancel ends the build with the
// triangles of the rows sampled so far. A step that is not positive or a reversed range makes no
// triangles. Returns 0 (also after a cancel), or -1 when the sample store cannot be allocated or
// the lattice holds far more triangles than the budget. *count (optional) receives the number of
// triangles made.
int BuildMeshWithSteps(const MeshParams& params, Sampler& sampler, CModel& out,
                       int* count = nullptr, MeshSamples* samples = nullptr);

// Both in one: fits the steps to the budget (*message receives kMeshStepsEnlargedMessage when
// they were enlarged, else it is left empty), then builds with them.
int BuildSurfaceMesh(MeshParams& params, Sampler& sampler, CModel& out, std::string* message,
                     int* count = nullptr, MeshSamples* samples = nullptr);

}  // namespace velmor
