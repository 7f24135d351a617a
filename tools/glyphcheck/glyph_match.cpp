#include "glyph_match.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "sheet_ink.h"

namespace {

// Ink over a box as floats, smoothed by a 3 x 3 mean, so that strokes that cleaning made bolder
// or thinner still correlate with the printed ones.
struct InkMap {
    int x0 = 0, y0 = 0, w = 0, h = 0;
    std::vector<float> v;
    float at(int x, int y) const {  // image coordinates; nothing outside the box
        x -= x0;
        y -= y0;
        if (x < 0 || y < 0 || x >= w || y >= h) return 0;
        return v[static_cast<size_t>(y) * w + x];
    }
};

// The ink of box b of image: darkness below the local paper's grey (that of its tile of 32
// pixels, as paperAround finds it over the tile's surroundings), so that the printed sheet and
// the cleaned one are measured alike whatever their lighting.
InkMap inkMap(const GreyImage& image, Box b) {
    constexpr int kTile = 32;
    InkMap raw;
    raw.x0 = b.left;
    raw.y0 = b.top;
    raw.w = std::max(b.right - b.left + 1, 1);
    raw.h = std::max(b.bottom - b.top + 1, 1);
    raw.v.assign(static_cast<size_t>(raw.w) * raw.h, 0.f);
    for (int ty = 0; ty < raw.h; ty += kTile)
        for (int tx = 0; tx < raw.w; tx += kTile) {
            const int x0 = raw.x0 + tx, y0 = raw.y0 + ty;
            const int paper = paperAround(image, {x0 - kTile / 2, x0 + kTile * 3 / 2, y0 - kTile / 2, y0 + kTile * 3 / 2});
            for (int y = y0; y < std::min(y0 + kTile, raw.y0 + raw.h); ++y)
                for (int x = x0; x < std::min(x0 + kTile, raw.x0 + raw.w); ++x) {
                    if (x < 0 || y < 0 || x >= image.width || y >= image.height) continue;
                    raw.v[static_cast<size_t>(y - raw.y0) * raw.w + (x - raw.x0)] =
                        static_cast<float>(std::max(0, paper - 8 - image.at(x, y)));
                }
        }
    InkMap smooth = raw;
    for (int y = 0; y < raw.h; ++y)
        for (int x = 0; x < raw.w; ++x) {
            float sum = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) sum += raw.at(raw.x0 + x + dx, raw.y0 + y + dy);
            smooth.v[static_cast<size_t>(y) * raw.w + x] = sum / 9;
        }
    return smooth;
}

// The part of m inside box b.
InkMap crop(const InkMap& m, Box b) {
    InkMap c;
    c.x0 = b.left;
    c.y0 = b.top;
    c.w = std::max(b.right - b.left + 1, 1);
    c.h = std::max(b.bottom - b.top + 1, 1);
    c.v.resize(static_cast<size_t>(c.w) * c.h);
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x) c.v[static_cast<size_t>(y) * c.w + x] = m.at(c.x0 + x, c.y0 + y);
    return c;
}

// t resampled by sx across and sy along, bilinearly, its top-left corner kept at the origin.
InkMap scaled(const InkMap& t, double sx, double sy) {
    InkMap s;
    s.w = std::max(1, static_cast<int>(std::lround(t.w * sx)));
    s.h = std::max(1, static_cast<int>(std::lround(t.h * sy)));
    s.v.assign(static_cast<size_t>(s.w) * s.h, 0.f);
    for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x) {
            const double u = (x + 0.5) / sx - 0.5, v = (y + 0.5) / sy - 0.5;
            const int u0 = static_cast<int>(std::floor(u)), v0 = static_cast<int>(std::floor(v));
            const double fu = u - u0, fv = v - v0;
            auto at = [&t](int a, int b) { return t.at(t.x0 + a, t.y0 + b); };
            s.v[static_cast<size_t>(y) * s.w + x] = static_cast<float>(
                (at(u0, v0) * (1 - fu) + at(u0 + 1, v0) * fu) * (1 - fv) +
                (at(u0, v0 + 1) * (1 - fu) + at(u0 + 1, v0 + 1) * fu) * fv);
        }
    return s;
}

