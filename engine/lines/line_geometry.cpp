#include "lines/line_geometry.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "core/trace.h"

namespace {

// A line of fewer characters than this is a neighbour's reference only when no longer one is.
constexpr uint32_t kFewReferenceCharacters = 6;

int centreX(const VerticalBand& c) { return (c.xLeftTop + c.xLeftBottom + c.xRightTop + c.xRightBottom) / 4; }

bool usable(const HorizontalBand& box, int typicalCharHeight) {
    return box.type == 2 && bandHeight(box) > static_cast<int>(0.484 * typicalCharHeight);
}

int cellCount(VerticalBand& column, const HorizontalBandList& boxes) {
    const LineInfo& info = getLineInfo(column);
    return info.headBlanks + static_cast<int>(boxes.count()) + info.tailBlanks - info.smallLastChar;
}

}  // namespace

uint32_t characterCount(const HorizontalBandList& boxes) {
    uint32_t count = 0;
    for (const HorizontalBand& box : boxes) count += box.type == 2;
    return count;
}

namespace {

// The best match found so far by one end's search.
struct Match {
    double best = 100.0;  // slope difference of the match
    double slope = 0.0;   // the row slope it gives
    int y = INT_MAX;      // box index on the line being aligned
    int ymid = 0;         // centre height of that box
    int compLine = -1;
    int index = -1;  // box index on the matched line
    int dist = 0;    // distance to the matched line, in line pitches

    // The cost of this match when yFromEnd boxes separate it from the line's end.
    double cost(int yFromEnd) const {
        return std::fabs(best) + 0.00263 * yFromEnd + 0.003 * dist;
    }
};

// Divides an integer by a line distance the way the search limits do; a zero distance (two lines
// on one centre, which no layout gives) counts as one pixel.
int limitOf(int yLimitBase, int d) { return static_cast<int>(yLimitBase / std::max(d, 1) / 1.5); }

class LineAligner {
public:
    LineAligner(LineGroupView& group, int k, double waveX, bool nearTop, bool nearBottom, int adjacent)
        : g_(group), k_(k), waveX_(waveX), nearTop_(nearTop), nearBottom_(nearBottom), adjacent_(adjacent),
          cur_(*group.columns[k]), C_(*group.charLists[k]), c_(static_cast<int>(C_.count())),
          curH_(getLineInfo(cur_).typicalCharHeight) {}

    // The sample fit over the line's own box edges.
    void fitOwnEdges() {
        std::vector<double> ys, slopes;
        for (const HorizontalBand& box : C_) {
            if (box.xRight <= box.xLeft) continue;
            const double w = box.xRight - box.xLeft;
            ys.push_back((box.yTopLeft + box.yTopRight) * 0.5);
            slopes.push_back((box.yTopRight - box.yTopLeft) / w);
            ys.push_back((box.yBottomLeft + box.yBottomRight) * 0.5);
            slopes.push_back((box.yBottomRight - box.yBottomLeft) / w);
        }
        fitSlopeLine(ys, slopes, b_, a_);
    }

