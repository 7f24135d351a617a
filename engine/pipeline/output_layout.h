// The last steps of a sheet: whitening outside the text, the horizontal shift, the output bands,
// fitting them to the text, and composing the output images.
#pragma once

#include "bands/band_records.h"
#include "core/grey_image.h"

// Deletes every row of type 4 (headers, footers, page-number lines) from each page's rows,
// keeping the order of the others.
void removeHeaderRows(VerticalBandList& pages);

// Whitens image outside the text: the strips of clip left of, between and right of the bands
// (up to one pixel short of each band's slanted edges), then, inside every band of type 2,
// everything outside its rows (eraseOutsideRows). Only image itself is whitened, never its
// companion.
void eraseOutsidePages(GreyImage& image, VerticalBandList& bands, const HorizontalBand& clip);

// The horizontal twin of eraseOutsidePages: the strips of page above, between and below the
// rows, then, inside every row of type 1, everything outside its columns.
void eraseOutsideRows(GreyImage& image, HorizontalBandList& rows, const VerticalBand& page);

// The page straddling the middle of a sheet of the given width (a, or -1) and the last page
// wholly in the left half (b, or -1). When the straddling page's centre lies in the left half,
// b = a.
struct MiddlePage {
    int a = -1;
    int b = -1;
};
MiddlePage findMiddlePage(const VerticalBandList& pages, int width);

// The horizontal shift dx that centres the content of a sheet of the given width. single is a
// portrait sheet without seam written whole; seamX is -1 without a seam. When the text on the
// side holding the middle page is wider than half the sheet, divide is cleared and dx is 0.
int horizontalShift(const VerticalBandList& pages, int seamX, int width, bool single,
                    bool& divide);

// The output bands: r1 is the whole sheet shifted by dx, or with divide its left half, and r2
// the right half (left untouched without divide). Both span every row of sheet.
void outputBands(const HorizontalBand& sheet, int width, int dx, bool divide, HorizontalBand& r1,
                 HorizontalBand& r2);

// Shrinks band about its centre to the text of the pages lying inside it, by a factor of at
// least floor (single precision); with no rows on those pages the factor is floor.
void fitBandToPages(HorizontalBand& band, const VerticalBandList& pages, float floor);

// Widens band by hMargin on the left and right and by vMargin above and below (negative margins
// narrow it).
void addMargins(HorizontalBand& band, int hMargin, int vMargin);

// Cuts band out of source into out: output row r is source row band.yTopLeft + r, output column
// c source column band.xLeft + c; whatever lies outside source is white. The band's slant is
// not used. Returns false when the band is empty or too large for one image (2^31 pixels or
// more); out is then not a valid output.
bool compose(const GreyImage& source, const HorizontalBand& band, GreyImage& out);
