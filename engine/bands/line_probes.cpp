#include "bands/line_probes.h"

#include <algorithm>

#include "bands/probe_frame.h"

using probes::Line;

namespace {

probes::SweepRequest request(int refA, int refB, int pivot, int tiltLimit, int percent, int variants,
                             int limitMode, bool stopAtRef, int cap) {
    probes::SweepRequest r;
    r.ref = Line{refA, refB};
    r.pivotRow = pivot;
    r.tiltLimit = tiltLimit;
    r.percent = percent;
    r.variants = variants;
    r.limitMode = limitMode;
    r.stopAtRef = stopAtRef;
    r.cap = cap;
    return r;
}

void store(const Line& l, int& a, int& b) {
    a = l.a;
    b = l.b;
}

}  // namespace

bool isLineClear(const HorizontalBand& region, int xTop, int xBottom, const GreyImage& image,
                 int percent) {
    return probes::isClear(probes::columnFrame(region, image), Line{xTop, xBottom}, percent);
}

int inkAlongLine(const HorizontalBand& region, int xTop, int xBottom, const GreyImage& image,
                 double& weightedSum) {
    return probes::ink(probes::columnFrame(region, image), Line{xTop, xBottom}, weightedSum);
}

bool shiftEnds(const HorizontalBand& region, int& xTop, int& xBottom, const GreyImage& image,
               int pivotRow, int percent, int& counter, bool mirror) {
    Line l{xTop, xBottom};
    if (!probes::shiftEnds(probes::columnFrame(region, image), l, pivotRow, percent, counter, mirror)) return false;
    store(l, xTop, xBottom);
    return true;
}

bool pivotLine(const HorizontalBand& region, int& xTop, int& xBottom, const GreyImage& image,
               int pivotRow, float& pivotX, int& tilt, int percent, bool mirror) {
    Line l{xTop, xBottom};
    if (!probes::pivot(probes::columnFrame(region, image), l, pivotRow, pivotX, tilt, percent, 255, mirror)) return false;
    store(l, xTop, xBottom);
    return true;
}

void sweepToInk(const HorizontalBand& region, int& xTop, int& xBottom, int refTop, int refBottom,
                const GreyImage& image, int pivotRow, int tiltLimit, int percent, int variants,
                int limitMode, bool stopAtRef) {
    const auto r = request(refTop, refBottom, pivotRow, tiltLimit, percent, variants, limitMode, stopAtRef, 255);
    store(probes::sweepToInk(probes::columnFrame(region, image), Line{xTop, xBottom}, r), xTop, xBottom);
}

void sweepThroughInk(const HorizontalBand& region, int& xTop, int& xBottom, const GreyImage& image,
                     int& maxInk, int& bary, int& steps, int percent) {
    const probes::Crossing c = probes::sweepThroughInk(probes::columnFrame(region, image), Line{xTop, xBottom}, percent);
    store(c.end, xTop, xBottom);
    maxInk = std::max(maxInk, c.maxInk);
    bary = c.bary;
    steps = c.steps;
}

void retreatFromInk(int& xTop, int& xBottom, int lowerTop, int lowerBottom,
                    const HorizontalBand& region, const GreyImage& image, int pivotRow,
                    int refSlant, int slantTolerance, int percent) {
    store(probes::retreatFromInk(probes::columnFrame(region, image), Line{xTop, xBottom},
                                 Line{lowerTop, lowerBottom}, pivotRow, refSlant, slantTolerance, percent),
          xTop, xBottom);
}

void alignToSlant(int& xTop, int& xBottom, int lowerTop, int lowerBottom,
                  const HorizontalBand& region, const GreyImage& image, int pivotRow, int refSlant,
                  int slantTolerance, int percent) {
    store(probes::alignToSlant(probes::columnFrame(region, image), Line{xTop, xBottom},
                               Line{lowerTop, lowerBottom}, pivotRow, refSlant, slantTolerance, percent),
          xTop, xBottom);
}

void measureColumnEdges(VerticalBand& out, int& xTop, int& xBottom, const VerticalBand& bandB,
                        const VerticalBand& bandA, int steps, const HorizontalBand& region,
                        const GreyImage& image, int pivotRow, int percent, int tiltTolerance,
                        double tolFactor) {
    const probes::Edges e = probes::measureColumnEdges(
        probes::columnFrame(region, image), Line{xTop, xBottom}, Line{bandB.xRightTop, bandB.xRightBottom},
        Line{bandA.xRightTop, bandA.xRightBottom}, steps, pivotRow, percent, tiltTolerance, tolFactor, 255);
    out.yTop = region.yTopLeft;
    out.yBottom = region.yBottomLeft;
    out.xLeftTop = e.lo.a;
    out.xLeftBottom = e.lo.b;
    out.xRightTop = e.hi.a;
    out.xRightBottom = e.hi.b;
    store(e.hi, xTop, xBottom);
}

