#include "lines/line_placement.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "bands/band_geometry.h"
#include "core/line_fit.h"
#include "core/median.h"
#include "core/trace.h"
#include "layout/row_placement.h"

namespace {

VerticalBand filler(int leftTop, int leftBottom, int rightTop, int rightBottom, const HorizontalBand& row) {
    VerticalBand f = bandBetween(row.yTopLeft, row.yBottomLeft, leftTop, leftBottom, rightTop, rightBottom);
    f.type = 6;
    return f;
}

bool hasGroup(const VerticalBand& b) { return b.lineIfAny() && b.lineIfAny()->lineGroup >= 0; }

int groupOf(const VerticalBand& b) { return b.lineIfAny()->lineGroup; }

// The y of the straight edge through (xA, yA) and (xB, yB) at column x, in integers.
int edgeThrough(int x, int xA, int yA, int xB, int yB) {
    if (xB == xA) return yA;
    return ((x - xA) * yB + (xB - x) * yA) / (xB - xA);
}

// Where the line's characters sit along it, as a full-height character in cell i would sit:
// centre(i) = intercept + pitch * i, fitted to the full-height boxes, at the left and at the
// right edge of the line.
struct CellFit {
    double leftIntercept = 0, leftPitch = 0;
    double rightIntercept = 0, rightPitch = 0;
    int lastCell = 0;  // the cell of the line's last box
};

// Fits the cell centres of a line when at least three full-height characters (taller than
// 0.484 H and at most 1.3 H, not spaces) lie on one pitch: every box centre within a quarter of
// the pitch of the fit, and the pitch between 0.6 and 1.6 H. The cell of each box is counted
// from where it stands, box after box at the median spacing, so that a character cut in two or
// two taken for one does not shift every cell after it. A sixth of the boxes at most may be left
// out of the fit, the farthest first: a bracket or a dash whose box does not sit in the middle
// of its cell. Answers false otherwise (too few characters, or the cut into characters is not
// regular enough to be trusted). With one or two full-height characters and knownPitch above 0,
// the fit takes that pitch and places the cells through them.
bool fitCells(const HorizontalBandList& characters, int H, double knownPitch, CellFit& fit) {
    std::vector<double> index, left, right;
    std::vector<uint32_t> listIndex;
    for (uint32_t i = 0; i < characters.count(); ++i) {
        const HorizontalBand& c = characters[i];
        // Boxes taller than a character hold two taken for one: where each stands is unknown.
        if (c.type == 3 || bandHeight(c) <= static_cast<int>(0.484 * H) || bandHeight(c) > 1.3 * H) continue;
        listIndex.push_back(i);
        left.push_back((c.yTopLeft + c.yBottomLeft) / 2.0);
        right.push_back((c.yTopRight + c.yBottomRight) / 2.0);
    }
    if (listIndex.size() < 3) {
        if (listIndex.empty() || !(knownPitch > 0)) return false;
        fit.leftPitch = fit.rightPitch = knownPitch;
        fit.leftIntercept = fit.rightIntercept = 0;
        for (size_t k = 0; k < listIndex.size(); ++k) {
            fit.leftIntercept += (left[k] - knownPitch * listIndex[k]) / static_cast<double>(listIndex.size());
            fit.rightIntercept += (right[k] - knownPitch * listIndex[k]) / static_cast<double>(listIndex.size());
        }
        fit.lastCell = static_cast<int>(characters.count()) - 1;
        return true;
    }
    std::vector<double> spacings;
    for (size_t k = 0; k + 1 < listIndex.size(); ++k)
        spacings.push_back((left[k + 1] + right[k + 1] - left[k] - right[k]) / 2 / (listIndex[k + 1] - listIndex[k]));
    const double spacing = upperMedian(spacings);
    if (spacing < 0.6 * H || spacing > 1.6 * H) return false;
    // Counted step by step: over a whole line a spacing a few hundredths off would add a cell.
    index.push_back(listIndex[0]);
    for (size_t k = 1; k < listIndex.size(); ++k)
        index.push_back(index.back() + std::max(0L, std::lround((left[k] + right[k] - left[k - 1] - right[k - 1]) / 2 / spacing)));
    fit.lastCell = static_cast<int>(index.back()) + static_cast<int>(characters.count() - 1 - listIndex.back());
    const size_t mayLeaveOut = index.size() / 6;
    for (size_t leftOut = 0;; ++leftOut) {
        if (index.size() < 3) return false;
        fitLine(index, left, fit.leftPitch, fit.leftIntercept);
        fitLine(index, right, fit.rightPitch, fit.rightIntercept);
        for (const double pitch : {fit.leftPitch, fit.rightPitch})
            if (pitch < 0.6 * H || pitch > 1.6 * H) return false;
        size_t worst = 0;
        double worstOff = 0;  // in pitches
        for (size_t k = 0; k < index.size(); ++k) {
            const double off = std::max(std::fabs(left[k] - (fit.leftIntercept + fit.leftPitch * index[k])) / fit.leftPitch,
                                        std::fabs(right[k] - (fit.rightIntercept + fit.rightPitch * index[k])) / fit.rightPitch);
            if (off > worstOff) {
                worstOff = off;
                worst = k;
            }
        }
        if (worstOff <= 0.25) return true;
        if (leftOut == mayLeaveOut) return false;
        index.erase(index.begin() + static_cast<long>(worst));
        left.erase(left.begin() + static_cast<long>(worst));
        right.erase(right.begin() + static_cast<long>(worst));
    }
}

// The mean and the upper median of the bandWidths of the text lines of every line group,
// reckoned once for all the lines asking.
class GroupWidths {
public:
    explicit GroupWidths(const VerticalBandList& columns) {
        std::vector<std::vector<int>> widths;
        for (const VerticalBand& c : columns) {
            if (!hasGroup(c)) continue;
            const size_t g = static_cast<size_t>(groupOf(c));
            if (g >= widths.size()) widths.resize(g + 1);
            widths[g].push_back(bandWidth(c));
        }
        for (const std::vector<int>& w : widths) {
            long long sum = 0;
            for (const int x : w) sum += x;
            means_.push_back(w.empty() ? 0 : static_cast<int>(sum / static_cast<long long>(w.size())));
            typicals_.push_back(w.empty() ? 0 : upperMedian(w));
        }
    }
    // c must be a line with a group.
    int mean(const VerticalBand& c) const { return means_[static_cast<size_t>(groupOf(c))]; }
    // The upper median: once the lines of a group were given one width, the width most of
    // them have, whatever the few pressed against a neighbour kept.
    int typical(const VerticalBand& c) const { return typicals_[static_cast<size_t>(groupOf(c))]; }

private:
    std::vector<int> means_, typicals_;
};

// The dark pixels (below 128) of the strip, columns x0 .. x1, between the body's edges whose place
// after the body is stretched from destTop .. destBottom would fall outside rows keepTop ..
// keepBottom, where the resampling cannot put them; in *ink all of the strip's dark pixels, counted
// only when some are lost (a place grows with the row, so the lost rows are read from either end
// inwards and the rest is not read at all).
long long lostInk(const GreyImage& image, const HorizontalBand& body, int x0, int x1, int destTop, int destBottom,
                  int keepTop, int keepBottom, long long* ink) {
    long long lost = 0;
    *ink = 0;
    const double destRows = destBottom - destTop + 1;
    auto dark = [&image](int x, int y) { return image.at(x, y) < 128; };
    for (int x = std::max(x0, 0); x <= std::min(x1, image.width - 1); ++x) {
        const int top = edgeAt(x, body.xLeft, body.yTopLeft, body.xRight, body.yTopRight);
        const int bottom = edgeAt(x, body.xLeft, body.yBottomLeft, body.xRight, body.yBottomRight);
        const double rows = bottom - top + 1;
        if (rows < 1) continue;
        auto place = [&](int y) { return destTop + (y - top) * destRows / rows; };
        const int first = std::max(top, 0), last = std::min(bottom, image.height - 1);
        int y = first;
        for (; y <= last && place(y) < keepTop; ++y) lost += dark(x, y);
        for (int z = last; z >= y && place(z) >= keepBottom + 1; --z) lost += dark(x, z);
    }
    if (lost == 0) return 0;
    for (int x = std::max(x0, 0); x <= std::min(x1, image.width - 1); ++x) {
        const int top = edgeAt(x, body.xLeft, body.yTopLeft, body.xRight, body.yTopRight);
        const int bottom = edgeAt(x, body.xLeft, body.yBottomLeft, body.xRight, body.yBottomRight);
        if (bottom < top) continue;
        for (int y = std::max(top, 0); y <= std::min(bottom, image.height - 1); ++y) *ink += dark(x, y);
    }
    return lost;
}

}  // namespace

