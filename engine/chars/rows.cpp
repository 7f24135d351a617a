#include "chars/rows.h"

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "bands/band_geometry.h"
#include "bands/horizontal_bands.h"
#include "bands/line_probes.h"
#include "core/trace.h"

namespace {

// Mean vertical distance from r's bottom edge to s's top edge (negative when they overlap).
int gapBetween(const HorizontalBand& r, const HorizontalBand& s) {
    return ((s.yTopRight - r.yBottomRight) + (s.yTopLeft - r.yBottomLeft)) / 2;
}

// Tells whether a row is a speck of dust or a lone mark: lower than minH, with ink in at most
// maxColumns columns.
bool isSpeckRow(const HorizontalBand& r, const GreyImage& image, int minH, int maxColumns) {
    if (bandHeight(r) >= minH) return false;
    int inked = 0;
    for (int x = std::max(r.xLeft, 0); x <= std::min(r.xRight, image.width - 1); ++x) {
        const int top = std::max(edgeAt(x, r.xLeft, r.yTopLeft, r.xRight, r.yTopRight), 0);
        const int bottom = std::min(edgeAt(x, r.xLeft, r.yBottomLeft, r.xRight, r.yBottomRight), image.height - 1);
        for (int y = top; y <= bottom; ++y)
            if (image.at(x, y) < 128) {
                if (++inked > maxColumns) return false;
                break;
            }
    }
    return true;
}

// Fuses runs of consecutive rows whose gap is at most maxGap: the run's first row, lowered to
// the bottom edge of its last row. A speck row (speck[i]) joins the rows either side of it but
// does not bridge them: two other rows fuse only when their own gap is at most maxGap, and the
// specks between two rows that stay apart go with the nearer one.
HorizontalBandList fuseClose(const HorizontalBandList& rows, int maxGap, const std::vector<bool>& speck) {
    HorizontalBandList fused;
    if (rows.count() == 0) return fused;
    std::vector<std::vector<uint32_t>> runs{{0}};
    int lastText = speck[0] ? -1 : 0;  // the run's last row that is not a speck
    for (uint32_t i = 1; i < rows.count(); ++i) {
        const bool close = gapBetween(rows[i - 1], rows[i]) <= maxGap;
        bool join = close;
        if (close && !speck[i] && lastText >= 0) join = gapBetween(rows[static_cast<uint32_t>(lastText)], rows[i]) <= maxGap;
        if (join) {
            runs.back().push_back(i);
            if (!speck[i]) lastText = static_cast<int>(i);
            continue;
        }
        std::vector<uint32_t> next{i};
        std::vector<uint32_t>& run = runs.back();
        while (close && lastText >= 0 && run.size() > 1 && speck[run.back()] &&
               gapBetween(rows[run.back()], rows[i]) < gapBetween(rows[static_cast<uint32_t>(lastText)], rows[run.back()])) {
            next.insert(next.begin(), run.back());
            run.pop_back();
        }
        runs.push_back(next);
        lastText = speck[i] ? -1 : static_cast<int>(i);
    }
    for (const std::vector<uint32_t>& run : runs) {
        HorizontalBand band(rows[run.front()]);
        band.yBottomLeft = rows[run.back()].yBottomLeft;
        band.yBottomRight = rows[run.back()].yBottomRight;
        fused.append(band);
    }
    return fused;
}

// Tells whether the rows stand for horizontal text lines: mostly low rows whose darkest ink is
// centred on a common column. Types the rows 4 (low) and 5 (taller) when so.
bool typeAsHorizontalLines(HorizontalBandList& rows, double waveX, double waveY,
                           const GreyImage& image) {
    const uint32_t n = rows.count();
    std::vector<int> heights;
    heights.reserve(n);
    for (const HorizontalBand& r : rows) heights.push_back(bandHeight(r));
    std::sort(heights.begin(), heights.end());
    if (heights[n / 2] > waveY) return false;

    std::vector<int> centres;
    for (const HorizontalBand& r : rows) {
        int left = -1, right = -1;
        rowInkCentreX(r, image, left, right);
        if (left >= 0) centres.push_back((left + right) / 2);
    }
    if (centres.empty()) return false;
    long long sum = 0;
    for (int c : centres) sum += c;
    const long long mean = sum / static_cast<long long>(centres.size());
    const int tolerance = static_cast<int>(waveX);
    int aligned = 0;
    for (int c : centres)
        if (std::llabs(mean - c) <= tolerance) ++aligned;
    // A share, not an integer quotient: rows without dark ink count against the test.
    if (static_cast<double>(aligned) / n < 0.7) return false;

    trace("Rows are horizontal lines.\n");
    for (HorizontalBand& r : rows) r.type = bandHeight(r) <= waveY ? 4 : 5;
    return true;
}

// Keeps the rows of at least minH pixels: tall rows away from the top and bottom 2 % of the
// image are tiers of text (1), the others thin or marginal rows (4).
HorizontalBandList classify(const HorizontalBandList& rows, double waveY, int imageHeight) {
    const int minH = static_cast<int>(0.375 * waveY);
    const int tierH = static_cast<int>(1.75 * waveY);
    const int yMin = static_cast<int>(0.02 * imageHeight);
    const int yMax = static_cast<int>(0.98 * imageHeight);
    HorizontalBandList kept;
    for (const HorizontalBand& r : rows) {
        const int h = bandHeight(r);
        if (h < minH) continue;
        const int centre = (r.yBottomRight + r.yTopRight + r.yBottomLeft + r.yTopLeft) / 4;
        HorizontalBand k(r);
        k.type = (h > tierH && centre >= yMin && centre <= yMax) ? 1 : 4;
        kept.append(k);
    }
    return kept;
}

// A row whose bottom edge crosses its top edge at one end (a steep probe through a running
// header that covers only part of the width) leaves that ink to the row below, and the two would
// fuse into one tier. Its bottom edge is set past its ink at its top edge's slant; the row below,
// when it starts above that, starts after it and its top edge is swept down onto its own ink.
void repairCrossedRows(HorizontalBandList& rows, const VerticalBand& band, const GreyImage& image) {
    std::vector<uint32_t> crossed;
    for (uint32_t i = 0; i < rows.count(); ++i)
        if (rows[i].yBottomLeft < rows[i].yTopLeft || rows[i].yBottomRight < rows[i].yTopRight) crossed.push_back(i);
    for (uint32_t i : crossed) {
        HorizontalBand& r = rows[i];
        int left = r.yTopLeft, right = r.yTopRight, maxInk = 0, bary = 0, steps = 0;
        sweepThroughInk(band, left, right, image, maxInk, bary, steps, 50);
        r.yBottomLeft = left - 1;
        r.yBottomRight = right - 1;
        trace("row %d crossed its own edges: bottom set to (%d,%d)\n", static_cast<int>(i), r.yBottomLeft,
              r.yBottomRight);
        if (i + 1 == rows.count()) continue;
        HorizontalBand& next = rows[i + 1];
        if (next.yTopLeft > r.yBottomLeft && next.yTopRight > r.yBottomRight) continue;
        next.yTopLeft = std::max(next.yTopLeft, r.yBottomLeft + 1);
        next.yTopRight = std::max(next.yTopRight, r.yBottomRight + 1);
        VerticalBand region;
        region.yTop = 0;
        region.yBottom = image.height - 1;
        region.xLeftTop = region.xLeftBottom = next.xLeft;
        region.xRightTop = region.xRightBottom = next.xRight;
        sweepToInk(region, next.yTopLeft, next.yTopRight, 0, 0, image, barycenterX(next, image), 100, 50, 0, 1,
                   true, 255);
    }
}

}  // namespace

