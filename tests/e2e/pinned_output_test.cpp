// The output pixels of a few generated sheets of each kind, pinned by a hash. A change that
// makes any of them differ changes what users get: it must be deliberate, made in a commit of
// its own that says why, with the new hashes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "pipeline/image_io.h"
#include "pipeline/layo.h"
#include "sheet_synth.h"
#include "test_support.h"

namespace {

// FNV-1a over the size and the pixels.
uint64_t pixelHash(const GreyImage& image) {
    uint64_t h = 1469598103934665603ull;
    auto add = [&h](unsigned char byte) {
        h ^= byte;
        h *= 1099511628211ull;
    };
    for (int v : {image.width, image.height})
        for (int k = 0; k < 4; ++k) add(static_cast<unsigned char>(v >> (8 * k)));
    for (uint32_t i = 0; i < image.pixels.count(); ++i) add(image.pixels[i]);
    return h;
}

struct Pinned {
    const char* preset;
    uint64_t seed;
    bool divide;
    const char* output;  // the file whose pixels are pinned
    uint64_t hash;
};

std::string hex(uint64_t v) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(v));
    return text;
}

}  // namespace

TEST(PinnedOutputs, GeneratedSheetsOfEveryKindComeOutAsPinned) {
    const Pinned sheets[] = {
        {"novel-page", 7101, false, "sheet-tovel.png", 0xb79e5861eae64481ull},
        {"novel-spread", 7102, true, "sheet-tovel-1.png", 0x3e3960721ca947b6ull},
        {"two-tier", 7103, false, "sheet-tovel.png", 0x273e2d1b11c8d249ull},
        {"rotated", 7104, false, "sheet-tovel.png", 0xa7b24f2ba2ca6adeull},
        {"magazine", 7105, false, "sheet-tovel.png", 0xd0ff2f1ff0247715ull},
        {"old-magazine", 7106, false, "sheet-tovel.png", 0x56373f99573a4216ull},
    };
    for (const Pinned& p : sheets) {
        TempDir dir;
        SynthOptions o;
        o.seed = p.seed;
        ASSERT_TRUE(applyPreset(p.preset, o));
        o.dpi = 200;  // small sheets: the pin is about sameness, not about scale
        GreyImage sheet;
        SheetTruth truth;
        std::string error;
        ASSERT_TRUE(synthesizeSheet(o, sheet, truth, error)) << error;
        const std::string in = dir / "sheet.png";
        ASSERT_EQ(saveGreyImage(in.c_str(), sheet), 0);
        LayoOptions options;
        options.dividePage = p.divide ? 1 : 0;
        TraceCapture quiet;
        const std::string written = (dir.path() / "out").string();
        std::filesystem::create_directories(written);
        ASSERT_EQ(runLayo(in.c_str(), (written + "/sheet.png").c_str(), options, defaultLayoStages()), 0);
        GreyImage result;
        ASSERT_EQ(loadGreyImage((written + "/" + p.output).c_str(), result), 0) << p.preset;
        EXPECT_EQ(hex(pixelHash(result)), hex(p.hash)) << p.preset << " seed " << p.seed;
    }
}
