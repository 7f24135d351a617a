#include "layout/row_placement.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <vector>

#include "bands/band_geometry.h"
#include "core/byte_transpose.h"
#include "core/stage_clock.h"
#include "core/trace.h"
#include "layout/resampling.h"


namespace {

// The edges and destination of a row as they were on entry, for the companion's resampling.
struct RowSpan {
    int topLeft, topRight, bottomLeft, bottomRight, destTop, destBottom;
};

std::vector<RowSpan> rowSpans(const HorizontalBandList& bands) {
    std::vector<RowSpan> spans;
    spans.reserve(bands.count());
    for (const HorizontalBand& b : bands)
        spans.push_back({b.yTopLeft, b.yTopRight, b.yBottomLeft, b.yBottomRight, b.destTop,
                         b.destBottom});
    return spans;
}

// Every output column is made from its own source column alone, so the columns are resampled a
// block at a time: the block's source columns are copied out whole, so that the resampling walks
// along memory, and put back once their cells are done (taking the pixels clears the cells for
// the next block; cells outside the image are never read). Nothing the size of the page is
// allocated or cleared. A partner image of the same size (the companion) is resampled in the
// same pass, on the same weights.
void resampleRows(GreyImage& image, GreyImage* partner, const std::vector<RowSpan>& spans,
                  const VerticalBand& page, int width) {
    const int xL = page.xLeftTop;
    const int xR = page.xRightTop;
    const int h = page.yBottom - page.yTop + 1;
    if (width <= 0 || h <= 0 || image.height <= 0) return;
    // The columns run along the page's top edge; when that is wider than the mean width the
    // columns past the buffer are left alone.
    const int xEnd = std::min(xR, xL + width - 1);
    const int first = std::max(xL, 0), last = std::min(xEnd, image.width - 1);
    const int y0 = std::max(page.yTop, 0), y1 = std::min(page.yBottom, image.height - 1);
    constexpr int kBlock = 32;
    const size_t height = static_cast<size_t>(image.height);
    const size_t cellCount = kBlock * static_cast<size_t>(h);
    std::vector<unsigned char> source(kBlock * height), partnerSource(partner ? source.size() : 0);
    std::vector<float> cells(cellCount), weights(cellCount), partnerCells(partner ? cellCount : 0);
    // Only the rows the spans read are copied out: every edge lies between its two ends, so the
    // reads stay within a row of the ends' range. Where that reaches past the image the reads
    // are mirrored, and every row is copied.
    int readFrom = 0, readTo = image.height - 1;
    if (!spans.empty()) {
        int lo = INT_MAX, hi = INT_MIN;
        for (const RowSpan& s : spans) {
            lo = std::min({lo, s.topLeft, s.topRight, s.bottomLeft + 1, s.bottomRight + 1});
            hi = std::max({hi, s.topLeft, s.topRight, s.bottomLeft + 1, s.bottomRight + 1});
        }
        if (lo - 1 >= 0 && hi + 1 < image.height) readFrom = lo - 1, readTo = hi + 1;
    }

    for (int bx = first; bx <= last; bx += kBlock) {
        const int n = std::min(kBlock, last - bx + 1);
        const std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(readFrom) * image.width + bx;
        transposeBytes(image.pixels.data() + offset, image.width, source.data() + readFrom, image.height,
                       readTo - readFrom + 1, n);
        if (partner)
            transposeBytes(partner->pixels.data() + offset, image.width, partnerSource.data() + readFrom,
                           image.height, readTo - readFrom + 1, n);
        for (int k = 0; k < n; ++k) {
            const int x = bx + k;
            const size_t column = static_cast<size_t>(k) * h;
            for (const RowSpan& s : spans) {
                float st, sb;
                if (xR == xL) {
                    // A one-column page has no direction: the edges are taken at their left
                    // ends, as the edge formula does for a band of one column.
                    st = static_cast<float>(s.topLeft);
                    sb = static_cast<float>(s.bottomLeft + 1);
                } else {
                    st = edgeBetween(s.topLeft, s.topRight, xL, xR, x);
                    sb = edgeBetween(s.bottomLeft + 1, s.bottomRight + 1, xL, xR, x);
                }
                spreadSpan(&source[k * height], image.height, st, sb, s.destTop, s.destBottom + 1, page.yTop, page.yBottom,
                           &cells[column], &weights[column], partner ? &partnerSource[k * height] : nullptr,
                           partner ? &partnerCells[column] : nullptr);
            }
        }
        // The block's columns are rounded into their source copies, which are done with, and
        // put back into the rows.
        if (y1 < y0) continue;
        const size_t cell = static_cast<size_t>(y0 - page.yTop);
        for (int k = 0; k < n; ++k) {
            const size_t c = k * static_cast<size_t>(h) + cell;
            takePixels(&cells[c], &weights[c], y1 - y0 + 1, &source[k * height + y0], partner ? &partnerCells[c] : nullptr,
                       partner ? &partnerSource[k * height + y0] : nullptr);
        }
        const std::ptrdiff_t back = static_cast<std::ptrdiff_t>(y0) * image.width + bx;
        transposeBytes(source.data() + y0, image.height, image.pixels.data() + back, image.width, n, y1 - y0 + 1);
        if (partner)
            transposeBytes(partnerSource.data() + y0, image.height, partner->pixels.data() + back, image.width, n,
                           y1 - y0 + 1);
    }
}

int centreY(const HorizontalBand& b) {
    return (b.yTopLeft + b.yBottomLeft + b.yTopRight + b.yBottomRight) / 4;
}

// A tier of the current page that may join a track, and how far its centre lies from the
// track's reference. Track -1 stands for opening a new track.
struct Candidate {
    int track = -1;
    int tier = -1;
    int distance = 2147483647;
};

// A run of tiers of similar height across the pages: the reference centre row and, per page,
// the member tier or -1.
struct Track {
    int reference;
    std::vector<int> member;
};

}  // namespace

