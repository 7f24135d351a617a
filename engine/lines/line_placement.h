// Line placement: where the bands of a tier go across it (every text line of a group at the
// group's width, the other bands scaled alike), and how each text line's body is stretched
// along the line onto its group's character grid.
#pragma once

#include <vector>

#include "bands/band_records.h"
#include "core/grey_image.h"

// Rebuilds columns with filler bands (type 6, spanning row's yTopLeft .. yBottomLeft) before,
// between and after the columns, each column widened by margin on both sides. An empty list
// becomes one filler over the whole row.
// A caller must know: two columns with no pixel between them (at the top or at the bottom) get
// no filler between them.
void insertColumnFillers(int margin, VerticalBandList& columns, const HorizontalBand& row);

// Removes every filler band (type 6), keeping the order of the others.
void removeColumnFillers(VerticalBandList& columns);

// Gives every text line of a group the group's mean width (bandWidth) about its own middle,
// at the top and at the bottom, so that the lines of a group are stretched across by one
// scale: their measured edges wander by a few pixels with the glyphs that reach out furthest,
// and their mean width is the better measure of each. columns are ordered left to right.
// A caller must know: an edge never passes the neighbouring band's edge or the row's, so a
// line pressed between two bands may stay narrower than its group.
void equalizeLineWidths(VerticalBandList& columns, const HorizontalBand& row);

// Lays every narrow band attached to a text line (type 5: its ruby, marks beside it) along that
// line at the span of its ink: both edges parallel to the line's right edge, from the ink's
// nearest to its farthest column right of it, searched within the band's own span at either end
// and the room before the next band. An edge drawn out past the ink, or short of it at one end,
// would otherwise squeeze the ruby across or leave part of it to the gap, where it moves apart
// from its base. A caller must know: a band without ink there keeps its edges.
void fitNarrowBands(const GreyImage& image, VerticalBandList& columns, const HorizontalBand& row);

// fitNarrowBands for the band at index i alone (nothing unless it is a narrow band right after a
// text line): to lay a line's ruby again once the line has moved.
void fitNarrowBand(const GreyImage& image, VerticalBandList& columns, uint32_t i, const HorizontalBand& row);

// Sets destLeft/destRight of every band so that the bands, laid out from row.xLeft, fill the
// row: a text line with a group takes its group's width, every other band its own width times
// the ratio of the last line's group width to its own width, all scaled to the row's width.
// The group's width is the upper median of its lines' bandWidths: after equalizeLineWidths
// most lines have the width it gave them, and a mean would fall below it by the few pressed
// against a neighbour, drawing the whole group narrower than lines of its type size elsewhere.
// A caller must know: without any line of a group every band keeps its own mean edges.
void calcColumnsDestX(VerticalBandList& columns, const HorizontalBand& row);

// The character grid of every line group of a tier, by group index: where its first cells start
// and its last cells end, the pitch of its cells there, and the pitch its lines' characters have
// before placement.
struct GroupGrids {
    std::vector<int> top, bottom;
    std::vector<float> pitch;         // 0: none; each line then counts its own cells
    std::vector<double> sourcePitch;  // 0: none
};

// The pitch of the cells of a line with the given number of character boxes when its head
// blanks, characters and tail blanks fill its group's grid rows gridTop .. gridBottom.
// A caller must know: a miscounted character or blank changes it by a whole cell's share.
float cellPitch(const LineInfo& info, uint32_t characters, int gridTop, int gridBottom);

// The pitch at which a line's characters stand (fitted through its full-height ones, H being
// its character height), or 0 when they are too few or too irregular to fit.
double fittedPitch(const HorizontalBandList& characters, int H);

// Stretches the body of one text line (its characters, from above the first to below the last)
// onto rows grids.top[g] .. grids.bottom[g] of its group g, headBlanks cells lower and tailBlanks
// cells higher, and removes the slant of its top and bottom edges. band is the line (with its
// LineInfo); the strip resampled runs from column xLeftLimit to xRightLimit. A line whose
// characters lie on one pitch (or, with one or two full-height ones, stand at the group's
// sourcePitch) is put at the group's pitch, every cell on the group's rows.
// Result: 0, or 1 when the resampling refuses the strip. An empty character list changes
// nothing.
int placeLine(const HorizontalBandList& characters, GreyImage& image, const GroupGrids& grids, VerticalBand band,
              int xLeftLimit, int xRightLimit);
