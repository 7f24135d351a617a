#include "chars/char_measures.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "bands/band_geometry.h"
#include "chars/grouping.h"
#include "core/line_fit.h"
#include "core/trace.h"

namespace {

// Grey values at or below this are ink for the column scans.
constexpr int kInkMax = 117;

// Grey value of (x, y); pixels outside the image are white so that a band reaching past the
// border reads as blank paper there.
int pixelAt(const GreyImage& image, int x, int y) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) return 255;
    return image.at(x, y);
}

// Top and bottom edge of a character at column x. A band one column wide has no direction
// along x; edgeAt then answers the left end's value, which is what we want.
int topAt(const HorizontalBand& b, int x) { return edgeAt(x, b.xLeft, b.yTopLeft, b.xRight, b.yTopRight); }
int bottomAt(const HorizontalBand& b, int x) {
    return edgeAt(x, b.xLeft, b.yBottomLeft, b.xRight, b.yBottomRight);
}

int widthOf(const HorizontalBand& b) { return b.xRight - b.xLeft + 1; }

// The topmost and bottommost ink pixel of column x between the band's edges; false when none.
bool columnInk(const HorizontalBand& b, const GreyImage& image, int x, int& first, int& last) {
    first = last = -1;
    const int y1 = bottomAt(b, x);
    for (int y = topAt(b, x); y <= y1; ++y)
        if (pixelAt(image, x, y) <= kInkMax) {
            if (first < 0) first = y;
            last = y;
        }
    return first >= 0;
}

// The rows of a band walked along its longer edge: row r lies at walked-edge y = top + r and at
// the proportional position on the other edge, so that a slanted band is sampled along its
// slant. A band whose both edges are inverted (bottom above top) has no rows.
class RowWalk {
public:
    explicit RowWalk(const HorizontalBand& b) : band_(b) {
        const int lenL = b.yBottomLeft - b.yTopLeft;
        const int lenR = b.yBottomRight - b.yTopRight;
        walkLeft_ = lenL > lenR;
        const int len = walkLeft_ ? lenL : lenR;
        rows_ = len < 0 ? 0 : len + 1;
    }

    int rows() const { return rows_; }

    // Row position (fractional) of row r at column x.
    double yAt(int r, int x) const {
        const HorizontalBand& b = band_;
        double yl, yr;
        if (walkLeft_) {
            yl = b.yTopLeft + r;
            yr = otherEdge(r, b.yTopRight, b.yBottomRight, b.yBottomLeft - b.yTopLeft);
        } else {
            yr = b.yTopRight + r;
            yl = otherEdge(r, b.yTopLeft, b.yBottomLeft, b.yBottomRight - b.yTopRight);
        }
        if (b.xRight == b.xLeft) return yl;  // one column: the left end, as for the edges
        return yl + (yr - yl) * (x - b.xLeft) / static_cast<double>(b.xRight - b.xLeft);
    }

    // Grey value at row r and column x, interpolated between the two pixel rows around it.
    double value(const GreyImage& image, int r, int x) const {
        const double y = yAt(r, x);
        const double y0 = std::floor(y);
        const double t = y - y0;
        const int iy = static_cast<int>(y0);
        const double v = pixelAt(image, x, iy);
        if (t == 0.0) return v;
        return v * (1.0 - t) + pixelAt(image, x, iy + 1) * t;
    }

private:
    // The other edge at row r, scaled from the walked edge's length; its middle when the walked
    // edge is a single row.
    static double otherEdge(int r, int top, int bottom, int walkedLen) {
        if (walkedLen == 0) return (top + bottom) / 2.0;
        return top + r * static_cast<double>(bottom - top) / walkedLen;
    }

    const HorizontalBand& band_;
    bool walkLeft_ = false;
    int rows_ = 0;
};

}  // namespace

const char* punctuationName(PunctuationType type) {
    switch (type) {
        case ReversedPunctuation: return "ReversedPunctuation";
        case NotPunctuation: return "NotPunctuation";
        case Punctuation: return "Punctuation";
        case MiddleDot: return "MiddleDot";
    }
    return "";
}

const char* punctuationLabel(PunctuationType type) {
    switch (type) {
        case ReversedPunctuation: return "逆句読点";
        case Punctuation: return "句読点";
        case MiddleDot: return "中黒";
        case NotPunctuation: break;
    }
    return "";
}

const char* bracketName(BracketType type) {
    switch (type) {
        case NotBracket: return "NotBracket";
        case OpeningBracket: return "OpeningBracket";
        case ClosingBracket: return "ClosingBracket";
    }
    return "";
}

const char* bracketLabel(BracketType type) {
    switch (type) {
        case OpeningBracket: return "括弧始め";
        case ClosingBracket: return "括弧終り";
        case NotBracket: break;
    }
    return "";
}

