#include "core/byte_transpose.h"

#include <gtest/gtest.h>

#include <vector>

TEST(ByteTranspose, EveryShapeMatchesTheCopyByteByByte) {
    // Whole tiles, ragged edges on either side, single rows and columns, and strides wider than
    // the block on both sides.
    for (int rows : {1, 5, 16, 17, 31, 48, 70})
        for (int columns : {1, 3, 16, 20, 33, 64}) {
            const int srcStride = columns + 7, dstStride = rows + 3;
            std::vector<unsigned char> src(static_cast<size_t>(rows) * srcStride);
            for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<unsigned char>(i * 37 + i / 251);
            std::vector<unsigned char> dst(static_cast<size_t>(columns) * dstStride, 7);
            transposeBytes(src.data(), srcStride, dst.data(), dstStride, rows, columns);
            for (int c = 0; c < columns; ++c)
                for (int r = 0; r < dstStride; ++r) {
                    const unsigned char want = r < rows ? src[static_cast<size_t>(r) * srcStride + c] : 7;
                    ASSERT_EQ(dst[static_cast<size_t>(c) * dstStride + r], want) << rows << "x" << columns << " at " << r << "," << c;
                }
        }
}
