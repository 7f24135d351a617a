#include "core/grey_image.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

// A 3 x 2 image whose pixels are 1..6 in storage order:
//   1 2 3
//   4 5 6
void sample(GreyImage& image) {
    fillImage(image, 3, 2, [](int x, int y) { return static_cast<unsigned char>(1 + x + 3 * y); });
}

std::string rowsOf(const GreyImage& image) {
    std::string s;
    for (int y = 0; y < image.height; ++y) {
        if (y) s += '/';
        for (int x = 0; x < image.width; ++x) s += static_cast<char>('0' + image.at(x, y));
    }
    return s;
}

}  // namespace

TEST(QuarterTurn, TheCompanionFollowsAndCopiesDropTheLink) {
    GreyImage image, master;
    sample(image);
    sample(master);
    image.companion = &master;
    rotateQuarterTurns(image, 1);
    EXPECT_EQ(rowsOf(master), "41/52/63");
    EXPECT_EQ(master.width, 2);

    GreyImage copy(image);
    EXPECT_EQ(copy.companion, nullptr);
    GreyImage assigned;
    assigned.companion = &master;
    assigned = image;
    EXPECT_EQ(assigned.companion, nullptr);
    rotateQuarterTurns(assigned, 2);
    EXPECT_EQ(rowsOf(master), "41/52/63") << "a copy must not turn the original's companion";
}