    // The search from the first box (top) or from the last (bottom) over the comparison lines.
    Match search(bool top, const std::vector<int>& compLines) {
        Match m;
        int yLimitBase = -1;
        for (int compLine : compLines) {
            VerticalBand& comp = *g_.columns[compLine];
            const HorizontalBandList& R = *g_.charLists[compLine];
            const int d = std::abs(centreX(cur_) - centreX(comp));
            const int lineDist = static_cast<int>((d + 0.5 * waveX_) / waveX_);
            int yFirst = 0, yEnd = 0;  // boxes yFirst .. yEnd - 1 (top) or c-1 down to yFirst (bottom)
            if (top) {
                const int yLimit = yLimitBase == -1 ? c_ : limitOf(yLimitBase, d);
                if (yLimit < 1) {
                    trace(" yLimitによりbreak \n");
                    break;
                }
                trace(" compLine=%d(yLimit=%d)\n", compLine, yLimit);
                yEnd = std::min(yLimit, c_);
            } else {
                const int yLow = yLimitBase == -1 ? 0 : c_ - limitOf(yLimitBase, d);
                if (yLow > c_ - 1) {
                    trace(" yLimitによりbreak \n");
                    break;
                }
                trace(" compLine=%d(yLimit=%d)\n", compLine, yLow);
                yFirst = std::max(yLow, 0);
            }
            int matches = 0;
            const int count = top ? yEnd : c_ - yFirst;
            for (int step = 0; step < count; ++step) {
                const int y = top ? step : c_ - 1 - step;
                const int fromEnd = top ? y : c_ - 1 - y;
                if (!usable(C_[y], curH_)) continue;
                trace("  y=%d ", y);
                const int ymid = boxCentre(C_[y]).y;
                const double slope0 =
                    estimateSlope(*g_.columns[adjacent_], cur_, ymid, b_, a_, isFirst_);
                trace("slope0=%lf ", slope0);

                if (fromEnd == 0 && lineDist <= 3 && R.count() > 0) {
                    const HorizontalBand& end = top ? R[0] : R[R.count() - 1];
                    const double s = slopeBetween(boxBottomPoint(C_[y]), boxBottomPoint(end));
                    const double diff = s - slope0;
                    trace(top ? "diffSlope(top)=%0.4lf " : "diffSlope(bottom)=%0.4lf ", diff);
                    if (std::fabs(diff) < 0.322 && std::fabs(diff) < std::fabs(m.best)) {
                        m.best = diff;
                        m.slope = s;
                        m.compLine = compLine;
                        m.y = y;
                        m.index = top ? 0 : static_cast<int>(R.count()) - 1;
                        m.ymid = ymid;
                        m.dist = lineDist;
                        if (std::fabs(diff) <= 0.113) yLimitBase = 0;
                    }
                }

                double slope = slope0;
                const int i = findCharAlongSlope(R, boxCentre(C_[y]), getLineInfo(comp).typicalCharHeight, slope, top);
                if (i < 0) {
                    trace("\n");
                    continue;
                }
                const double diff = slope - slope0;
                trace("diffSlope(y=%d)=%0.4lf ", i, diff);
                const double cost = std::fabs(diff) + 0.00263 * fromEnd + 0.003 * lineDist;
                const double bestCost = m.index < 0 ? INFINITY : m.cost(top ? m.y : c_ - 1 - m.y);
                if (cost < bestCost) {
                    m.best = diff;
                    m.y = y;
                    m.compLine = compLine;
                    m.ymid = ymid;
                    m.index = i;
                    m.dist = lineDist;
                    m.slope = slope;
                    correctCorner(top, m, diff, y, R, i);
                    yLimitBase = fromEnd * d;
                }
                ++matches;
                trace("\n");
                if (std::fabs(diff) <= 0.0714 || matches >= 2) break;
            }
        }
        return m;
    }

    // At the page's left corners the nearest row of a neighbour may be half a row off; the row
    // slope is then taken to the middle of two of its boxes.
    void correctCorner(bool top, Match& m, double diff, int y, const HorizontalBandList& R, int i) const {
        if (top && nearTop_ && diff >= 0.121 && static_cast<uint32_t>(i + 1) < R.count()) {
            const double s = slopeBetween(boxCentre(C_[y]), midpoint(boxCentre(R[i + 1]), boxCentre(R[i])));
            trace("ページ左端上の slope 修正：%0.4lf -> %0.4lf.\n", m.slope, s);
            m.slope = s;
        } else if (!top && nearBottom_ && diff <= -0.121 && i >= 1) {
            const double s = slopeBetween(boxCentre(C_[y]), midpoint(boxCentre(R[i - 1]), boxCentre(R[i])));
            trace("ページ左端下の slope 修正：%0.4lf -> %0.4lf.\n", m.slope, s);
            m.slope = s;
        }
    }

