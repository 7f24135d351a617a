// Helpers shared by the tests: scratch folders, synthetic images, captured trace output.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bands/band_records.h"
#include "core/grey_image.h"

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// A width x height image whose pixel (x, y) is value(x, y).
void fillImage(GreyImage& image, int width, int height,
               const std::function<unsigned char(int, int)>& value);
GreyImage filled(int width, int height, const std::function<unsigned char(int, int)>& value);

// Black where ink(x, y) holds, white elsewhere.
GreyImage inked(int width, int height, const std::function<bool(int, int)>& ink);

// Every pixel of one grey.
GreyImage flat(int width, int height, unsigned char grey = 255);

// Pixels darker than 128 in columns x0 .. x1 - 1 and rows y0 .. y1 - 1.
int darkPixels(const GreyImage& image, int x0, int y0, int x1, int y1);

// The next byte of a fixed pseudo-random sequence (a linear congruential generator).
unsigned char nextNoise(uint32_t& state);

// An upright vertical band from column left to right and row top to bottom.
VerticalBand uprightBand(int left, int right, int top, int bottom, int type);

// A level horizontal band from column left to right and row top to bottom.
HorizontalBand levelBand(int left, int right, int top, int bottom, int type);

// Lists of the given bands.
VerticalBandList verticalList(std::initializer_list<VerticalBand> bands);
HorizontalBandList horizontalList(std::initializer_list<HorizontalBand> bands);

// A band's edges, to compare in one check: {xLeftTop, xRightTop, xLeftBottom, xRightBottom} and
// {yTopLeft, yTopRight, yBottomLeft, yBottomRight}.
std::vector<int> xEdges(const VerticalBand& b);
std::vector<int> yEdges(const HorizontalBand& b);

// The type of every band of a list, in order.
template <class List>
std::vector<int> typesOf(const List& list) {
    std::vector<int> types;
    for (const auto& b : list) types.push_back(b.type);
    return types;
}

// Writes bytes as a file, and reads a whole file back.
void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);

// Passes when text holds part; the failure shows the whole text.
testing::AssertionResult contains(const std::string& text, const std::string& part);

// Collects everything traced while it lives.
class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;
    const std::string& text() const { return text_; }

private:
    static void collect(const char* text, void* self);
    std::string text_;
};

// A count from the environment variable name when it is set, else fallback.
int envCount(const char* name, int fallback);

// The names of the files in folder, sorted, hidden ones included.
std::string listFolder(const std::filesystem::path& folder);

// The slope of the least-squares line through the points (x[i], y[i]); 0 when every x is the same.
double leastSquaresSlope(const std::vector<double>& x, const std::vector<double>& y);
