// The slant of a page's text lines, measured on its ink, and the page's edges laid along it.
#pragma once

#include "bands/band_records.h"
#include "core/grey_image.h"

// Inputs: image, the cleaned sheet; the columns left .. right and rows top .. bottom of a page.
// Result: how many columns the page's vertical lines move right from its top row to its bottom
// row (negative: left), found as the slant along which the ink's column profile is sharpest
// (the gaps between lines clearest), within maxSlant either way; 0 on a page with too little
// ink to tell.
// A caller must know: it measures every mark on the page at once, so it is the slant of the
// bulk of the text, not of a header or a page number beside it.
int measurePageSlant(const GreyImage& image, int left, int right, int top, int bottom, int maxSlant);

// Lays both side edges of every page (type 2) whose edges' slants differ by more than a
// hundredth of its height along the slant of its text as measurePageSlant finds it, each moved
// out at one end as far as needed to keep everything the page held. The page finder's outermost
// bands give a page its edges, and a band made of a header and a page number, or a sliver of the
// scanner's border, slants unlike the text: a page placed from edges of different slants fans
// its lines, and lines fanned far enough run into each other. pages are ordered left to right.
// A caller must know: an edge that would pass the image's side or a neighbouring band keeps
// its own slant.
void slantPageEdgesAsText(VerticalBandList& pages, const GreyImage& image);
