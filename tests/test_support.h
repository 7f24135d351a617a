// Helpers shared by the tests: scratch folders, synthetic images, captured trace output.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

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

// An upright vertical band from column left to right and row top to bottom.
VerticalBand uprightBand(int left, int right, int top, int bottom, int type);

// A level horizontal band from column left to right and row top to bottom.
HorizontalBand levelBand(int left, int right, int top, int bottom, int type);

// Writes bytes as a file.
void writeFile(const std::string& path, const std::string& bytes);

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

// The names of the files in folder, sorted, hidden ones included.
std::string listFolder(const std::filesystem::path& folder);
