// The re-laid-out sheet, judged on the written image alone: generated pages go through the whole
// pipeline, and a plain projection pass over the output finds the text lines and their
// characters again. The truth says how many lines and characters there are and in which cell
// each character stands; nothing of the engine's own analysis is used.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

#include "pipeline/image_io.h"
#include "pipeline/layo.h"
#include "sheet_synth.h"
#include "test_support.h"

namespace {

bool dark(const GreyImage& image, int x, int y) { return image.at(x, y) < 128; }

// A run of consecutive inked positions of a projection.
struct Run {
    int first = 0, last = 0;
    long long ink = 0;
    int size() const { return last - first + 1; }
};

std::vector<Run> runsOf(const std::vector<long long>& profile, int offset) {
    std::vector<Run> runs;
    for (int i = 0; i < static_cast<int>(profile.size()); ++i) {
        if (profile[static_cast<size_t>(i)] == 0) continue;
        if (runs.empty() || runs.back().last != offset + i - 1) runs.push_back({offset + i, offset + i, 0});
        runs.back().last = offset + i;
        runs.back().ink += profile[static_cast<size_t>(i)];
    }
    return runs;
}

template <class T>
T median(std::vector<T> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Box {
    int left = 0, right = 0, top = 0, bottom = 0;
};

Box boundsOf(const Quad& q) {
    Box b{1 << 30, -(1 << 30), 1 << 30, -(1 << 30)};
    for (const Point& p : q.p) {
        b.left = std::min(b.left, static_cast<int>(std::floor(p.x)));
        b.right = std::max(b.right, static_cast<int>(std::ceil(p.x)));
        b.top = std::min(b.top, static_cast<int>(std::floor(p.y)));
        b.bottom = std::max(b.bottom, static_cast<int>(std::ceil(p.y)));
    }
    return b;
}

// A character of the truth with where it stands.
struct TrueChar {
    int cell = 0;  // index among the line's cells, blanks counted
    bool kanji = false;
    double inkBefore = 0;
    double offset = 0;  // its ink's mean row below the middle of its cell, on the input
};

// The ink of a box and its mean row.
struct Ink {
    long long count = 0;  // dark pixels
    double mass = 0;      // darkness below the paper's grey, summed: resampling keeps it
    double meanY = 0;
};

// paper is the grey of blank paper on that image.
Ink inkOf(const GreyImage& image, Box b, int paper) {
    Ink ink;
    double sum = 0;
    for (int y = std::max(b.top, 0); y <= std::min(b.bottom, image.height - 1); ++y)
        for (int x = std::max(b.left, 0); x <= std::min(b.right, image.width - 1); ++x) {
            ink.mass += std::max(0, paper - 8 - image.at(x, y));
            if (dark(image, x, y)) {
                ++ink.count;
                sum += y;
            }
        }
    ink.meanY = ink.count > 0 ? sum / ink.count : (b.top + b.bottom) / 2.0;
    return ink;
}

// The most common grey of the image: its paper.
int paperOf(const GreyImage& image) {
    std::vector<long long> histogram(256, 0);
    for (int y = 0; y < image.height; y += 4)
        for (int x = 0; x < image.width; x += 4) ++histogram[image.at(x, y)];
    return static_cast<int>(std::max_element(histogram.begin(), histogram.end()) - histogram.begin());
}

double middleY(const Quad& q) { return (q.p[0].y + q.p[1].y + q.p[2].y + q.p[3].y) / 4; }

// Generates a sheet, runs it through the whole pipeline and reads back what was written.
void relayout(const SynthOptions& o, const TempDir& dir, GreyImage& sheet, SheetTruth& truth, GreyImage& written) {
    std::string error;
    ASSERT_TRUE(synthesizeSheet(o, sheet, truth, error)) << error;
    const std::string in = dir / "sheet.png", out = dir / "sheet-out.png";
    ASSERT_EQ(saveGreyImage(in.c_str(), sheet), 0);
    {
        TraceCapture quiet;
        ASSERT_EQ(runLayo(in.c_str(), out.c_str(), LayoOptions(), defaultLayoStages()), 0);
    }
    ASSERT_EQ(loadGreyImage((dir / "sheet-out-tovel.png").c_str(), written), 0);
}

bool isKanji(const std::string& utf8) {
    if (utf8.size() != 3) return false;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const unsigned code = ((s[0] & 0x0Fu) << 12) | ((s[1] & 0x3Fu) << 6) | (s[2] & 0x3Fu);
    return code >= 0x4E00 && code <= 0x9FFF;
}

// What the checks found over all sheets.
struct Tally {
    int tiers = 0, tiersRead = 0, lines = 0, linesRead = 0, kanji = 0, aligned = 0;
    int inked = 0, inkKept = 0, upright = 0, uprightChecked = 0, widthGroups = 0, widthGroupsEqual = 0;
};

// Finds the tier's lines and characters in the output and scores them against the truth.
void checkTier(const GreyImage& out, const GreyImage& in, const TierTruth& tier, double em, Tally& t) {
    ++t.tiers;
    const int inPaper = paperOf(in), outPaper = paperOf(out);
    const Box area = boundsOf(tier.box);
    const int margin = static_cast<int>(0.6 * em);
    const int top = std::max(area.top - margin, 0), bottom = std::min(area.bottom + margin, out.height - 1);
    const int left = std::max(area.left - static_cast<int>(em), 0);
    const int right = std::min(area.right + static_cast<int>(em), out.width - 1);

    std::vector<long long> columns(static_cast<size_t>(right - left + 1), 0);
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) columns[static_cast<size_t>(x - left)] += dark(out, x, y);
    std::vector<Run> lines;
    for (const Run& r : runsOf(columns, left))
        if (r.size() >= 0.8 * em) lines.push_back(r);  // ruby (half size) and specks are narrower
    std::sort(lines.begin(), lines.end(), [](const Run& a, const Run& b) { return a.first > b.first; });
    t.lines += static_cast<int>(tier.lines.size());
    if (lines.size() != tier.lines.size()) {
        std::printf("  tier at y %d: %zu lines in the output, %zu in the truth\n", area.top, lines.size(),
                    tier.lines.size());
        return;
    }
    ++t.tiersRead;

    // Each line's characters as the truth has them and its pieces of ink as the output has them.
    struct LineData {
        std::vector<TrueChar> chars;
        std::vector<Ink> pieces;
        int x0 = 0, x1 = 0;
        int firstRow = 0, lastRow = 0;
    };
    std::vector<LineData> data(lines.size());
    std::vector<int> widths;
    for (size_t k = 0; k < lines.size(); ++k) {
        LineData& d = data[k];
        const LineTruth& truthLine = tier.lines[k];
        for (size_t c = 0; c < truthLine.cells.size(); ++c) {
            const CellTruth& cell = truthLine.cells[c];
            if (cell.kind == "blank") continue;
            const Ink ink = inkOf(in, boundsOf(cell.box), inPaper);
            d.chars.push_back({static_cast<int>(c), cell.kind == "char" && isKanji(cell.text), ink.mass,
                               ink.meanY - middleY(cell.box)});
        }
        // The main text only: the densest stretch of the run as wide as a character. Ruby, set
        // at half size beside a line, may touch the line on either side in the projection.
        const int w = std::min(static_cast<int>(0.95 * em), lines[k].size());
        d.x0 = lines[k].first;
        long long best = -1;
        for (int s = lines[k].first; s + w - 1 <= lines[k].last; ++s) {
            long long sum = 0;
            for (int x = s; x < s + w; ++x) sum += columns[static_cast<size_t>(x - left)];
            if (sum > best) {
                best = sum;
                d.x0 = s;
            }
        }
        d.x1 = d.x0 + w - 1;
        std::vector<long long> rowsInk(static_cast<size_t>(bottom - top + 1), 0);
        for (int y = top; y <= bottom; ++y)
            for (int x = d.x0; x <= d.x1; ++x) rowsInk[static_cast<size_t>(y - top)] += dark(out, x, y);
        std::vector<Run> pieces = runsOf(rowsInk, top);
        // Specks of dust left on the page are not characters: far less ink than any mark.
        std::vector<long long> inks;
        for (const Run& p : pieces) inks.push_back(p.ink);
        const long long typicalPiece = inks.empty() ? 0 : median(inks);
        std::erase_if(pieces, [&](const Run& p) { return p.ink < 0.06 * typicalPiece; });
        // Strokes of one character cut apart by a blank row join first: the pair whose union
        // is lowest.
        while (pieces.size() > d.chars.size() && pieces.size() >= 2) {
            size_t join = 0;
            for (size_t i = 1; i + 1 < pieces.size(); ++i)
                if (pieces[i + 1].last - pieces[i].first < pieces[join + 1].last - pieces[join].first) join = i;
            pieces[join].last = pieces[join + 1].last;
            pieces.erase(pieces.begin() + static_cast<long>(join) + 1);
        }
        if (pieces.empty()) continue;
        ++t.linesRead;
        d.firstRow = pieces.front().first;
        d.lastRow = pieces.back().last;
        for (const Run& p : pieces) d.pieces.push_back(inkOf(out, {d.x0, d.x1, p.first, p.last}, outPaper));

        // The ink across the line, row by row: its count at each column and its mean column.
        auto across = [&](int y0, int y1, std::vector<long long>& counts) {
            counts.assign(static_cast<size_t>(d.x1 - d.x0 + 1), 0);
            double sum = 0;
            long long n = 0;
            for (int y = y0; y <= y1; ++y)
                for (int x = d.x0; x <= d.x1; ++x)
                    if (dark(out, x, y)) {
                        ++counts[static_cast<size_t>(x - d.x0)];
                        sum += x;
                        ++n;
                    }
            return n > 0 ? sum / n : 0.0;
        };
        std::vector<long long> counts;

        // Upright: the mean ink column of the top half and of the bottom half of the line.
        const int span = d.lastRow - d.firstRow;
        if (span > 300) {
            const int middle = (d.firstRow + d.lastRow) / 2;
            const double a = across(d.firstRow, middle, counts), b = across(middle + 1, d.lastRow, counts);
            ++t.uprightChecked;
            const bool ok = std::fabs(a - b) <= span / 2 / 1000.0 + 2.0;
            t.upright += ok;
            if (!ok) std::printf("  line %zu leans: mean ink column %.1f in the top half, %.1f in the bottom\n", k, a, b);
        }

        // The line's width: where the middle 96 % of its ink lies across it.
        if (d.chars.size() >= 10) {
            across(d.firstRow, d.lastRow, counts);
            const long long total = std::accumulate(counts.begin(), counts.end(), 0LL);
            long long seen = 0;
            int lo = -1, hi = -1;
            for (size_t x = 0; x < counts.size(); ++x) {
                seen += counts[x];
                if (lo < 0 && seen * 50 >= total) lo = static_cast<int>(x);
                if (hi < 0 && seen * 50 >= total * 49) hi = static_cast<int>(x);
            }
            widths.push_back(hi - lo + 1);
        }
    }
    if (!widths.empty()) {
        ++t.widthGroups;
        const auto [lo, hi] = std::minmax_element(widths.begin(), widths.end());
        t.widthGroupsEqual += *hi - *lo <= 4;
        if (*hi - *lo > 4) std::printf("  line widths from %d to %d\n", *lo, *hi);
    }

    // The tier's character grid as written: the pitch and the row of cell 0, from the lines
    // whose pieces are one per character.
    std::vector<double> pitches, origins;
    for (const LineData& d : data) {
        if (d.pieces.size() != d.chars.size() || d.chars.size() < 2) continue;
        const TrueChar& f = d.chars.front();
        const TrueChar& l = d.chars.back();
        if (l.cell > f.cell) pitches.push_back(((d.pieces.back().meanY - l.offset) - (d.pieces.front().meanY - f.offset)) / (l.cell - f.cell));
    }
    if (pitches.empty()) return;
    const double pitch = median(pitches);
    for (const LineData& d : data) {
        if (d.pieces.size() != d.chars.size() || d.chars.empty()) continue;
        origins.push_back(d.pieces.front().meanY - d.chars.front().offset - d.chars.front().cell * pitch);
    }
    const double origin = median(origins);

    // Every character looked up where the grid puts it: the piece nearest to that row must lie
    // within a tenth of the pitch and hold about the character's ink.
    for (size_t k = 0; k < data.size(); ++k) {
        const LineData& d = data[k];
        if (d.pieces.empty()) continue;
        auto expectedRow = [&](size_t i) { return origin + d.chars[i].cell * pitch + d.chars[i].offset; };
        auto nearestPiece = [&](size_t i) {
            size_t nearest = 0;
            for (size_t j = 1; j < d.pieces.size(); ++j)
                if (std::fabs(d.pieces[j].meanY - expectedRow(i)) < std::fabs(d.pieces[nearest].meanY - expectedRow(i)))
                    nearest = j;
            return nearest;
        };
        std::vector<std::pair<size_t, size_t>> matches;  // (char, piece), for the ink
        const bool onePiecePerChar = d.pieces.size() == d.chars.size();
        for (size_t i = 0; i < d.chars.size(); ++i) {
            // One piece per character: they pair in order, wherever the grid put them.
            if (onePiecePerChar) {
                matches.push_back({i, i});
                continue;
            }
            const size_t nearest = nearestPiece(i);
            if (std::fabs(d.pieces[nearest].meanY - expectedRow(i)) <= 0.35 * pitch) matches.push_back({i, nearest});
        }
        std::vector<double> before;
        for (const TrueChar& c : d.chars) before.push_back(c.inkBefore);
        const double typicalInk = median(before);
        std::vector<double> ratios;
        for (auto [i, j] : matches)
            if (d.chars[i].inkBefore >= 0.3 * typicalInk && d.chars[i].inkBefore > 0)
                ratios.push_back(d.pieces[j].mass / d.chars[i].inkBefore);
        const double typicalRatio = ratios.empty() ? 1.0 : median(ratios);
        auto inkKept = [&](size_t i, size_t j) {
            return std::fabs(d.pieces[j].mass / d.chars[i].inkBefore / typicalRatio - 1.0) <= 0.15;
        };
        for (size_t i = 0; i < d.chars.size(); ++i) {
            const TrueChar& c = d.chars[i];
            const auto m = std::find_if(matches.begin(), matches.end(), [i](auto p) { return p.first == i; });
            if (c.inkBefore >= 0.3 * typicalInk && c.inkBefore > 0) {
                ++t.inked;
                t.inkKept += m != matches.end() && inkKept(i, m->second);
            }
            if (!c.kanji) continue;
            ++t.kanji;
            // Alignment is judged on the piece nearest to the grid row, not on the pairing in
            // order: two characters merged in one piece and one split in two elsewhere keep the
            // counts equal but shift the pairing between them by a cell.
            const size_t j = nearestPiece(i);
            t.aligned += std::fabs(d.pieces[j].meanY - expectedRow(i)) <= 0.1 * pitch && inkKept(i, j);
        }
    }
}

}  // namespace

