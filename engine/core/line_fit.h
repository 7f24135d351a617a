// Small plane-geometry helpers shared by the character and line stages: integer points, the
// slope between two of them, and least-squares line fits.
#pragma once

#include <vector>

struct IntPoint {
    int x = 0;
    int y = 0;
};

// (q.y - p.y) / (q.x - p.x) in double.
// A caller must know: two points in the same column give 2147483647.0, which fails every
// tolerance a caller compares a slope with.
double slopeBetween(IntPoint p, IntPoint q);

// ((p.x + q.x) / 2, (p.y + q.y) / 2) with integer halving, truncating toward zero.
IntPoint midpoint(IntPoint p, IntPoint q);

// Ordinary least-squares line y = slope * x + intercept through the points (xs[i], ys[i]).
// A caller must know: no point gives slope = intercept = 0; one point, or points that all share
// one x, give slope 0 and the mean of ys as intercept.
void fitLine(const std::vector<double>& xs, const std::vector<double>& ys, double& slope,
             double& intercept);