void insertColumnFillers(int m, VerticalBandList& columns, const HorizontalBand& row) {
    VerticalBandList out;
    const uint32_t n = columns.count();
    if (n == 0) {
        out.append(filler(row.xLeft, row.xLeft, row.xRight, row.xRight, row));
        columns = out;
        return;
    }
    const VerticalBand& first = columns[0];
    const int leadTop = first.xLeftTop - m - 1, leadBottom = first.xLeftBottom - m - 1;
    if (row.xLeft <= leadTop || row.xLeft <= leadBottom) out.append(filler(row.xLeft, row.xLeft, leadTop, leadBottom, row));
    std::vector<VerticalBand> widened;
    for (const VerticalBand& column : columns) {
        VerticalBand c = column;
        c.xLeftTop -= m;
        c.xLeftBottom -= m;
        c.xRightTop += m;
        c.xRightBottom += m;
        widened.push_back(c);
    }
    // A gap open at one end only gets no filler, and resampling would drop its columns there
    // (the pale edge of a glyph, the ruby beside it). The neighbour that is not a text line
    // takes it, so that no line changes its slant; between two lines they share it.
    for (size_t i = 0; i + 1 < widened.size(); ++i) {
        VerticalBand& left = widened[i];
        VerticalBand& right = widened[i + 1];
        const int gapTop = right.xLeftTop - left.xRightTop - 1, gapBottom = right.xLeftBottom - left.xRightBottom - 1;
        if ((gapTop > 0) == (gapBottom > 0)) continue;
        const int gap = std::max(gapTop, gapBottom);
        const int leftShare = left.type != 4 ? gap : right.type != 4 ? 0 : gap / 2;
        int& leftEdge = gapTop > 0 ? left.xRightTop : left.xRightBottom;
        int& rightEdge = gapTop > 0 ? right.xLeftTop : right.xLeftBottom;
        leftEdge += leftShare;
        rightEdge = leftEdge + 1;
    }
    for (size_t i = 0; i < widened.size(); ++i) {
        const VerticalBand& c = widened[i];
        out.append(c);
        if (i + 1 == widened.size()) break;
        const VerticalBand& next = widened[i + 1];
        const int lt = c.xRightTop + 1, lb = c.xRightBottom + 1;
        const int rt = next.xLeftTop - 1, rb = next.xLeftBottom - 1;
        if (lt <= rt && lb <= rb) out.append(filler(lt, lb, rt, rb, row));
    }
    const VerticalBand& last = out[out.count() - 1];
    const int tailTop = last.xRightTop + 1, tailBottom = last.xRightBottom + 1;
    if (tailTop <= row.xRight || tailBottom <= row.xRight)
        out.append(filler(tailTop, tailBottom, row.xRight, row.xRight, row));
    columns = out;
}

