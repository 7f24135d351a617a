#include "test_support.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/trace.h"

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<int> serial{0};
    path_ = fs::temp_directory_path() /
            ("tovel-test-" + std::to_string(getpid()) + "-" + std::to_string(serial++));
    fs::remove_all(path_);
    fs::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void fillImage(GreyImage& image, int width, int height,
               const std::function<unsigned char(int, int)>& value) {
    image.reset(width, height, 255);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.at(x, y) = value(x, y);
}

GreyImage filled(int width, int height, const std::function<unsigned char(int, int)>& value) {
    GreyImage image;
    fillImage(image, width, height, value);
    return image;
}

GreyImage inked(int width, int height, const std::function<bool(int, int)>& ink) {
    return filled(width, height, [&](int x, int y) { return static_cast<unsigned char>(ink(x, y) ? 0 : 255); });
}

GreyImage flat(int width, int height, unsigned char grey) {
    GreyImage image;
    image.reset(width, height, grey);
    return image;
}

int darkPixels(const GreyImage& image, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += image.at(x, y) < 128;
    return n;
}

unsigned char nextNoise(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return static_cast<unsigned char>(state >> 24);
}

VerticalBand uprightBand(int left, int right, int top, int bottom, int type) {
    VerticalBand b;
    b.yTop = top;
    b.yBottom = bottom;
    b.xLeftTop = b.xLeftBottom = left;
    b.xRightTop = b.xRightBottom = right;
    b.type = type;
    return b;
}

HorizontalBand levelBand(int left, int right, int top, int bottom, int type) {
    HorizontalBand b;
    b.xLeft = left;
    b.xRight = right;
    b.yTopLeft = b.yTopRight = top;
    b.yBottomLeft = b.yBottomRight = bottom;
    b.type = type;
    return b;
}

VerticalBandList verticalList(std::initializer_list<VerticalBand> bands) {
    VerticalBandList list;
    for (const VerticalBand& b : bands) list.append(b);
    return list;
}

HorizontalBandList horizontalList(std::initializer_list<HorizontalBand> bands) {
    HorizontalBandList list;
    for (const HorizontalBand& b : bands) list.append(b);
    return list;
}

std::vector<int> xEdges(const VerticalBand& b) { return {b.xLeftTop, b.xRightTop, b.xLeftBottom, b.xRightBottom}; }
std::vector<int> yEdges(const HorizontalBand& b) { return {b.yTopLeft, b.yTopRight, b.yBottomLeft, b.yBottomRight}; }

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

testing::AssertionResult contains(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "\"" << part << "\" not found in:\n" << text;
}

TraceCapture::TraceCapture() { setTraceSink(collect, this); }
TraceCapture::~TraceCapture() { setTraceSink(nullptr, nullptr); }

void TraceCapture::collect(const char* text, void* self) {
    static_cast<TraceCapture*>(self)->text_ += text;
}

int envCount(const char* name, int fallback) {
    const char* n = std::getenv(name);
    return n ? std::max(1, std::atoi(n)) : fallback;
}

std::string listFolder(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : " ") + n;
    return out;
}

double leastSquaresSlope(const std::vector<double>& x, const std::vector<double>& y) {
    const double n = static_cast<double>(x.size());
    double mx = 0, my = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        mx += x[i] / n;
        my += y[i] / n;
    }
    double sxy = 0, sxx = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
    }
    return sxx > 0 ? sxy / sxx : 0.0;
}