float peakOf(const InkMap& m) { return m.v.empty() ? 0.f : *std::max_element(m.v.begin(), m.v.end()); }

// Where a template matched best in the output, and what is there.
struct Match {
    double ncc = -1;
    int x = 0, y = 0;       // the template's top-left corner in the output
    const char* cut = nullptr;  // the end whose ink is mostly missing, if any
};

// The normalised correlation of template s with the output at top-left corner (x, y), and the
// output's ink under the template's ink.
Match scoreAt(const InkMap& s, const InkMap& out, int x, int y) {
    double sw = 0, sww = 0, ssw = 0, ss = 0, sss = 0;
    const double n = static_cast<double>(s.w) * s.h;
    for (int r = 0; r < s.h; ++r)
        for (int c = 0; c < s.w; ++c) {
            const double a = s.v[static_cast<size_t>(r) * s.w + c], b = out.at(x + c, y + r);
            ss += a;
            sss += a * a;
            sw += b;
            sww += b * b;
            ssw += a * b;
        }
    Match m;
    m.x = x;
    m.y = y;
    const double var = (sss - ss * ss / n) * (sww - sw * sw / n);
    m.ncc = var > 0 ? (ssw - ss * sw / n) / std::sqrt(var) : 0;
    return m;
}

// The best match of s with its top-left corner within rx across and ry along of (x, y): a
// coarse search by two pixels, then the pixels round its best.
Match search(const InkMap& s, const InkMap& out, int x, int y, int rx, int ry) {
    Match best;
    for (int dy = -ry; dy <= ry; dy += 2)
        for (int dx = -rx; dx <= rx; dx += 2) {
            const Match m = scoreAt(s, out, x + dx, y + dy);
            if (m.ncc > best.ncc) best = m;
        }
    const Match coarse = best;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            if (std::abs(coarse.x + dx - x) > rx || std::abs(coarse.y + dy - y) > ry) continue;
            const Match m = scoreAt(s, out, coarse.x + dx, coarse.y + dy);
            if (m.ncc > best.ncc) best = m;
        }
    return best;
}

// How much of a glyph's strokes the output holds at a match: the share of the template's stroke
// pixels (those inked to half its peak or more) that the output inks to half the same level, times
// gain, the output's ink for a unit of printed ink on the line. Cleaning thickens and darkens
// strokes, which changes their ink mass but not which strokes are there.
struct Coverage {
    double share = 0;
    const char* cut = nullptr;  // the end that lost its strokes' tips or half of the strokes of a
                                // quarter of their extent holding a tenth of them, if any
};

