#include "lines/line_stage.h"

#include <algorithm>
#include <vector>

#include "bands/band_geometry.h"
#include "chars/char_segmentation.h"
#include "chars/rows.h"
#include "core/median.h"
#include "core/progress.h"
#include "core/trace.h"
#include "layout/column_finder.h"
#include "layout/page_finder.h"
#include "layout/page_placement.h"
#include "layout/row_placement.h"
#include "lines/line_geometry.h"
#include "lines/line_groups.h"
#include "lines/line_lean.h"
#include "lines/line_placement.h"

namespace {

int centreXOf(const VerticalBand& c) { return (c.xLeftTop + c.xLeftBottom + c.xRightTop + c.xRightBottom) / 4; }

// A line of fewer characters than this gives too few steps to tell its pitch by.
constexpr uint32_t kFewCharacters = 5;

// Groups the text lines by measure (the band width, or with charLists the character pitch) and
// records each line's group; traces the groups after label.
void groupLines(VerticalBandList& columns, const HorizontalBand& row, const std::vector<HorizontalBandList>* charLists,
                double maxRatio, double narrowFactor, const char* label, std::vector<std::vector<int>>& groups) {
    std::vector<LineEntry> entries;
    for (uint32_t i = 0; i < columns.count(); ++i) {
        VerticalBand& c = columns[i];
        if (c.type != 4) continue;
        LineEntry e;
        e.index = static_cast<int>(i);
        e.centreX = centreXOf(c);
        if (charLists) {
            e.measure = getLineInfo(c).typicalCharSpace;
            e.steady = characterCount((*charLists)[i]) >= kFewCharacters;
            trace("col%d:typicalCharSpace=%d\n", e.index, e.measure);
        } else {
            e.measure = bandWidth(c);
        }
        entries.push_back(e);
    }
    formLineGroups(groups, entries, row, maxRatio, narrowFactor);
    for (size_t g = 0; g < groups.size(); ++g)
        for (int i : groups[g]) getLineInfo(columns[static_cast<uint32_t>(i)]).lineGroup = static_cast<int>(g);
    trace("%s", label);
    for (size_t g = 0; g < groups.size(); ++g) {
        trace("(");
        for (uint32_t i = 0; i < columns.count(); ++i) {
            const LineInfo* info = columns[i].lineIfAny();
            if (info && info->lineGroup == static_cast<int>(g)) trace("%d,", static_cast<int>(i));
        }
        trace(") ");
    }
    trace("\n");
}

// True when some tier inside band, at any depth, holds a text line.
bool holdsTextLine(const VerticalBand& band) {
    const HorizontalBandList* rows = band.rowsIfAny();
    if (!rows) return false;
    for (const HorizontalBand& row : *rows) {
        const VerticalBandList* columns = row.columnsIfAny();
        if (row.type != 1 || !columns) continue;
        for (const VerticalBand& c : *columns)
            if (c.type == 4 || (c.type == 2 && holdsTextLine(c))) return true;
    }
    return false;
}

// The pixels of a rectangle of an image and of its companion, to be put back unchanged.
class SavedArea {
public:
    SavedArea(const GreyImage& image, int x0, int y0, int x1, int y1)
        : x0_(std::max(x0, 0)), y0_(std::max(y0, 0)), x1_(std::min(x1, image.width - 1)),
          y1_(std::min(y1, image.height - 1)) {
        save(image, pixels_);
        if (image.companion) save(*image.companion, companionPixels_);
    }

    void restore(GreyImage& image) const {
        put(image, pixels_);
        if (image.companion) put(*image.companion, companionPixels_);
    }

private:
    void save(const GreyImage& image, std::vector<unsigned char>& to) const {
        for (int y = y0_; y <= y1_; ++y)
            for (int x = x0_; x <= x1_; ++x) to.push_back(image.at(x, y));
    }
    void put(GreyImage& image, const std::vector<unsigned char>& from) const {
        size_t k = 0;
        for (int y = y0_; y <= y1_; ++y)
            for (int x = x0_; x <= x1_; ++x) image.at(x, y) = from[k++];
    }

