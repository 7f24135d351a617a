#include "chars/char_segmentation.h"

#include <vector>

#include "bands/band_geometry.h"
#include "bands/horizontal_bands.h"
#include "chars/black_level.h"
#include "chars/char_measures.h"
#include "core/trace.h"

namespace {

constexpr int kCap = 233;
// Darker than this counts as ink, as the character measures count it.
constexpr int kInkMax = 117;
constexpr double kRangeRatio = 0.1;
constexpr double kFirstCutSlope = 1.0 / 600;
constexpr double kRecutSlope = 1.0 / 375;

// trunc(c * x) with a double constant.
int scaled(double c, int x) { return static_cast<int>(c * x); }
// trunc(c * x) in single precision, for the constants the cut rules give as floats.
int scaledF(float c, int x) { return static_cast<int>(c * static_cast<float>(x)); }

// From the top of a to the bottom of b, without the +1.
int span(const HorizontalBand& a, const HorizontalBand& b) {
    return ((b.yBottomRight - a.yTopRight) + (b.yBottomLeft - a.yTopLeft)) / 2;
}
// From the bottom of a to the top of b; negative when they overlap.
int gap(const HorizontalBand& a, const HorizontalBand& b) {
    return ((b.yTopRight - a.yBottomRight) + (b.yTopLeft - a.yBottomLeft)) / 2;
}
// Top to top.
int pitch(const HorizontalBand& a, const HorizontalBand& b) {
    return ((b.yTopRight - a.yTopRight) + (b.yTopLeft - a.yTopLeft)) / 2;
}

// The rows strictly between two consecutive pieces, across b's columns (no rows when they touch).
HorizontalBand gapBand(const HorizontalBand& a, const HorizontalBand& b) {
    HorizontalBand g = b;
    g.yTopLeft = a.yBottomLeft + 1;
    g.yBottomLeft = b.yTopLeft - 1;
    g.yTopRight = a.yBottomRight + 1;
    g.yBottomRight = b.yTopRight - 1;
    return g;
}

// Re-cuts the pieces taller than a character at five rising thresholds; marked pieces (vertical
// bars) are never re-cut.
void recutTallPieces(HorizontalBandList& pieces, const VerticalBand& column, const GreyImage& image,
                     int blackLevel, int blackThreshold, int refCharHeight, LineInfo& info) {
    const int maxThreshold = (256 - blackLevel) * 220;
    trace("maxThreshold=%d ", maxThreshold);
    const int step = (maxThreshold - blackThreshold) / 5;
    bool splitBefore = true;
    HorizontalBandList parts;
    for (int thr = blackThreshold + step; step > 0 && thr <= maxThreshold; thr += step) {
        if (splitBefore) info.typicalCharHeight = computeCharHeight(pieces, column, refCharHeight, 2);
        splitBefore = false;
        HorizontalBandList next;
        for (uint32_t n = 0; n < pieces.count(); ++n) {
            const HorizontalBand& piece = pieces[n];
            if (bandHeight(piece) <= info.typicalCharHeight) {
                next.append(piece);
                continue;
            }
            if (piece.mark) {
                trace("char#%d は縦棒. ", n);
                next.append(piece);
                continue;
            }
            subdivideHorizontalBand(parts, piece, column, image, thr, kCap, kRangeRatio, kRecutSlope);
            if (parts.count() >= 2) {
                for (const HorizontalBand& p : parts) next.append(p);
                trace("文字%dを%u個に再分割。\n", n, parts.count());
                splitBefore = true;
            } else {
                next.append(piece);
            }
        }
        pieces = next;
    }
}

// The merge rules, tried in their order for candidate j of the group that starts at piece i.
// Answers the number of the rule that merges j, or 0 when the group ends before j.
class GroupMerger {
public:
    GroupMerger(const HorizontalBandList& pieces, const GreyImage& image, int charHeight, int charSpace)
        : p_(pieces), image_(image), H_(charHeight), W_(charSpace) {}