void expandHorizontalBands(HorizontalBandList& bands, int margin) {
    const uint32_t n = bands.count();
    if (n == 0) return;
    bands[0].yTopLeft -= margin;
    bands[0].yTopRight -= margin;
    for (uint32_t i = 0; i + 1 < n; ++i) {
        HorizontalBand& cur = bands[i];
        HorizontalBand& next = bands[i + 1];
        const int gap = std::min(next.yTopLeft - cur.yBottomLeft - 1, next.yTopRight - cur.yBottomRight - 1);
        const int curShare = gap < 2 * margin ? gap / 2 : margin;
        const int nextShare = gap < 2 * margin ? gap - gap / 2 : margin;
        cur.yBottomLeft += curShare;
        cur.yBottomRight += curShare;
        next.yTopLeft -= nextShare;
        next.yTopRight -= nextShare;
    }
    bands[n - 1].yBottomLeft += margin;
    bands[n - 1].yBottomRight += margin;
}

void calcRowsDestY(VerticalBandList& pages) {
    const uint32_t pageCount = pages.count();
    if (pageCount == 0) return;
    const auto tierCount = [&](uint32_t p) {
        const HorizontalBandList* rows = pages[p].rowsIfAny();
        return rows ? rows->count() : 0u;
    };

    std::vector<Track> tracks;
    for (uint32_t j = 0; j < tierCount(0); ++j) {
        tracks.push_back({centreY(pages[0].rows()[j]), std::vector<int>(pageCount, -1)});
        tracks.back().member[0] = static_cast<int>(j);
    }

    for (uint32_t p = 1; p < pageCount; ++p) {
        VerticalBand& page = pages[p];
        for (Track& t : tracks) t.member[p] = -1;
        const double pageHeight = page.yBottom - page.yTop + 1;

        sArray<Candidate> candidates;
        uint32_t count = 0;
        for (uint32_t j = 0; j < tierCount(p); ++j) {
            const int c = centreY(page.rows()[j]);
            for (size_t t = 0; t < tracks.size(); ++t) {
                const int d = std::abs(tracks[t].reference - c);
                // A page without height has no scale to compare against: its tiers match nothing.
                if (pageHeight > 0.0 && d / pageHeight <= 0.0607)
                    candidates[count++] = {static_cast<int>(t), static_cast<int>(j), d};
            }
            candidates[count++] = {-1, static_cast<int>(j), 2147483647};
        }
        Candidate* begin = candidates.data();
        std::stable_sort(begin, begin + count,
                         [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });

        // Closest pairs first: each track takes at most one tier of the page and each tier joins
        // at most one track; a tier left over opens a track of its own.
        Candidate* end = begin + count;
        while (begin != end) {
            const Candidate taken = *begin;
            if (taken.track < 0) {
                tracks.push_back({centreY(page.rows()[taken.tier]), std::vector<int>(pageCount, -1)});
                tracks.back().member[p] = taken.tier;
                ++begin;
                continue;
            }
            tracks[taken.track].member[p] = taken.tier;
            end = std::remove_if(begin, end, [&](const Candidate& c) {
                return c.track == taken.track || c.tier == taken.tier;
            });
        }
    }

    for (const Track& t : tracks) {
        int topSum = 0, bottomSum = 0, n = 0;
        for (uint32_t p = 0; p < pageCount; ++p) {
            if (t.member[p] < 0) continue;
            const HorizontalBand& tier = pages[p].rows()[t.member[p]];
            topSum += (tier.yTopLeft + tier.yTopRight) / 2;
            bottomSum += (tier.yBottomLeft + tier.yBottomRight) / 2;
            ++n;
        }
        if (n == 0) continue;
        for (uint32_t p = 0; p < pageCount; ++p) {
            if (t.member[p] < 0) continue;
            HorizontalBand& tier = pages[p].rows()[t.member[p]];
            tier.destTop = topSum / n;
            tier.destBottom = bottomSum / n;
        }
    }

    trace("calcRowsDestY():\n");
    for (uint32_t p = 0; p < pageCount; ++p) {
        for (uint32_t j = 0; j < tierCount(p); ++j) {
            const HorizontalBand& tier = pages[p].rows()[j];
            trace("[%d,%d] ", tier.destTop, tier.destBottom);
        }
        trace("\n");
    }
    trace("\n");
}