Coverage coverageAt(const InkMap& s, const InkMap& out, const Match& m, double gain) {
    const float peak = peakOf(s);
    Coverage result;
    int top = s.h, bottom = -1, left = s.w, right = -1;
    for (int r = 0; r < s.h; ++r)
        for (int c = 0; c < s.w; ++c)
            if (s.v[static_cast<size_t>(r) * s.w + c] >= 0.5f * peak) {
                top = std::min(top, r);
                bottom = std::max(bottom, r);
                left = std::min(left, c);
                right = std::max(right, c);
            }
    if (bottom < 0 || peak <= 0) return result;
    // The ends are a quarter of the strokes' extent at each side. A character may also lose no
    // more than the tips of its strokes at its top or bottom, where a line is cut: then the
    // output's ink along the strokes (two pixels round them, clear of the neighbours) stops short
    // of where the strokes end.
    const int rows = (bottom - top + 1) / 4, columns = (right - left + 1) / 4;
    const char* names[4] = {"top", "bottom", "right", "left"};
    int want[4] = {0, 0, 0, 0}, got[4] = {0, 0, 0, 0}, strokes = 0, covered = 0;
    int inkTop = s.h, inkBottom = -1, inkLeft = s.w, inkRight = -1;
    auto stroke = [&](int c, int r) { return c >= 0 && r >= 0 && c < s.w && r < s.h && s.v[static_cast<size_t>(r) * s.w + c] >= 0.5f * peak; };
    for (int r = top - 2; r <= bottom + 2; ++r)
        for (int c = left - 2; c <= right + 2; ++c) {
            if (out.at(m.x + c, m.y + r) < 0.5 * peak * gain) continue;
            bool along = false;
            for (int dy = -2; dy <= 2 && !along; ++dy)
                for (int dx = -2; dx <= 2 && !along; ++dx) along = stroke(c + dx, r + dy);
            if (!along) continue;
            inkTop = std::min(inkTop, r);
            inkBottom = std::max(inkBottom, r);
            inkLeft = std::min(inkLeft, c);
            inkRight = std::max(inkRight, c);
        }
    for (int r = top; r <= bottom; ++r)
        for (int c = left; c <= right; ++c) {
            if (!stroke(c, r)) continue;
            // A pixel's neighbours stand in for it: a match may be off by one.
            float near = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) near = std::max(near, out.at(m.x + c + dx, m.y + r + dy));
            const bool inked = near >= 0.5 * peak * gain;
            ++strokes;
            covered += inked;
            const bool ends[4] = {r < top + rows, r > bottom - rows, c > right - columns, c < left + columns};
            for (int e = 0; e < 4; ++e)
                if (ends[e]) {
                    ++want[e];
                    got[e] += inked;
                }
        }
    result.share = static_cast<double>(covered) / strokes;
    // Across the line a quarter that lost half its strokes is cut only where the ink along the
    // strokes also stops short on that side: a glyph thickened by cleaning and matched a pixel
    // or two aside misses strokes at one side without losing any.
    const double across = std::max(3.0, 0.1 * (right - left + 1));
    const bool shortAt[4] = {true, true, inkRight < right - across, inkLeft > left + across};
    for (int e = 0; e < 4; ++e)
        if (want[e] * 10 >= strokes && got[e] * 2 < want[e] && shortAt[e]) result.cut = names[e];
    if (covered == 0) return result;
    const double tip = std::max(3.0, 0.1 * (bottom - top + 1));
    if (inkTop > top + tip) result.cut = names[0];
    if (inkBottom < bottom - tip) result.cut = names[1];
    return result;
}

double lerp(double a, double b, double f) { return a + (b - a) * f; }

// The left and right edges of the truth's line box at row y.
void lineEdgesAt(const Quad& q, double y, double& left, double& right) {
    const double fl = (q.p[3].y - q.p[0].y) != 0 ? (y - q.p[0].y) / (q.p[3].y - q.p[0].y) : 0;
    const double fr = (q.p[2].y - q.p[1].y) != 0 ? (y - q.p[1].y) / (q.p[2].y - q.p[1].y) : 0;
    left = lerp(q.p[0].x, q.p[3].x, fl);
    right = lerp(q.p[1].x, q.p[2].x, fr);
}

// A glyph of the input: its ink, its middle and, once matched, its match.
struct Glyph {
    std::string text;
    InkMap ink;
    double cx = 0, cy = 0;  // middle of its box on the input
    double inkTop = 0, inkBottom = 0;
    Match match;
    double scaleX = 1, scaleY = 1;  // of its template when matched
    bool found = false;
};

Glyph glyphOf(const InkMap& in, const std::string& text, const Quad& q, int clipLeft) {
    Glyph g;
    g.text = text;
    Box b = boundsOf(q);
    b.left = std::max(b.left, clipLeft);
    g.ink = crop(in, b);
    g.cx = (q.p[0].x + q.p[1].x + q.p[2].x + q.p[3].x) / 4;
    g.cy = (q.p[0].y + q.p[1].y + q.p[2].y + q.p[3].y) / 4;
    const double peak = peakOf(g.ink);
    g.inkTop = b.bottom;
    g.inkBottom = b.top;
    for (int r = 0; r < g.ink.h; ++r)
        for (int c = 0; c < g.ink.w; ++c)
            if (g.ink.v[static_cast<size_t>(r) * g.ink.w + c] > 0.25 * peak) {
                g.inkTop = std::min(g.inkTop, static_cast<double>(b.top + r));
                g.inkBottom = std::max(g.inkBottom, static_cast<double>(b.top + r));
            }
    return g;
}

