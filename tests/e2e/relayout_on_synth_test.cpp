// The re-laid-out sheet, judged on the written image alone: generated pages go through the whole
// pipeline, and a plain projection pass over the output finds the text lines and their
// characters again. The truth says how many lines and characters there are and in which cell
// each character stands; nothing of the engine's own analysis is used.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "pipeline/image_io.h"
#include "pipeline/layo.h"
#include "sheet_ink.h"
#include "sheet_run.h"
#include "sheet_synth.h"
#include "test_support.h"

namespace {

// A character of the truth with where it stands.
struct TrueChar {
    int cell = 0;  // index among the line's cells, blanks counted
    bool kanji = false;
    double inkBefore = 0;
    double offset = 0;   // its ink's mean row below the middle of its cell, on the input
    double offsetX = 0;  // its ink's mean column right of the middle of its cell, on the input
    double spreadX = 0;  // its ink's mean squared distance across from the middle of its cell
};

double middleY(const Quad& q) { return (q.p[0].y + q.p[1].y + q.p[2].y + q.p[3].y) / 4; }

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
    const Box area = boundsOf(tier.box);
    const int margin = static_cast<int>(0.6 * em);
    const int top = std::max(area.top - margin, 0), bottom = std::min(area.bottom + margin, out.height - 1);
    const int left = std::max(area.left - static_cast<int>(em), 0);
    const int right = std::min(area.right + static_cast<int>(em), out.width - 1);

