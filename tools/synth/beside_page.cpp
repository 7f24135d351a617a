#include "beside_page.h"

#include <algorithm>
#include <cmath>

SheetColumns planSheetColumns(const SynthOptions& o, int pagesWidth) {
    SheetColumns c;
    // The sliver takes its share of the whole sheet: pages * share / (1 - share) pixels.
    const int sliver = o.sliver.empty()
                           ? 0
                           : static_cast<int>(std::lround(pagesWidth * o.sliverShare / (1.0 - o.sliverShare)));
    const int edge = o.bookEdge.empty() ? 0 : std::max(1, static_cast<int>(std::lround(o.bookEdgeMm / 25.4 * o.dpi)));
    c.width = pagesWidth + sliver + edge;
    const int leftEdge = o.bookEdge == "left" ? edge : 0;
    const int leftSliver = o.sliver == "left" ? sliver : 0;
    c.pagesLeft = leftEdge + leftSliver;
    if (o.bookEdge == "left") {
        c.edgeLeft = 0;
        c.edgeRight = edge;
    } else if (o.bookEdge == "right") {
        c.edgeLeft = c.width - edge;
        c.edgeRight = c.width;
    }
    if (o.sliver == "left") {
        c.sliverLeft = leftEdge;
        c.sliverRight = leftEdge + sliver;
    } else if (o.sliver == "right") {
        c.sliverLeft = c.pagesLeft + pagesWidth;
        c.sliverRight = c.sliverLeft + sliver;
    }
    return c;
}

void drawSliver(const SynthOptions& o, const Geometry& g, const std::vector<RowSpan>& rows,
                const std::vector<Quad>& rules, int left, int right, bool onLeft,
                GlyphSource& glyphs, SynthRandom& random, InkCanvas& canvas) {
    // The gap leaves room for the ruby of the line nearest the page, so nothing crosses over.
    const int gap = random.between(g.cell * 6 / 10, g.cell * 11 / 10);
    const int shift = random.between(-g.cell, g.cell);
    TextStream text(random.fork(), RubyShape{o.rubyRate});
    for (int k = 0;; ++k) {
        const int x = onLeft ? right - gap - g.cell - k * g.pitch : left + gap + k * g.pitch;
        if (onLeft ? x + g.cell <= left : x >= right) break;
        for (const RowSpan& row : rows)
            fillLine(text, glyphs, canvas, g, x, row.top + shift, row.cells, o.hangingStops);
    }
    // The facing page's frame: its horizontal rules, at the same heights as this page's.
    for (const Quad& rule : rules) {
        const double w = rule.p[1].x - rule.p[0].x, h = rule.p[3].y - rule.p[0].y;
        if (h >= w) continue;
        const int y0 = static_cast<int>(rule.p[0].y) + shift, y1 = static_cast<int>(rule.p[3].y) + shift;
        if (onLeft) canvas.fill(left, y0, right - gap / 2, y1, 255);
        else canvas.fill(left + gap / 2, y0, right, y1, 255);
    }
}

void drawBookEdge(int left, int right, int dpi, SynthRandom& random, InkCanvas& canvas) {
    const double scale = dpi / 300.0;
    const double slant = random.uniform(-0.006, 0.006);  // x shift per row
    const double wobble = random.uniform(0.3, 1.2) * scale, period = random.uniform(300, 900) * scale;
    const double phase = random.uniform(0.0, 6.28);
    const int reach = static_cast<int>(std::ceil(std::fabs(slant) * canvas.height / 2 + wobble)) + 2;
    // One row of stripes, wider than the strip by the most the slant and the wobble move it.
    std::vector<unsigned char> stripes(static_cast<size_t>(right - left + 2 * reach));
    for (size_t at = 0; at < stripes.size();) {
        const int width = std::max(1, static_cast<int>(std::lround(random.uniform(0.6, 3.6) * scale)));
        const bool dark = random.chance(0.6);
        const unsigned char cover = static_cast<unsigned char>(dark ? random.between(215, 255) : random.between(110, 200));
        for (int i = 0; i < width && at < stripes.size(); ++i) stripes[at++] = cover;
    }
    for (int y = 0; y < canvas.height; ++y) {
        const double offset = slant * (y - canvas.height / 2.0) + wobble * std::sin(y / period + phase);
        for (int x = std::max(left, 0); x < std::min(right, canvas.width); ++x) {
            const double u = x - left + reach - offset;
            const int i = std::clamp(static_cast<int>(std::floor(u)), 0, static_cast<int>(stripes.size()) - 2);
            const double f = std::clamp(u - i, 0.0, 1.0);
            canvas.at(x, y) = static_cast<unsigned char>(std::lround(stripes[i] * (1 - f) + stripes[i + 1] * f));
        }
    }
}