    int rule(uint32_t i, uint32_t j, PunctuationType Ti) const {
        const int gap1 = gap(p_[j - 1], p_[j]);
        trace("gap1=%d ", gap1);
        const BracketType bj = classifyBracket(p_[j], image_, H_);
        if (bj != NotBracket) {
            trace("j:%s ", bracketLabel(bj));
            if (bj == OpeningBracket && gap1 >= scaledF(0.117f, H_)) return 0;
            if (bj == ClosingBracket && gap1 >= scaledF(0.108f, H_)) return 0;
        }
        const int charHeightJ = bandHeight(p_[j]);
        const int charHeightYes = span(p_[i], p_[j]);
        const int charHeightNo = span(p_[i], p_[j - 1]);
        trace("charHeightJ=%d charHeightYes=%d charHeightNo=%d ", charHeightJ, charHeightYes, charHeightNo);
        const PunctuationType Tj = classifyPunctuation(p_[j], image_, H_);
        if (Tj != NotPunctuation) trace("j:%s ", punctuationLabel(Tj));
        const bool jIsPunctuation = Tj == Punctuation;

        if (j + 1 >= p_.count()) {
            if (charHeightYes <= scaled(0.75, W_)) return 1;
            if (!jIsPunctuation && charHeightNo <= scaled(0.65, H_) && charHeightYes <= scaled(1.14, H_)) return 2;
            if (charHeightJ <= scaled(0.19, H_) && charHeightYes <= scaled(1.5, H_)) return 11;
            return 0;
        }

        const uint32_t k = j + 1;
        const int spaceYes = pitch(p_[i], p_[k]);
        const int gap2 = gap(p_[j], p_[k]);
        trace("spaceYes=%d gap2=%d ", spaceYes, gap2);
        if (charHeightNo <= scaled(0.11, W_) && gap1 <= scaled(0.089, H_) && !jIsPunctuation) return 12;
        if (charHeightNo <= scaledF(0.301f, W_) && spaceYes <= scaledF(1.18f, W_) && gap1 <= scaledF(0.624f, H_) &&
            ((Ti != Punctuation && Ti != MiddleDot) || gap1 <= scaledF(0.336f, H_)))
            return 3;
        if (spaceYes <= scaled(0.53, W_)) return 4;

        const double M = maxMinValue(gapBand(p_[j - 1], p_[j]), image_);
        trace("maxMinValue=%lf ", M);
        const bool rule18 = charHeightNo >= scaled(1.32, H_) && charHeightYes <= scaled(1.01, W_ + H_);
        if (charHeightYes > scaled(1.062, H_)) return rule18 ? 18 : 0;

        if (charHeightYes <= scaled(1.062, H_) && 0 <= M && M <= 56.9) return 16;
        if (charHeightYes <= scaledF(0.914f, H_) && 0 <= M && M <= 129) return 19;
        if (gap1 <= scaledF(0.107f, H_) && charHeightYes <= scaled(1.035, H_) && !jIsPunctuation) return 5;
        if (charHeightNo <= scaled(0.22, H_) && gap2 >= scaled(0.61, H_)) return 14;
        if (gap2 >= H_) return 13;

        const int space3char = i > 0 ? pitch(p_[i - 1], p_[k]) : 0;
        const int spaceBefore = i > 0 ? gap(p_[i - 1], p_[i]) : 0;
        trace("space3char=%d, spaceBefore=%d ", space3char, spaceBefore);
        const bool spacing = spaceYes <= scaled(1.24, W_) &&
                             (i == 0 || spaceBefore >= H_ || space3char <= scaledF(2.21f, W_));
        if (spacing) {
            if (spaceYes <= scaled(1.19, W_) && gap1 < gap2 - scaled(0.033, W_) && !jIsPunctuation) return 6;
            if (k + 1 >= p_.count()) {
                if (gap2 >= scaled(0.09, H_)) return 7;
            } else {
                const uint32_t k2 = k + 1;
                const int charHeightYes2 = span(p_[i], p_[k]);
                const int gap3 = gap(p_[k], p_[k2]);
                trace("charHeightYes2=%d gap3=%d ", charHeightYes2, gap3);
                if (charHeightYes2 <= scaled(0.865, H_)) return 15;
                if (gap1 <= scaledF(0.29f, W_)) {
                    const int nextTwoCharSpace = pitch(p_[j], p_[k2]);
                    trace("nextTwoCharSpace=%d ", nextTwoCharSpace);
                    if (nextTwoCharSpace > scaled(1.01, W_)) return 10;
                }
            }
        }
        return rule18 ? 18 : 0;
    }

private:
    const HorizontalBandList& p_;
    const GreyImage& image_;
    const int H_;
    const int W_;
};

// Counts the lone mark pieces[i], standing on the right of its cell or not, by where it stands.
void countMark(const HorizontalBandList& pieces, uint32_t i, bool right, MarkCounts& marks) {
    ++(right ? marks.right : marks.left);
    if (i == 0 || i + 1 >= pieces.count()) return;
    auto top = [&](uint32_t k) { return (pieces[k].yTopLeft + pieces[k].yTopRight) / 2; };
    auto bottom = [&](uint32_t k) { return (pieces[k].yBottomLeft + pieces[k].yBottomRight) / 2; };
    const int above = top(i) - bottom(i - 1), below = top(i + 1) - bottom(i);
    if (above == below) return;
    const bool high = above < below;
    ++(high == right ? marks.vertical : marks.horizontal);
}

// Groups consecutive pieces into characters: brackets alone, ellipses of middle dots, runs of
// vertical-bar pieces, then the merge rules.
HorizontalBandList groupPieces(const HorizontalBandList& pieces, const GreyImage& image, int H, int W,
                               int& reversedCount, MarkCounts* marks) {
    HorizontalBandList out;
    const GroupMerger merger(pieces, image, H, W);
    const uint32_t n = pieces.count();
    uint32_t P = 0;
    // Whether the last character of out is the merge group that started at P. The five-dot case
    // replaces that character; any other last character (a bracket, an ellipsis) must stay.
    bool lastIsGroupP = false;
    uint32_t i = 0;
    while (i < n) {
        trace("\ny=%d ", i);
        const BracketType bi = classifyBracket(pieces[i], image, H);
        if (bi != NotBracket) {
            trace("%s ", bracketLabel(bi));
            out.append(pieces[i]);
            lastIsGroupP = false;
            ++i;
            continue;
        }

        PunctuationType Ti = NotPunctuation;
        uint32_t j = i;
        for (; j < n; ++j) {
            const PunctuationType c = classifyPunctuation(pieces[j], image, H);
            trace("punctuationType=%d ", static_cast<int>(c));
            if (j == i) {
                Ti = c;
                if (c != MiddleDot) break;
                continue;
            }
            if (c != MiddleDot) break;
            const int s = span(pieces[j - 1], pieces[j]);
            trace("h=%d ", s);
            if (s > scaled(0.808, H) || s < scaled(0.431, H)) break;
        }
        const int numPoint = static_cast<int>(j - i);
        trace("numPoint=%d ", numPoint);

        if (numPoint >= 6) {
            const int g = (numPoint + 1) / 3;
            const int r = numPoint - 3 * g;
            for (int m = 0; m <= g - 2; ++m) out.append(unionBand(pieces[i + 3 * m], pieces[i + 3 * m + 2]));
            const uint32_t last = i + 3 * (g - 1);
            out.append(unionBand(pieces[last], pieces[last + r + 2]));
            trace("\"…\"%d文字統合 ", g);
            lastIsGroupP = false;
            i += numPoint;
            continue;
        }
        if (numPoint == 5 && i >= 2 && P <= i - 2 && lastIsGroupP) {
            out.removeAt(out.count() - 1);
            out.append(unionBand(pieces[P], pieces[i - 2]));
            lastIsGroupP = false;
            i = i - 1;
            continue;
        }

        trace("%s ", punctuationLabel(Ti));
        j = i + 1;
        if (pieces[i].mark && j < n) {
            uint32_t e = j;
            while (e < n && maxMinValue(gapBand(pieces[e - 1], pieces[e]), image) <= 129) ++e;
            if (e > i + 1) {
                trace("縦棒を%d本統合。", static_cast<int>(e - i));
                j = e;
            }
        }
        for (; j < n; ++j) {
            const int rule = merger.rule(i, j, Ti);
            if (rule == 0) break;
            trace("統合%d ", rule);
        }
        const uint32_t e = j;
        if (e == i + 1 && Ti == ReversedPunctuation) ++reversedCount;
        if (e == i + 1 && marks && (Ti == Punctuation || Ti == ReversedPunctuation)) countMark(pieces, i, Ti == Punctuation, *marks);
        out.append(unionBand(pieces[i], pieces[e - 1]));
        P = i;
        lastIsGroupP = true;
        i = e;
    }
    return out;
}

// Removes characters so thin across the column that they are specks beside the line.
void dropSlivers(HorizontalBandList& chars, const GreyImage& image, int H) {
    uint32_t n = 0;
    while (n < chars.count()) {
        const HorizontalBand& c = chars[n];
        if (bandHeight(c) > scaled(0.164, H)) {
            ++n;
            continue;
        }
        int left = -1, right = -1;
        inkExtentX(c, image, left, right);
        const double wRatio = static_cast<double>(right - left + 1) / (c.xRight - c.xLeft + 1);
        trace("char%d:wRatio=%lf\n", n, wRatio);
        if (wRatio <= 0.112) {
            chars.removeAt(n);
        } else {
            ++n;
        }
    }
}

// Removes specks of dust: pieces no larger than a quarter of the column width either way that
// stand more than a column width from the piece before them and from the one after (or end the
// column), and such pieces first in the column, the last of them more than half a column width
// above the next piece. Punctuation always follows a character closely, so only marks in blank
// stretches of the line go. Left in, a speck would count as a character with blank cells before it, and a few
// of them outnumber the characters of a short line when its typical height and pitch are taken.
void dropIsolatedSpecks(HorizontalBandList& chars, const GreyImage& image, int colWidth) {
    const int small = scaled(0.25, colWidth);
    auto tiny = [&](const HorizontalBand& c) {
        int left = -1, right = -1;
        inkExtentX(c, image, left, right);
        return bandHeight(c) <= small && right - left + 1 <= small;
    };
    // No comma, stop or middle dot may begin a line: specks above the first character, the
    // last of them apart from it by more than half a column width, are dust even when less
    // than a cell away (a stroke cut off the top of the first glyph lies closer).
    uint32_t first = 0;
    while (first < chars.count() && tiny(chars[first])) ++first;
    if (first > 0 && first < chars.count() && gap(chars[first - 1], chars[first]) > colWidth / 2) {
        for (uint32_t n = 0; n < first; ++n) {
            trace("char%d:isolated speck\n", 0);
            chars.removeAt(0);
        }
    }
    uint32_t n = 0;
    while (n < chars.count()) {
        const HorizontalBand& c = chars[n];
        const bool farBefore = n == 0 || gap(chars[n - 1], c) > colWidth;
        const bool farAfter = n + 1 == chars.count() || gap(c, chars[n + 1]) > colWidth;
        if (tiny(c) && farBefore && farAfter) {
            trace("char%d:isolated speck\n", n);
            chars.removeAt(n);
        } else {
            ++n;
        }
    }
}

// True when some piece holds as much ink as a small character: a twentieth of the column
// width squared in dark pixels (specks, even grouped along the column, hold far less).
bool holdsACharacter(const HorizontalBandList& chars, const GreyImage& image, int colWidth) {
    const double enough = 0.05 * colWidth * colWidth;
    for (const HorizontalBand& c : chars) {
        int count = 0;
        const int top = std::max(std::min(c.yTopLeft, c.yTopRight), 0);
        const int bottom = std::min(std::max(c.yBottomLeft, c.yBottomRight), image.height - 1);
        for (int y = top; y <= bottom; ++y)
            for (int x = std::max(c.xLeft, 0); x <= std::min(c.xRight, image.width - 1); ++x) count += image.at(x, y) <= kInkMax;
        if (count >= enough) return true;
    }
    return false;
}

// Divides the characters taller than 1.25 H into the fewest pieces shorter than that, as long as
// each piece stays at least 0.673 H.
void divideTallCharacters(HorizontalBandList& chars, const VerticalBand& column, const GreyImage& image, int H) {
    const int minH = scaledF(1.25f, H);
    const int floorH = scaled(0.673, H);
    if (floorH <= 0) return;  // without a usable height every count would fit
    HorizontalBandList out;
    for (uint32_t n = 0; n < chars.count(); ++n) {
        const HorizontalBand& c = chars[n];
        const int h = bandHeight(c);
        if (h < minH) {
            out.append(c);
            continue;
        }
        int m = 1;
        for (;;) {
            if (h / (m + 1) < floorH) break;
            ++m;
            if (h / m < minH) break;
        }
        if (m <= 1) {
            out.append(c);
            continue;
        }
        trace("char#%d を%d分割(h=%d).\n", n, m, h);
        const HorizontalBandList pieces = c.mark ? splitEvenly(c, m) : DivideChar(c, m, column, image);
        for (const HorizontalBand& p : pieces) out.append(p);
    }
    chars = out;
}

// Inserts blank cells (type 3, zero height) where two characters stand more than a cell apart,
// measured against a running mean of the pitch seeded with W.
void insertSpaces(HorizontalBandList& chars, const VerticalBand& column, const GreyImage& image, int H, int W) {
    const uint32_t count = chars.count();
    if (count == 0 || H <= 0 || W <= 0) return;
    const int nR = static_cast<int>(static_cast<float>(W) / static_cast<float>(H) + 0.0631f);
    float sum = 0.0f;
    int weight = 0;
    if (nR >= 2) {
        sum = static_cast<float>(W) / static_cast<float>(nR);
        weight = 1;
    } else {
        weight = static_cast<int>(count) / 3 + 1;
        sum = static_cast<float>(weight) * static_cast<float>(W);
    }
    HorizontalBand space;
    space.xLeft = column.xLeftTop;
    space.xRight = column.xRightTop;
    space.type = 3;

    auto keepsHeight = [&](const HorizontalBand& c) {
        return classifyPunctuation(c, image, H) == Punctuation || classifyBracket(c, image, H) == ClosingBracket;
    };
    HorizontalBandList out;
    for (uint32_t b = 0; b + 1 < count; ++b) {
        const HorizontalBand& c0 = chars[b];
        const HorizontalBand& c1 = chars[b + 1];
        const float S0 = static_cast<float>((c1.yTopRight - c0.yTopRight) + (c1.yTopLeft - c0.yTopLeft)) * 0.5f;
        float S = S0;
        if (!keepsHeight(c0)) S += static_cast<float>(H - bandHeight(c0)) * 0.5f;
        if (!keepsHeight(c1)) S -= static_cast<float>(H - bandHeight(c1)) * 0.5f;
        const float spacePerChar = sum / static_cast<float>(weight);
        // A running pitch below one pixel (a pathological column) would ask for thousands of cells.
        const int numSpace =
            spacePerChar >= 1.0f ? static_cast<int>(S / spacePerChar + 0.489f) - 1 : 0;
        trace("char#%d:space=%.5f,spacePerChar=%.5f,numSpace=%d\n", b, static_cast<double>(S),
              static_cast<double>(spacePerChar), numSpace);
        out.append(c0);
        if (numSpace <= 0) {
            sum += S0;
            weight += 1;
            continue;
        }
        const int spaceStep = ((c1.yTopRight - c0.yBottomRight) + (c1.yTopLeft - c0.yBottomLeft)) / (2 * numSpace);
        int y = (c0.yBottomRight + c0.yBottomLeft + spaceStep) / 2;
        for (int s = 0; s < numSpace; ++s) {
            space.yTopLeft = space.yBottomLeft = space.yTopRight = space.yBottomRight = y;
            out.append(space);
            y += spaceStep;
        }
    }
    out.append(chars[count - 1]);
    chars = out;
}

}  // namespace