void removeColumnFillers(VerticalBandList& columns) {
    VerticalBandList kept;
    for (const VerticalBand& c : columns)
        if (c.type != 6) kept.append(c);
    columns = kept;
}

void equalizeLineWidths(VerticalBandList& columns, const HorizontalBand& row) {
    const GroupWidths widths(columns);
    const uint32_t n = columns.count();
    for (uint32_t i = 0; i < n; ++i) {
        VerticalBand& c = columns[i];
        if (!hasGroup(c)) continue;
        const int w = widths.mean(c);
        const NeighbourRoom room = roomBetweenNeighbours(columns, i, i, row);
        auto place = [w](int& left, int& right, int leftLimit, int rightLimit) {
            const int middle2 = left + right;  // twice the middle
            const int newLeft = (middle2 - (w - 1)) / 2;
            left = std::max(newLeft, std::min(left, leftLimit));
            right = std::min(newLeft + w - 1, std::max(right, rightLimit));
        };
        place(c.xLeftTop, c.xRightTop, room.leftTop, room.rightTop);
        place(c.xLeftBottom, c.xRightBottom, room.leftBottom, room.rightBottom);
    }
}

void fitNarrowBand(const GreyImage& image, VerticalBandList& columns, uint32_t i, const HorizontalBand& row) {
    if (i == 0 || i >= columns.count()) return;
    VerticalBand& c = columns[i];
    const VerticalBand& line = columns[i - 1];
    if (c.type != 5 || line.type != 4) return;
    const VerticalBand* next = i + 1 < columns.count() ? &columns[i + 1] : nullptr;
    // Offsets right of the line's right edge: the band's own span at either end, cut to the
    // room between the line and the next band.
    const int from = std::max(std::min(c.xLeftTop - line.xRightTop, c.xLeftBottom - line.xRightBottom), 1);
    const int to = std::max(c.xRightTop - line.xRightTop, c.xRightBottom - line.xRightBottom);
    int least = to + 1, most = from - 1;
    for (int y = std::max(c.yTop, 0); y <= std::min(c.yBottom, image.height - 1); ++y) {
        const int base = edgeAt(y, line.yTop, line.xRightTop, line.yBottom, line.xRightBottom);
        const int limit = next ? edgeAt(y, next->yTop, next->xLeftTop, next->yBottom, next->xLeftBottom) - 1 : row.xRight;
        const int x0 = std::max(base + from, 0), x1 = std::min({base + to, limit, image.width - 1});
        const unsigned char* pixels = image.pixels.data() + static_cast<size_t>(y) * image.width;
        for (int x = x0; x <= x1; ++x)
            if (pixels[x] < 128) {
                least = std::min(least, x - base);
                break;
            }
        for (int x = x1; x >= x0; --x)
            if (pixels[x] < 128) {
                most = std::max(most, x - base);
                break;
            }
    }
    if (most < least) return;  // no ink: the band keeps its edges
    c.xLeftTop = line.xRightTop + least;
    c.xLeftBottom = line.xRightBottom + least;
    c.xRightTop = line.xRightTop + most;
    c.xRightBottom = line.xRightBottom + most;
    if (next) {
        c.xRightTop = std::max(std::min(c.xRightTop, next->xLeftTop - 1), c.xLeftTop);
        c.xRightBottom = std::max(std::min(c.xRightBottom, next->xLeftBottom - 1), c.xLeftBottom);
    }
}