TEST(RelayoutOnSheets, LinesOfAGroupShareWidthAndCharacterGridAndStayWhole) {
    TempDir dir;
    const int n = envCount("TOVEL_RELAYOUT_SHEETS", 4);
    Tally t;
    for (int i = 0; i < n; ++i) {
        SynthOptions o;
        o.seed = 9000 + static_cast<uint64_t>(i);
        ASSERT_TRUE(applyPreset(i % 2 ? "two-tier" : "novel-page", o));
        GreyImage sheet, written;
        SheetTruth truth;
        ASSERT_NO_FATAL_FAILURE(relayout(o, dir, sheet, truth, written));
        ASSERT_EQ(written.width, sheet.width);
        ASSERT_EQ(written.height, sheet.height);
        std::printf("seed %llu (%s, %.2f degrees):\n", static_cast<unsigned long long>(o.seed),
                    i % 2 ? "two tiers" : "one tier", o.rotateDegrees);
        for (const PageTruth& page : truth.pages)
            for (const TierTruth& tier : page.tiers) checkTier(written, sheet, tier, truth.charPitch, t);
    }
    std::printf("%d tiers (%d read), %d lines (%d read); kanji on their group's row: %d of %d; "
                "characters keeping their ink within 15%%: %d of %d; upright lines: %d of %d; "
                "tiers with equal line widths: %d of %d\n",
                t.tiers, t.tiersRead, t.lines, t.linesRead, t.aligned, t.kanji, t.inkKept, t.inked, t.upright,
                t.uprightChecked, t.widthGroupsEqual, t.widthGroups);
    // What the re-layout reaches today on these sheets, as floors against regressions: most
    // characters keep their ink and most lines stand upright, but a line whose blank cells or
    // characters were counted one off is stretched or shifted by a cell and its characters
    // leave the group's rows (see the README).
    EXPECT_GE(t.tiersRead * 2, t.tiers);
    EXPECT_GE(t.aligned * 100, t.kanji * 72);
    EXPECT_GE(t.inkKept * 100, t.inked * 75);
    EXPECT_GE(t.upright * 100, t.uprightChecked * 80);
    EXPECT_GE(t.widthGroupsEqual * 100, t.widthGroups * 60);
}

