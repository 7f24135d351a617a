#include "core/line_fit.h"

#include <cstddef>

double slopeBetween(IntPoint p, IntPoint q) {
    if (q.x == p.x) return 2147483647.0;
    return static_cast<double>(q.y - p.y) / static_cast<double>(q.x - p.x);
}

IntPoint midpoint(IntPoint p, IntPoint q) { return {(p.x + q.x) / 2, (p.y + q.y) / 2}; }

void fitLine(const std::vector<double>& xs, const std::vector<double>& ys, double& slope,
             double& intercept) {
    slope = 0.0;
    intercept = 0.0;
    const size_t count = xs.size() < ys.size() ? xs.size() : ys.size();
    if (count == 0) return;
    const double n = static_cast<double>(count);
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = 0; i < count; ++i) {
        sx += xs[i];
        sy += ys[i];
        sxx += xs[i] * xs[i];
        sxy += xs[i] * ys[i];
    }
    const double denominator = n * sxx - sx * sx;
    if (count >= 2 && denominator != 0.0) slope = (n * sxy - sx * sy) / denominator;
    intercept = (sy - slope * sx) / n;
}