// The output's lines within the tier's reach, right to left: runs of inked columns at least
// 0.8 em wide, and narrower ones standing apart from those (a line of closing brackets); runs
// cut or dropped to make up the expected count where they plainly can be.
std::vector<Run> outputLines(const GreyImage& out, Box area, double em, size_t expected, Box& reach, std::string& dropped) {
    reach = {std::max(area.left - static_cast<int>(em), 0), std::min(area.right + static_cast<int>(em), out.width - 1),
             std::max(area.top - static_cast<int>(0.6 * em), 0), std::min(area.bottom + static_cast<int>(0.6 * em), out.height - 1)};
    std::vector<long long> columns(static_cast<size_t>(reach.right - reach.left + 1), 0);
    for (int y = reach.top; y <= reach.bottom; ++y)
        for (int x = reach.left; x <= reach.right; ++x) columns[static_cast<size_t>(x - reach.left)] += dark(out, x, y);
    std::vector<Run> lines = lineRuns(runsOf(columns, reach.left), em);
    // Ruby set close to the next line may touch it once cleaning has thickened the strokes: while
    // lines are missing, a run wider than a line and its ruby is cut at its palest column.
    while (lines.size() < expected) {
        const auto widest = std::max_element(lines.begin(), lines.end(), [](const Run& a, const Run& b) { return a.size() < b.size(); });
        if (widest == lines.end() || widest->size() < 1.8 * em) break;
        int cut = widest->first + static_cast<int>(0.8 * em);
        for (int x = cut; x <= widest->last - static_cast<int>(0.8 * em); ++x)
            if (columns[static_cast<size_t>(x - reach.left)] < columns[static_cast<size_t>(cut - reach.left)]) cut = x;
        Run right = *widest;
        right.first = cut + 1;
        widest->last = cut;
        lines.push_back(right);
    }
    // A run more than the truth's lines is ruby or specks standing apart: the runs with the least ink
    // go, and dropped says where they were.
    while (lines.size() > expected) {
        const auto palest = std::min_element(lines.begin(), lines.end(), [](const Run& a, const Run& b) { return a.ink < b.ink; });
        dropped += " " + std::to_string(palest->first) + "-" + std::to_string(palest->last);
        lines.erase(palest);
    }
    std::sort(lines.begin(), lines.end(), [](const Run& a, const Run& b) { return a.first > b.first; });
    return lines;
}

// Least-squares line through (x, y): y = a * x + b. False when fewer than three points.
bool fitLine(const std::vector<double>& xs, const std::vector<double>& ys, double& a, double& b) {
    if (xs.size() < 3) return false;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    const double n = static_cast<double>(xs.size());
    for (size_t i = 0; i < xs.size(); ++i) {
        sx += xs[i];
        sy += ys[i];
        sxx += xs[i] * xs[i];
        sxy += xs[i] * ys[i];
    }
    const double d = n * sxx - sx * sx;
    if (std::fabs(d) < 1e-9) return false;
    a = (n * sxy - sx * sy) / d;
    b = (sy - a * sx) / n;
    return true;
}

constexpr double kCharShape = 0.6;  // least correlation of a character found
constexpr double kRubyShape = 0.5;  // of a ruby kana kept: small, so fewer pixels agree
constexpr double kInkKept = 0.8;  // least share of a glyph's strokes the output must hold

}  // namespace