    int x0_, y0_, x1_, y1_;
    std::vector<unsigned char> pixels_, companionPixels_;
};

// Divides a block into rows and columns of its own, one level deeper. A block in which no text
// line is found there (a picture, a stamp) cannot be laid out: it is put back as it was, and
// one row of kRowKeptWhole covering it keeps the whitening outside the text away from it.
void analyzeBlock(GreyImage& image, double waveX, double waveY, VerticalBand& band, int depth,
                  const LayoOptions& options) {
    const int left = std::min(band.xLeftTop, band.xLeftBottom), right = std::max(band.xRightTop, band.xRightBottom);
    const SavedArea before(image, left, band.yTop, right, band.yBottom);
    HorizontalBandList& rows = band.rows();
    bool horizontalLines = false;
    findRows(rows, waveX, waveY, band, image, horizontalLines, depth + 1);
    expandHorizontalBands(rows, 3);
    for (HorizontalBand& r : rows) {
        r.destTop = std::max((r.yTopLeft + r.yTopRight) / 2, band.yTop);
        r.destBottom = std::min((r.yBottomLeft + r.yBottomRight) / 2, band.yBottom);
    }
    insertRowFillers(band);
    rectifyHorizontalBands2(image, rows, band);
    findColumnsInPage(image, waveX, waveY, band, depth + 1, 0.0f, options);
    if (holdsTextLine(band)) return;
    before.restore(image);
    rows.setCount(0);
    HorizontalBand whole = rowBetween(left, right, band.yTop, band.yTop, band.yBottom, band.yBottom);
    whole.type = kRowKeptWhole;
    rows.append(whole);
    trace("block (%d~%d) holds no text line: carried over as it is.\n", left, right);
}

// Gives every character box the slant of its line at its height, keeping its mid heights.
void straightenBoxes(VerticalBand& band, HorizontalBandList& boxes) {
    const LineInfo& info = getLineInfo(band);
    const int span = band.yBottom - band.yTop;
    auto slantAt = [&](int ym) {
        if (span == 0) return info.slopeT;
        return ((band.yBottom - ym) * info.slopeT + (ym - band.yTop) * info.slopeB) / span;
    };
    for (HorizontalBand& b : boxes) {
        const int w = b.xRight - b.xLeft;
        int ym = (b.yTopRight + b.yTopLeft) / 2;
        int h = static_cast<int>(w * slantAt(ym)) / 2;
        b.yTopLeft = ym - h;
        b.yTopRight = ym + h;
        ym = (b.yBottomRight + b.yBottomLeft) / 2;
        h = static_cast<int>(w * slantAt(ym)) / 2;
        b.yBottomLeft = ym - h;
        b.yBottomRight = ym + h;
    }
}

}  // namespace

