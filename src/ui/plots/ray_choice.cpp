#include "ui/plots/ray_choice.h"

#include <cmath>

namespace velmor {

void ChooseThroughPoint(USER_DATA& ud, double x, double y) {
    ud.x = x;
    ud.y = y;
}

void ChooseDirection(USER_DATA& ud, double clickX, double clickY) {
    const double dx = clickX - ud.x, dy = clickY - ud.y;
    const double d = std::sqrt(dx * dx + dy * dy);
    if (!(d > 0) || !std::isfinite(d)) return;
    // A direction edited to |n| > 1 has no horizontal length that makes it a unit vector.
    if (!(std::fabs(ud.n) <= 1.0)) return;
    const double s = std::sqrt(1.0 - ud.n * ud.n);
    ud.l = -(dx / d) * s;
    ud.m = -(dy / d) * s;
}

void ChooseIncidentElevation(USER_DATA& ud, double r, double z, bool traceOk, double hitZ) {
    double l = ud.l, m = ud.m, n = ud.n;
    if (r > 0) {
        const double dz = traceOk ? z - hitZ : z;
        const double h = std::sqrt(l * l + m * m);
        n = -dz;
        if (h > 0) {
            l = l / h * r;
            m = m / h * r;
        } else {
            // No horizontal part, so no azimuth to keep: take the +x azimuth.
            l = r;
            m = 0;
        }
    }
    const double length = std::sqrt(l * l + m * m + n * n);
    if (!(length > 0) || !std::isfinite(length)) return;
    ud.l = l / length;
    ud.m = m / length;
    ud.n = n / length;
}

}  // namespace velmor
