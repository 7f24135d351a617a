#include "test_support.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
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

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

TraceCapture::TraceCapture() { setTraceSink(collect, this); }
TraceCapture::~TraceCapture() { setTraceSink(nullptr, nullptr); }

void TraceCapture::collect(const char* text, void* self) {
    static_cast<TraceCapture*>(self)->text_ += text;
}

std::string listFolder(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : " ") + n;
    return out;
}
