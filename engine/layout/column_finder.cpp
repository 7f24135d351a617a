#include "layout/column_finder.h"

#include <algorithm>
#include <vector>

#include "bands/band_geometry.h"
#include "bands/vertical_bands.h"
#include "core/progress.h"
#include "core/stage_clock.h"
#include "core/trace.h"
#include "layout/column_measures.h"
#include "lines/line_stage.h"

namespace {

constexpr double kSlopeRatio = 0.00013333333333333334;

void widenRightEdge(VerticalBand& c, const VerticalBand& next) {
    c.xRightTop = std::max(c.xRightTop, next.xRightTop);
    c.xRightBottom = std::max(c.xRightBottom, next.xRightBottom);
}

// Rounds of subdivision: a column at least 1.07 times as wide as its neighbours is cut again
// with a rising threshold, until a round changes nothing.
void subdivideWideColumns(VerticalBandList& columns, const HorizontalBand& row, const GreyImage& image, int M) {
    for (int param = 60; param <= 330; param += 54) {
        const std::vector<int> lm = localMedianWidths(columns, M);
        bool changed = false;
        VerticalBandList next;
        for (uint32_t i = 0; i < columns.count(); ++i) {
            const VerticalBand& c = columns[i];
            trace("w=%d,localMedian=%d\n", bandWidth(c), lm[i]);
            if (bandWidth(c) < static_cast<int>(1.07 * lm[i])) {
                next.append(c);
                continue;
            }
            changed = true;
            VerticalBandList parts;
            subdivideVerticalBand(parts, c, row, image, param, 0.02, kSlopeRatio, 15);
            if (parts.count() <= 1) {
                next.append(c);
                continue;
            }
            VerticalBand& first = parts[0];
            VerticalBand& last = parts[parts.count() - 1];
            first.xLeftTop = c.xLeftTop;
            first.xLeftBottom = c.xLeftBottom;
            last.xRightTop = c.xRightTop;
            last.xRightBottom = c.xRightBottom;
            auto twist = [](const VerticalBand& b) { return b.xRightTop + b.xRightBottom - b.xLeftTop - b.xLeftBottom; };
            const int t0 = twist(first), t1 = twist(last);
            trace("twist=%d,%d\n", t0, t1);
            if (t0 <= -4 || t1 <= -4) {
                next.append(c);
            } else {
                next.appendAll(parts);
            }
        }
        columns = next;
        if (!changed) break;
    }
}

// Merges the pieces of each line, attaches narrow bands (ruby) after lines, and types every
// column a text line (4), an attached band (5) or a block (2).
void mergeAndClassify(VerticalBandList& columns, const GreyImage& image, double waveX, int M) {
    const std::vector<int> lm = localMedianWidths(columns, M);
    const uint32_t count = columns.count();
    VerticalBandList merged;
    bool afterLine = false;
    int lastLineWidth = 0;
    uint32_t i = 0;
    while (i < count) {
        VerticalBand c = columns[i];
        trace("localMedianLineWidth[%d]=%d\n", static_cast<int>(i), lm[i]);
        uint32_t j = i + 1;
        auto gapTo = [&c](const VerticalBand& n) { return (n.xLeftBottom + n.xLeftTop - c.xRightBottom - c.xRightTop) / 2; };
        auto spanTo = [&c](const VerticalBand& n) { return (n.xRightTop - c.xLeftBottom - c.xLeftTop + n.xRightBottom) / 2; };
        if (afterLine && i > 0) {
            const VerticalBand& p = columns[i - 1];
            const int gap = ((c.xLeftBottom - p.xRightBottom) - p.xRightTop + c.xLeftTop) / 2;
            if (gap < static_cast<int>(0.516 * M) && inkWidth(image, c) < static_cast<int>(0.613 * lastLineWidth)) {
                while (j < count && gapTo(columns[j]) <= static_cast<int>(0.2 * M) &&
                       spanTo(columns[j]) <= static_cast<int>(0.66 * M)) {
                    widenRightEdge(c, columns[j]);
                    ++j;
                }
                c.type = 5;
                merged.append(c);
                afterLine = false;
                i = j;
                continue;
            }
        }
        while (j < count) {
            const bool close = gapTo(columns[j]) <= static_cast<int>(0.213 * lm[j]) &&
                               spanTo(columns[j]) <= static_cast<int>(1.01 * lm[j]);
            const bool sliver = bandWidth(c) <= static_cast<int>(0.527 * lm[j - 1]) &&
                                spanTo(columns[j]) <= static_cast<int>(1.12 * lm[j]);
            if (!close && !sliver) break;
            trace("localMedianLineWidth[%d]=%d\n", static_cast<int>(j), lm[j]);
            widenRightEdge(c, columns[j]);
            ++j;
        }
        const int r = maxInkRowWidth(image, c);
        trace("w=%d ", r);
        if (r < static_cast<int>(1.58 * M) && r < static_cast<int>(2 * waveX)) {
            c.type = 4;
            afterLine = true;
            lastLineWidth = bandWidth(c);
        } else {
            c.type = 2;
            afterLine = false;
        }
        merged.append(c);
        i = j;
    }
    columns = merged;
}

// Drops leading slivers and every column too narrow to be text.
void dropNarrowColumns(VerticalBandList& columns, int M) {
    while (!columns.empty() && bandWidth(columns[0]) < static_cast<int>(0.3 * M)) columns.removeAt(0);
    uint32_t i = 0;
    while (i < columns.count()) {
        const VerticalBand& c = columns[i];
        if (std::max(c.xRightTop - c.xLeftTop + 1, c.xRightBottom - c.xLeftBottom + 1) < static_cast<int>(0.15 * M)) {
            columns.removeAt(i);
        } else {
            ++i;
        }
    }
}

// Blocks close to each other, or a block close to a line, become one block.
void joinBlocks(VerticalBandList& columns, int M) {
    for (int i = 0; i + 1 < static_cast<int>(columns.count()); ++i) {
        VerticalBand& cur = columns[static_cast<uint32_t>(i)];
        const VerticalBand& next = columns[static_cast<uint32_t>(i + 1)];
        const int gap = std::min(next.xLeftTop - cur.xRightTop, next.xLeftBottom - cur.xRightBottom);
        const bool blocks = cur.type == 2 && next.type == 2 && gap <= static_cast<int>(0.18 * M);
        const bool oneBlock = (cur.type == 2 || next.type == 2) && gap <= static_cast<int>(0.126 * M);
        if (!blocks && !oneBlock) continue;
        if (cur.type == 5 && i > 0) {
            trace("Unified 3 columns into a page at col#%d.\n", i - 1);
            VerticalBand& before = columns[static_cast<uint32_t>(i - 1)];
            before.xRightTop = next.xRightTop;
            before.xRightBottom = next.xRightBottom;
            before.type = 2;
            columns.removeAt(static_cast<uint32_t>(i + 1));
            columns.removeAt(static_cast<uint32_t>(i));
            i = std::max(i - 2, -1);  // back two places; the loop then advances one
        } else {
            trace("Unified 2 columns into a page at col#%d.\n", i);
            cur.xRightTop = next.xRightTop;
            cur.xRightBottom = next.xRightBottom;
            cur.type = 2;
            columns.removeAt(static_cast<uint32_t>(i + 1));
            i = std::max(i - 1, -1);  // back one place; the loop then advances one
        }
    }
}

}  // namespace