HorizontalBandList splitEvenly(const HorizontalBand& a, int n) {
    HorizontalBandList out;
    if (n < 1) n = 1;
    const int hl = a.yBottomLeft - a.yTopLeft;
    const int hr = a.yBottomRight - a.yTopRight;
    for (int k = 0; k < n; ++k) {
        HorizontalBand piece = a;
        piece.yTopLeft = a.yTopLeft + hl * k / n;
        piece.yTopRight = a.yTopRight + hr * k / n;
        if (k + 1 < n) {
            piece.yBottomLeft = a.yTopLeft + hl * (k + 1) / n - 1;
            piece.yBottomRight = a.yTopRight + hr * (k + 1) / n - 1;
        }
        out.append(piece);
    }
    return out;
}

HorizontalBandList DivideChar(const HorizontalBand& character, int n, const VerticalBand& column,
                              const GreyImage& image) {
    trace("\nDivideChar : threshold=");
    HorizontalBandList pieces;
    int thr = 10000;
    int stride = 5000;
    do {
        trace("%d,", thr);
        subdivideHorizontalBand(pieces, character, column, image, thr, kCap, kRangeRatio, kRecutSlope);
        const int got = static_cast<int>(pieces.count());
        if (got == n) {
            trace(" OK.\n");
            return pieces;
        }
        if (got > n) {
            thr -= stride;
        } else {
            if (thr >= 10000) break;
            thr += stride;
        }
        stride /= 2;
    } while (stride > 0);
    trace(" NG.\n");
    return splitEvenly(character, n);
}

