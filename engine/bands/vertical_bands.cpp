#include "bands/vertical_bands.h"

#include <algorithm>
#include <vector>

#include "bands/band_search.h"
#include "core/trace.h"

using probes::Line;

namespace {

void appendBand(VerticalBandList& list, const HorizontalBand& region, const Line& lo, const Line& hi) {
    list.append(probes::columnBand(region.yTopLeft, region.yBottomLeft, lo, hi));
}

}  // namespace

void findVerticalBands1(VerticalBandList& pages, const HorizontalBand& region, const GreyImage& image,
                        int percent, int tiltPerMilleFirst, int tiltPerMilleNext) {
    pages.setCount(0);
    GreyImage work;
    probes::Frame f = probes::columnWorkFrame(region, image, work);
    std::vector<int> inked;
    probes::countInkedPositions(f, inked);
    const int H = bandHeight(region);
    const int a = H * tiltPerMilleFirst / 1000, b = H * tiltPerMilleNext / 1000;
    const int slantMax = 2 + static_cast<int>(0.03 * (region.yBottomLeft - region.yTopLeft));
    Line prev{region.xLeft - 1, region.xLeft - 1};
    trace("findVerticalBands1(%d,%d,%d,%d): ", region.xLeft, region.yTopLeft, region.xRight, region.yBottomRight);
    bool first = true;
    bool rejectedBefore = false;
    Line lastRejected;
    const int rounds = 4 * (region.xRight - region.xLeft + 16);
    for (int round = 0; round < rounds; ++round) {
        // Three untilted probes: straight, and leaning either way by slantMax.
        const int s = std::min(prev.a, prev.b) + 1;
        const Line starts[3] = {{s, s}, {s, s - slantMax}, {s - slantMax, s}};
        probes::SweepRequest untilted;
        untilted.ref = Line{region.xLeft, region.xLeft};
        untilted.pivotRow = (f.t0 + f.t1) / 2;
        untilted.percent = percent;
        bool beyond = false, found = false;
        probes::Crossing winner;
        Line winnerStart;
        for (const Line& start : starts) {
            const Line reached = probes::sweepToInk(f, start, untilted);
            if (f.beyond(reached)) {
                beyond = true;
                break;
            }
            const probes::Crossing c = probes::sweepThroughInk(f, reached, percent, false);
            if (!found || c.steps < winner.steps) {
                winner = c;
                winnerStart = reached;
            }
            found = true;
        }
        if (beyond) break;
        winner.bary = probes::sweepThroughInk(f, winnerStart, percent).bary;

        // The left edge: a sweep from the previous edge that may tilt, more freely once the
        // first band is behind.
        probes::SweepRequest edge;
        edge.ref = prev;
        edge.pivotRow = winner.bary;
        edge.percent = percent;
        edge.variants = 0;
        edge.stopAtRef = true;
        edge.tiltLimit = first ? a : b;
        edge.limitMode = first ? 1 : 4;
        const Line left = probes::sweepToInk(f, first ? Line{region.xLeft, region.xLeft} : prev.shifted(1), edge);
        if (f.beyond(left)) break;

        Line right = winner.end;
        const Line retreated = probes::retreatFromInk(f, winner.end, left, winner.bary, left.slant(),
                                                      winner.steps * b / 1000, percent);
        if (retreated.a >= region.xLeft || retreated.b >= region.xLeft) right = retreated;

        if (right.a < left.a && right.b < left.b) {
            // Ink that a tilted line passes is erased. When that erases nothing new (the same left
            // edge comes back), the same probes would return for ever: the line of ink the left
            // edge stopped at is erased with it, so that every round makes progress.
            const bool again = rejectedBefore && left == lastRejected;
            probes::whitenAndRecount(f, work, prev.shifted(1), again ? left : left.shifted(-1), inked);
            rejectedBefore = true;
            lastRejected = left;
            first = false;
            continue;
        }
        appendBand(pages, region, left, right);
        trace("*");
        probes::whitenAndRecount(f, work, prev.shifted(1), right, inked);
        prev = right;
        first = false;
        round = 0;
    }
    trace("\n");
}

void findVerticalBands4(VerticalBandList& columns, const HorizontalBand& region,
                        const GreyImage& image, int percent, double rangeRatio, double slopeRatio,
                        int minWidth, int stepDivisor, int pivotOffset) {
    columns.setCount(0);
    GreyImage work;
    const probes::Frame f = probes::columnWorkFrame(region, image, work);
    const int H = bandHeight(region);
    probes::BandSearch c;
    c.percent = percent;
    c.dxRange = probes::ceilInt(H * rangeRatio);
    c.dxStep = std::max(c.dxRange / stepDivisor, 1);
    c.tolFactor = H * slopeRatio;
    c.pivotOffset = pivotOffset;
    c.minSize = minWidth;
    trace("findVerticalBands4(%d,%d,%d,%d;dxStep=%d): ", region.xLeft, region.yTopLeft, region.xRight,
          region.yBottomRight, c.dxStep);
    const Line start{region.xLeft - c.dxRange, region.xLeft - c.dxRange};
    for (const probes::FoundBand& b : probes::searchBands(f, work, c, start)) appendBand(columns, region, b.lo, b.hi);
    trace("\n");
}

void subdivideVerticalBand(VerticalBandList& parts, const VerticalBand& band,
                           const HorizontalBand& region, const GreyImage& image, int threshold,
                           double rangeRatio, double slopeRatio, int stepDivisor) {
    parts.setCount(0);
    GreyImage work;
    // The search whitens everything left of the band before it starts: that part of the tier
    // is not copied at all. A few columns are kept before the band so that the edge of the
    // whitened strip lies within the copy, where it is rounded as it would be in a whole one.
    const probes::Frame f =
        probes::columnWorkFrame(region, image, work, std::min(band.xLeftTop, band.xLeftBottom) - 4);
    const int H = bandHeight(region);
    probes::BandSearch c;
    c.percent = threshold;
    const int range = probes::ceilInt(H * rangeRatio);
    c.dxStep = std::max(range / stepDivisor, 1);
    c.dxRange = probes::ceilInt(static_cast<double>(range) / c.dxStep) * c.dxStep;
    c.tolFactor = H * slopeRatio;
    trace("subdivideVerticalBand(%d,%d,%d,%d;threshold=%d): ", band.xLeftTop, band.yTop, band.xRightBottom,
          band.yBottom, threshold);
    const Line lo{band.xLeftTop, band.xLeftBottom}, hi{band.xRightTop, band.xRightBottom};
    for (const probes::FoundBand& b : probes::searchParts(f, work, c, lo, hi)) appendBand(parts, region, b.lo, b.hi);
    trace("\n");
}