int computeCharHeight(const HorizontalBandList& characters, const VerticalBand& column,
                      int refCharHeight, int mode) {
    const size_t count = characters.count();
    if (count == 0) return 0;
    auto heightOf = [&](size_t i) { return bandHeight(characters[static_cast<uint32_t>(i)]); };
    const KeyGroups groups = chainGroupByRatio(count, heightOf, 1.14);

    trace("高さによる文字のグループ分け: ");
    for (const std::vector<size_t>& g : groups) {
        trace("(");
        for (size_t i : g) trace("%d,", heightOf(i));
        trace(") ");
    }
    trace("\n");
    trace("refCharHeight=%d ", refCharHeight);

    // Groups are ascending, so a group's tallest member is its last one.
    auto tallest = [&](size_t g) { return heightOf(groups[g].back()); };

    // The most populated candidate wins; on a tie the later (taller) group takes over and the
    // old winner becomes the runner-up.
    const int low = refCharHeight / 4;
    const long high = 3L * refCharHeight;
    int best = -1, second = -1;
    size_t bestSize = 0, secondSize = 0;
    for (size_t g = 0; g < groups.size(); ++g) {
        const int h = tallest(g);
        if (!(h > low && h < high)) continue;
        const size_t n = groups[g].size();
        if (n >= bestSize) {
            second = best;
            secondSize = bestSize;
            best = static_cast<int>(g);
            bestSize = n;
        } else if (n >= secondSize) {
            second = static_cast<int>(g);
            secondSize = n;
        }
    }

    int result;
    if (best < 0) {
        result = refCharHeight;
    } else {
        int maxHeight = tallest(static_cast<size_t>(best));

        // The next taller group takes over when it is about as common: the best group then holds
        // the smaller pieces of split characters rather than whole ones.
        const size_t next = static_cast<size_t>(best) + 1;
        if (next < groups.size()) {
            const size_t n = groups[next].size();
            const int h = tallest(next);
            if (n >= secondSize && n >= static_cast<size_t>(0.271 * count) && maxHeight <= h &&
                h <= static_cast<int>(1.92 * maxHeight))
                maxHeight = h;
        }

        // A best group of pieces at most half the expected height yields to a runner-up that has
        // the expected height.
        if (second >= 0 && maxHeight <= refCharHeight / 2) {
            const int s = tallest(static_cast<size_t>(second));
            if (static_cast<int>(0.9f * refCharHeight) <= s && s <= static_cast<int>(1.1f * refCharHeight))
                maxHeight = s;
        }

        result = maxHeight;
        if (mode == 3) {
            const int colWidth = bandWidth(column);
            trace("maxHeight:%d,refCharHeight:%d,colWidth:%d ", maxHeight, refCharHeight, colWidth);
            result = std::max(result, static_cast<int>(0.76f * colWidth));
            if (refCharHeight <= 2 * colWidth)
                result = std::max(result, static_cast<int>(0.76f * refCharHeight));
        }
    }
    trace("文字高:%d ", result);
    return result;
}

int computeCharSpace(const HorizontalBandList& characters, const GreyImage& image, int charHeight,
                     int /*mode*/) {
    const int adjusted = static_cast<int>(1.05f * charHeight);
    const int small = static_cast<int>(0.6 * charHeight);
    std::vector<int> pitches;
    for (uint32_t j = 1; j < characters.count(); ++j) {
        const HorizontalBand& c = characters[j];
        const HorizontalBand& p = characters[j - 1];
        if (bandHeight(c) < small && classifyPunctuation(c, image, charHeight) != Punctuation) continue;
        pitches.push_back(((c.yTopRight - p.yTopRight) + (c.yTopLeft - p.yTopLeft)) / 2);
    }

    int result = adjusted;
    if (!pitches.empty()) {
        std::sort(pitches.begin(), pitches.end());
        int median = pitches[pitches.size() / 2];
        trace("median:%d ", median);
        if (median <= adjusted) median = adjusted;
        trace("adj:%d ", median);
        result = median;
    }
    trace("文字スペース:%d\n", result);
    return result;
}

PunctuationType classifyPunctuation(const HorizontalBand& band, const GreyImage& image,
                                    int charHeight) {
    const int h = bandHeight(band);
    if (!(static_cast<int>(0.104 * charHeight) < h && h < static_cast<int>(0.4 * charHeight)))
        return NotPunctuation;

    int left, right;
    inkExtentX(band, image, left, right);
    if (left < 0) return NotPunctuation;

    // Roughly square: the ink's width within 0.578 and 1.62 times the band's height.
    const int inkW = right - left + 1;
    const float hf = static_cast<float>(h);
    if (!(static_cast<int>(0.578f * hf) <= inkW && inkW <= static_cast<int>(1.62f * hf)))
        return NotPunctuation;

    // Positions are compared in single precision, like their limits.
    const float w = static_cast<float>(widthOf(band));
    if (static_cast<float>(left - band.xLeft) / w >= 0.535f) return Punctuation;
    if (static_cast<float>(right - band.xLeft) / w <= 0.465f) return ReversedPunctuation;
    // A one-column band never gets here (its ink is at offset 0, reversed above), so the
    // division below has a non-zero span.
    const float r = static_cast<float>((left + right) / 2 - band.xLeft) /
                    static_cast<float>(band.xRight - band.xLeft);
    if (0.4f <= r && r <= 0.6f) return MiddleDot;
    return NotPunctuation;
}

