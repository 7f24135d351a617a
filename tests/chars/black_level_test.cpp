#include <gtest/gtest.h>

#include <vector>

#include "bands/band_geometry.h"
#include "chars/black_level.h"
#include "chars/grouping.h"
#include "test_support.h"

namespace {

KeyGroups byRatio(const std::vector<int>& keys, double factor, bool chain) {
    auto key = [&keys](size_t i) { return keys[i]; };
    return chain ? chainGroupByRatio(keys.size(), key, factor)
                 : groupByRatio(keys.size(), key, factor);
}

TEST(Grouping, ChainBreaksOnlyWhereAKeyExceedsFactorTimesThePrevious) {
    // 10 / 5 = 2 breaks, 17 / 10 = 1.7 exactly stays, 29 / 17 breaks.
    EXPECT_EQ(byRatio({10, 17, 29, 30, 5}, 1.7, true), (KeyGroups{{4}, {0, 1}, {2, 3}}));
    EXPECT_EQ(byRatio({7, 7, 7}, 1.14, true), (KeyGroups{{0, 1, 2}}));
    EXPECT_TRUE(byRatio({}, 1.7, true).empty());
}

TEST(Grouping, GroupByRatioKeepsEveryItemOnceInNarrowAscendingGroups) {
    unsigned seed = 12345;
    for (int round = 0; round < 200; ++round) {
        std::vector<int> keys(1 + round % 37);
        for (int& k : keys) {
            seed = seed * 1103515245u + 12345u;
            k = 2 + static_cast<int>(seed >> 16) % 300;
        }
        const KeyGroups groups = byRatio(keys, 1.7, false);
        std::vector<int> seen(keys.size(), 0);
        int previous = 0;
        for (const auto& g : groups) {
            ASSERT_FALSE(g.empty());
            EXPECT_LE(keys[g.back()], 1.7 * keys[g.front()]) << "round " << round;
            for (size_t i : g) {
                EXPECT_GE(keys[i], previous) << "round " << round;
                previous = keys[i];
                ++seen[i];
            }
        }
        EXPECT_EQ(seen, std::vector<int>(keys.size(), 1)) << "round " << round;
    }
}

// The grey of every row of a column, from top to bottom.
struct Profile {
    std::vector<int> rows;
    Profile& add(int grey, int count) {
        rows.insert(rows.end(), static_cast<size_t>(count), grey);
        return *this;
    }
};

// Characters 20 rows tall with two rows of inner grey (150, one of them 100) at their middle,
// 4 rows of grey 200 between them, white above and below. Every fall from a bright row passes
// through a row of 60, as ink edges do: a profile that drops straight back to its valley has no
// peak.
Profile characters() {
    Profile p;
    p.add(255, 10);
    for (int c = 0; c < 11; ++c) {
        if (c > 0) p.add(200, 4);
        p.add(60, 1).add(0, 8).add(c == 5 ? 100 : 150, 2).add(60, 1).add(0, 8);
    }
    return p.add(255, 10);
}

TEST(BlackLevel, ASlantedColumnIsReadBetweenItsOwnEdges) {
    // The characters inside a column leaning 10 pixels to the right over its height, starting
    // at row 5 of a black image: only the pixels between the column's edges count. At 255 the
    // text is one long run, at 200 it falls into 11 runs of one character, at 150 most
    // characters break in halves: 200 is chosen, and the answer lies two peaks darker.
    const Profile p = characters();
    const int rows = static_cast<int>(p.rows.size());
    VerticalBand column = uprightBand(20, 39, 5, 5 + rows - 1, 0);
    column.xLeftBottom = 30;
    column.xRightBottom = 49;
    const GreyImage image = filled(60, rows + 10, [&](int x, int y) {
        const bool inside = y >= column.yTop && y <= column.yBottom &&
                            x >= edgeAt(y, column.yTop, 20, column.yBottom, 30) &&
                            x <= edgeAt(y, column.yTop, 39, column.yBottom, 49);
        return inside ? p.rows[static_cast<size_t>(y - 5)] : 0;
    });
    TraceCapture capture;
    EXPECT_EQ(findBlackLevel(0, column, image, bandWidth(column)), 100);
    EXPECT_TRUE(contains(capture.text(), "optVal=200, nextVal=150, threshold=100\n"));
}

}  // namespace
