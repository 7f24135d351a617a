// The page finder: the pages and the seam of a sheet, the orientation check, and the per-page
// driver of placement, tiers and columns.
#pragma once

#include "bands/band_records.h"
#include "core/grey_image.h"
#include "pipeline/layo_options.h"

// Inputs: the horizontal and vertical wave lengths of a sheet's text. Result: whether its lines
// run across the sheet: the vertical pitch (the line pitch then) is clearly the longer one, as
// the line pitch of text is longer than its character pitch.
// A caller must know: a sheet without text (noise, a picture) has no clear pitch either way and
// answers false.
bool linesRunAcross(double waveX, double waveY);

// The same with the axes swapped: the lines clearly run down the sheet.
bool linesRunDown(double waveX, double waveY);

// Cuts the cleaned sheet into pages (left to right, type 2, placed upright at their destination
// columns, with their tiers in rows() placed at their destination rows and the columns of every
// tier found), reports the seam of a spread in seamX (-1 when none; the caller sets -1 first)
// and may lower waveY. image is resampled in place, and its companion with it. Answers 0 when
// done, -1 when stopped, 2 when the bands are too wide for text lines (the sheet lies on its
// side), 3 when placing a page's tiers failed, or the column stage's result.
int findPages(HorizontalBand& sheet, double& waveX, double& waveY, GreyImage& image, int& seamX,
              const LayoOptions& options, VerticalBandList& pages);

// The fusions of the bands of a sheet typed 2 (page) or 3 (seam): a seam takes in the band on
// its left, then the one on its right, when that is a seam too or lies within 0.3 waveX with
// the two together at most 3 waveX wide; then neighbouring pages that shouldMergePages joins.
void fusePages(VerticalBandList& pages, double waveX, int imageWidth);

// Removes the seams, setting seamX to the mean x of the last one, and the bands narrower than
// 0.524 waveX at both ends. A seam whose middle lies outside the middle half of the sheet is the
// edge of the book or of a cover: it sets no seamX and the bands beyond it go with it; it is
// added to bookEdges when given. An outermost band within a tenth of the sheet's side, next to a
// page at least three times as wide, is a strip of the facing page and goes too.
void dropSeamsAndSlivers(VerticalBandList& pages, double waveX, int& seamX, int imageWidth,
                         VerticalBandList* bookEdges = nullptr);

// For each edge of the book that dropSeamsAndSlivers removed (bookEdges), the outermost page
// beside it takes back what the edge took in on the page's side of its innermost seam as found
// (seamCores: the seams before fusePages), when that part holds no more than twice the page's
// share of dark pixels. A box rule drawn close to the text is dark and unbroken like the edge of
// a book, and the lines it took in are the page's own; the broken remains of a real edge are
// far darker than text. pages are ordered left to right.
void giveBackWhatBookEdgesTookIn(VerticalBandList& pages, const VerticalBandList& bookEdges,
                                 const VerticalBandList& seamCores, const GreyImage& image);

// The seam of a spread whose binding shows no dark edge (only a shadow, which cleaning removes):
// on a landscape sheet where exactly two pages are left, the middle of the gap between them when
// that lies within the middle fifth of the sheet. Answers -1 otherwise.
int seamFromGap(const VerticalBandList& pages, int imageWidth, int imageHeight);

// True when the band's leftmost dark pixels (grey value at most 155) form an almost unbroken
// edge over at least a third of its rows, with at most two jumps of a tenth of waveX; a band
// whose edge jumps more is still a seam when isDarkBinding holds for it.
bool isSeam(const VerticalBand& band, const GreyImage& image, double waveX);

// True for the shadow or strip of a binding that the cleaning left dark: on a landscape sheet, a
// band at most 2 waveX wide, centred in the middle third, with at least every other row at least
// half shaded (grey value under 224). Its leftmost dark pixels follow the grain of the shadow, so
// the edge test of isSeam misses it; text columns have under a quarter of their rows so shaded.
bool isDarkBinding(const VerticalBand& band, const GreyImage& image, double waveX);

// True when the gap between two pages is narrow (at most 1.41 waveX), or of medium width (up to
// 2.25 waveX) and away from the middle and the edges of the sheet: then it is a wide space
// inside one page, not the boundary between two.
bool shouldMergePages(const VerticalBand& left, const VerticalBand& right, double waveX, int imageWidth);
