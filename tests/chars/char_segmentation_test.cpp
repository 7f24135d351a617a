#include <gtest/gtest.h>

#include <vector>

#include "chars/char_segmentation.h"
#include "test_support.h"

namespace {

// One drawn mark of a column: a filled rectangle, columns x0..x1 and rows y0..y1.
struct Mark {
    int x0, x1, y0, y1;
};

// A 40-pixel wide white column with the marks in black, and the column band over it.
struct DrawnColumn {
    GreyImage image;
    VerticalBand column;

    explicit DrawnColumn(const std::vector<Mark>& marks, int height = 700)
        : image(inked(40, height, [&](int x, int y) {
              for (const Mark& m : marks)
                  if (x >= m.x0 && x <= m.x1 && y >= m.y0 && y <= m.y1) return true;
              return false;
          })),
          column(uprightBand(0, 39, 0, height - 1, 4)) {}
};

// A character-like mark: a 30 x 30 cell holding three bars, so it is ink with inner gaps.
void glyph(std::vector<Mark>& marks, int top) {
    marks.push_back({5, 34, top, top + 3});
    marks.push_back({18, 21, top, top + 29});
    marks.push_back({5, 34, top + 26, top + 29});
}

// n glyphs at pitch 36 from row top; answers the row after the last pitch.
int glyphs(std::vector<Mark>& marks, int top, int n) {
    for (int i = 0; i < n; ++i) glyph(marks, top + 36 * i);
    return top + 36 * n;
}

struct Result {
    HorizontalBandList chars;
    int reversed = 0;
    int characters = 0;
    int spaces = 0;
};

Result segment(DrawnColumn& d, double waveY = 36.0, int refHeight = 30) {
    Result r;
    TraceCapture quiet;
    EXPECT_EQ(segmentCharacters(d.image, r.chars, waveY, refHeight, d.column, r.reversed), 0);
    for (const HorizontalBand& c : r.chars) {
        r.characters += c.type == 2;
        r.spaces += c.type == 3;
    }
    return r;
}

}  // namespace

TEST(CharSegmentation, EveryGlyphOfARegularColumnIsOneCharacter) {
    std::vector<Mark> marks;
    glyphs(marks, 10, 12);
    DrawnColumn d(marks);
    const Result r = segment(d);
    EXPECT_EQ(std::pair(r.characters, r.spaces), std::pair(12, 0));
    const LineInfo& info = d.column.line();
    EXPECT_NEAR(info.typicalCharHeight, 30, 2);
    EXPECT_NEAR(info.typicalCharSpace, 36, 2);
    EXPECT_EQ(info.smallLastChar, 0);
    for (const HorizontalBand& c : r.chars) {
        EXPECT_EQ(c.type, 2);
        EXPECT_NEAR(bandHeight(c), 30, 2);
    }
}

TEST(CharSegmentation, GapsOfMoreThanACellGetBlankCells) {
    // Eight glyphs, then a gap that holds two more cells, then four glyphs.
    std::vector<Mark> marks;
    int next = glyphs(marks, 10, 8);
    next = glyphs(marks, next + 2 * 36, 4);
    DrawnColumn d(marks);
    const Result r = segment(d);
    EXPECT_EQ(r.characters, 12);
    ASSERT_EQ(r.spaces, 2);
    // The blank cells stand between the eighth and the ninth character, as zero-height bands
    // across the column.
    ASSERT_EQ(r.chars.count(), 14u);
    for (uint32_t i : {8u, 9u}) {
        const HorizontalBand& s = r.chars[i];
        EXPECT_EQ(s.type, 3);
        EXPECT_EQ(s.yTopLeft, s.yBottomRight);
        EXPECT_EQ(std::pair(s.xLeft, s.xRight), std::pair(0, 39));
        EXPECT_GT(s.yTopLeft, r.chars[7].yBottomLeft);
        EXPECT_LT(s.yTopLeft, r.chars[10].yTopLeft);
    }
}

TEST(CharSegmentation, ASpaceNeedsOneAndAHalfCells) {
    // Half a cell of extra room (S = 1.5 pitches) is no blank cell; 0.6 of a cell is one.
    for (auto [extra, spaces] : {std::pair{18, 0}, std::pair{22, 1}}) {
        std::vector<Mark> marks;
        int next = glyphs(marks, 10, 8);
        glyphs(marks, next + extra, 4);
        DrawnColumn d(marks);
        EXPECT_EQ(segment(d).spaces, spaces) << "extra " << extra;
    }
}