int analyzeLines(GreyImage& image, double waveX, double waveY, VerticalBandList& columns, HorizontalBand& row,
                 int depth, float share, const LayoOptions& options) {
    if (!appendStatusText("行を処理しています……")) return -1;

    std::vector<std::vector<int>> groups;
    groupLines(columns, row, nullptr, 1.29, 0.893, "line group: ", groups);

    // A ruby band is laid on its ink first: the room it leaves the line after it is then its
    // real width when that line is laid on its ink.
    fitNarrowBands(image, columns, row);
    followLineLeans(image, columns, row);
    equalizeLineWidths(columns, row);
    insertColumnFillers(0, columns, row);
    calcColumnsDestX(columns, row);
    rectifyVerticalBands(image, columns, row);
    removeColumnFillers(columns);
    trace("Columns after rectification:\n");
    dumpVerticalBands(columns);

    if (!showPreview(image)) return -1;
    const float stepShare = share * 0.3f;
    addProgress(stepShare);

    for (VerticalBand& band : columns)
        if (band.type == 2) analyzeBlock(image, waveX, waveY, band, depth, options);

    if (!appendStatusText("文字を分割しています……")) return -1;
    const uint32_t n = columns.count();
    std::vector<HorizontalBandList> charLists(n);
    isArray<int> carriedHeight(static_cast<int>(0.5 * waveY), 4);
    // Commas and stops standing on the left of their cells mean a sheet upside down. A speck
    // beside a character looks like one too, so the turned marks must also outnumber the marks
    // standing the right way, over the whole tier.
    int reversedCount = 0;
    MarkCounts marks;
    for (uint32_t i = 0; i < n; ++i) {
        VerticalBand& band = columns[i];
        if (band.type != 4) continue;
        trace("%d行目の文字を切り出します: ", static_cast<int>(i));
        const uint32_t g = static_cast<uint32_t>(getLineInfo(band).lineGroup);
        segmentCharacters(image, charLists[i], waveY, carriedHeight[g], band, reversedCount, &marks);
        trace("\n");
        if (band.type == 4) carriedHeight[g] = getLineInfo(band).typicalCharHeight;
    }
    // Horizontal writing turned on its side also puts its marks on one side of their cells, but
    // at the other end of them along the line: no turn makes it vertical text. Only columns that
    // are lines say so: on a sheet lying on its side, the columns cut across its lines.
    if (linesRunDown(waveX, waveY) && marks.horizontal >= 3 && marks.horizontal > 2 * marks.vertical)
        return kTextReadsHorizontally;
    if (reversedCount >= 2 && reversedCount > marks.right) return 1;

    if (!appendStatusText("文字の傾きを計算しています……")) return -1;
    addProgress(stepShare);

    groupLines(columns, row, &charLists, 1.28, 1.0, "line group 再分割: ", groups);

    std::vector<int> typicalNumChar(groups.size(), 0);
    for (size_t g = 0; g < groups.size(); ++g) {
        LineGroupView view;
        for (uint32_t i = 0; i < n; ++i) {
            const LineInfo* info = columns[i].lineIfAny();
            if (columns[i].type != 4 || !info || info->lineGroup != static_cast<int>(g)) continue;
            view.columns.push_back(&columns[i]);
            view.charLists.push_back(&charLists[i]);
        }
        measureLineGroup(view, typicalNumChar[g], image, waveX);
    }

    for (uint32_t i = 0; i < n; ++i) {
        VerticalBand& band = columns[i];
        if (band.type != 4) {
            trace("not_line ");
            continue;
        }
        const LineInfo& info = getLineInfo(band);
        trace("(%d,%d,%d)%s ", info.headBlanks, static_cast<int>(charLists[i].count()) - info.smallLastChar,
              info.tailBlanks, info.smallLastChar == 1 ? "W" : "");
    }
    trace("\n");

    for (uint32_t i = 0; i < n; ++i)
        if (columns[i].type == 4) straightenBoxes(columns[i], charLists[i]);

    GroupGrids grids;
    grids.top.assign(groups.size(), 0);
    grids.bottom.assign(groups.size(), 0);
    grids.pitch.assign(groups.size(), 0.0f);
    grids.sourcePitch.assign(groups.size(), 0.0);
    for (size_t g = 0; g < groups.size(); ++g) {
        long long topSum = 0, bottomSum = 0;
        int tops = 0, bottoms = 0;
        std::vector<int> members;
        for (uint32_t i = 0; i < n; ++i) {
            const LineInfo* info = columns[i].lineIfAny();
            if (columns[i].type != 4 || !info || info->lineGroup != static_cast<int>(g) || charLists[i].empty())
                continue;
            members.push_back(static_cast<int>(i));
            const HorizontalBandList& boxes = charLists[i];
            if (info->headBlanks == 0) {
                topSum += (boxes[0].yTopRight + boxes[0].yTopLeft) / 2;
                ++tops;
            }
            if (info->tailBlanks == 0) {
                const HorizontalBand& last = boxes[boxes.count() - 1];
                bottomSum += (last.yBottomRight + last.yBottomLeft) / 2;
                ++bottoms;
            }
        }
        grids.top[g] = tops > 0 ? static_cast<int>(topSum / tops) : 0;
        grids.bottom[g] = bottoms > 0 ? static_cast<int>(bottomSum / bottoms) : 0;
        // The group's pitches: the medians of its lines' own, which a few miscounted or
        // irregular lines leave alone.
        std::vector<float> pitches;
        std::vector<double> sourcePitches;
        for (int i : members) {
            const LineInfo& info = getLineInfo(columns[static_cast<uint32_t>(i)]);
            const HorizontalBandList& boxes = charLists[static_cast<size_t>(i)];
            pitches.push_back(cellPitch(info, boxes.count(), grids.top[g], grids.bottom[g]));
            const double own = fittedPitch(boxes, info.typicalCharHeight);
            if (own > 0) sourcePitches.push_back(own);
        }
        if (!pitches.empty()) grids.pitch[g] = upperMedian(pitches);
        if (!sourcePitches.empty()) grids.sourcePitch[g] = upperMedian(sourcePitches);
    }
    if (!appendStatusText("文字の傾きを修正しています……")) return -1;
    addProgress(stepShare);

    int leftLimit = row.xLeft - 1;
    for (uint32_t i = 0; i < n; ++i) {
        VerticalBand& band = columns[i];
        const bool last = i + 1 == n;
        if (band.type != 4) {
            if (!last) leftLimit = (columns[i + 1].xLeftTop + band.xRightTop) / 2;
            continue;
        }
        const uint32_t line = i;
        const int xLeftLimit = leftLimit + 1;
        int xRightLimit = row.xRight;
        if (!last) {
            const VerticalBand& next = columns[i + 1];
            if (next.type == 5) {
                if (i + 2 < n) xRightLimit = (columns[i + 2].xLeftTop + next.xRightTop) / 2;
                ++i;  // the narrow band moves with its line
            } else {
                xRightLimit = (next.xLeftTop + band.xRightTop) / 2;
            }
        }
        if (placeLine(charLists[line], image, grids, band, xLeftLimit, xRightLimit) != 0)
            return 2;
        leftLimit = xRightLimit;
        if (!showPreview(image)) break;
    }
    addProgress(share * 0.1f);
    return 0;
}