void findRows(HorizontalBandList& rows, double waveX, double waveY, const VerticalBand& band,
              const GreyImage& image, bool& horizontalLines, int depth) {
    horizontalLines = false;
    const double k = depth != 0 ? 0.07 : 0.2;
    findHorizontalBands4(rows, band, image, 50, 7.0 / 136, 0.06 / 136, static_cast<int>(waveY * k), 2);
    repairCrossedRows(rows, band, image);
    trace("Rows before cleaning:\n");
    dumpHorizontalBands(rows);

    const int minCleanH = static_cast<int>(waveY * 0.072);
    for (uint32_t i = 0; i < rows.count();) {
        if (bandHeight(rows[i]) < minCleanH)
            rows.removeAt(i);
        else
            ++i;
    }
    trace("Rows before fusion:\n");
    dumpHorizontalBands(rows);

    if (rows.count() == 0) {
        trace("No row found.");
        return;
    }

    // A narrow band whose ink spans at least one character pitch may be a single text line cut
    // into the line and its ruby fragments; isPageOneLine is asked only then, as it may fuse.
    int first = -1, last = -1;
    inkExtentY(band, image, first, last);
    const int inkHeight = last - first + 1;
    if (waveY <= inkHeight && bandWidth(band) <= static_cast<int>(3 * waveX) &&
        isPageOneLine(rows, waveX) && rows.count() == 1) {
        trace("This page is a line (and possibly its rubies).\n");
        rows[0].type = 1;
        return;
    }

    // Horizontal lines are typed as they are: fusing would merge lines set close together.
    horizontalLines = waveY > waveX && typeAsHorizontalLines(rows, waveX, waveY, image);
    if (!horizontalLines) {
        // Specks of dust in the gap between two tiers, or between a header and its tier, would
        // otherwise chain them into one.
        std::vector<bool> speck;
        for (const HorizontalBand& r : rows)
            speck.push_back(isSpeckRow(r, image, static_cast<int>(0.375 * waveY), static_cast<int>(waveX)));
        rows = fuseClose(rows, static_cast<int>(0.476 * waveY), speck);
        trace("Rows after fusion:\n");
        dumpHorizontalBands(rows);
        rows = classify(rows, waveY, image.height);
    }

    for (HorizontalBand& r : rows) fitRowEdges(r, image, 100, 50);
    trace("Rows found:\n");
    dumpHorizontalBands(rows);
}

