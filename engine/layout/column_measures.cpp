#include "layout/column_measures.h"

#include <algorithm>
#include <cmath>

#include "bands/band_geometry.h"
#include "chars/grouping.h"
#include "core/trace.h"

int medianLineWidth(const VerticalBandList& columns, double waveX) {
    // Groups of similar width: a new group wherever a width exceeds 1.15 times the one before.
    std::vector<int> all;
    for (const VerticalBand& c : columns) all.push_back(bandWidth(c));
    std::vector<std::vector<int>> groups;
    for (const auto& members : chainGroupByRatio(all.size(), [&all](size_t i) { return all[i]; }, 1.15)) {
        groups.emplace_back();
        for (size_t i : members) groups.back().push_back(all[i]);
    }
    trace("幅によるコラムのグループ分け: ");
    for (const auto& g : groups) {
        trace("(");
        for (int w : g) trace("%d,", w);
        trace(") ");
    }
    trace("\n");

    // A group scores its size, discounted the further its widths lie from the line pitch.
    auto score = [waveX](const std::vector<int>& g) {
        const int n = static_cast<int>(g.size());
        const int wFirst = g.front(), wLast = g.back();
        if (wLast < waveX) return wLast <= 0 ? 0 : static_cast<int>(n / (1 + 0.129 * (waveX / wLast - 1)));
        if (wFirst > waveX) return static_cast<int>(n / (1 + 0.129 * (wFirst / waveX - 1)));
        return n;
    };
    int best = 0;
    for (const auto& g : groups) best = std::max(best, score(g));
    int result = 0;
    for (const auto& g : groups) {
        if (static_cast<int>(g.size()) >= best && g.back() <= static_cast<int>(2 * waveX)) {
            result = std::max(result, g.back());
        }
    }
    return result;
}

std::vector<int> localMedianWidths(const VerticalBandList& columns, int M) {
    const int count = static_cast<int>(columns.count());
    std::vector<int> lm(static_cast<size_t>(count), M);
    if (count == 1) {
        lm[0] = bandWidth(columns[0]);
        return lm;
    }
    for (int i = 0; i < count; ++i) {
        int near[4];
        if (i == 0) {
            near[0] = 1, near[1] = 2, near[2] = 3, near[3] = 4;
        } else if (i == 1) {
            near[0] = 0, near[1] = 2, near[2] = 3, near[3] = 4;
        } else if (i == count - 2) {
            near[0] = count - 1, near[1] = count - 3, near[2] = count - 4, near[3] = count - 5;
        } else if (i == count - 1) {
            near[0] = count - 2, near[1] = count - 3, near[2] = count - 4, near[3] = count - 5;
        } else {
            near[0] = i - 1, near[1] = i - 2, near[2] = i + 1, near[3] = i + 2;
        }
        std::vector<int> widths;
        for (int j : near) {
            if (j < 0 || j >= count) continue;
            const int w = bandWidth(columns[static_cast<uint32_t>(j)]);
            if (w > M / 2) widths.push_back(w);
        }
        if (widths.empty()) continue;
        std::sort(widths.begin(), widths.end());
        lm[static_cast<size_t>(i)] = widths[widths.size() / 2];
    }
    return lm;
}

namespace {

// Grey at (x, y), white outside the image.
double greyAt(const GreyImage& image, int x, int y) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) return 255.0;
    return image.at(x, y);
}

// The mean grey along the straight line from x0 at the band's top row to x1 at its bottom row,
// read between the two pixels either side of the line's fractional x.
int meanAlong(const GreyImage& image, const VerticalBand& band, int x0, int x1) {
    const int rows = band.yBottom - band.yTop + 1;
    double sum = 0;
    for (int y = band.yTop; y <= band.yBottom; ++y) {
        const double x = band.yBottom == band.yTop
                             ? x0
                             : x0 + static_cast<double>(x1 - x0) * (y - band.yTop) / (band.yBottom - band.yTop);
        const int xi = static_cast<int>(std::floor(x));
        const double f = x - xi;
        sum += greyAt(image, xi, y) * (1 - f) + greyAt(image, xi + 1, y) * f;
    }
    return static_cast<int>(sum / rows + 0.5);
}

}  // namespace

