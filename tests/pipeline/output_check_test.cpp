#include "pipeline/output_check.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "test_support.h"

TEST(OutputCheck, InkIsCountedBelowMidGreyInsideTheBoxCutToTheImage) {
    // Greys either side of 128 at every column, boxes whose rows are longer and shorter than
    // sixteen pixels and that reach past the image.
    const GreyImage image = filled(53, 7, [](int x, int y) { return static_cast<unsigned char>((x * 31 + y * 17) % 256); });
    struct Box {
        int x0, y0, x1, y1;
    };
    for (const Box b : {Box{0, 0, 52, 6}, Box{-4, -2, 60, 9}, Box{3, 1, 17, 5}, Box{20, 2, 35, 2}, Box{9, 3, 8, 4}}) {
        long long expected = 0;
        for (int y = std::max(b.y0, 0); y <= std::min(b.y1, 6); ++y)
            for (int x = std::max(b.x0, 0); x <= std::min(b.x1, 52); ++x) expected += image.at(x, y) < 128;
        EXPECT_EQ(countInk(image, b.x0, b.y0, b.x1, b.y1), expected) << b.x0 << "," << b.y0;
    }
}