void insertRowFillers(VerticalBand& page) {
    if (!page.hasRows() || page.rows().count() == 0) return;
    HorizontalBandList& tiers = page.rows();
    const uint32_t n = tiers.count();
    HorizontalBandList placed;

    const HorizontalBand& first = tiers[0];
    if (page.yTop < first.destTop) {
        HorizontalBand lead = rowBetween(page.xLeftTop, page.xRightTop, page.yTop, page.yTop, first.yTopLeft - 1,
                                         first.yTopRight - 1);
        lead.type = 3;
        lead.destTop = page.yTop;
        lead.destBottom = first.destTop - 1;
        placed.append(lead);
    }

    for (uint32_t i = 0; i < n; ++i) {
        const HorizontalBand& tier = tiers[i];
        placed.append(tier);
        HorizontalBand filler(tier);
        filler.type = 3;
        filler.xLeft = page.xLeftTop;
        filler.xRight = page.xRightTop;
        filler.yTopLeft = tier.yBottomLeft + 1;
        filler.yTopRight = tier.yBottomRight + 1;
        filler.destTop = tier.destBottom + 1;
        if (i + 1 < n) {
            const HorizontalBand& next = tiers[i + 1];
            filler.yBottomLeft = next.yTopLeft - 1;
            filler.yBottomRight = next.yTopRight - 1;
            filler.destBottom = next.destTop - 1;
            if (filler.destTop <= filler.destBottom) placed.append(filler);
        } else if (tier.destBottom < page.yBottom) {
            filler.yBottomLeft = filler.yBottomRight = page.yBottom;
            filler.destBottom = page.yBottom;
            placed.append(filler);
        }
    }
    tiers = std::move(placed);
}

int rectifyHorizontalBands2(GreyImage& image, HorizontalBandList& bands, const VerticalBand& page) {
    const ScopedStage stage(Stage::kResampling);
    const int width = ((page.xRightBottom - page.xLeftBottom) - page.xLeftTop + page.xRightTop) / 2 + 1;
    if (width < 0) {
        trace("%s: Width of the bounding box should not be less than 0.\n", "rectifyHorizontalBands2");
        return 1;
    }
    const std::vector<RowSpan> spans = rowSpans(bands);
    for (GreyImage* target = &image; target != nullptr;) {
        GreyImage* partner = sameSize(*target, target->companion) ? target->companion : nullptr;
        resampleRows(*target, partner, spans, page, width);
        target = partner ? partner->companion : target->companion;
    }
    for (HorizontalBand& b : bands) {
        b.yTopLeft = b.yTopRight = b.destTop;
        b.yBottomLeft = b.yBottomRight = b.destBottom;
    }
    return 0;
}

void removeFillerRows(VerticalBand& page) {
    if (!page.hasRows()) return;
    HorizontalBandList& tiers = page.rows();
    uint32_t kept = 0;
    for (uint32_t i = 0; i < tiers.count(); ++i) {
        if (tiers[i].type == 3) continue;
        if (kept != i) tiers[kept] = tiers[i];
        ++kept;
    }
    tiers.setCount(kept);
}
