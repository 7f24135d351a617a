#include "library_stamp.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

// Stamps of old libraries and collections: 2 to 6 characters each.
const char32_t* const kStampWords[] = {U"文庫",     U"藏書",     U"文庫印",   U"圖書館藏",
                                       U"藏書之印", U"書庫之印", U"東京書籍館", U"帝國圖書館藏"};

// The ink coverage that shows grey on paper of tone paper.
int coverageFor(double grey, int paper) {
    const double ink = 28.0;  // the grey of full ink on the sheet
    if (paper <= grey) return 0;
    return std::clamp(static_cast<int>(std::lround((paper - grey) / (paper - ink) * 255)), 0, 255);
}

}  // namespace

Quad drawLibraryStamp(const PageTruth& page, const Geometry& g, int dpi, int paperTone,
                      GlyphSource& glyphs, SynthRandom& random, InkCanvas& canvas) {
    const double scale = dpi / 300.0;
    const int strength = coverageFor(random.uniform(90, 130), paperTone);
    const bool round = random.chance(0.5);
    const std::u32string word = kStampWords[random.between(0, std::size(kStampWords) - 1)];
    const int thick = std::max(1, static_cast<int>(std::lround(random.between(2, 4) * scale)));

    // The text area, or the middle of a page without text.
    const double pageLeft = page.box.p[0].x, pageTop = page.box.p[0].y;
    const double pageW = page.box.p[1].x - pageLeft, pageH = page.box.p[2].y - pageTop;
    double left = pageLeft + pageW * 0.15, right = pageLeft + pageW * 0.85;
    double bottom = pageTop + pageH * 0.85;
    if (!page.tiers.empty()) {
        left = right = page.tiers[0].box.p[0].x;
        bottom = page.tiers.back().box.p[2].y;
        for (const TierTruth& tier : page.tiers) {
            left = std::min(left, tier.box.p[0].x);
            right = std::max(right, tier.box.p[1].x);
        }
    }
    int size = random.between(8, 14) * g.cell;
    size = std::min(size, static_cast<int>(std::min(pageW, pageH) * 0.8));
    // Over the bottom of the text, most of it on the text, all of it on the page.
    const int x0 = random.between(static_cast<int>(left), std::max(static_cast<int>(left), static_cast<int>(right) - size));
    int y0 = static_cast<int>(bottom - size * random.uniform(0.55, 0.95));
    y0 = std::clamp(y0, static_cast<int>(pageTop), static_cast<int>(pageTop + pageH) - size - 1);
    const int x1 = x0 + size, y1 = y0 + size;

    if (round) {
        const double cx = x0 + size / 2.0, cy = y0 + size / 2.0, outer = size / 2.0, inner = outer - thick;
        for (int y = std::max(y0, 0); y < std::min(y1, canvas.height); ++y)
            for (int x = std::max(x0, 0); x < std::min(x1, canvas.width); ++x) {
                const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
                const double cover = std::clamp(std::min(outer - d, d - inner) + 0.5, 0.0, 1.0);
                unsigned char& v = canvas.at(x, y);
                v = std::max(v, static_cast<unsigned char>(std::lround(cover * strength)));
            }
    } else {
        const auto ink = static_cast<unsigned char>(strength);
        canvas.fill(x0, y0, x1, y0 + thick, ink);
        canvas.fill(x0, y1 - thick, x1, y1, ink);
        canvas.fill(x0, y0, x0 + thick, y1, ink);
        canvas.fill(x1 - thick, y0, x1, y1, ink);
    }

    // The characters in columns right to left, each read top to bottom, centred in the outline.
    const int n = static_cast<int>(word.size());
    const int rows = n <= 3 ? n : (n == 4 ? 2 : 3);
    const int cols = (n + rows - 1) / rows;
    const double room = round ? (size / 2.0 - thick) * std::sqrt(2.0) : size - 2.0 * thick;
    const int charSize = static_cast<int>(room * 0.9 / std::max(rows, cols));
    const int blockW = cols * charSize, blockH = rows * charSize;
    const int bx = x0 + (size - blockW) / 2, by = y0 + (size - blockH) / 2;
    for (int i = 0; i < n; ++i) {
        const int col = i / rows, row = i % rows;
        canvas.stampPale(glyphs.glyph(word[static_cast<size_t>(i)], charSize, true),
                         bx + blockW - (col + 1) * charSize, by + row * charSize, strength);
    }
    return Quad::box(x0, y0, x1, y1);
}
