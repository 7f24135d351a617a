// Glyph rasteriser for test sheets: FreeType outlines with HarfBuzz's vertical alternates, so
// that 、。「」ー… and small kana take their vertical-writing shape and position.
#pragma once

#include <map>
#include <string>
#include <tuple>
#include <vector>

struct FT_LibraryRec_;
struct FT_FaceRec_;
struct hb_font_t;

// Ink coverage of one glyph, 0 (none) to 255 (full), placed relative to its em box.
struct GlyphBitmap {
    int left = 0;  // from the em box's left edge to the bitmap's first column
    int top = 0;   // from the em box's top edge to the bitmap's first row
    int width = 0;
    int height = 0;
    std::vector<unsigned char> coverage;
};

class GlyphSource {
public:
    // Opens the font file; ok() tells whether that worked.
    explicit GlyphSource(const std::string& fontPath);
    ~GlyphSource();
    GlyphSource(const GlyphSource&) = delete;
    GlyphSource& operator=(const GlyphSource&) = delete;

    bool ok() const { return face_ != nullptr; }

    // The glyph of c in an em box of size pixels, in its vertical-writing form when vertical.
    const GlyphBitmap& glyph(char32_t c, int size, bool vertical);

private:
    unsigned glyphIndex(char32_t c, bool vertical);

    FT_LibraryRec_* library_ = nullptr;
    FT_FaceRec_* face_ = nullptr;
    hb_font_t* font_ = nullptr;
    std::map<std::tuple<char32_t, int, bool>, GlyphBitmap> cache_;
};
