#include "core/surface/script_ray_trace.h"

#include <algorithm>
#include <cmath>

#include "core/surface/even_array.h"
#include "core/surface/surface_sampler.h"

namespace velmor {

namespace {

constexpr int kMarchSteps = 200;
constexpr double kMinMarchStep = 0.001;
constexpr double kBisectionWidth = 1e-6;
constexpr int kMaxHalvings = 1000;

// Height of the script surface for the bisection and the normal: z when the code passed its
// compile-level check and assigned z; a run error is not looked at. Otherwise 0.
double LenientHeight(const ScriptPoint& point) {
    return point.compiled && point.assigned ? point.z : 0.0;
}

}  // namespace

int TraceScriptRay(CScriptEngine& engine, const ScriptTraceSettings& settings, double x0, double y0,
                   double l, double m, double n, double n1, double n2, ScriptRay* out) {
    ScriptRay ray;
    ray.x = x0;
    ray.y = y0;
    const auto finish = [&](int status) {
        if (out != nullptr) *out = ray;
        return status;
    };

    // Search range: the diagonal of the analysis rectangle, either side of z = 0.
    const double spanX = settings.xmax - settings.xmin;
    const double spanY = settings.ymax - settings.ymin;
    const double range = std::sqrt(spanY * spanY + spanX * spanX);
    if (!(range > 0) || !std::isfinite(range)) return finish(-1);
    const double step = std::max(range / kMarchSteps, kMinMarchStep);

    // March until the ray passes the surface. Points without a value are passed over.
    bool crossed = false;
    double t = -range;
    for (; t < range; t += step) {
        const double zr = t * n;
        const ScriptPoint point = RunScriptPoint(engine, x0 + t * l, y0 + t * m);
        if (!point.Valid()) continue;
        const double zs = point.z;
        if ((n >= 0 && zr > zs) || (n < 0 && zs >= zr)) {
            crossed = true;
            break;
        }
    }
    if (!crossed) return finish(-1);

    // Bisection on the step either side of the bracketing point.
    double a = t - step;
    double b = t + step;
    double mid = t;
    double hitX = x0 + t * l;
    double hitY = y0 + t * m;
    double hitZ = t * n;
    int halvings = 0;
    while (b - a > kBisectionWidth) {
        if (++halvings > kMaxHalvings) return finish(-1);
        mid = (a + b) / 2;
        hitX = x0 + mid * l;
        hitY = y0 + mid * m;
        hitZ = mid * n;
        const double zs = LenientHeight(RunScriptPoint(engine, hitX, hitY));
        const bool beyond = n >= 0 ? hitZ > zs : zs > hitZ;
        if (beyond) {
            b = mid;
        } else {
            a = mid;
        }
    }
    ray.x = hitX;
    ray.y = hitY;
    ray.z = hitZ;
    ray.path = mid;

    // Normal from forward differences at a tenth of the 2D steps. The differences are taken
    // from the surface's own height at the hit: the ray height there is only within the
    // bisection's tolerance of it, and that gap divided by a small step would tilt the normal
    // of even a flat surface. Without a height at the hit the ray height stands in.
    const double hx = settings.dx / 10;
    const double hy = settings.dy / 10;
    const ScriptPoint centre = RunScriptPoint(engine, hitX, hitY);
    const double z0 = centre.compiled && centre.assigned ? centre.z : hitZ;
    const double zx = LenientHeight(RunScriptPoint(engine, hitX + hx, hitY)) - z0;
    const ScriptPoint side = RunScriptPoint(engine, hitX, hitY + hy);
    if (!side.compiled) return finish(kScriptTraceCompileFailure);
    if (!side.assigned || !side.clean) return finish(1);
    const double zy = side.z - z0;
    double nx = -zx * hy;
    double ny = -zy * hx;
    double nz = hx * hy;
    const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
    nx /= length;
    ny /= length;
    nz /= length;

    double outL = l;
    double outM = m;
    double outN = n;
    if (n1 != n2) {
        // The refraction takes the normal against the ray: -N for a ray going up the z axis,
        // N for one coming down (the vector formula bends the wrong way otherwise).
        if (l * nx + m * ny + n * nz < 0) {
            nx = -nx;
            ny = -ny;
            nz = -nz;
        }
        if (Refract(n1, n2, &outL, &outM, &outN, -nx, -ny, -nz) != 0) return finish(-1);
        // A flat normal (zero steps) or indices that are no numbers give no direction.
        if (!std::isfinite(outL) || !std::isfinite(outM) || !std::isfinite(outN)) {
            return finish(-1);
        }
    }
    ray.l = outL;
    ray.m = outM;
    ray.n = outN;
    return finish(0);
}

}  // namespace velmor
