// Line probes: straight, slightly slanted lines laid across a region and measured, moved or
// tilted against the ink. Each probe has a vertical form (region a HorizontalBand: the line runs
// from the region's top row yTopLeft to its bottom row yBottomLeft, given by its x at both, and
// moves right; only columns xLeft .. xRight count) and a horizontal form (region a VerticalBand:
// the line runs from column xLeftTop to column xRightTop, given by its y at both, and moves
// down; only rows yTop .. yBottom count). Rows (columns) outside the image are skipped. A line
// is clear while the darkness (255 - grey) summed along it stays at most span * percent / 100,
// span being the region's rows - 1 (columns - 1), and, with a cap below 255, while no single
// pixel is darker than the cap.
#pragma once

#include "bands/band_records.h"
#include "core/grey_image.h"

// --- Vertical forms: lines (xTop, xBottom) over a HorizontalBand region -----------------------

bool isLineClear(const HorizontalBand& region, int xTop, int xBottom, const GreyImage& image,
                 int percent);

// The darkness summed along the line; adds darkness * row to weightedSum.
int inkAlongLine(const HorizontalBand& region, int xTop, int xBottom, const GreyImage& image,
                 double& weightedSum);

// Moves the ends apart about pivotRow (top left and bottom right; mirror: the other way), by one
// pixel at the end nearer the pivot and proportionally more at the other. Kept only when the
// line still touches the region and is clear; then counter grows by the larger move.
bool shiftEnds(const HorizontalBand& region, int& xTop, int& xBottom, const GreyImage& image,
               int pivotRow, int percent, int& counter, bool mirror);

// Turns the line by one pixel about (pivotX, pivotRow); pivotX (-1.0 while unknown) is set at the
// first call. The first form leans the top to the left, mirror to the right. Kept only when
// touching and clear; then tilt grows by the change of xBottom - xTop.
bool pivotLine(const HorizontalBand& region, int& xTop, int& xBottom, const GreyImage& image,
               int pivotRow, float& pivotX, int& tilt, int percent, bool mirror);

// Moves a clear line right until ink stops it, tilting within the allowance of limitMode (1: the
// tilt counter below tiltLimit; 2: |slant| below it; 3: the slant within tiltLimit of the
// reference's; other: the tilt below tiltLimit thousandths per pixel travelled). variants 1 tilts
// the top left only, 2 the top right only, other both (the mirror result only when it went
// strictly farther). Answers in xTop/xBottom the first blocked position.
void sweepToInk(const HorizontalBand& region, int& xTop, int& xBottom, int refTop, int refBottom,
                const GreyImage& image, int pivotRow, int tiltLimit, int percent, int variants,
                int limitMode, bool stopAtRef);

// Pushes the line right through the ink until it is clear again: xTop/xBottom become that first
// clear line; steps counts the moves, maxInk keeps the largest line sum (it is not reset) and
// bary the darkness-weighted mean row (the middle row when no ink was met).
void sweepThroughInk(const HorizontalBand& region, int& xTop, int& xBottom, const GreyImage& image,
                     int& maxInk, int& bary, int& steps, int percent);

// Pulls a line standing right of the ink back onto it (the last clear position minus one),
// straightening it towards refSlant and tilting with shiftEnds (retreatFromInk) or pivotLine
// (alignToSlant) within slantTolerance, never left of the lower bounds.
void retreatFromInk(int& xTop, int& xBottom, int lowerTop, int lowerBottom,
                    const HorizontalBand& region, const GreyImage& image, int pivotRow,
                    int refSlant, int slantTolerance, int percent);
void alignToSlant(int& xTop, int& xBottom, int lowerTop, int lowerBottom,
                  const HorizontalBand& region, const GreyImage& image, int pivotRow, int refSlant,
                  int slantTolerance, int percent);

// The edges of the band following the previous edge (passed in xTop/xBottom): left edge by a
// tilting sweep, right edge aligned from just right of bandB's (or bandA's) right edge. out gets
// the region's rows and both edges; the right edge is also answered in xTop/xBottom.
void measureColumnEdges(VerticalBand& out, int& xTop, int& xBottom, const VerticalBand& bandB,
                        const VerticalBand& bandA, int steps, const HorizontalBand& region,
                        const GreyImage& image, int pivotRow, int percent, int tiltTolerance,
                        double tolFactor);

// --- Horizontal forms: lines (yLeft, yRight) over a VerticalBand region ------------------------

bool isLineClear(const VerticalBand& region, int yLeft, int yRight, const GreyImage& image,
                 int percent, int cap = 255);

// The darkness summed along the line; adds darkness * column to weightedSum and keeps the
// largest single darkness in darkest.
int inkAlongLine(const VerticalBand& region, int yLeft, int yRight, const GreyImage& image,
                 double& weightedSum, int& darkest);

bool pivotLine(const VerticalBand& region, int& yLeft, int& yRight, const GreyImage& image,
               int pivotColumn, float& pivotY, int& tilt, int percent, int cap, bool mirror);

void sweepToInk(const VerticalBand& region, int& yLeft, int& yRight, int refLeft, int refRight,
                const GreyImage& image, int pivotColumn, int tiltLimit, int percent, int variants,
                int limitMode, bool stopAtRef, int cap);

// The shorter sweep, used without tilting: moves the line down to the first blocked position.
void sweepToInk(const VerticalBand& region, int& yLeft, int& yRight, const GreyImage& image,
                int percent, int cap);

void sweepThroughInk(const VerticalBand& region, int& yLeft, int& yRight, const GreyImage& image,
                     int& maxInk, int& baryX, int& steps, int percent);

void alignToSlant(int& yLeft, int& yRight, int lowerLeft, int lowerRight,
                  const VerticalBand& region, const GreyImage& image, int pivotColumn,
                  int refSlant, int slantTolerance, int percent);

void measureColumnEdges(HorizontalBand& out, int& yLeft, int& yRight, const HorizontalBand& bandB,
                        const HorizontalBand& bandA, int steps, const VerticalBand& region,
                        const GreyImage& image, int pivotColumn, int percent, int tiltTolerance,
                        double tolFactor);

// The darkness-weighted mean column of the ink between the band's top and bottom edges. A band
// one column wide takes its left-hand rows; a band without ink answers its middle column.
int barycenterX(const HorizontalBand& band, const GreyImage& image);