void markCompositeLines(VerticalBandList& columns, const GreyImage& image, double waveY, int M) {
    for (uint32_t i = 0; i < columns.count(); ++i) {
        VerticalBand& c = columns[i];
        // A band much wider at one end than at the other missed its line there; the line is
        // laid on its ink later. Its ink wanders across it as a second column's would.
        if (c.type == 4 && bandWidth(c) >= static_cast<int>(1.2 * M) && !lopsidedBand(c) && isComposite(image, c, waveY)) {
            c.type = 2;
            trace("col%d:composite.\n", static_cast<int>(i));
        }
    }
}

void joinThreeLineBlocks(VerticalBandList& columns, double waveX, int M) {
    for (int i = 2; i < static_cast<int>(columns.count()); ++i) {
        VerticalBand& a0 = columns[static_cast<uint32_t>(i - 2)];
        const VerticalBand& a1 = columns[static_cast<uint32_t>(i - 1)];
        const VerticalBand& a2 = columns[static_cast<uint32_t>(i)];
        if (a0.type != 4 || a1.type != 4 || a2.type != 4) continue;
        // A band whose edges cross at one end is a misreading of the band finder, not a line:
        // three bands with one such are no proof of solid text.
        auto crossed = [](const VerticalBand& c) { return c.xRightTop < c.xLeftTop || c.xRightBottom < c.xLeftBottom; };
        if (crossed(a0) || crossed(a1) || crossed(a2)) continue;
        const int a = a2.xRightTop - a0.xLeftTop + 1, b = a2.xRightBottom - a0.xLeftBottom + 1;
        const int span = (a + b) / 2;
        int sumTop = 0, sumBottom = 0;
        for (const VerticalBand* c : {static_cast<const VerticalBand*>(&a0), &a1, &a2}) {
            sumTop += c->xRightTop - c->xLeftTop + 1;
            sumBottom += c->xRightBottom - c->xLeftBottom + 1;
        }
        // Solid text fills the span at both ends; a band whose edge strayed at one end makes its
        // neighbours look solid there only.
        const bool filled = (a > 0 && static_cast<double>(sumTop) / a >= 0.928) &&
                            (b > 0 && static_cast<double>(sumBottom) / b >= 0.928);
        // Two lines of full width with a narrower band between them are lines with their ruby
        // (set wide enough to be taken for a line), not a block.
        const int narrower = std::min(bandWidth(a0), bandWidth(a2)), wider = std::max(bandWidth(a0), bandWidth(a2));
        const bool rubyBetween = wider <= 1.25 * narrower && bandWidth(a1) < 0.8 * narrower;
        if (span <= static_cast<int>(1.1 * (M + waveX)) && filled && !rubyBetween) {
            a0.xRightTop = a2.xRightTop;
            a0.xRightBottom = a2.xRightBottom;
            a0.type = 2;
            trace("col%d:3lines->page.\n", i - 2);
            columns.removeAt(static_cast<uint32_t>(i));
            columns.removeAt(static_cast<uint32_t>(i - 1));
        }
    }
}

