// GreyImage: the 8-bit page image of every stage.
#pragma once

#include <cstdint>

#include "core/arrays.h"

// One byte per pixel, 0 black, 255 white; rows top row first, each row exactly width bytes;
// pixel (x, y) at index x + width * y. The size is the pixel list's count (width * height).
//
// companion is a non-owning link to an image that must follow every geometric change made to
// this one (quarter-turn rotation, whitening with its companion flag). Copies and moves never
// carry the link: it is always set explicitly afterwards.
struct GreyImage {
    sList<unsigned char> pixels;
    int width = 0;
    int height = 0;
    GreyImage* companion = nullptr;

    GreyImage() = default;
    GreyImage(const GreyImage& other);
    GreyImage& operator=(const GreyImage& other);
    GreyImage(GreyImage&& other) noexcept;
    GreyImage& operator=(GreyImage&& other) noexcept;

    uint32_t size() const { return pixels.count(); }

    // Makes the image width x height with every pixel set to value; the companion is kept.
    void reset(int newWidth, int newHeight, unsigned char value);
    // Makes the image width x height without setting its pixels, which hold whatever the block
    // held: for a caller that writes every pixel next. A failed allocation stops the process, as
    // an access to a slot that could not be allocated does.
    void reshape(int newWidth, int newHeight);

    // Pixel at (x, y); the caller keeps x and y inside the image.
    unsigned char& at(int x, int y) { return pixels[static_cast<uint32_t>(x + width * y)]; }
    const unsigned char& at(int x, int y) const { return pixels[static_cast<uint32_t>(x + width * y)]; }
};

// Turns image by k quarter turns clockwise (k = 1, 2 or 3; other values do nothing), then its
// companion the same way, recursively. Odd k swap width and height.
void rotateQuarterTurns(GreyImage& image, int k);
