#include <gtest/gtest.h>

#include <string>
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

TEST(Grouping, GroupByRatioFindsFewGroupsWithinTheFactor) {
    EXPECT_EQ(byRatio({10, 12, 15, 17}, 1.7, false), (KeyGroups{{0, 1, 2, 3}}));
    EXPECT_EQ(byRatio({95, 10, 31, 12, 90, 11, 33, 30}, 1.7, false),
              (KeyGroups{{1, 5, 3}, {7, 2, 6}, {4, 0}}));
    // One group would be 2.7 wide: the search goes back up to two.
    EXPECT_EQ(byRatio({10, 16, 17, 27}, 1.7, false), (KeyGroups{{0, 1}, {2, 3}}));
    EXPECT_EQ(byRatio({5, 5, 5}, 1.7, false), (KeyGroups{{0, 1, 2}}));
    EXPECT_TRUE(byRatio({}, 1.7, false).empty());
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

// A column 20 pixels wide whose every row has one grey value, rows drawn from top to bottom.
struct Profile {
    std::vector<int> rows;
    Profile& add(int grey, int count) {
        rows.insert(rows.end(), static_cast<size_t>(count), grey);
        return *this;
    }
};

GreyImage columnImage(const Profile& p) {
    return filled(20, static_cast<int>(p.rows.size()), [&p](int, int y) { return p.rows[static_cast<size_t>(y)]; });
}

struct Level {
    int value;
    std::string trace;
};

Level blackLevel(const Profile& p, int t) {
    const GreyImage image = columnImage(p);
    TraceCapture capture;
    const int value = findBlackLevel(t, uprightBand(0, 19, 0, image.height - 1, 0), image, 20);
    return {value, capture.text()};
}

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

TEST(BlackLevel, ThresholdsComeFromTheSmoothedHistogramOfRowMeans) {
    // 100 white rows, one row for each mean from `from` to 254, 50 text rows of mean 200.
    for (auto [from, t1] : {std::pair{220, 252}, std::pair{240, 241}}) {
        Profile p;
        p.add(255, 100).add(200, 50);
        for (int g = from; g <= 254; ++g) p.add(g, 1);
        const GreyImage image = columnImage(p);
        const VerticalBand column = uprightBand(0, 19, 0, image.height - 1, 0);
        const ColumnThresholds t = findColumnThresholds(column, image);
        EXPECT_EQ(t.threshold1, t1) << from;
        EXPECT_EQ(t.threshold2, 203) << from;
    }
}

TEST(BlackLevel, PicksTheLevelWhereTheColumnFallsApartIntoCharacters) {
    // At 255 the text is one long run; at 200 it falls into 11 runs of one character; at 150
    // most characters break in halves, so 200 is chosen and the result is two peaks darker.
    const Level found = blackLevel(characters(), 0);
    EXPECT_EQ(found.value, 100);
    const std::string at200 =
        "val=200 で切断してできる区間の幅のグループ分け: "
        "(22,22,22,22,22,22,22,22,22,22,22,) maxSize=10.476191, ratio=0.952381\n";
    EXPECT_TRUE(contains(found.trace, at200));
    EXPECT_TRUE(contains(found.trace, "val=100 "));
    EXPECT_TRUE(contains(found.trace, "optVal=200, nextVal=150, threshold=100\n"));
}

TEST(BlackLevel, StopsAtTheLowerLimitFromTheThirdCandidateOn) {
    const Level found = blackLevel(characters(), 255);
    EXPECT_TRUE(contains(found.trace, "val=200 ")) << "the second candidate is tried";
    EXPECT_TRUE(contains(found.trace, "下限に到達\n"));
    EXPECT_FALSE(contains(found.trace, "val=150 "));
    EXPECT_EQ(found.value, 100);
}

TEST(BlackLevel, PeaksMustRiseAndFallByMoreThan18) {
    auto blocks = [](int gap) {
        Profile p;
        p.add(255, 10);
        for (int c = 0; c < 8; ++c) (c > 0 ? p.add(gap, 4) : p).add(5, 1).add(0, 19);
        return p.add(255, 10);
    };
    const Level flat = blackLevel(blocks(18), 0);
    EXPECT_EQ(flat.value, 255);
    EXPECT_TRUE(contains(flat.trace, "optVal=255, nextVal=2147483647, threshold=255\n"));
    EXPECT_EQ(blackLevel(blocks(19), 0).value, 19);

    // A top of 100 that falls only to 82 (100 - 18) before coming back is no peak; to 81 it is.
    auto dipped = [](int dip) {
        Profile p;
        p.add(255, 10);
        for (int c = 0; c < 6; ++c)
            p.add(0, 9).add(100, 1).add(dip, 2).add(100, 1).add(0, 9).add(255, 4);
        return p.add(255, 6);
    };
    const Level shallow = blackLevel(dipped(82), 0);
    EXPECT_FALSE(contains(shallow.trace, "val=100 "));
    EXPECT_EQ(shallow.value, 255);
    const Level deep = blackLevel(dipped(81), 0);
    EXPECT_TRUE(contains(deep.trace, "val=100 "));
    EXPECT_TRUE(contains(deep.trace, "optVal=255, nextVal=100, threshold=100\n"));
}

TEST(BlackLevel, RunsTouchingTheEndsOfTheColumnAreNotCounted) {
    Profile p;
    p.add(0, 15).add(255, 4).add(0, 20).add(255, 4).add(0, 20).add(255, 4).add(0, 15);
    const std::string expected =
        "val=255 で切断してできる区間の幅のグループ分け: (22,22,) maxSize=1.904762, ratio=0.952381\n";
    EXPECT_TRUE(contains(blackLevel(p, 0).trace, expected));
}

TEST(BlackLevel, ASlantedColumnIsReadBetweenItsOwnEdges) {
    // The same characters inside a column leaning 10 pixels to the right over its height,
    // starting at row 5 of a black image.
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