int segmentCharacters(const GreyImage& image, HorizontalBandList& characters, double waveY,
                      int refCharHeight, VerticalBand& column, int& reversedCount, MarkCounts* marks) {
    const ColumnThresholds t = findColumnThresholds(column, image);
    trace("threshold1=%d,threshold2=%d\n", t.threshold1, t.threshold2);
    const int lower = static_cast<int>(t.threshold1 * 0.4f + t.threshold2 * 0.6f);
    const int blackLevel = findBlackLevel(lower, column, image, bandWidth(column));
    const int blackThreshold = (255 - blackLevel) * 100;
    trace("blackThreshold=%d ", blackThreshold);

    findHorizontalBands2(characters, column, image, blackThreshold, kRangeRatio, kFirstCutSlope, kCap);
    if (characters.empty()) return 0;

    LineInfo& info = getLineInfo(column);
    info.typicalCharHeight = computeCharHeight(characters, column, refCharHeight, 2);
    for (HorizontalBand& piece : characters) piece.mark = isVerticalBar(piece, image, info.typicalCharHeight) ? 1 : 0;

    recutTallPieces(characters, column, image, blackLevel, blackThreshold, refCharHeight, info);
    dropIsolatedSpecks(characters, image, bandWidth(column));
    if (characters.empty()) return 0;

    int H = computeCharHeight(characters, column, refCharHeight, 3);
    int W = computeCharSpace(characters, image, H, 3);
    info.typicalCharHeight = H;
    info.typicalCharSpace = W;

    characters = groupPieces(characters, image, H, W, reversedCount, marks);
    dropSlivers(characters, image, H);
    if (characters.empty()) return 0;
    // A column of specks only (dust along a margin) is no text line: nothing in it is anywhere
    // near as large as a character. Taken for one, it would be the first line of its group and
    // every other line would be measured against it.
    if (!holdsACharacter(characters, image, bandWidth(column))) {
        column.type = 7;
        info.lineGroup = -1;
        return 0;
    }

    H = computeCharHeight(characters, column, refCharHeight, 3);
    W = computeCharSpace(characters, image, H, 3);
    info.typicalCharHeight = H;
    info.typicalCharSpace = W;
    if (W >= static_cast<int>(waveY * 4.95)) {
        column.type = 7;
        info.lineGroup = -1;
        return 0;
    }

    divideTallCharacters(characters, column, image, H);
    for (HorizontalBand& c : characters) c.type = 2;
    insertSpaces(characters, column, image, H, W);

    const HorizontalBand& last = characters[characters.count() - 1];
    if (last.type != 3 && bandHeight(last) <= scaled(0.484, H)) info.smallLastChar = 1;
    return 0;
}