TEST(CharSegmentation, RunsOfMiddleDotsBecomeEllipses) {
    // 6, 7, 8 and 9 dots give characters of 3+3, 3+4, 3+3+2 and 3+3+3 dots.
    const std::vector<std::vector<int>> expected = {{3, 3}, {3, 4}, {3, 3, 2}, {3, 3, 3}};
    for (int dots = 6; dots <= 9; ++dots) {
        std::vector<Mark> marks;
        int next = glyphs(marks, 10, 6);
        std::vector<int> dotTops;
        for (int i = 0; i < dots; ++i) {
            dotTops.push_back(next + 4 + 10 * i);
            marks.push_back({17, 22, dotTops.back(), dotTops.back() + 5});
        }
        next = dotTops.back() + 5 + 20;
        glyphs(marks, next, 4);
        DrawnColumn d(marks);
        const Result r = segment(d);
        const std::vector<int>& groups = expected[static_cast<size_t>(dots - 6)];
        ASSERT_EQ(r.characters, 10 + static_cast<int>(groups.size())) << dots << " dots";
        int first = 0;
        for (size_t g = 0; g < groups.size(); ++g) {
            const HorizontalBand& c = r.chars[6 + static_cast<uint32_t>(g)];
            const int last = first + groups[g] - 1;
            EXPECT_EQ(c.yTopLeft, dotTops[static_cast<size_t>(first)]) << dots << " dots, group " << g;
            EXPECT_EQ(c.yBottomLeft, dotTops[static_cast<size_t>(last)] + 5) << dots << " dots, group " << g;
            first = last + 1;
        }
    }
}

TEST(CharSegmentation, ATallCharacterIsDividedIntoTheFewestPiecesThatFit) {
    // Solid blocks of 66 and 93 rows among 30-row glyphs: 66 / 2 = 33 < 1.25 H gives two
    // pieces, 93 needs three; a block of 36 stays whole (below 1.25 H).
    for (auto [tall, pieces] : {std::pair{66, 2}, std::pair{93, 3}, std::pair{36, 1}}) {
        std::vector<Mark> marks;
        int next = glyphs(marks, 10, 6);
        marks.push_back({6, 33, next, next + tall - 1});
        glyphs(marks, next + tall + 6, 5);
        DrawnColumn d(marks);
        const Result r = segment(d);
        EXPECT_EQ(std::pair(r.characters, r.spaces), std::pair(11 + pieces, 0)) << "block of " << tall;
    }
}

TEST(CharSegmentation, ALoneMarkInTheLeftOfItsCellCountsAsReversed) {
    // A full-stop-sized blob in the left part of its cell is reversed punctuation; the same
    // blob on the right is an ordinary mark of a vertical line.
    for (auto [x0, reversed] : {std::pair{4, 1}, std::pair{26, 0}}) {
        std::vector<Mark> marks;
        int next = glyphs(marks, 10, 6);
        marks.push_back({x0, x0 + 7, next + 2, next + 9});
        glyphs(marks, next + 36, 5);
        DrawnColumn d(marks);
        EXPECT_EQ(segment(d).reversed, reversed) << "blob at x " << x0;
    }
}

TEST(CharSegmentation, AHangingMarkAtTheEndIsASmallLastCharacter) {
    std::vector<Mark> marks;
    const int next = glyphs(marks, 10, 10);
    marks.push_back({24, 31, next - 4, next + 3});
    DrawnColumn d(marks);
    EXPECT_EQ(segment(d).characters, 11);
    EXPECT_EQ(d.column.line().smallLastChar, 1);
}

TEST(CharSegmentation, AColumnWithAnAbsurdPitchIsNoTextLine) {
    std::vector<Mark> marks;
    glyphs(marks, 10, 8);
    DrawnColumn d(marks);
    const Result r = segment(d, /*waveY=*/5.0);
    EXPECT_EQ(d.column.type, 7);
    EXPECT_EQ(d.column.line().lineGroup, -1);
    EXPECT_EQ(r.spaces, 0);
}

TEST(CharSegmentation, AnEmptyColumnLeavesNoCharactersAndNoLineRecord) {
    DrawnColumn d({});
    EXPECT_EQ(segment(d).chars.count(), 0u);
    EXPECT_FALSE(d.column.hasLine());
}

TEST(CharSegmentation, EvenSplitsShareTheHeightAndKeepTheBottom) {
    HorizontalBand a = levelBand(0, 9, 10, 40, 2);
    a.yTopRight = 12;
    a.yBottomRight = 42;
    const HorizontalBandList pieces = splitEvenly(a, 3);
    ASSERT_EQ(pieces.count(), 3u);
    EXPECT_EQ(pieces[0].yTopLeft, 10);
    EXPECT_EQ(pieces[0].yBottomLeft, 19);
    EXPECT_EQ(std::pair(pieces[1].yTopLeft, pieces[1].yTopRight), std::pair(20, 22));
    EXPECT_EQ(std::pair(pieces[2].yBottomLeft, pieces[2].yBottomRight), std::pair(40, 42));
}

TEST(CharSegmentation, ASpeckInTheBlankEndOfALineIsNoCharacter) {
    // A dust speck five cells below the last glyph is dropped; the same speck right below the
    // last glyph stays, as a hanging mark would.
    for (auto [below, characters] : {std::pair{5 * 36, 8}, std::pair{2, 9}}) {
        std::vector<Mark> marks;
        const int next = glyphs(marks, 10, 8);
        marks.push_back({18, 21, next + below, next + below + 3});
        DrawnColumn d(marks);
        const Result r = segment(d);
        EXPECT_EQ(std::pair(r.characters, r.spaces), std::pair(characters, 0)) << "speck " << below << " rows below";
    }
}