    std::vector<long long> columns(static_cast<size_t>(right - left + 1), 0);
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) columns[static_cast<size_t>(x - left)] += dark(out, x, y);
    std::vector<Run> lines = lineRuns(runsOf(columns, left), em);
    std::sort(lines.begin(), lines.end(), [](const Run& a, const Run& b) { return a.first > b.first; });
    t.lines += static_cast<int>(tier.lines.size());
    if (lines.size() != tier.lines.size()) {
        std::printf("  tier at y %d: %zu lines in the output, %zu in the truth\n", area.top, lines.size(),
                    tier.lines.size());
        for (const Run& r : lines) std::printf(" %d-%d", r.first, r.last);
        std::printf("\n");
        return;
    }
    ++t.tiersRead;

    // Each line's characters as the truth has them and its pieces of ink as the output has them.
    struct LineData {
        std::vector<TrueChar> chars;
        std::vector<Ink> pieces;
        int x0 = 0, x1 = 0;  // the main text across, without ruby
    };
    std::vector<LineData> data(lines.size());
    for (size_t k = 0; k < lines.size(); ++k) {
        LineData& d = data[k];
        const LineTruth& truthLine = tier.lines[k];
        for (size_t c = 0; c < truthLine.cells.size(); ++c) {
            const CellTruth& cell = truthLine.cells[c];
            if (cell.kind == "blank") continue;
            const Box b = boundsOf(cell.box);
            const Ink ink = inkOf(in, b, paperAround(in, b));
            const double middleX = (b.left + b.right) / 2.0;
            d.chars.push_back({static_cast<int>(c), cell.kind == "char" && isKanji(cell.text), ink.mass,
                               ink.meanY - middleY(cell.box), ink.meanX - middleX,
                               ink.squareX - 2 * middleX * ink.meanX + middleX * middleX});
        }
        // The main text only: the densest stretch of the run as wide as a character, and two
        // pixels either side for the pale edges of the strokes. Ruby, set at half size beside a line, may touch the line in the projection.
        const int w = std::min(static_cast<int>(em), lines[k].size());
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
        // The margins stop at a column without ink: ruby set close to its line starts there.
        const int centre = d.x0 + w / 2;
        d.x1 = std::min(d.x0 + w + 1, right);
        d.x0 = std::max(d.x0 - 2, left);
        for (int x = centre; x <= d.x1; ++x)
            if (columns[static_cast<size_t>(x - left)] == 0) d.x1 = x;
        for (int x = centre; x >= d.x0; --x)
            if (columns[static_cast<size_t>(x - left)] == 0) d.x0 = x;
        std::vector<long long> rowsInk(static_cast<size_t>(bottom - top + 1), 0);
        for (int y = top; y <= bottom; ++y)
            for (int x = d.x0; x <= d.x1; ++x) rowsInk[static_cast<size_t>(y - top)] += dark(out, x, y);
        std::vector<Run> pieces = runsOf(rowsInk, top);
        // Specks of dust left on the page are not characters: far less ink than any mark.
        std::vector<long long> inks;
        for (const Run& p : pieces) inks.push_back(p.ink);
        const long long typicalPiece = inks.empty() ? 0 : median(inks);
        std::erase_if(pieces, [&](const Run& p) { return p.ink < 0.06 * typicalPiece; });
        // Larger specks stand alone beyond the ends of the text; a stop or a comma follows its
        // character closely, and never with a blank cell and more between it and the nearest
        // character (a few specks may lie beyond the text together).
        auto small = [&](const Run& p) { return p.size() < 0.25 * em && p.ink < 0.25 * typicalPiece; };
        auto stray = [&](size_t i, size_t next) {
            const Run& p = pieces[i];
            if (p.size() >= 0.25 * em) return false;
            if (p.ink < 0.1 * typicalPiece && std::abs(pieces[next].first - p.first) > 0.3 * em + p.size()) return true;
            if (!small(p)) return false;
            for (size_t j = next; j < pieces.size(); j = next > i ? j + 1 : j - 1) {
                if (small(pieces[j])) continue;
                return std::max(pieces[j].first - p.last, p.first - pieces[j].last) > 1.5 * em;
            }
            return false;
        };
        while (pieces.size() >= 2 && stray(0, 1)) pieces.erase(pieces.begin());
        while (pieces.size() >= 2 && stray(pieces.size() - 1, pieces.size() - 2)) pieces.pop_back();
        // Characters set close together may touch once their strokes are thickened by the
        // cleaning: a piece taller than one and a half characters is cut at its palest row
        // within its middle half, whatever the count of pieces (a character cut apart elsewhere
        // may make up the count, and the two touching ones would then share one row).
        for (;;) {
            const auto tallest = std::max_element(pieces.begin(), pieces.end(),
                                                  [](const Run& a, const Run& b) { return a.size() < b.size(); });
            if (tallest == pieces.end() || tallest->size() < 1.5 * em) break;
            int cut = tallest->first + tallest->size() / 2;
            for (int y = tallest->first + tallest->size() / 4; y <= tallest->last - tallest->size() / 4; ++y)
                if (rowsInk[static_cast<size_t>(y - top)] < rowsInk[static_cast<size_t>(cut - top)]) cut = y;
            Run lower = *tallest;
            lower.first = cut + 1;
            tallest->last = cut;
            pieces.insert(tallest + 1, lower);
        }
        // Strokes of one character cut apart by a blank row join: the pair whose union is
        // lowest, while there are more pieces than characters.
        while (pieces.size() > d.chars.size() && pieces.size() >= 2) {
            size_t join = 0;
            for (size_t i = 1; i + 1 < pieces.size(); ++i)
                if (pieces[i + 1].last - pieces[i].first < pieces[join + 1].last - pieces[join].first) join = i;
            pieces[join].last = pieces[join + 1].last;
            pieces.erase(pieces.begin() + static_cast<long>(join) + 1);
        }
        if (pieces.empty()) continue;
        ++t.linesRead;
        for (const Run& p : pieces) d.pieces.push_back(inkOf(out, {d.x0, d.x1, p.first, p.last}, 255));
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

    // Every character looked up in its cell of the grid: the ink of the cell must be about the
    // character's ink, and the piece of ink nearest to the row where the grid puts the
    // character must lie within a tenth of the pitch of it.
    std::vector<double> widths;
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
        std::vector<Ink> cells;
        for (const TrueChar& c : d.chars) {
            const double middle = origin + c.cell * pitch;
            const Box b{d.x0, d.x1, static_cast<int>(std::lround(middle - pitch / 2)),
                        static_cast<int>(std::lround(middle + pitch / 2)) - 1};
            cells.push_back(inkOf(out, b, paperAround(out, b)));
        }
        std::vector<double> before;
        for (const TrueChar& c : d.chars) before.push_back(c.inkBefore);
        const double typicalInk = median(before);
        auto inked = [&](size_t i) { return d.chars[i].inkBefore >= 0.3 * typicalInk && d.chars[i].inkBefore > 0; };
        std::vector<double> ratios;
        for (size_t i = 0; i < d.chars.size(); ++i)
            if (inked(i)) ratios.push_back(cells[i].mass / d.chars[i].inkBefore);
        const double typicalRatio = ratios.empty() ? 1.0 : median(ratios);
        auto inkKept = [&](size_t i) { return std::fabs(cells[i].mass / d.chars[i].inkBefore / typicalRatio - 1.0) <= 0.15; };

        // Across the line, a character's ink keeps its place in its cell: its mean column less
        // where it stood in its cell on the input is the line's middle at that row.
        std::vector<double> rows, middles;
        for (size_t i = 0; i < d.chars.size(); ++i) {
            const TrueChar& c = d.chars[i];
            if (inked(i)) {
                ++t.inked;
                t.inkKept += inkKept(i);
                if (inkKept(i)) {
                    rows.push_back(origin + c.cell * pitch);
                    middles.push_back(cells[i].meanX - c.offsetX);
                }
            }
            if (!c.kanji) continue;
            ++t.kanji;
            const size_t j = nearestPiece(i);
            t.aligned += std::fabs(d.pieces[j].meanY - expectedRow(i)) <= 0.1 * pitch && inkKept(i);
        }
        if (rows.size() < 3) continue;
        const double slope = leastSquaresSlope(rows, middles);

        // Upright: the line's middle moves by at most a pixel per thousand along it, and a pixel
        // for the measure.
        const double span = rows.back() - rows.front();
        if (span > 300) {
            ++t.uprightChecked;
            const bool ok = std::fabs(slope) * span <= span / 1000 + 1.0;
            t.upright += ok;
            if (!ok) std::printf("  line %zu leans %.1f pixels over %.0f\n", k, slope * span, span);
        }
        // Its width: how far its ink spreads across it (about its mean column, the lean taken
        // out), against how far the same characters' ink spreads on the input, times the cell's
        // width. Whole lines are compared, so a character off its row changes nothing.
        if (d.chars.size() >= 10) {
            double massOut = 0, sumOut = 0, squareOut = 0, massIn = 0, sumIn = 0, squareIn = 0;
            for (size_t i = 0; i < d.chars.size(); ++i) {
                const double shift = slope * (origin + d.chars[i].cell * pitch);
                const Ink& c = cells[i];
                massOut += c.mass;
                sumOut += c.mass * (c.meanX - shift);
                squareOut += c.mass * (c.squareX - 2 * shift * c.meanX + shift * shift);
                massIn += d.chars[i].inkBefore;
                sumIn += d.chars[i].inkBefore * d.chars[i].offsetX;
                squareIn += d.chars[i].inkBefore * d.chars[i].spreadX;
            }
            const double spreadOut = massOut > 0 ? squareOut / massOut - (sumOut / massOut) * (sumOut / massOut) : 0;
            const double spreadIn = massIn > 0 ? squareIn / massIn - (sumIn / massIn) * (sumIn / massIn) : 0;
            if (spreadOut > 0 && spreadIn > 0) widths.push_back(em * std::sqrt(spreadOut / spreadIn));
        }
    }
    if (!widths.empty()) {
        ++t.widthGroups;
        const auto [lo, hi] = std::minmax_element(widths.begin(), widths.end());
        t.widthGroupsEqual += *hi - *lo <= 2.0;
        if (*hi - *lo > 2.0) std::printf("  line widths from %.1f to %.1f\n", *lo, *hi);
    }
}