    // A top match half a cell off: the matched row is moved to the neighbouring box whose pitch
    // agrees.
    void correctHalfCell(Match& m) const {
        VerticalBand& comp = *g_.columns[m.compLine];
        const HorizontalBandList& R = *g_.charLists[m.compLine];
        const int H = getLineInfo(comp).typicalCharHeight;
        const int minDiffPixels = static_cast<int>((centreX(comp) - centreX(cur_)) * m.best + 0.5);
        trace("minDiffPixels=%d,typicalCharHeight=%d ", minDiffPixels, H);
        if (std::abs(minDiffPixels) < static_cast<int>(0.47f * static_cast<float>(H))) return;
        auto pitchOver = [](const HorizontalBandList& boxes, int last) {
            return ((boxes[last].yBottomRight - boxes[0].yTopRight) - boxes[0].yTopLeft + boxes[last].yBottomLeft) *
                   0.5 / (last + 1);
        };
        const double curPitch = pitchOver(C_, m.y);
        const double refPitch = pitchOver(R, m.index);
        if (m.best >= 0 && static_cast<uint32_t>(m.index + 1) < R.count()) {
            m.slope = slopeBetween(boxCentre(C_[m.y]), midpoint(boxCentre(R[m.index + 1]), boxCentre(R[m.index])));
            if (refPitch > curPitch) ++m.index;
            trace("半文字分のずれを修正 ");
        } else if (m.best < 0 && m.index > 0) {
            m.slope = slopeBetween(boxCentre(C_[m.y]), midpoint(boxCentre(R[m.index - 1]), boxCentre(R[m.index])));
            if (refPitch < curPitch) --m.index;
            trace("半文字分のずれを修正 ");
        }
    }

    bool isFirst_ = false;
    double b_ = 0.0, a_ = 0.0;

private:
    LineGroupView& g_;
    const int k_;
    const double waveX_;
    const bool nearTop_, nearBottom_;
    const int adjacent_;
    VerticalBand& cur_;
    const HorizontalBandList& C_;
    const int c_;
    const int curH_;
};

// Moves an end slope towards the neighbour's, logarithmically; an end too far from it keeps the
// neighbour's and makes the line unreliable.
double settleEnd(double extrapolated, double adjusted, double ref, unsigned char& reliable) {
    if (!(std::fabs(extrapolated - ref) < 0.173) || !std::isfinite(adjusted)) {
        reliable = 0;
        return ref;
    }
    if (adjusted >= ref) return ref + std::log(1 + 20 * (adjusted - ref)) / 20;
    return ref - std::log(1 + 20 * (ref - adjusted)) / 20;
}

}  // namespace

IntPoint boxCentre(const HorizontalBand& box) {
    return {(box.xLeft + box.xRight) / 2, (box.yTopLeft + box.yBottomLeft + box.yTopRight + box.yBottomRight) / 4};
}

IntPoint boxBottomPoint(const HorizontalBand& box) {
    return {(box.xLeft + box.xRight) / 2, (box.yBottomLeft + box.yBottomRight) / 2};
}

void fitSlopeLine(const std::vector<double>& ys, const std::vector<double>& slopes, double& b, double& a) {
    fitLine(ys, slopes, b, a);
}

double estimateSlope(VerticalBand& referenceLine, const VerticalBand& line, int y, double b, double a,
                     bool isFirst) {
    const LineInfo& r = getLineInfo(referenceLine);
    const int span = line.yBottom - line.yTop;
    // A line one row tall has no length to interpolate along; it takes the top slope.
    const double s0 = span != 0 ? ((line.yBottom - y) * r.slopeT + (y - line.yTop) * r.slopeB) / span : r.slopeT;
    trace("0a=%lf ", s0);
    const double s1 = b * y + a;
    trace("0b=%lf ", s1);
    if (isFirst || std::fabs(s0 - s1) < 0.0756) return 0.63 * s0 + 0.37 * s1;
    return s0;
}

