#include "lines/line_placement.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/trace.h"
#include "layout/row_placement.h"

namespace {

VerticalBand filler(int leftTop, int leftBottom, int rightTop, int rightBottom, const HorizontalBand& row) {
    VerticalBand f;
    f.type = 6;
    f.yTop = row.yTopLeft;
    f.yBottom = row.yBottomLeft;
    f.xLeftTop = leftTop;
    f.xLeftBottom = leftBottom;
    f.xRightTop = rightTop;
    f.xRightBottom = rightBottom;
    return f;
}

bool hasGroup(const VerticalBand& b) { return b.lineIfAny() && b.lineIfAny()->lineGroup >= 0; }

int groupOf(const VerticalBand& b) { return b.lineIfAny()->lineGroup; }

// The y of the straight edge through (xA, yA) and (xB, yB) at column x, in integers.
int edgeThrough(int x, int xA, int yA, int xB, int yB) {
    if (xB == xA) return yA;
    return ((x - xA) * yB + (xB - x) * yA) / (xB - xA);
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
    for (uint32_t i = 0; i < n; ++i) {
        VerticalBand c = columns[i];
        c.xLeftTop -= m;
        c.xLeftBottom -= m;
        c.xRightTop += m;
        c.xRightBottom += m;
        out.append(c);
        if (i + 1 == n) break;
        const VerticalBand& next = columns[i + 1];
        const int lt = c.xRightTop + 1, lb = c.xRightBottom + 1;
        const int rt = next.xLeftTop - m - 1, rb = next.xLeftBottom - m - 1;
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

void calcColumnsDestX(VerticalBandList& columns, const HorizontalBand& row) {
    std::vector<long long> sums;
    std::vector<int> counts;
    for (const VerticalBand& c : columns) {
        if (!hasGroup(c)) continue;
        const size_t g = static_cast<size_t>(groupOf(c));
        if (g >= sums.size()) {
            sums.resize(g + 1, 0);
            counts.resize(g + 1, 0);
        }
        sums[g] += bandWidth(c);
        counts[g] += 1;
    }
    auto mean = [&](const VerticalBand& c) {
        const size_t g = static_cast<size_t>(groupOf(c));
        return static_cast<int>(sums[g] / counts[g]);
    };

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
        if (bandWidth(c) >= 1) ratio = static_cast<double>(mean(c)) / bandWidth(c);
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
            const int m = mean(c);
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
    for (uint32_t i = 0; i < columns.count(); ++i) {
        VerticalBand& c = columns[i];
        c.destLeft = static_cast<int>(cum * scale + 0.5) + row.xLeft;
        cum += targets[i];
        c.destRight = static_cast<int>(cum * scale - 0.5) + row.xLeft;
    }
}

int placeLine(const HorizontalBandList& characters, GreyImage& image, const int* gridTop, const int* gridBottom,
              VerticalBand band, int xLeftLimit, int xRightLimit) {
    const uint32_t n = characters.count();
    if (n == 0) return 0;
    const LineInfo info = band.line();
    const int H = info.typicalCharHeight;
    const int P = info.typicalCharSpace;
    const int g = info.lineGroup;

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
    const int bottomLeft = last.yBottomLeft + below;
    const int bottomRight = last.yBottomRight + below;

    HorizontalBand body;
    body.xLeft = xLeftLimit;
    body.xRight = xRightLimit;
    body.yTopLeft = edgeThrough(xLeftLimit, band.xLeftTop, topLeft, band.xRightTop, topRight);
    body.yTopRight = edgeThrough(xRightLimit, band.xLeftTop, topLeft, band.xRightTop, topRight);
    body.yBottomLeft = edgeThrough(xLeftLimit, band.xLeftTop, bottomLeft, band.xRightTop, bottomRight);
    body.yBottomRight = edgeThrough(xRightLimit, band.xLeftTop, bottomLeft, band.xRightTop, bottomRight);

    band.xLeftTop = band.xLeftBottom = xLeftLimit;
    band.xRightTop = band.xRightBottom = xRightLimit;

    // A lone hanging mark with nothing else would leave no cell; it still takes one.
    const int cells = std::max(info.headBlanks + static_cast<int>(n) + info.tailBlanks - info.smallLastChar, 1);
    const float pitch = (static_cast<float>(gridBottom[g] - gridTop[g]) - 0.17f * static_cast<float>(H)) /
                        static_cast<float>(cells);
    const int destTop = gridTop[g] + static_cast<int>(static_cast<float>(info.headBlanks) * pitch);
    const int base = gridBottom[g] - static_cast<int>(0.47 * H) + below;
    int destBottom = 0;
    if (info.smallLastChar == 1) {
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