// Generates n sheets (single and two tiers, skewed) and scores each as written by the pipeline
// or, when unchanged is set, as generated: the check's own ceiling.
Tally scoreSheets(int n, bool unchanged) {
    TempDir dir;
    Tally t;
    for (int i = 0; i < n; ++i) {
        SynthOptions o;
        o.seed = 9000 + static_cast<uint64_t>(i);
        EXPECT_TRUE(applyPreset(i % 2 ? "two-tier" : "novel-page", o));
        GreyImage sheet, written;
        SheetTruth truth;
        if (unchanged) {
            o.rotateDegrees = 0;
            o.shear = 0;
            std::string error;
            EXPECT_TRUE(synthesizeSheet(o, sheet, truth, error)) << error;
            written = sheet;
        } else {
            relayoutSheet(o, dir, sheet, truth, written);
        }
        if (written.width != sheet.width || written.height != sheet.height) {
            ADD_FAILURE() << "seed " << o.seed << " written at another size";
            continue;
        }
        std::printf("seed %llu (%s, %.2f degrees):\n", static_cast<unsigned long long>(o.seed),
                    i % 2 ? "two tiers" : "one tier", o.rotateDegrees);
        for (const PageTruth& page : truth.pages)
            for (const TierTruth& tier : page.tiers) {
                const Tally before = t;
                checkTier(written, sheet, tier, truth.charPitch, t);
                std::printf("  tier: kanji on their rows %d of %d, ink kept %d of %d, upright %d of %d\n",
                            t.aligned - before.aligned, t.kanji - before.kanji, t.inkKept - before.inkKept,
                            t.inked - before.inked, t.upright - before.upright, t.uprightChecked - before.uprightChecked);
            }
    }
    std::printf("%d tiers (%d read), %d lines (%d read); kanji on their group's row: %d of %d; "
                "characters keeping their ink within 15%%: %d of %d; upright lines: %d of %d; "
                "tiers with equal line widths: %d of %d\n",
                t.tiers, t.tiersRead, t.lines, t.linesRead, t.aligned, t.kanji, t.inkKept, t.inked, t.upright,
                t.uprightChecked, t.widthGroupsEqual, t.widthGroups);
    return t;
}

}  // namespace