int findCharAlongSlope(const HorizontalBandList& boxes, IntPoint point, int referenceHeight, double& slope,
                       bool fromStart) {
    const int n = static_cast<int>(boxes.count());
    if (n == 0) return -1;
    const int step = fromStart ? 1 : -1;
    int i = fromStart ? 0 : n - 1;
    int chosen = i;
    double previous = 10000.0;
    for (; i >= 0 && i < n; i += step) {
        const double diff = slopeBetween(point, boxCentre(boxes[i])) - slope;
        trace("%d->%lf ", i, diff);
        if (!(std::fabs(diff) < std::fabs(previous))) break;
        chosen = i;
        previous = diff;
    }
    const double chosenDiff = slopeBetween(point, boxCentre(boxes[chosen])) - slope;
    const HorizontalBand& box = boxes[chosen];
    if (box.type != 2 || bandHeight(box) <= static_cast<int>(0.484 * referenceHeight)) return -1;
    if (chosen == 0 || chosen == n - 1) {
        if (std::fabs(chosenDiff) > 0.156) return -1;
    } else if (std::fabs(chosenDiff) > 0.27) {
        return -2;
    }
    slope = slopeBetween(point, boxCentre(box));
    return chosen;
}

void alignLine(LineGroupView& group, int k, double waveX, int& minHead, int& minTail, bool isFirst,
               bool nearTop, bool nearBottom, int direction) {
    trace("line#%d:\n", k);
    const int m = static_cast<int>(group.columns.size());
    VerticalBand& cur = *group.columns[k];
    LineInfo& info = getLineInfo(cur);
    const int step = direction == 1 ? -1 : 1;

    int adjacent = -1;
    for (int j = k + step; j >= 0 && j < m; j += step) {
        if (group.columns[j]->type == 4) {
            adjacent = j;
            break;
        }
    }
    if (adjacent < 0) {
        info.headBlanks = INT_MAX;
        info.tailBlanks = 0;
        info.reliable = 0;
        trace("- ");
        trace("%.2lf,%.2lf%s\n", info.slopeT, info.slopeB, " irregular");
        return;
    }
    LineInfo& adj = getLineInfo(*group.columns[adjacent]);

    // Lines of a few characters come last: their rows say little (a speck or a crowded mark
    // among so few shifts them), and the lines matched against them take their error on.
    std::vector<int> compLines, shortLines;
    for (int j = k + step; j >= 0 && j < m; j += step) {
        VerticalBand& c = *group.columns[j];
        if (c.type != 4 || !getLineInfo(c).reliable) continue;
        (characterCount(*group.charLists[j]) < kFewReferenceCharacters ? shortLines : compLines).push_back(j);
    }
    compLines.insert(compLines.end(), shortLines.begin(), shortLines.end());

    LineAligner aligner(group, k, waveX, nearTop, nearBottom, adjacent);
    aligner.isFirst_ = isFirst;
    aligner.fitOwnEdges();

    Match top = aligner.search(true, compLines);
    if (top.index < 0) {
        info.headBlanks = INT_MAX;
        info.tailBlanks = 0;
        info.slopeT = adj.slopeT;
        info.slopeB = adj.slopeB;
        info.reliable = 0;
        trace("- ");
        trace("%.5lf,%.5lf%s\n", info.slopeT, info.slopeB, " irregular");
        return;
    }
    aligner.correctHalfCell(top);
    info.headBlanks = getLineInfo(*group.columns[top.compLine]).headBlanks - top.y + top.index;
    trace("(%d,%d)=(%d,%d) ", k, top.y, top.compLine, top.index);
    minHead = std::min(minHead, info.headBlanks);

    Match bottom = aligner.search(false, compLines);
    if (bottom.index < 0) bottom = top;
    const HorizontalBandList& R = *group.charLists[bottom.compLine];
    const int c = static_cast<int>(group.charLists[k]->count());
    info.tailBlanks = getLineInfo(*group.columns[bottom.compLine]).tailBlanks +
                      (static_cast<int>(R.count()) - bottom.index) - (c - bottom.y);
    trace("(%d,%d)=(%d,%d) ", k, bottom.y, bottom.compLine, bottom.index);
    minTail = std::min(minTail, info.tailBlanks);

    const double sT = top.slope, sB = bottom.slope;
    const int yT = top.ymid, yB = bottom.ymid;
    trace("slopeT=%.5lf,slopeB=%.5lf ", sT, sB);
    info.slopeT = adj.slopeT;
    info.slopeB = adj.slopeB;
    const int h = cur.yBottom - cur.yTop + 1;
    const double r = static_cast<double>(yB - yT) / h;
    trace("lineHeightRatio=%.5lf ", r);
    double eTop = 0, eBottom = 0, adjTop = 0, adjBottom = 0;
    if (yT == yB) {
        eTop = eBottom = 0.5 * sT;
        trace("on the end:%.5lf,%.5lf ", eTop, eBottom);
        adjTop = sB;
        adjBottom = sT;
    } else {
        eTop = ((cur.yTop - yT) * sB + (yB - cur.yTop) * sT) / (yB - yT);
        eBottom = ((cur.yBottom - yT) * sB + (yB - cur.yBottom) * sT) / (yB - yT);
        trace("on the end:%.5lf,%.5lf ", eTop, eBottom);
        const double centre = (sT + sB) / 4;
        adjTop = std::pow(r, 2.0 * (yT - cur.yTop) / h) * (eTop - centre) + centre;
        adjBottom = std::pow(r, 2.0 * (cur.yBottom - yB) / h) * (eBottom - centre) + centre;
        trace("adj:%.5lf,%.5lf ", adjTop, adjBottom);
    }

    if (isFirst) {
        // A matched row lower at the top than at the bottom gives no real power of r; the line then
        // keeps its neighbour's slopes and is no reference.
        if (std::isfinite(adjTop) && std::isfinite(adjBottom)) {
            info.reliable = 1;
            info.slopeT = adjTop;
            info.slopeB = adjBottom;
        } else {
            info.reliable = 0;
        }
    } else {
        info.reliable = 1;
        info.slopeT = settleEnd(eTop, adjTop, adj.slopeT, info.reliable);
        info.slopeB = settleEnd(eBottom, adjBottom, adj.slopeB, info.reliable);
    }
    trace("%.5lf,%.5lf%s\n", info.slopeT, info.slopeB, info.reliable ? "" : " irregular");
}