bool isLineClear(const VerticalBand& region, int yLeft, int yRight, const GreyImage& image,
                 int percent, int cap) {
    return probes::isClear(probes::rowFrame(region, image), Line{yLeft, yRight}, percent, cap);
}

int inkAlongLine(const VerticalBand& region, int yLeft, int yRight, const GreyImage& image,
                 double& weightedSum, int& darkest) {
    darkest = 0;
    return probes::ink(probes::rowFrame(region, image), Line{yLeft, yRight}, weightedSum, &darkest);
}

bool pivotLine(const VerticalBand& region, int& yLeft, int& yRight, const GreyImage& image,
               int pivotColumn, float& pivotY, int& tilt, int percent, int cap, bool mirror) {
    Line l{yLeft, yRight};
    if (!probes::pivot(probes::rowFrame(region, image), l, pivotColumn, pivotY, tilt, percent, cap, mirror)) return false;
    store(l, yLeft, yRight);
    return true;
}

void sweepToInk(const VerticalBand& region, int& yLeft, int& yRight, int refLeft, int refRight,
                const GreyImage& image, int pivotColumn, int tiltLimit, int percent, int variants,
                int limitMode, bool stopAtRef, int cap) {
    const auto r = request(refLeft, refRight, pivotColumn, tiltLimit, percent, variants, limitMode, stopAtRef, cap);
    store(probes::sweepToInk(probes::rowFrame(region, image), Line{yLeft, yRight}, r), yLeft, yRight);
}

void sweepToInk(const VerticalBand& region, int& yLeft, int& yRight, const GreyImage& image,
                int percent, int cap) {
    const auto r = request(yLeft, yRight, (region.xLeftTop + region.xRightTop) / 2, 0, percent, 0, 1, false, cap);
    store(probes::sweepToInk(probes::rowFrame(region, image), Line{yLeft, yRight}, r), yLeft, yRight);
}

void sweepThroughInk(const VerticalBand& region, int& yLeft, int& yRight, const GreyImage& image,
                     int& maxInk, int& baryX, int& steps, int percent) {
    const probes::Crossing c = probes::sweepThroughInk(probes::rowFrame(region, image), Line{yLeft, yRight}, percent);
    store(c.end, yLeft, yRight);
    maxInk = std::max(maxInk, c.maxInk);
    baryX = c.bary;
    steps = c.steps;
}

void alignToSlant(int& yLeft, int& yRight, int lowerLeft, int lowerRight,
                  const VerticalBand& region, const GreyImage& image, int pivotColumn,
                  int refSlant, int slantTolerance, int percent) {
    store(probes::alignToSlant(probes::rowFrame(region, image), Line{yLeft, yRight},
                               Line{lowerLeft, lowerRight}, pivotColumn, refSlant, slantTolerance, percent),
          yLeft, yRight);
}

void measureColumnEdges(HorizontalBand& out, int& yLeft, int& yRight, const HorizontalBand& bandB,
                        const HorizontalBand& bandA, int steps, const VerticalBand& region,
                        const GreyImage& image, int pivotColumn, int percent, int tiltTolerance,
                        double tolFactor) {
    const probes::Edges e = probes::measureColumnEdges(
        probes::rowFrame(region, image), Line{yLeft, yRight}, Line{bandB.yBottomLeft, bandB.yBottomRight},
        Line{bandA.yBottomLeft, bandA.yBottomRight}, steps, pivotColumn, percent, tiltTolerance, tolFactor, 255);
    out.xLeft = region.xLeftTop;
    out.xRight = region.xRightTop;
    out.yTopLeft = e.lo.a;
    out.yTopRight = e.lo.b;
    out.yBottomLeft = e.hi.a;
    out.yBottomRight = e.hi.b;
    store(e.hi, yLeft, yRight);
}

int barycenterX(const HorizontalBand& band, const GreyImage& image) {
    const int span = band.xRight - band.xLeft;
    double weighted = 0, total = 0;
    for (int x = std::max(band.xLeft, 0); x <= std::min(band.xRight, image.width - 1); ++x) {
        int top = band.yTopLeft, bottom = band.yBottomLeft;
        if (span != 0) {
            top = (band.yTopRight * (x - band.xLeft) + band.yTopLeft * (band.xRight - x)) / span;
            bottom = (band.yBottomRight * (x - band.xLeft) + band.yBottomLeft * (band.xRight - x)) / span;
        }
        long long s = 0;
        for (int y = std::max(top, 0); y <= std::min(bottom, image.height - 1); ++y) s += 255 - image.at(x, y);
        weighted += static_cast<double>(x) * static_cast<double>(s);
        total += static_cast<double>(s);
    }
    if (total == 0) return (band.xLeft + band.xRight) / 2;
    return static_cast<int>(weighted / total);
}