void fitNarrowBands(const GreyImage& image, VerticalBandList& columns, const HorizontalBand& row) {
    for (uint32_t i = 1; i < columns.count(); ++i) fitNarrowBand(image, columns, i, row);
}

void calcColumnsDestX(VerticalBandList& columns, const HorizontalBand& row) {
    const GroupWidths widths(columns);

    // Every band keeps its own place when no line gives a usable scale.
    auto keepPlaces = [&columns] {
        for (VerticalBand& c : columns) {
            c.destLeft = (c.xLeftBottom + c.xLeftTop) / 2;
            c.destRight = (c.xRightBottom + c.xRightTop) / 2;
        }
    };
    double ratio = 0.0;
    for (const VerticalBand& c : columns) {
        if (!hasGroup(c)) continue;
        // A line as narrow as nothing (both edges crossing) gives no ratio.
        if (bandWidth(c) >= 1) ratio = static_cast<double>(widths.typical(c)) / bandWidth(c);
        break;
    }
    if (ratio == 0.0) {
        keepPlaces();
        return;
    }

    std::vector<double> targets;
    double total = 0.0;
    for (const VerticalBand& c : columns) {
        double target = 0.0;
        if (hasGroup(c)) {
            const int m = widths.typical(c);
            target = m;
            if (m / 3 <= bandWidth(c) && bandWidth(c) >= 1) ratio = static_cast<double>(m) / bandWidth(c);
        } else {
            const int w = std::max(c.xRightBottom - c.xLeftBottom, c.xRightTop - c.xLeftTop) + 1;
            target = w < 1 ? 0.0 : w * ratio;
        }
        targets.push_back(target);
        total += target;
    }
    if (!(total > 0.0) || !std::isfinite(total)) {
        keepPlaces();
        return;
    }
    const double scale = (row.xRight - row.xLeft + 1) / total;
    double cum = 0.0;
    int free = row.xLeft;  // the first column no band has taken yet
    for (uint32_t i = 0; i < columns.count(); ++i) {
        VerticalBand& c = columns[i];
        c.destLeft = std::max(static_cast<int>(cum * scale + 0.5) + row.xLeft, free);
        cum += targets[i];
        c.destRight = static_cast<int>(cum * scale - 0.5) + row.xLeft;
        // The lines of a group come out exactly as wide as each other: rounding their ends
        // would make some a column narrower and their characters 3 % thinner. The bands
        // between them take up the difference.
        if (hasGroup(c)) c.destRight = std::min(c.destLeft + static_cast<int>(std::lround(targets[i] * scale)) - 1, row.xRight);
        c.destRight = std::max(c.destRight, c.destLeft - 1);
        free = c.destRight + 1;
    }
}