namespace {

// One run correction: while the lines from some line to the last all have more (or fewer) cells
// than typical and at least one blank of the kind, each of them gives up (or takes) one.
void correctRuns(LineGroupView& group, int typicalNumChar, bool tooMany, bool head, const char* message) {
    const int m = static_cast<int>(group.columns.size());
    for (;;) {
        int run = 0, start = 0, tolerance = 0;
        for (int k = 0; k < m; ++k) {
            LineInfo& info = getLineInfo(*group.columns[k]);
            const int n = cellCount(*group.columns[k], *group.charLists[k]);
            const int blanks = head ? info.headBlanks : info.tailBlanks;
            bool counts = tooMany ? n > typicalNumChar : n < typicalNumChar;
            if (counts) {
                tolerance = 0;
            } else if (n == typicalNumChar && run > 0) {
                ++tolerance;
                counts = tolerance < 2;
                if (!counts) run = 0, tolerance = 0;
            } else {
                tolerance = 0;
                run = 0;
            }
            if (!counts) continue;
            if (blanks >= 1) {
                if (run == 0) start = k;
                ++run;
            } else {
                run = 0;
            }
        }
        if (run < 3) return;
        trace(message, start, m - start);
        for (int k = start; k < m; ++k) {
            LineInfo& info = getLineInfo(*group.columns[k]);
            (head ? info.headBlanks : info.tailBlanks) += tooMany ? -1 : 1;
        }
    }
}

}  // namespace