// The check itself, on sheets that were not changed at all: every line on the grid, whole,
// upright and of one width, but for the few places where the projection cannot part two
// characters or a line from its ruby.
TEST(RelayoutOnSheets, TheCheckPassesAnUnchangedSheet) {
    const Tally t = scoreSheets(2, true);
    EXPECT_EQ(t.tiersRead, t.tiers);
    EXPECT_GE(t.aligned * 100, t.kanji * 98);
    EXPECT_GE(t.inkKept * 100, t.inked * 99);
    EXPECT_EQ(t.upright, t.uprightChecked);
    EXPECT_EQ(t.widthGroupsEqual, t.widthGroups);
}

TEST(RelayoutOnSheets, LinesOfAGroupShareWidthAndCharacterGridAndStayWhole) {
    const Tally t = scoreSheets(envCount("TOVEL_RELAYOUT_SHEETS", 4), false);
    // What the re-layout reaches today on these sheets, as floors against regressions (see
    // docs/how-it-works.md for what is still missing): 95 % of the characters sit on their group's rows,
    // most keep their ink, nearly every line stands upright and the lines of most tiers are of
    // one width; a line that went into a block, or whose band held its ruby, may lean.
    EXPECT_GE(t.tiersRead * 4, t.tiers * 3);
    EXPECT_GE(t.aligned * 100, t.kanji * 95);
    EXPECT_GE(t.inkKept * 100, t.inked * 95);
    EXPECT_GE(t.upright * 100, t.uprightChecked * 98);
    EXPECT_GE(t.widthGroupsEqual * 100, t.widthGroups * 75);
}

