#include "glyphs.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb-ft.h>
#include <hb.h>

GlyphSource::GlyphSource(const std::string& fontPath) {
    if (FT_Init_FreeType(&library_) != 0) {
        library_ = nullptr;
        return;
    }
    if (FT_New_Face(library_, fontPath.c_str(), 0, &face_) != 0) {
        face_ = nullptr;
        return;
    }
    font_ = hb_ft_font_create_referenced(face_);
}

GlyphSource::~GlyphSource() {
    if (font_) hb_font_destroy(font_);  // releases its reference to the face
    if (face_) FT_Done_Face(face_);
    if (library_) FT_Done_FreeType(library_);
}

unsigned GlyphSource::glyphIndex(char32_t c, bool vertical) {
    if (!vertical) return FT_Get_Char_Index(face_, c);
    hb_buffer_t* buffer = hb_buffer_create();
    const uint32_t code = c;
    hb_buffer_add_utf32(buffer, &code, 1, 0, 1);
    hb_buffer_set_direction(buffer, HB_DIRECTION_TTB);
    hb_buffer_set_script(buffer, HB_SCRIPT_HIRAGANA);
    hb_buffer_set_language(buffer, hb_language_from_string("ja", -1));
    hb_feature_t features[2];
    hb_feature_from_string("vert", -1, &features[0]);
    hb_feature_from_string("vrt2", -1, &features[1]);
    hb_shape(font_, buffer, features, 2);
    unsigned count = 0;
    const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
    const unsigned index = count > 0 ? info[0].codepoint : FT_Get_Char_Index(face_, c);
    hb_buffer_destroy(buffer);
    return index;
}

const GlyphBitmap& GlyphSource::glyph(char32_t c, int size, bool vertical) {
    const auto key = std::make_tuple(c, size, vertical);
    auto found = cache_.find(key);
    if (found != cache_.end()) return found->second;
    GlyphBitmap& g = cache_[key];
    if (!face_ || size < 1) return g;
    FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(size));
    // HarfBuzz measures in the font's current size; the glyph index does not depend on it.
    hb_ft_font_changed(font_);
    const unsigned index = glyphIndex(c, vertical);
    if (FT_Load_Glyph(face_, index, FT_LOAD_RENDER) != 0) return g;
    const FT_Bitmap& b = face_->glyph->bitmap;
    const int ascender = static_cast<int>(face_->size->metrics.ascender >> 6);
    g.left = face_->glyph->bitmap_left;
    g.top = ascender - face_->glyph->bitmap_top;
    g.width = static_cast<int>(b.width);
    g.height = static_cast<int>(b.rows);
    g.coverage.resize(static_cast<size_t>(g.width) * static_cast<size_t>(g.height));
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            g.coverage[static_cast<size_t>(y * g.width + x)] = b.buffer[y * b.pitch + x];
    return g;
}