void divideStickingColumns(VerticalBandList& out, const VerticalBand& band, const GreyImage& image) {
    trace("divideStickingColumns: (%d~%d,%d)-(%d~%d,%d). ", band.xLeftTop, band.xRightTop, band.yTop,
          band.xLeftBottom, band.xRightBottom, band.yBottom);
    out.setCount(0);
    const int topSpan = band.xRightTop - band.xLeftTop, bottomSpan = band.xRightBottom - band.xLeftBottom;
    const bool sweepTop = bottomSpan < topSpan;
    const int from = sweepTop ? band.xLeftTop : band.xLeftBottom;
    const int to = sweepTop ? band.xRightTop : band.xRightBottom;
    const int span = to - from;
    // The other end of the line through swept position p, in integers as the lines are laid.
    auto otherEnd = [&](int p) {
        if (span == 0) return sweepTop ? band.xLeftBottom : band.xLeftTop;
        return sweepTop ? ((band.xRightTop - p) * band.xLeftBottom + (p - band.xLeftTop) * band.xRightBottom) / span
                        : ((band.xRightBottom - p) * band.xLeftTop + (p - band.xLeftBottom) * band.xRightTop) / span;
    };
    std::vector<int> cuts;
    bool bright = true;
    bool started = false;
    int start = 0;
    for (int p = from; p <= to; ++p) {
        const int q = otherEnd(p);
        const bool lineBright = meanAlong(image, band, sweepTop ? p : q, sweepTop ? q : p) >= 220;
        if (lineBright && !bright) {
            start = p;
            started = true;
        } else if (!lineBright && bright && started) {
            cuts.push_back((start + p - 1) / 2);
        }
        bright = lineBright;
    }
    // The cut on the other end, proportionally and rounded.
    auto otherCut = [&](int c) {
        if (span == 0) return sweepTop ? band.xLeftBottom : band.xLeftTop;
        const double r = static_cast<double>(c - from) / span;
        const double v = sweepTop ? band.xLeftBottom + r * bottomSpan : band.xLeftTop + r * topSpan;
        return static_cast<int>(std::floor(v + 0.5));
    };
    VerticalBand piece(band);
    for (int c : cuts) {
        const int top = sweepTop ? c : otherCut(c), bottom = sweepTop ? otherCut(c) : c;
        piece.xRightTop = top;
        piece.xRightBottom = bottom;
        out.append(piece);
        piece = band;
        piece.xLeftTop = top + 1;
        piece.xLeftBottom = bottom + 1;
    }
    out.append(piece);
    trace("%d カラムに分割しました。\n", static_cast<int>(out.count()));
}

int maxInkRowWidth(const GreyImage& image, const VerticalBand& band) {
    int widest = 0;
    for (int y = std::max(band.yTop, 0); y <= std::min(band.yBottom, image.height - 1); ++y) {
        int x0 = 0, x1 = -1;
        if (!bandRowSpan(band, y, image, x0, x1)) continue;
        int left = -1, right = -1;
        for (int x = x0; x <= x1; ++x) {
            if (image.at(x, y) >= 118) continue;
            if (left < 0) left = x;
            right = x;
        }
        if (left >= 0) widest = std::max(widest, right - left + 1);
    }
    return widest;
}

bool isComposite(const GreyImage& image, const VerticalBand& band, double waveY) {
    const int k = static_cast<int>(waveY + 0.5);
    const int width = bandWidth(band);
    bool haveRef = false;
    int ref = 0, off = 0, tolerance = 0;
    for (int y = std::max(band.yTop, 0); y <= std::min(band.yBottom, image.height - 1); ++y) {
        int x0 = 0, x1 = -1;
        if (!bandRowSpan(band, y, image, x0, x1)) continue;
        long long s = 0, moments = 0;
        for (int x = x0; x <= x1; ++x) {
            const int d = 255 - image.at(x, y);
            s += d;
            moments += static_cast<long long>(d) * x;
        }
        if (s == 0) continue;
        const int bx = static_cast<int>(moments / s);
        if (!haveRef) {
            ref = bx;
            haveRef = true;
        }
        if (bx <= static_cast<int>(ref - 0.4 * width) || bx >= static_cast<int>(ref + 0.4 * width)) {
            if (++off >= k) return true;
        } else if (off > 0 && tolerance <= k / 2) {
            --off;
            ++tolerance;
        } else {
            off = 0;
            tolerance = 0;
        }
    }
    return false;
}