float cellPitch(const LineInfo& info, uint32_t characters, int gridTop, int gridBottom) {
    // A lone hanging mark with nothing else would leave no cell; it still takes one.
    const int cells = std::max(info.headBlanks + static_cast<int>(characters) + info.tailBlanks - info.smallLastChar, 1);
    return (static_cast<float>(gridBottom - gridTop) - 0.17f * static_cast<float>(info.typicalCharHeight)) /
           static_cast<float>(cells);
}

double fittedPitch(const HorizontalBandList& characters, int H) {
    CellFit fit;
    return fitCells(characters, H, 0.0, fit) ? (fit.leftPitch + fit.rightPitch) / 2 : 0.0;
}

int placeLine(const HorizontalBandList& characters, GreyImage& image, const GroupGrids& grids, VerticalBand band,
              int xLeftLimit, int xRightLimit) {
    const uint32_t n = characters.count();
    if (n == 0) return 0;
    const LineInfo info = band.line();
    const int H = info.typicalCharHeight;
    const int P = info.typicalCharSpace;
    const int g = info.lineGroup;
    // A line that belongs to no group has no grid to go to.
    if (g < 0 || static_cast<size_t>(g) >= grids.top.size()) return 0;
    const size_t group = static_cast<size_t>(g);

    uint32_t i0 = n;
    for (uint32_t i = 0; i < n; ++i) {
        if (characters[i].type == 3 || bandHeight(characters[i]) > static_cast<int>(0.484 * H)) {
            i0 = i;
            break;
        }
    }
    int topLeft = 0, topRight = 0;
    if (i0 == n) {
        topLeft = characters[0].yTopLeft - static_cast<int>(0.4 * H);
        topRight = characters[0].yTopRight - static_cast<int>(0.4 * H);
    } else {
        const int lift = static_cast<int>(1.1 * P * static_cast<int>(i0));
        topLeft = characters[i0].yTopLeft - lift;
        topRight = characters[i0].yTopRight - lift;
    }
    const HorizontalBand& last = characters[n - 1];
    const int below = static_cast<int>(0.3f * static_cast<float>(H));
    int bottomLeft = last.yBottomLeft + below;
    int bottomRight = last.yBottomRight + below;

    // The ends of the line taken from its first and last boxes shift the whole line when a
    // glyph there does not fill its cell (a small kana, a dash, a comma): the line is then
    // stretched by the difference and its characters drift off the group's grid by up to a
    // third of a cell. Where the characters lie on a regular pitch, the ends are where a
    // full-height character in the first and last cell would have its top and bottom.
    CellFit fit;
    const bool fitted = fitCells(characters, H, grids.sourcePitch[group], fit);
    if (fitted) {
        const double lastIndex = fit.lastCell;
        topLeft = static_cast<int>(std::lround(fit.leftIntercept - H / 2.0));
        topRight = static_cast<int>(std::lround(fit.rightIntercept - H / 2.0));
        bottomLeft = static_cast<int>(std::lround(fit.leftIntercept + fit.leftPitch * lastIndex + H / 2.0)) + below;
        bottomRight = static_cast<int>(std::lround(fit.rightIntercept + fit.rightPitch * lastIndex + H / 2.0)) + below;
    }

    HorizontalBand body;
    body.xLeft = xLeftLimit;
    body.xRight = xRightLimit;
    body.yTopLeft = edgeThrough(xLeftLimit, band.xLeftTop, topLeft, band.xRightTop, topRight);
    body.yTopRight = edgeThrough(xRightLimit, band.xLeftTop, topLeft, band.xRightTop, topRight);
    body.yBottomLeft = edgeThrough(xLeftLimit, band.xLeftTop, bottomLeft, band.xRightTop, bottomRight);
    body.yBottomRight = edgeThrough(xRightLimit, band.xLeftTop, bottomLeft, band.xRightTop, bottomRight);

    band.xLeftTop = band.xLeftBottom = xLeftLimit;
    band.xRightTop = band.xRightBottom = xRightLimit;

    // A line whose characters lie on one pitch takes its group's pitch: its own count of cells
    // is one off when a character was cut in two or two were taken for one, and its cells
    // would then drift off the group's rows by a pixel or more per cell.
    const int gridTop = grids.top[group], gridBottom = grids.bottom[group];
    float pitch = cellPitch(info, n, gridTop, gridBottom);
    if (fitted && grids.pitch[group] > 0) pitch = grids.pitch[group];
    const int destTop = gridTop + static_cast<int>(static_cast<float>(info.headBlanks) * pitch);
    const int base = gridBottom - static_cast<int>(0.47 * H) + below;
    int destBottom = 0;
    if (fitted) {
        // Every line of the group takes the same scale, the grid's pitch over its own: its
        // cells then fall on the grid's rows whatever its length. Stretching each line's ends
        // onto its cells instead makes the scale depend on the number of its characters (the
        // ink of a character and 0.3 H below it are not one pitch), and short lines drift.
        const double ownPitch = (fit.leftPitch + fit.rightPitch) / 2;
        const double length = ((bottomLeft - topLeft) + (bottomRight - topRight)) / 2.0;
        destBottom = destTop + static_cast<int>(std::lround(length * pitch / ownPitch));
    } else if (info.smallLastChar == 1) {
        destBottom = base + static_cast<int>(0.47 * H);
    } else {
        destBottom = base - static_cast<int>(static_cast<float>(info.tailBlanks) * pitch);
        if (last.type != 3 && bandHeight(last) <= static_cast<int>(0.484 * H)) {
            bool spaced = false;
            if (n >= 2) {
                const HorizontalBand& prev = characters[n - 2];
                const int gap = ((last.yTopRight - prev.yBottomRight) - prev.yBottomLeft + last.yTopLeft) / 2;
                spaced = gap > below;
            }
            destBottom -= spaced ? below : static_cast<int>(0.6 * H);
        }
    }
    body.destTop = destTop;
    body.destBottom = destBottom;

    // Blank counts that disagree with the text (a line of a few dashes taken for a longer one)
    // would stretch or squash its characters out of shape; such a line stays as it is.
    const double sourceLength = ((body.yBottomLeft - body.yTopLeft) + (body.yBottomRight - body.yTopRight)) / 2.0 + 1;
    const double stretch = (destBottom - destTop + 1) / sourceLength;
    if (sourceLength < 1 || stretch > 1.25 || stretch < 0.8) {
        trace("line left in place: its text would be stretched %.2f times.\n", sourceLength < 1 ? 0.0 : stretch);
        return 0;
    }
    // Nothing of the line's ink may be lost to the re-layout: a line whose text would run past
    // its band's ends (a line longer than its group's grid holds, one that wanders down past
    // the others) stays whole where it is.
    long long ink = 0;
    const long long lost = lostInk(image, body, xLeftLimit, xRightLimit, destTop, destBottom, band.yTop, band.yBottom, &ink);
    if (lost > 0 && lost > ink / 200) {
        trace("line left in place: %.1f %% of its ink would fall past its band.\n", 100.0 * static_cast<double>(lost) / static_cast<double>(ink));
        return 0;
    }

    HorizontalBandList rows;
    if (band.yTop < destTop) {
        HorizontalBand above = body;
        above.yTopLeft = above.yTopRight = band.yTop;
        above.yBottomLeft = body.yTopLeft - 1;
        above.yBottomRight = body.yTopRight - 1;
        above.destTop = band.yTop;
        above.destBottom = destTop - 1;
        rows.append(above);
    }
    rows.append(body);
    if (destBottom < band.yBottom) {
        HorizontalBand rest = body;
        rest.yTopLeft = body.yBottomLeft + 1;
        rest.yTopRight = body.yBottomRight + 1;
        rest.yBottomLeft = rest.yBottomRight = band.yBottom;
        rest.destTop = destBottom + 1;
        rest.destBottom = band.yBottom;
        rows.append(rest);
    }
    return rectifyHorizontalBands2(image, rows, band) != 0 ? 1 : 0;
}