namespace {

// The darkness of a sheet in bands of 8 rows, top to bottom: which way up a sheet stands (its
// header above, the ragged ends of its lines below), whatever its pages' places across.
std::vector<double> rowProfile(const GreyImage& image) {
    const int h = image.height / 8;
    std::vector<double> t(static_cast<size_t>(h), 0.0);
    for (int y = 0; y < h * 8; ++y)
        for (int x = 0; x < image.width; ++x) t[static_cast<size_t>(y / 8)] += (255 - image.at(x, y)) / (8.0 * image.width);
    return t;
}

// Mean absolute difference of two profiles of one size, the second read upside down when
// flipped is set.
double difference(const std::vector<double>& a, const std::vector<double>& b, bool flipped) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::fabs(a[i] - b[flipped ? b.size() - 1 - i : i]);
    return sum / static_cast<double>(a.size());
}

}  // namespace

// Sheets scanned turned come out as the same sheet scanned upright does, not upside down: pages
// whose lines the page finder sees as too wide, and pages whose characters stand on a grid so
// that a sheet on its side still shows narrow bands between its rows of characters.
// TOVEL_TURNED_SHEETS=N adds N more pages, two-tier pages and spreads.
TEST(RelayoutOnSheets, SheetsScannedTurnedComeOutUpright) {
    TempDir dir;
    std::vector<std::pair<std::string, uint64_t>> sheets = {{"novel-page", 9100}, {"novel-page", 2}, {"rotated", 11}};
    const char* presets[] = {"novel-page", "two-tier", "novel-spread"};
    for (int i = 0; i < envCount("TOVEL_TURNED_SHEETS", 0); ++i) sheets.emplace_back(presets[i % 3], 9200 + i);
    int wrong = 0;
    for (const auto& [preset, seed] : sheets) {
        std::vector<double> reference;
        GreyImage upright;
        for (int turn : {0, 90, 180, 270}) {
            SCOPED_TRACE(preset + " " + std::to_string(seed) + " turned " + std::to_string(turn));
            SynthOptions o;
            o.seed = seed;
            ASSERT_TRUE(applyPreset(preset, o));
            o.turn = turn;
            GreyImage sheet, written;
            SheetTruth truth;
            ASSERT_NO_FATAL_FAILURE(relayoutSheet(o, dir, sheet, truth, written));
            const std::vector<double> t = rowProfile(written);
            if (turn == 0) {
                upright = written;
                reference = t;
                continue;
            }
            const bool sameSize = written.width == upright.width && written.height == upright.height;
            EXPECT_TRUE(sameSize) << "comes out on its side";
            const bool rightWayUp = sameSize && difference(reference, t, false) < difference(reference, t, true);
            EXPECT_TRUE(!sameSize || rightWayUp) << "comes out upside down";
            wrong += !rightWayUp;
        }
    }
    std::printf("%zu sheets in three turns each: %d come out on their side or upside down\n", sheets.size(), wrong);
}

// A report written in horizontal lines is not vertical text on its side: it comes out upright
// as it was loaded, cleaned, where turning it would have put every line on its side.
TEST(RelayoutOnSheets, HorizontalWritingComesOutUprightAsLoaded) {
    TempDir dir;
    {
        SynthOptions o;
        o.seed = 1;
        ASSERT_TRUE(applyPreset("report-page", o));
        std::string error;
        GreyImage sheet, written;
        SheetTruth truth;
        ASSERT_TRUE(synthesizeSheet(o, sheet, truth, error)) << error;
        const std::string in = dir / "report.png", out = dir / "report-out.png";
        ASSERT_EQ(saveGreyImage(in.c_str(), sheet), 0);
        TraceCapture trace;
        ASSERT_EQ(runLayo(in.c_str(), out.c_str(), LayoOptions(), defaultLayoStages()), 0);
        EXPECT_NE(trace.text().find("the text reads in horizontal lines"), std::string::npos);
        ASSERT_EQ(loadGreyImage((dir / "report-out-tovel.png").c_str(), written), 0);
        ASSERT_EQ(written.width, sheet.width);
        ASSERT_EQ(written.height, sheet.height);
        // Ink where the text was loaded: the lines of the sheet's top half stay in its top half.
        const std::vector<double> a = rowProfile(sheet), b = rowProfile(written);
        EXPECT_LT(difference(a, b, false), difference(a, b, true));
    }
}
