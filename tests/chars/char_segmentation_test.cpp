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

    explicit DrawnColumn(const std::vector<Mark>& marks)
        : image(inked(40, 700, [&](int x, int y) {
              for (const Mark& m : marks)
                  if (x >= m.x0 && x <= m.x1 && y >= m.y0 && y <= m.y1) return true;
              return false;
          })),
          column(uprightBand(0, 39, 0, 699, 4)) {}
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

Result segment(DrawnColumn& d, double waveY = 36.0) {
    Result r;
    TraceCapture quiet;
    EXPECT_EQ(segmentCharacters(d.image, r.chars, waveY, 30, d.column, r.reversed), 0);
    for (const HorizontalBand& c : r.chars) {
        r.characters += c.type == 2;
        r.spaces += c.type == 3;
    }
    return r;
}

}  // namespace

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

TEST(CharSegmentation, ASpeckAboveTheFirstCharacterDoesNotOpenTheLine) {
    // A speck 24 rows above the first glyph: less than a cell, but more than half the column's
    // width; no mark that small may begin a line, so it is dust and the line starts at the glyph.
    // Two specks 8 rows apart, the lower one as far above the glyph, go the same way.
    for (bool two : {false, true}) {
        std::vector<Mark> marks;
        glyphs(marks, 50, 8);
        marks.push_back({17, 21, 22, 25});
        if (two) marks.push_back({12, 16, 10, 13});
        DrawnColumn d(marks);
        const Result r = segment(d);
        EXPECT_EQ(std::pair(r.characters, r.spaces), std::pair(8, 0)) << (two ? "two specks" : "one speck");
        ASSERT_GT(r.chars.count(), 0u);
        EXPECT_GE(r.chars[0].yTopLeft, 48);
    }
}

TEST(CharSegmentation, AColumnOfSpecksOnlyIsNoTextLine) {
    // Dust along a margin, a speck every 20 rows, close enough to each other to stay: nothing
    // in the column holds the ink of a character, so it is no line. With one glyph among the
    // specks it is one.
    for (bool withGlyph : {false, true}) {
        std::vector<Mark> marks;
        for (int i = 0; i < 20; ++i) marks.push_back({17, 21, 10 + 20 * i, 13 + 20 * i});
        if (withGlyph) glyph(marks, 500);
        DrawnColumn d(marks);
        segment(d);
        EXPECT_EQ(d.column.type, withGlyph ? 4 : 7) << (withGlyph ? "with a glyph" : "specks only");
    }
}
