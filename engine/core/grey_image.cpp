#include "core/grey_image.h"

#include <cstring>
#include <utility>

GreyImage::GreyImage(const GreyImage& other)
    : pixels(other.pixels), width(other.width), height(other.height), companion(nullptr) {}

GreyImage& GreyImage::operator=(const GreyImage& other) {
    if (this == &other) return *this;
    pixels = other.pixels;
    width = other.width;
    height = other.height;
    companion = nullptr;
    return *this;
}

GreyImage::GreyImage(GreyImage&& other) noexcept
    : pixels(std::move(other.pixels)), width(other.width), height(other.height), companion(nullptr) {
    other.width = other.height = 0;
}

GreyImage& GreyImage::operator=(GreyImage&& other) noexcept {
    if (this == &other) return *this;
    pixels = std::move(other.pixels);
    width = other.width;
    height = other.height;
    companion = nullptr;
    other.width = other.height = 0;
    return *this;
}

void GreyImage::reset(int newWidth, int newHeight, unsigned char value) {
    width = newWidth;
    height = newHeight;
    const uint32_t n = static_cast<uint32_t>(newWidth) * static_cast<uint32_t>(newHeight);
    pixels.setCount(n);
    if (n > 0) std::memset(pixels.data(), value, n);
}

void GreyImage::reshape(int newWidth, int newHeight) {
    const uint32_t n = static_cast<uint32_t>(newWidth) * static_cast<uint32_t>(newHeight);
    pixels.setCountForOverwrite(n);
    if (pixels.count() != n) failArrayAccess();  // the caller would write past the block
    width = newWidth;
    height = newHeight;
}

void rotateQuarterTurns(GreyImage& image, int k) {
    if (k < 1 || k > 3) return;
    const int newWidth = (k % 2 == 1) ? image.height : image.width;
    const int newHeight = (k % 2 == 1) ? image.width : image.height;
    const uint32_t n = image.size();
    sList<unsigned char> turned(n, n);
    if (turned.capacity() < n) return;  // the failure has been reported; the image stays as it was
    const unsigned char* src = image.pixels.data();
    unsigned char* dst = turned.data();
    // The source is read in storage order; the target is written in the order that makes the
    // turn clockwise.
    if (n > 0) {
        if (k == 1) {
            for (int x = newWidth - 1; x >= 0; --x)
                for (int y = 0; y < newHeight; ++y) dst[x + newWidth * y] = *src++;
        } else if (k == 2) {
            for (int y = newHeight - 1; y >= 0; --y)
                for (int x = newWidth - 1; x >= 0; --x) dst[x + newWidth * y] = *src++;
        } else {
            for (int x = 0; x < newWidth; ++x)
                for (int y = newHeight - 1; y >= 0; --y) dst[x + newWidth * y] = *src++;
        }
    }
    image.pixels = std::move(turned);
    image.width = newWidth;
    image.height = newHeight;
    if (image.companion) rotateQuarterTurns(*image.companion, k);
}
