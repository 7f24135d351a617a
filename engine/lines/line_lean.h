// Line lean: how far a text line's ink leans from the slant of its band's edges, and the edges
// turned to follow it, so that the line comes out upright when its band is made straight.
#pragma once

#include "bands/band_geometry.h"
#include "bands/band_records.h"
#include "core/grey_image.h"

// How a text line's ink lies against its band: the slope of the ink's middle against the band's
// middle, in columns per row (positive: the ink moves right going down), and how far right of
// the band's middle the ink's middle lies at the tier's middle row.
struct LineLean {
    double slope = 0.0;
    double shift = 0.0;
    bool measured = false;  // the band holds ink
    bool sloped = false;    // enough of it along the line for a slope; else shift is its mean
    double row = 0.0;       // the mean row of the ink
    double envelope = 0.0;  // the median width of the ink's envelope over the slabs of ink
};

// Inputs: image, the tier's image; band, a text line whose edges run from row.yTopLeft to
// row.yBottomLeft (as the tier's resampling reads them). Result: the line of the middles of the
// ink's envelope (where its outermost 3 % begin on either side), fitted over slabs of four band
// widths along the line; with fewer than four slabs of ink only where the ink lies (slope 0,
// not sloped); not measured without ink. envelope is the median width of that envelope.
// With room given, the ink is looked for between its edges (the neighbouring bands) instead.
// A caller must know: without room, ink up to two columns outside the band counts, nothing
// farther.
LineLean measureLineLean(const GreyImage& image, const VerticalBand& band, const HorizontalBand& row,
                         const NeighbourRoom* room = nullptr);

// Lays both edges of every text line (type 4) of columns, and of a narrow band (type 5, its
// ruby) right after it, along the line's ink: the band's middle onto the ink's middle, turned to
// the ink's slant, so that resampling the band upright also makes its ink upright and centred.
// A line takes the slant where the slants of its nearest measured neighbours (three either
// side) lead, fitted as changing evenly across the tier, its own among them unless that strays
// more than 5 columns per 1000 rows from both their trend and their median; with too few
// neighbours measured, its own slant unless that strays from the median of the nearest (two
// either side), else that median. A line more than a quarter wider at one end than at the other
// (an edge missed the line there), or more than 15 % wider than the others around ink no wider
// than theirs (a speck or a neighbour's stroke beside it), is laid anew along its ink at the
// width of the tier's other lines (the former once every other line has been laid, between its
// neighbours' new edges); a line pressed against a neighbour at one end is narrowed
// along its whole length. The ruby after a band laid anew is fitted again along its new right
// edge (fitNarrowBand) rather than moved with its middle. A band that missed its line at one end
// around ink no wider than ruby (dust left between two lines, ruby not attached to its line) is
// no line and leaves the list.
// columns are ordered left to right.
// A caller must know: bands may leave the list, so indices taken before do not hold after; an
// edge never passes the neighbouring band's edge; a lean steeper than 2
// columns in 100 rows against the band is taken for a misreading and left alone, unless the ink
// then runs as its neighbours' does or the band is lopsided around ink too short for a slope.
void followLineLeans(const GreyImage& image, VerticalBandList& columns, const HorizontalBand& row);
