// The line probes, written once for both directions. A frame is a region seen along its probing
// lines: a line is given by its positions a and b (along the moving axis) at the run coordinates
// t0 and t1 of its two ends, and only pixels whose moving coordinate lies in [s0, s1] count.
//
// Vertical lines (region a HorizontalBand): t is the row, s the column; a is the line's x at the
// region's top row, b at its bottom row; lines move right. Horizontal lines (region a
// VerticalBand): t is the column, s the row; a is the y at the left column, b at the right
// column; lines move down. Everything below reads "right" for the direction of movement.
//
// Used by the band finders of this folder; other folders use the named forms of line_probes.h.
#pragma once

#include <climits>
#include <cstdint>
#include <vector>

#include "bands/band_records.h"
#include "core/grey_image.h"

namespace probes {

struct Line {
    int a = 0;  // position at t0 ("top" of a vertical line, "left" of a horizontal one)
    int b = 0;  // position at t1
    int slant() const { return a - b; }
    Line shifted(int d) const { return Line{a + d, b + d}; }
    bool operator==(const Line& o) const { return a == o.a && b == o.b; }
};

struct Frame {
    bool transposed = false;  // false: vertical lines; true: horizontal lines
    int t0 = 0, t1 = 0;       // run coordinates of the two ends
    int s0 = 0, s1 = 0;       // counted range along the moving axis
    const GreyImage* image = nullptr;
    // Vertical lines may look at a copy of the region's rows stored as columns (row t of the
    // sheet is column t - rowOffset of the copy, and column s of the sheet row s - moveOffset),
    // so that a line runs along memory and only the region is copied.
    bool columnsStored = false;
    int rowOffset = 0;
    int moveOffset = 0;
    // Horizontal lines may look at a copy of only the region's columns (column t of the sheet is
    // column t - rowOffset of the copy, rows unchanged), so that a cut need not copy the page.
    bool columnsCropped = false;
    const HorizontalBand* columnRegion = nullptr;  // the region of vertical lines
    const VerticalBand* rowRegion = nullptr;       // the region of horizontal lines
    // Optional: inkedBefore[s - s0] counts the moving positions s0 .. s - 1 that held any
    // darkness on the frame's run when it was made. A line that stays within positions without
    // ink is clear with a sum of 0, without walking it. Whitening only removes ink, so the
    // counts stay true enough: a stale count only costs a walk.
    const int* inkedBefore = nullptr;
    // Optional, the same per block of kBlockRun run coordinates from blockStart:
    // blockInkedBefore[b * blockStride + s - s0] counts the positions s0 .. s - 1 that held
    // darkness within block b. A walk steps over the blocks in which the positions it passes
    // hold no ink.
    static constexpr int kBlockRun = 64;
    const int* blockInkedBefore = nullptr;
    int blockStart = 0;
    int blockStride = 0;

    // Run coordinates that exist in the image: [runFirst(), runLast()].
    int runFirst() const { return columnsStored || columnsCropped ? rowOffset : 0; }
    int runLast() const {
        if (columnsStored || columnsCropped) return rowOffset + image->width - 1;
        return (transposed ? image->width : image->height) - 1;
    }
    // Moving coordinates that exist in the image: [moveFirst(), moveEnd() - 1].
    int moveFirst() const { return moveOffset; }
    int moveEnd() const {
        if (columnsStored) return moveOffset + image->height;
        return transposed ? image->height : image->width;
    }
    // Index of pixel (s, t) in image: s * sStride() + (t - runFirst()) * tStride().
    int64_t sStride() const { return columnsStored || transposed ? image->width : 1; }
    int64_t tStride() const { return columnsStored || transposed ? 1 : image->width; }

    // Darkness (255 - grey) at moving coordinate s and run coordinate t, or -1 when the pixel
    // does not count (outside [s0, s1] or outside the image).
    int darkness(int s, int t) const {
        if (s < s0 || s > s1 || s < moveFirst() || s >= moveEnd() || t < runFirst() || t > runLast()) return -1;
        return 255 - image->pixels.data()[(s - moveOffset) * sStride() + (t - runFirst()) * tStride()];
    }

    // The line's position at run coordinate t, rounded half up as the edge formula does
    // (computed exactly in integers).
    int at(const Line& l, int t) const {
        const int64_t d = t1 - t0;
        if (d == 0) return l.a;
        const int64_t n = static_cast<int64_t>(t - t0) * l.b + static_cast<int64_t>(t1 - t) * l.a;
        return static_cast<int>((2 * n + d) / (2 * d));
    }

    // The clear-test limit for a percent: (t1 - t0) * percent / 100.
    int limit(int percent) const { return (t1 - t0) * percent / 100; }