bool isPageOneLine(HorizontalBandList& rows, double waveX) {
    const uint32_t n = rows.count();
    if (n == 0) return false;

    // Rows separated by little more than half a line pitch belong to one line.
    const int maxGap = static_cast<int>(0.558 * waveX);
    HorizontalBandList l1;
    HorizontalBand current(rows[0]);
    for (uint32_t i = 0; i + 1 < n; ++i) {
        if (gapBetween(rows[i], rows[i + 1]) > maxGap) {
            l1.append(unionBand(current, rows[i]));
            current = rows[i + 1];
        }
    }
    l1.append(unionBand(current, rows[n - 1]));

    // Neighbours of similar height (within a ratio of 1.4), not themselves taller than three
    // line pitches, are pieces of the same line.
    const int maxH = static_cast<int>(3 * waveX);
    HorizontalBandList l2;
    current = l1[0];
    for (uint32_t i = 0; i + 1 < l1.count(); ++i) {
        const int hp = bandHeight(l1[i]);
        const int hq = bandHeight(l1[i + 1]);
        const bool together = hp < maxH && 10 * hp / 14 <= hq && hq <= 14 * hp / 10;
        if (!together) {
            l2.append(unionBand(current, l1[i]));
            current = l1[i + 1];
        }
    }
    l2.append(unionBand(current, l1[l1.count() - 1]));

    if (l2.count() > 3) return false;
    rows = std::move(l2);
    return true;
}

void rowInkCentreX(const HorizontalBand& row, const GreyImage& image, int& left, int& right) {
    left = -1;
    right = -1;
    const int x0 = std::max(row.xLeft, 0);
    const int x1 = std::min(row.xRight, image.width - 1);
    for (int x = x0; x <= x1; ++x) {
        const int top = std::max(edgeAt(x, row.xLeft, row.yTopLeft, row.xRight, row.yTopRight), 0);
        const int bottom = std::min(edgeAt(x, row.xLeft, row.yBottomLeft, row.xRight, row.yBottomRight),
                                    image.height - 1);
        for (int y = top; y <= bottom; ++y) {
            if (image.at(x, y) <= 20) {
                if (left < 0) left = x;
                right = x;
                break;
            }
        }
    }
}

void fitRowEdges(HorizontalBand& row, const GreyImage& image, int limit, int percent) {
    const int b = barycenterX(row, image);
    trace("barycenterX = %d\n", b);
    VerticalBand region;
    region.yTop = 0;
    region.yBottom = image.height - 1;
    region.xLeftTop = region.xLeftBottom = row.xLeft;
    region.xRightTop = region.xRightBottom = row.xRight;
    sweepToInk(region, row.yTopLeft, row.yTopRight, 0, 0, image, b, limit, percent, 0, 1, true, 255);
    alignToSlant(row.yBottomLeft, row.yBottomRight, 0, 0, region, image, b,
                 row.yBottomLeft - row.yBottomRight, limit, percent);
}
