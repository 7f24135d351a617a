// Copying a block of bytes with its rows and columns exchanged, the step that lets a pass run
// down the columns of an image along memory.
#pragma once

#include <cstddef>

// Writes dst[c * dstStride + r] = src[r * srcStride + c] for every row r < rows and column
// c < columns. The two blocks must not overlap.
void transposeBytes(const unsigned char* src, std::ptrdiff_t srcStride, unsigned char* dst,
                    std::ptrdiff_t dstStride, int rows, int columns);