void measureLineGroup(LineGroupView& group, int& typicalNumChar, const GreyImage& image, double waveX) {
    const int m = static_cast<int>(group.columns.size());
    if (m == 0) return;
    auto line = [&](int k) -> LineInfo& { return getLineInfo(*group.columns[k]); };
    line(0).slopeT = line(0).slopeB = 0.0;
    line(0).reliable = 1;
    int minHead = INT_MAX, minTail = INT_MAX;

    if (m >= 2) {
        const double height = image.height;
        const bool nearTop = group.columns[1]->yTop / height <= 0.3;
        const bool nearBottom = (height - group.columns[1]->yBottom) / height <= 0.3;
        alignLine(group, 1, waveX, minHead, minTail, true, nearTop, nearBottom, 1);
    }
    for (int k = 2; k < m; ++k) alignLine(group, k, waveX, minHead, minTail, false, false, false, 1);
    if (m >= 2) {
        line(0).slopeT = line(1).slopeT;
        line(0).slopeB = line(1).slopeB;
    }
    minHead = std::min(minHead, line(0).headBlanks);
    minTail = std::min(minTail, line(0).tailBlanks);

    for (int k = m - 2; k >= 1; --k) {
        if (line(k).headBlanks != INT_MAX) continue;
        alignLine(group, k, waveX, minHead, minTail, false, false, false, 2);
        if (line(k).headBlanks == INT_MAX) line(k).headBlanks = 0;
    }
    if (line(m - 1).headBlanks == INT_MAX) line(m - 1).headBlanks = 0;

    if (minHead == INT_MAX) {
        minTail = 0;
    } else if (minHead != 0) {
        for (int k = 0; k < m; ++k) line(k).headBlanks -= minHead;
    }
    if (minTail == INT_MAX) minTail = 0;
    for (int k = 0; k < m; ++k) line(k).tailBlanks -= minTail;

    bool bottomLinesHang = true;
    for (int k = 0; k < m; ++k)
        if (line(k).tailBlanks == 0 && line(k).smallLastChar != 1) bottomLinesHang = false;
    for (int k = 0; k < m; ++k) {
        if (!bottomLinesHang) {
            line(k).smallLastChar = 0;
        } else if (line(k).tailBlanks > 0) {
            line(k).tailBlanks -= 1;
            line(k).smallLastChar = 0;
        }
    }

    // Lines that start at the top but with a small first box (an opening mark set in half a cell)
    // are rare; when they are, the indented lines were counted one cell too deep.
    int smallOpenings = 0;
    bool reachedEnd = true;
    for (int k = 0; k < m; ++k) {
        if (line(k).headBlanks != 0 || group.charLists[k]->empty()) continue;
        if (bandHeight((*group.charLists[k])[0]) > static_cast<int>(0.492 * line(k).typicalCharHeight)) {
            reachedEnd = false;
            break;
        }
        ++smallOpenings;
    }
    if (reachedEnd && static_cast<double>(smallOpenings) / m <= 0.0841) {
        for (int k = 0; k < m; ++k)
            if (line(k).headBlanks > 0) line(k).headBlanks -= 1;
    }

    std::vector<int> counts;
    for (int k = 0; k < m; ++k) counts.push_back(cellCount(*group.columns[k], *group.charLists[k]));
    std::sort(counts.begin(), counts.end());
    typicalNumChar = counts[m / 2];
    trace("typicalNumChar=%d\n", typicalNumChar);

    correctRuns(group, typicalNumChar, true, true, "%d行目から最後まで%d行の行頭の空白を減らしました。\n");
    correctRuns(group, typicalNumChar, true, false, "%d行目から最後まで%d行の行末の空白を減らしました。\n");
    correctRuns(group, typicalNumChar, false, true, "%d行目から最後まで%d行の行頭の空白を増やしました。\n");
    correctRuns(group, typicalNumChar, false, false, "%d行目から最後まで%d行の行末の空白を増やしました。\n");

    for (int k = 0; k < m; ++k)
        if (cellCount(*group.columns[k], *group.charLists[k]) != typicalNumChar) line(k).reliable = 0;
}