    bool beyond(const Line& l) const { return l.a > s1 && l.b > s1; }      // wholly right
    bool within(const Line& l) const { return l.a <= s1 || l.b <= s1; }     // one end in reach
    bool behind(const Line& l) const { return l.a < s0 && l.b < s0; }       // wholly left
    bool touches(const Line& l) const {
        return (l.a >= s0 || l.b >= s0) && (l.a <= s1 || l.b <= s1);
    }
};

// A frame over the columns of a HorizontalBand region (vertical lines).
Frame columnFrame(const HorizontalBand& region, const GreyImage& image);
// The same frame over a private work copy: work receives the region's rows of image stored as
// columns, which the band finders read and whiten. Columns left of firstColumn are not copied:
// the probes read them as white, so a caller that would whiten them first need not copy them.
Frame columnWorkFrame(const HorizontalBand& region, const GreyImage& image, GreyImage& work,
                      int firstColumn = INT_MIN);
// A frame over the rows of a VerticalBand region (horizontal lines).
Frame rowFrame(const VerticalBand& region, const GreyImage& image);
// The same frame over a private work copy of the region's top-row columns (every row), which the
// band finders read and whiten; the rest of the page is not copied.
Frame rowWorkFrame(const VerticalBand& region, const GreyImage& image, GreyImage& work);

// Counts, for f.inkedBefore and f.blockInkedBefore, the positions s0 .. s1 that hold darkness on the
// frame's run; the frame keeps pointing into counts, which must outlive it.
void countInkedPositions(Frame& f, std::vector<int>& counts);

// True while the darkness summed along the line stays within the percent limit and no single
// pixel is darker than cap (255: no cap).
bool isClear(const Frame& f, const Line& l, int percent, int cap = 255);

// The darkness summed along the line; adds darkness times run coordinate to weighted and keeps
// the darkest pixel in *darkest when given.
int ink(const Frame& f, const Line& l, double& weighted, int* darkest = nullptr);

// Moves the ends apart about the pivot run coordinate p (mirror: the other way); keeps the move
// when the line still touches the region and is clear, adding max(a, b) of the move to counter.
bool shiftEnds(const Frame& f, Line& l, int p, int percent, int& counter, bool mirror);

// Turns the line by one pixel at one end about the point (px, p); px (single precision, -1.0
// while unknown) is set at the first call. The first form leans the line with its t0 end
// towards lower s; mirror the other way. Kept only when touching and clear; tilt grows by the
// change of b - a in magnitude.
bool pivot(const Frame& f, Line& l, int p, float& px, int& tilt, int percent, int cap, bool mirror);

struct SweepRequest {
    Line ref;             // the reference line (where a tilting variant stops)
    int pivotRow = 0;     // run coordinate of the pivot
    int tiltLimit = 0;
    int percent = 0;
    int variants = 0;     // 1: the first pivot form only, 2: the mirror only, else both
    int limitMode = 1;    // 1 tilt < limit, 2 |slant| < limit, 3 |slant - ref slant| < limit,
                          // else tilt < limit thousandths per step travelled
    bool stopAtRef = true;
    int cap = 255;
};

// Moves the clear line right until ink stops it, tilting within the allowance; answers the
// first blocked position (one past the last clear move).
Line sweepToInk(const Frame& f, Line start, const SweepRequest& r);

struct Crossing {
    Line end;        // the first clear line after the ink
    int steps = 0;   // one-pixel moves through the ink
    int bary = 0;    // darkness-weighted mean run coordinate along the way
    int maxInk = 0;  // the largest line sum met
};

// Pushes the line right through the ink until it is clear again. Without measure only the end
// and the steps are found (each line's walk stops as soon as its sum passes the limit); bary
// and maxInk are then left 0. A cap below 255 keeps the line in the ink while it meets any pixel
// darker than the cap, as the sweep that found the ink does.
Crossing sweepThroughInk(const Frame& f, Line start, int percent, bool measure = true, int cap = 255);

// Pulls a line that stands right of the ink back onto it, keeping its slant within tolerance of
// refSlant, never left of lower. shiftEnds tilts (retreatFromInk) or pivot tilts (alignToSlant).
Line retreatFromInk(const Frame& f, Line l, const Line& lower, int pivotRow, int refSlant,
                    int tolerance, int percent);
Line alignToSlant(const Frame& f, Line l, const Line& lower, int pivotRow, int refSlant,
                  int tolerance, int percent);

struct Edges {
    Line lo;  // left (or top) edge
    Line hi;  // right (or bottom) edge
};

// The edges of the band that follows prev: the lo edge by a tilting sweep from prev + 1 and the
// hi edge aligned from just past band B's (or A's) hi edge.
Edges measureColumnEdges(const Frame& f, const Line& prev, const Line& hiB, const Line& hiA,
                         int steps, int pivotRow, int percent, int tiltTolerance, double tolFactor,
                         int cap);

// The band between lines lo and hi over run coordinates t0 .. t1: a VerticalBand for vertical
// lines (rows t0 .. t1), a HorizontalBand for horizontal ones (columns t0 .. t1). Type 0.
VerticalBand columnBand(int t0, int t1, const Line& lo, const Line& hi);
HorizontalBand rowBand(int t0, int t1, const Line& lo, const Line& hi);

// Whitens, in image, the part of the frame's region between lines lo and hi (both included).
void whitenBetween(const Frame& f, GreyImage& image, const Line& lo, const Line& hi);

// whitenBetween on the image the frame reads, then its ink counts (made by countInkedPositions
// into counts) counted again over the positions whitened, so that probes step over the emptied
// blocks. A frame whose counts are not in counts is only whitened.
void whitenAndRecount(const Frame& f, GreyImage& image, const Line& lo, const Line& hi, std::vector<int>& counts);

// Run coordinates t0 .. t1 holding a pixel of grey value below 107 between lines lo and hi:
// the number from the first such to the last (0 when none).
int inkRunSpan(const Frame& f, const Line& lo, const Line& hi);

}  // namespace probes
