#include "layout/page_placement.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "bands/band_geometry.h"
#include "core/stage_clock.h"
#include "core/trace.h"
#include "layout/resampling.h"


namespace {

// The edges and destination of a band, kept as they were before the bands are straightened so
// that the companion is resampled from the same source positions.
struct ColumnSpan {
    int leftTop, leftBottom, rightTop, rightBottom, destLeft, destRight;
};

std::vector<ColumnSpan> columnSpans(const VerticalBandList& bands) {
    std::vector<ColumnSpan> spans;
    spans.reserve(bands.count());
    for (const VerticalBand& b : bands)
        spans.push_back({b.xLeftTop, b.xLeftBottom, b.xRightTop, b.xRightBottom, b.destLeft,
                         b.destRight});
    return spans;
}

// Every output row is made from its own source row alone, so the rows are resampled one at a
// time through one row of cells, which taking the pixels clears again: nothing the size of the
// area is allocated or cleared. Cells past the image's sides are never read and never cleared. A
// partner image of the same size (the companion) is resampled in the same pass, on the same
// weights.
void resampleColumns(GreyImage& image, GreyImage* partner, const std::vector<ColumnSpan>& spans,
                     const HorizontalBand& area) {
    const int w = area.xRight - area.xLeft + 1;
    const int h = ((area.yBottomRight - area.yTopRight) + (area.yBottomLeft - area.yTopLeft)) / 2 + 1;
    const int yT = area.yTopLeft;
    const int yB = area.yBottomLeft;
    if (w <= 0 || h <= 0 || image.width <= 0) return;
    // The rows run down the area's left side; a slanted area may be taller there than its mean
    // height, so rows past the buffer are left alone.
    const int yEnd = std::min(yB, yT + h - 1);
    std::vector<float> cells(static_cast<size_t>(w)), weights(cells.size());
    std::vector<float> partnerCells(partner ? cells.size() : 0);
    const int x0 = std::max(area.xLeft, 0), x1 = std::min(area.xRight, image.width - 1);

    for (int y = std::max(yT, 0); y <= std::min(yEnd, image.height - 1); ++y) {
        const size_t offset = static_cast<size_t>(y) * image.width;
        unsigned char* row = image.pixels.data() + offset;
        unsigned char* partnerRow = partner ? partner->pixels.data() + offset : nullptr;
        for (const ColumnSpan& s : spans) {
            float sl, sr;
            if (yB == yT) {
                // A one-row area has no direction: the edges are taken at their top ends, as the
                // edge formula does for a band of one row.
                sl = static_cast<float>(s.leftTop);
                sr = static_cast<float>(s.rightTop + 1);
            } else {
                sl = edgeBetween(s.leftTop, s.leftBottom, yT, yB, y);
                sr = edgeBetween(s.rightTop + 1, s.rightBottom + 1, yT, yB, y);
            }
            spreadSpan(row, image.width, sl, sr, s.destLeft, s.destRight + 1, area.xLeft, area.xRight, cells.data(),
                       weights.data(), partnerRow, partner ? partnerCells.data() : nullptr);
        }
        if (x1 >= x0) {
            const size_t cell = static_cast<size_t>(x0 - area.xLeft);
            takePixels(&cells[cell], &weights[cell], x1 - x0 + 1, row + x0, partner ? &partnerCells[cell] : nullptr,
                       partnerRow ? partnerRow + x0 : nullptr);
        }
    }
}

}  // namespace

