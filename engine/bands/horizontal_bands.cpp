#include "bands/horizontal_bands.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "bands/band_search.h"
#include "core/trace.h"

using probes::Line;

namespace {

HorizontalBand bandOf(const VerticalBand& region, const Line& top, const Line& bottom) {
    return probes::rowBand(region.xLeftTop, region.xRightTop, top, bottom);
}

// The slant range of the horizontal finders: ceil(W * rangeRatio) over the top span, a step of a
// twentieth (at least 1), and the range rounded up to whole steps.
void slantGrid(const VerticalBand& region, double rangeRatio, int& dxRange, int& dxStep) {
    const int W = region.xRightTop - region.xLeftTop;
    const int range = probes::ceilInt(W * rangeRatio);
    dxStep = std::max(range / 20, 1);
    dxRange = probes::ceilInt(static_cast<double>(range) / dxStep) * dxStep;
}

}  // namespace

void findHorizontalBands2(HorizontalBandList& bands, const VerticalBand& region, const GreyImage& image,
                          int percent, double rangeRatio, double slopeRatio, int cap) {
    bands.setCount(0);
    GreyImage work;
    const probes::Frame f = probes::rowWorkFrame(region, image, work);
    int dxRange = 0, dxStep = 1;
    slantGrid(region, rangeRatio, dxRange, dxStep);
    const double tolFactor = bandWidth(region) * slopeRatio;
    int p = region.yTop;
    Line prev{region.yTop - 1, region.yTop - 1};
    int s = 0;
    bool first = true;
    trace("findHorizontalBands2(%d,%d,%d,%d): ", region.xLeftTop, region.yTop, region.xRightBottom, region.yBottom);

    probes::SweepRequest untilted;
    untilted.ref = Line{region.yTop, region.yTop};
    untilted.pivotRow = (f.t0 + f.t1) / 2;
    untilted.percent = percent;
    untilted.cap = cap;
    // The line of slant d whose upper end lies on row p, swept down onto the ink and pushed
    // through it. False when it leaves the region.
    auto probe = [&](int d, Line& top, Line& bottom, int& steps) {
        const Line start = d < 0 ? Line{p + d, p} : Line{p, p - d};
        top = probes::sweepToInk(f, start, untilted);
        if (!f.within(top)) return false;
        const probes::Crossing c = probes::sweepThroughInk(f, top, percent, true, cap);
        bottom = c.end.shifted(-1);
        steps = c.steps;
        return true;
    };

    const int rounds = 4 * (region.yBottom - region.yTop + 16);
    for (int round = 0; round < rounds; ++round) {
        int best = INT_MAX, slantA = 0, slantB = 0;
        bool any = false;
        for (int dy = -dxRange; dy <= dxRange; dy += dxStep) {
            Line top, bottom;
            int steps = 0;
            if (!probe(s + dy, top, bottom, steps)) continue;
            if (!first) {
                const bool below = top.a > prev.a && top.b > prev.b;
                const int t = (bottom.a - prev.a) + (bottom.b - prev.b);
                if (!below || std::abs(dy) > static_cast<int>(0.5 * t * tolFactor + 0.5)) continue;
            }
            if (steps <= best) slantA = s + dy;
            if (steps < best) {
                slantB = s + dy;
                best = steps;
            }
            any = true;
        }
        if (!any) break;
        s = (slantA + slantB) / 2;
        Line top, bottom;
        int steps = 0;
        if (!probe(s, top, bottom, steps)) break;
        bands.append(bandOf(region, top, bottom));
        trace("*");
        probes::whitenBetween(f, work, prev.shifted(1), bottom);
        prev = bottom;
        p = std::min(bottom.a, bottom.b);
        first = false;
    }
    trace("\n");
}

void subdivideHorizontalBand(HorizontalBandList& parts, const HorizontalBand& band,
                             const VerticalBand& region, const GreyImage& image, int threshold,
                             int cap, double rangeRatio, double slopeRatio) {
    parts.setCount(0);
    GreyImage work;
    const probes::Frame f = probes::rowWorkFrame(region, image, work);
    probes::BandSearch c;
    c.percent = threshold;
    c.cap = cap;
    slantGrid(region, rangeRatio, c.dxRange, c.dxStep);
    c.tolFactor = bandWidth(region) * slopeRatio;
    trace("subdivideHorizontalBand(%d,%d,%d,%d;threshold=%d): ", band.xLeft, band.yTopLeft, band.xRight,
          band.yBottomRight, threshold);
    const Line top{band.yTopLeft, band.yTopRight}, bottom{band.yBottomLeft, band.yBottomRight};
    for (const probes::FoundBand& b : probes::searchParts(f, work, c, top, bottom)) {
        parts.append(bandOf(region, b.lo, b.hi));
    }
    if (!parts.empty()) {
        HorizontalBand& last = parts[parts.count() - 1];
        last.yBottomLeft = band.yBottomLeft;
        last.yBottomRight = band.yBottomRight;
    }
    trace("\n");
}

void findHorizontalBands4(HorizontalBandList& bands, const VerticalBand& region, const GreyImage& image,
                          int percent, double rangeRatio, double slopeRatio, int minHeight,
                          int stepDivisor) {
    bands.setCount(0);
    GreyImage work;
    const probes::Frame f = probes::rowWorkFrame(region, image, work);
    probes::BandSearch c;
    c.percent = percent;
    c.dxRange = probes::ceilInt((region.xRightTop - region.xLeftTop) * rangeRatio);
    c.dxStep = std::max(c.dxRange / stepDivisor, 1);
    c.tolFactor = bandWidth(region) * slopeRatio;
    c.pivotOffset = 8;
    c.minSize = minHeight;
    trace("findHorizontalBands4(%d,%d,%d,%d): ", region.xLeftTop, region.yTop, region.xRightBottom, region.yBottom);
    const Line start{region.yTop - c.dxRange, region.yTop - c.dxRange};
    for (const probes::FoundBand& b : probes::searchBands(f, work, c, start)) {
        HorizontalBand h = bandOf(region, b.lo, b.hi);
        h.baryX = b.bary;
        bands.append(h);
    }
    trace("\n");
}