void matchTierGlyphs(const GreyImage& in, const GreyImage& out, const TierTruth& tier, double em,
                     int rubyGap, const std::string& where, GlyphTally& t) {
    ++t.tiers;
    int notes = 0;  // a few per tier: the first losses show what went wrong
    auto note = [&t, &where, &notes](const std::string& what) {
        if (notes++ < 30) t.losses.push_back(where + ": " + what);
    };
    int chars = 0, kana = 0;
    for (const LineTruth& line : tier.lines) {
        for (const CellTruth& c : line.cells) chars += c.kind != "blank";
        for (const RubyTruth& r : line.ruby) kana += static_cast<int>(r.text.size() / 3);
    }
    t.chars += chars;
    t.ruby += kana;
    t.rubyByGap[rubyGap].second += kana;

    Box reach;
    std::string dropped;
    const std::vector<Run> lines = outputLines(out, boundsOf(tier.box), em, tier.lines.size(), reach, dropped);
    if (!dropped.empty()) note("runs of ink dropped as not lines at the columns" + dropped);
    if (lines.size() != tier.lines.size()) {
        notes = 0;
        note(std::to_string(lines.size()) + " lines in the output, " + std::to_string(tier.lines.size()) +
             " in the truth: the tier's " + std::to_string(chars) + " characters and " + std::to_string(kana) +
             " ruby kana count as lost; the output's lines span the columns" + [&] {
                 std::string spans;
                 for (const Run& r : lines) spans += " " + std::to_string(r.first) + "-" + std::to_string(r.last);
                 return spans;
             }());
        return;
    }
    ++t.tiersRead;
    const InkMap outInk = inkMap(out, reach);
    const InkMap inInk = inkMap(in, reach);

    for (size_t k = 0; k < lines.size(); ++k) {
        const LineTruth& truthLine = tier.lines[k];
        std::vector<Glyph> glyphs;
        std::vector<int> cellOf;
        for (size_t c = 0; c < truthLine.cells.size(); ++c) {
            if (truthLine.cells[c].kind == "blank") continue;
            glyphs.push_back(glyphOf(inInk, truthLine.cells[c].text, truthLine.cells[c].box, -(1 << 30)));
            cellOf.push_back(static_cast<int>(c));
        }
        if (glyphs.empty()) continue;

        // The main text of the output line: its densest stretch one character wide over the rows
        // the line held on the input, and an em round them (a short line's run may take in the
        // ruby of the next line, set close beside it).
        const Run& run = lines[k];
        const int w = std::min(static_cast<int>(em), run.size());
        int mainLeft = run.first;
        double best = -1;
        double first = 1e18, last = -1e18;
        for (const Glyph& g : glyphs) {
            first = std::min(first, g.inkTop);
            last = std::max(last, g.inkBottom);
        }
        const int rowsFrom = std::max(reach.top, static_cast<int>(first - em));
        const int rowsTo = std::min(reach.bottom, static_cast<int>(last + em));
        for (int s = run.first; s + w - 1 <= run.last; ++s) {
            double sum = 0;
            for (int y = rowsFrom; y <= rowsTo; y += 2)
                for (int x = s; x < s + w; x += 2) sum += outInk.at(x, y);
            if (sum > best) {
                best = sum;
                mainLeft = s;
            }
        }
        double outMiddle = mainLeft + w / 2.0;
        // The line's map along, y_out = a * y_in + b: the scale and shift that best lay the
        // ink profile of the input line (within its truth box) over that of the output's main
        // text, in rows of four.
        auto inMiddleAt = [&](double y) {
            double l = 0, r = 0;
            lineEdgesAt(truthLine.box, y, l, r);
            return (l + r) / 2;
        };
        constexpr int kRows = 4;
        const int n = (reach.bottom - reach.top + 1) / kRows;
        std::vector<double> profileIn(static_cast<size_t>(n), 0.0), profileOut(static_cast<size_t>(n), 0.0);
        for (int y = reach.top; y < reach.top + n * kRows; ++y) {
            double l = 0, r = 0;
            lineEdgesAt(truthLine.box, y, l, r);
            for (int x = static_cast<int>(l) - 2; x <= static_cast<int>(r) + 2; ++x)
                profileIn[static_cast<size_t>((y - reach.top) / kRows)] += inInk.at(x, y);
            for (int x = mainLeft; x < mainLeft + w; ++x) profileOut[static_cast<size_t>((y - reach.top) / kRows)] += outInk.at(x, y);
        }
        double a = 1, b = 0, bestScore = -1;
        for (double scale = 0.8; scale <= 1.25; scale += 0.01) {
            std::vector<double> q(static_cast<size_t>(n), 0.0);
            double norm = 0;
            for (int i = 0; i < n; ++i) {
                const int j = static_cast<int>(std::lround(i / scale));
                if (j < n) q[static_cast<size_t>(i)] = profileIn[static_cast<size_t>(j)];
                norm += q[static_cast<size_t>(i)] * q[static_cast<size_t>(i)];
            }
            if (norm <= 0) continue;
            for (int d = -n / 3; d <= n / 3; ++d) {
                double sum = 0;
                for (int i = std::max(0, -d); i < std::min(n, n - d); ++i) sum += q[static_cast<size_t>(i)] * profileOut[static_cast<size_t>(i + d)];
                if (sum / std::sqrt(norm) > bestScore) {
                    bestScore = sum / std::sqrt(norm);
                    a = scale;
                    b = reach.top * (1 - scale) + d * kRows;
                }
            }
        }

        // Each character near where the line's map puts it: first in a wide search for the map,
        // then in a narrow one about the map fitted to the characters found.
        // Across, the line may be narrowed or widened to its group's width: sx, found once the
        // characters are roughly placed.
        double sx = 1;
        auto matchGlyph = [&](Glyph& g, int rx, int ry, double ex, double ey) {
            // A scale within 2 % of one is the fit's noise; resampling would only blur thin strokes.
            g.scaleX = std::fabs(sx - 1) < 0.02 ? 1.0 : sx;
            g.scaleY = std::fabs(a - 1) < 0.02 ? 1.0 : a;
            const InkMap s = scaled(g.ink, g.scaleX, g.scaleY);
            g.match = search(s, outInk, static_cast<int>(std::lround(ex - s.w / 2.0)),
                             static_cast<int>(std::lround(ey - s.h / 2.0)), rx, ry);
        };
        auto expected = [&](const Glyph& g, double& ex, double& ey) {
            ey = a * g.cy + b;
            ex = outMiddle + sx * (g.cx - inMiddleAt(g.cy));
        };
        // Where a matched glyph's point (x, y) of the input lies on the output.
        auto placeX = [](const Glyph& g, double x) { return g.match.x + (x - g.ink.x0) * g.scaleX; };
        auto placeY = [](const Glyph& g, double y) { return g.match.y + (y - g.ink.y0) * g.scaleY; };
        for (int pass = 0; pass < 2; ++pass) {
            for (Glyph& g : glyphs) {
                double ex = 0, ey = 0;
                expected(g, ex, ey);
                const int ry = static_cast<int>((pass == 0 ? 0.8 : 0.25) * em * a);
                const int rx = static_cast<int>((pass == 0 ? 0.35 : 0.2) * em);
                matchGlyph(g, rx, ry, ex, ey);
            }
            if (pass == 0) {
                // The scale across that the roughly placed characters agree with best.
                std::vector<const Glyph*> placed;
                for (const Glyph& g : glyphs)
                    if (g.match.ncc >= 0.5) placed.push_back(&g);
                std::sort(placed.begin(), placed.end(), [](const Glyph* p, const Glyph* q) { return p->match.ncc > q->match.ncc; });
                placed.resize(std::min<size_t>(placed.size(), 12));
                double bestAgreement = -1, bestScale = 1;
                for (double c = 0.7; c <= 1.201; c += 0.05) {
                    double agreement = 0;
                    for (const Glyph* g : placed) {
                        const InkMap s = scaled(g->ink, c, g->scaleY);
                        const double mx = placeX(*g, g->ink.x0 + g->ink.w / 2.0), my = placeY(*g, g->ink.y0 + g->ink.h / 2.0);
                        agreement += search(s, outInk, static_cast<int>(std::lround(mx - s.w / 2.0)),
                                            static_cast<int>(std::lround(my - s.h / 2.0)), 3, 3).ncc;
                    }
                    if (agreement > bestAgreement) {
                        bestAgreement = agreement;
                        bestScale = c;
                    }
                }
                sx = std::fabs(bestScale - 1) < 0.05 ? 1.0 : bestScale;
            }
            std::vector<double> ins, outs, middles;
            for (const Glyph& g : glyphs) {
                if (g.match.ncc < 0.7) continue;
                ins.push_back(g.cy);
                outs.push_back(placeY(g, g.cy));
                middles.push_back(placeX(g, g.cx) - g.scaleX * (g.cx - inMiddleAt(g.cy)));
            }
            double fa = 0, fb = 0;
            if (fitLine(ins, outs, fa, fb) && fa > 0.7 && fa < 1.4) {
                a = fa;
                b = fb;
            }
            if (!middles.empty()) outMiddle = median(middles);
        }

        // The output's ink for a unit of printed ink on this line: the darkest of its characters
        // as written against as printed.
        std::vector<double> gains;
        for (const Glyph& g : glyphs) {
            const double printed = peakOf(g.ink);
            if (g.match.ncc < kCharShape || printed <= 0) continue;
            const InkMap s = scaled(g.ink, g.scaleX, g.scaleY);
            float written = 0;
            for (int r = 0; r < s.h; ++r)
                for (int c = 0; c < s.w; ++c) written = std::max(written, outInk.at(g.match.x + c, g.match.y + r));
            gains.push_back(written / printed);
        }
        const double gain = gains.empty() ? 1.0 : std::min(median(gains), 1.0 / 0.5);
        for (size_t i = 0; i < glyphs.size(); ++i) {
            Glyph& g = glyphs[i];
            const Coverage kept = coverageAt(scaled(g.ink, g.scaleX, g.scaleY), outInk, g.match, gain);
            g.found = g.match.ncc >= kCharShape && kept.share >= kInkKept && !kept.cut;
            t.charsFound += g.found;
            t.charsCut += kept.cut != nullptr && g.match.ncc >= 0.3;
            if (!g.found) {
                char text[200];
                std::snprintf(text, sizeof text, "line %zu cell %d %s: shape %.2f, strokes %.0f%%%s%s, at (%d, %d) in the output",
                              k, cellOf[i], g.text.c_str(), g.match.ncc, 100 * kept.share, kept.cut ? ", cut at the " : "",
                              kept.cut ? kept.cut : "", g.match.x, g.match.y);
                note(text);
            }
        }

        // Each ruby kana beside its base character's new place: the character nearest to it
        // along the line.
        for (const RubyTruth& ruby : truthLine.ruby) {
            const int n = static_cast<int>(ruby.text.size() / 3);
            const Quad& q = ruby.box;
            for (int j = 0; j < n; ++j) {
                const double f0 = static_cast<double>(j) / n, f1 = static_cast<double>(j + 1) / n;
                Quad kq;
                kq.p[0] = {lerp(q.p[0].x, q.p[3].x, f0), lerp(q.p[0].y, q.p[3].y, f0)};
                kq.p[1] = {lerp(q.p[1].x, q.p[2].x, f0), lerp(q.p[1].y, q.p[2].y, f0)};
                kq.p[2] = {lerp(q.p[1].x, q.p[2].x, f1), lerp(q.p[1].y, q.p[2].y, f1)};
                kq.p[3] = {lerp(q.p[0].x, q.p[3].x, f1), lerp(q.p[0].y, q.p[3].y, f1)};
                const double cy = (kq.p[0].y + kq.p[2].y) / 2;
                double l = 0, r = 0;
                lineEdgesAt(truthLine.box, cy, l, r);
                Glyph g = glyphOf(inInk, ruby.text.substr(static_cast<size_t>(3 * j), 3), kq, static_cast<int>(std::ceil(r)));
                const Glyph* base = &glyphs.front();
                for (const Glyph& c : glyphs)
                    if (std::fabs(c.cy - g.cy) < std::fabs(base->cy - g.cy)) base = &c;
                double ex = 0, ey = 0;
                if (base->found) {
                    ex = placeX(*base, base->cx) + sx * (g.cx - base->cx);
                    ey = placeY(*base, base->cy) + a * (g.cy - base->cy);
                } else {
                    expected(g, ex, ey);
                }
                // The template's middle, not its box's: the box was clipped at the line's edge.
                ex += sx * ((g.ink.x0 + g.ink.w / 2.0) - g.cx);
                ey += a * ((g.ink.y0 + g.ink.h / 2.0) - g.cy);
                constexpr int kBeside = 4;  // pixels the ruby may move across from its place beside its base
                matchGlyph(g, kBeside + 2, static_cast<int>(0.2 * em), ex, ey);
                const InkMap s = scaled(g.ink, g.scaleX, g.scaleY);
                const double keptInk = coverageAt(s, outInk, g.match, gain).share;
                const int across = g.match.x - static_cast<int>(std::lround(ex - s.w / 2.0));
                const bool keptHere = g.match.ncc >= kRubyShape && keptInk >= kInkKept &&
                                      std::abs(across) <= kBeside;
                t.rubyKept += keptHere;
                t.rubyByGap[rubyGap].first += keptHere;
                if (!keptHere) {
                    char text[240];
                    std::snprintf(text, sizeof text,
                                  "line %zu ruby %s kana %d %s by cell %d: shape %.2f, strokes %.0f%%, %d px across from its place, at (%d, %d) in the output",
                                  k, ruby.text.c_str(), j, g.text.c_str(), cellOf[static_cast<size_t>(base - glyphs.data())],
                                  g.match.ncc, 100 * keptInk, across, g.match.x, g.match.y);
                    note(text);
                }
            }
        }
    }
}