BracketType classifyBracket(const HorizontalBand& band, const GreyImage& image, int charHeight) {
    const int h = bandHeight(band);
    if (!(h < static_cast<int>(0.4 * charHeight)) || h <= 0) return NotBracket;

    const int mid = (band.xLeft + band.xRight) / 2;
    int bad = 0;
    bool seenInk = false;
    int startCentre = 0, endCentre = 0;
    // Without ink in the middle column the bend cannot be measured; a run as tall as half the
    // piece makes the piece NotBracket below.
    int midCentre = 0, midInk = h;
    for (int x = band.xLeft; x <= band.xRight; ++x) {
        int first, last;
        if (!columnInk(band, image, x, first, last)) {
            ++bad;
            continue;
        }
        if (!seenInk) {
            startCentre = (first + last) / 2 - band.yTopLeft;
            seenInk = true;
        }
        if (x == mid) {
            midCentre = (last + first - band.yTopLeft - band.yTopRight) / 2;
            midInk = last - first;
        }
        if (last - first >= h / 2) ++bad;  // a tall run is not part of a thin stroke
        endCentre = (first + last) / 2 - band.yTopRight;
    }

    if (bad >= static_cast<int>(0.24f * static_cast<float>(widthOf(band))) || midInk >= h / 2)
        return NotBracket;

    const float hf = static_cast<float>(h);
    const float a = static_cast<float>(startCentre) / hf;
    const float b = static_cast<float>(endCentre) / hf;
    const float c = static_cast<float>(midCentre) / hf;
    if (a >= 0.619f && b >= 0.619f && c <= 0.381f) return OpeningBracket;
    if (a <= 0.381f && b <= 0.381f && c >= 0.619f) return ClosingBracket;
    return NotBracket;
}

bool isVerticalBar(const HorizontalBand& band, const GreyImage& image, int refHeight) {
    if (bandHeight(band) <= static_cast<int>(0.248f * static_cast<float>(refHeight))) return false;

    const RowWalk walk(band);
    const int rows = walk.rows();
    std::vector<int> left(static_cast<size_t>(std::max(rows, 0)), 0);
    std::vector<int> right(left.size(), 0);
    std::vector<double> rs, centres;
    for (int r = 0; r < rows; ++r) {
        int l = -1, rt = -1;
        for (int x = band.xLeft; x <= band.xRight; ++x)
            if (static_cast<int>(walk.value(image, r, x)) < 118) {
                l = x;
                break;
            }
        if (l < 0) continue;  // a blank row keeps 0, 0 and counts as bad below
        for (int x = band.xRight; x >= band.xLeft; --x)
            if (static_cast<int>(walk.value(image, r, x)) < 118) {
                rt = x;
                break;
            }
        left[static_cast<size_t>(r)] = l;
        right[static_cast<size_t>(r)] = rt;
        rs.push_back(r);
        centres.push_back((l + rt) * 0.5);
    }
    if (rs.size() <= 1) return false;

    double slope, intercept;
    fitLine(rs, centres, slope, intercept);
    if (slope >= 0.2) return false;

    // A row is bad when the stroke misses the fitted line or is a quarter of the band wide.
    const int wide = static_cast<int>(0.252f * static_cast<float>(widthOf(band)));
    int bad = 0;
    for (int r = 0; r < rows; ++r) {
        const double x = slope * r + intercept;
        const int l = left[static_cast<size_t>(r)], rt = right[static_cast<size_t>(r)];
        if (l > x || rt < x || rt - l + 1 >= wide) ++bad;
    }
    return static_cast<float>(bad) / static_cast<float>(rows) < 0.05f;
}

void inkExtentX(const HorizontalBand& band, const GreyImage& image, int& left, int& right) {
    left = right = -1;
    int first, last;
    for (int x = band.xLeft; x <= band.xRight; ++x)
        if (columnInk(band, image, x, first, last)) {
            left = x;
            break;
        }
    if (left < 0) return;
    for (int x = band.xRight; x >= left; --x)
        if (columnInk(band, image, x, first, last)) {
            right = x;
            break;
        }
}

double maxMinValue(const HorizontalBand& band, const GreyImage& image) {
    const RowWalk walk(band);
    double result = -10000.0;
    for (int r = 0; r < walk.rows(); ++r) {
        double rowMin = 255.0;
        for (int x = band.xLeft; x <= band.xRight; ++x) rowMin = std::min(rowMin, walk.value(image, r, x));
        result = std::max(result, rowMin);
    }
    return result;
}