void expandVerticalBands(VerticalBandList& bands, const HorizontalBand& area, int margin) {
    const uint32_t n = bands.count();
    if (n == 0) return;

    VerticalBand& first = bands[0];
    const int a = std::min(margin, std::min(first.xLeftTop, first.xLeftBottom) - area.xLeft);
    first.xLeftTop -= a;
    first.xLeftBottom -= a;

    for (uint32_t i = 0; i + 1 < n; ++i) {
        VerticalBand& cur = bands[i];
        VerticalBand& next = bands[i + 1];
        const int gap = std::min(next.xLeftTop - cur.xRightTop - 1, next.xLeftBottom - cur.xRightBottom - 1);
        const int curShare = gap < 2 * margin ? gap / 2 : margin;
        const int nextShare = gap < 2 * margin ? gap - gap / 2 : margin;
        cur.xRightTop += curShare;
        cur.xRightBottom += curShare;
        next.xLeftTop -= nextShare;
        next.xLeftBottom -= nextShare;
    }

    VerticalBand& last = bands[n - 1];
    const int b = std::min(margin, area.xRight - std::max(last.xRightTop, last.xRightBottom));
    last.xRightTop += b;
    last.xRightBottom += b;
}

void calcPagesDestX(VerticalBandList& pages, const GreyImage& image) {
    trace("calcPagesDestX(): ");
    for (VerticalBand& page : pages) {
        if (page.type == 2) {
            const int w = inkWidth(image, page);
            const int c = (page.xLeftTop + page.xLeftBottom + page.xRightTop + page.xRightBottom) / 4;
            page.destLeft = c - (w - 1) / 2;
            page.destRight = c + w / 2;
            // A page straightened next to the sheet's side may reach past it: it is moved in by
            // the overhang rather than have its outer ink cut off.
            const int shift = std::max(0, -page.destLeft) - std::max(0, page.destRight - (image.width - 1));
            if (w <= image.width) {
                page.destLeft += shift;
                page.destRight += shift;
            }
        }
        trace("[%d,%d] ", page.destLeft, page.destRight);
    }
    trace("\n");
}

void insertPageFillers(VerticalBandList& pages, const HorizontalBand& area) {
    const uint32_t n = pages.count();
    if (n == 0) return;
    VerticalBandList placed;

    const VerticalBand& first = pages[0];
    if (area.xLeft < first.destLeft) {
        VerticalBand lead = bandBetween(area.yTopLeft, area.yBottomLeft, area.xLeft, area.xLeft, first.xLeftTop - 1,
                                        first.xLeftBottom - 1);
        lead.type = 1;
        lead.destLeft = area.xLeft;
        lead.destRight = first.destLeft - 1;
        placed.append(lead);
    }

    for (uint32_t i = 0; i < n; ++i) {
        const VerticalBand& page = pages[i];
        placed.append(page);
        VerticalBand filler(page);
        filler.type = 1;
        filler.xLeftTop = page.xRightTop + 1;
        filler.xLeftBottom = page.xRightBottom + 1;
        filler.destLeft = page.destRight + 1;
        if (i + 1 < n) {
            const VerticalBand& next = pages[i + 1];
            filler.xRightTop = next.xLeftTop - 1;
            filler.xRightBottom = next.xLeftBottom - 1;
            filler.destRight = next.destLeft - 1;
            if (filler.destLeft <= filler.destRight) placed.append(filler);
        } else if (page.destRight < area.xRight) {
            filler.xRightTop = filler.xRightBottom = area.xRight;
            filler.destRight = area.xRight;
            placed.append(filler);
        }
    }
    pages = std::move(placed);
}

void rectifyVerticalBands(GreyImage& image, VerticalBandList& bands, const HorizontalBand& area) {
    const ScopedStage stage(Stage::kResampling);
    const std::vector<ColumnSpan> spans = columnSpans(bands);
    for (GreyImage* target = &image; target != nullptr;) {
        GreyImage* partner = sameSize(*target, target->companion) ? target->companion : nullptr;
        resampleColumns(*target, partner, spans, area);
        target = partner ? partner->companion : target->companion;
    }
    for (VerticalBand& b : bands) {
        b.xLeftTop = b.xLeftBottom = b.destLeft;
        b.xRightTop = b.xRightBottom = b.destRight;
    }
}