std::string describeSheet(const SynthOptions& o) {
    char text[200];
    std::snprintf(text, sizeof text, "seed %llu, %d tier(s), %.1f degrees, shear %.3f, ruby gap %d, %d over %d",
                  static_cast<unsigned long long>(o.seed), o.tiers, o.rotateDegrees, o.shear, o.rubyGapPx,
                  o.rubyLength, o.rubyBase);
    return text;
}

bool matchSheetGlyphs(const SynthOptions& o, const SheetTruth& truth, const GreyImage& written, GlyphTally& t,
                      std::string& error) {
    SynthOptions clean = o;
    clean.speckles = 0;
    GreyImage printed;
    SheetTruth same;
    if (!synthesizeSheet(clean, printed, same, error)) return false;
    if (written.width != printed.width || written.height != printed.height) {
        error = describeSheet(o) + ": written at another size";
        return false;
    }
    for (size_t p = 0; p < truth.pages.size(); ++p)
        for (size_t k = 0; k < truth.pages[p].tiers.size(); ++k)
            matchTierGlyphs(printed, written, truth.pages[p].tiers[k], truth.charPitch, o.rubyGapPx,
                            describeSheet(o) + ", tier " + std::to_string(k), t);
    return true;
}

void printGlyphTally(const char* title, const GlyphTally& t) {
    auto percent = [](int a, int b) { return b > 0 ? 100.0 * a / b : 100.0; };
    std::printf("%s: %d tiers (%d read); characters found %d of %d (%.2f %%), cut %d; ruby kana kept %d of %d (%.2f %%)",
                title, t.tiers, t.tiersRead, t.charsFound, t.chars, percent(t.charsFound, t.chars), t.charsCut,
                t.rubyKept, t.ruby, percent(t.rubyKept, t.ruby));
    for (const auto& [gap, counts] : t.rubyByGap)
        if (counts.second > 0)
            std::printf("; gap %d px: %d of %d (%.1f %%)", gap, counts.first, counts.second, percent(counts.first, counts.second));
    std::printf("\n");
    for (const std::string& loss : t.losses) std::printf("  lost: %s\n", loss.c_str());
}