namespace {

// The sheet as written, shrunk by 8 in both directions (block means), for comparing layouts.
std::vector<double> thumbnail(const GreyImage& image) {
    const int w = image.width / 8, h = image.height / 8;
    std::vector<double> t(static_cast<size_t>(w) * h, 0.0);
    for (int y = 0; y < h * 8; ++y)
        for (int x = 0; x < w * 8; ++x) t[static_cast<size_t>(y / 8) * w + x / 8] += image.at(x, y) / 64.0;
    return t;
}

// Mean absolute difference of two thumbnails of one size, the second read upside down when
// flipped is set.
double difference(const std::vector<double>& a, const std::vector<double>& b, bool flipped) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::fabs(a[i] - b[flipped ? b.size() - 1 - i : i]);
    return sum / static_cast<double>(a.size());
}

}  // namespace

TEST(RelayoutOnSheets, SheetsScannedTurnedComeOutUpright) {
    TempDir dir;
    std::vector<double> reference;
    GreyImage upright;
    for (int turn : {0, 90, 180, 270}) {
        SCOPED_TRACE(turn);
        SynthOptions o;
        o.seed = 9100;
        ASSERT_TRUE(applyPreset("novel-page", o));
        o.turn = turn;
        GreyImage sheet, written;
        SheetTruth truth;
        ASSERT_NO_FATAL_FAILURE(relayout(o, dir, sheet, truth, written));
        const std::vector<double> t = thumbnail(written);
        if (turn == 0) {
            upright = written;
            reference = t;
            continue;
        }
        ASSERT_EQ(written.width, upright.width);
        ASSERT_EQ(written.height, upright.height);
        const double same = difference(reference, t, false), flipped = difference(reference, t, true);
        EXPECT_LT(same, flipped) << "turned " << turn << " comes out upside down";
    }
}