int findColumnsInPage(GreyImage& image, double waveX, double waveY, VerticalBand& page, int depth,
                      float share, const LayoOptions& options) {
    const ScopedStage stage(Stage::kColumnsAndLines);
    HorizontalBandList& rows = page.rows();
    int tiers = 0;
    for (const HorizontalBand& r : rows) tiers += r.type == 1;
    if (tiers == 0) return 0;
    const float tierShare = share / static_cast<float>(tiers);
    for (HorizontalBand& row : rows) {
        if (row.type != 1) continue;
        if (isStopRequested()) break;
        appendStatusText("行を分割しています……");
        const int r = findColumns(image, waveX, waveY, row, depth, tierShare, options);
        if (r != 0) return r;
    }
    return 0;
}

int findColumns(GreyImage& image, double waveX, double waveY, HorizontalBand& row, int depth,
                float share, const LayoOptions& options) {
    VerticalBandList& columns = row.columns();
    findVerticalBands4(columns, row, image, 60, 0.05, kSlopeRatio, 2, 15, 8);
    if (isStopRequested()) return -1;
    addProgress(0.2f * share);
    if (columns.empty()) {
        trace("No column found.\n");
        return 0;
    }
    int M = medianLineWidth(columns, waveX);
    trace("medianLineWidth=%d\n", M);
    trace("Columns before subdivision:\n");
    dumpVerticalBands(columns);
    subdivideWideColumns(columns, row, image, M);
    if (isStopRequested()) return -1;
    addProgress(0.2f * share);

    if (columns.count() == 1 && bandWidth(columns[0]) >= waveX) {
        VerticalBandList parts;
        divideStickingColumns(parts, columns[0], image);
        if (parts.count() > 1) columns = parts;
    }
    trace("Columns after subdivision:\n");
    dumpVerticalBands(columns);
    M = medianLineWidth(columns, waveX);
    trace("medianLineWidth=%d\n", M);

    mergeAndClassify(columns, image, waveX, M);
    trace("Columns after merging:\n");
    dumpVerticalBands(columns);
    dropNarrowColumns(columns, M);
    joinThreeLineBlocks(columns, waveX, M);
    markCompositeLines(columns, image, waveY, M);
    joinBlocks(columns, M);
    if (columns.count() == 1 && columns[0].type == 2) columns[0].type = 7;
    trace("Columns after cleaning:\n");
    dumpVerticalBands(columns);
    return analyzeLines(image, waveX, waveY, columns, row, depth, 0.6f * share, options);
}
