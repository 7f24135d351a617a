#include "text_lines.h"

#include <algorithm>
#include <cmath>

namespace {

bool isStop(char32_t c) { return c == U'、' || c == U'。'; }

}  // namespace

Paragraph& TextStream::paragraph() {
    if (!has_) {
        current_ = ::nextParagraph(random_, ruby_);
        has_ = true;
    }
    return current_;
}

LineTruth fillLine(TextStream& text, GlyphSource& glyphs, InkCanvas& canvas, const Geometry& g,
                   int x, int top, int cells, bool hanging) {
    LineTruth line;
    line.box = Quad::box(x, top, x + g.cell, top + cells * g.cell);
    auto cellBox = [&](int i) { return Quad::box(x, top + i * g.cell, x + g.cell, top + (i + 1) * g.cell); };
    auto put = [&](int i, const TextChar& t, const char* kind) {
        CellTruth cell;
        appendUtf8(cell.text, t.ch);
        cell.kind = kind;
        cell.box = cellBox(i);
        line.cells.push_back(cell);
        canvas.stamp(glyphs.glyph(t.ch, g.cell, true), x, top + i * g.cell);
    };
    auto blank = [&](int i) { line.cells.push_back(CellTruth{"", "blank", cellBox(i)}); };

    int pos = 0;
    if (text.atParagraphStart() && !text.dialogue() && cells > 1) blank(pos++);
    while (pos < cells) {
        if (text.paragraphDone()) {
            while (pos < cells) blank(pos++);
            text.nextParagraph();
            return line;
        }
        const TextChar t = text.peek();
        // Ruby is set only when its whole base fits on this line and the gap beside it is wide
        // enough for half-size kana.
        if (!t.ruby.empty() && pos + t.rubySpan <= cells && g.pitch - g.cell >= g.cell / 2) {
            const int size = g.cell / 2;
            const double span = t.rubySpan * g.cell;
            const double height = static_cast<double>(t.ruby.size()) * size;
            double y0 = top + pos * g.cell + (span - height) / 2;
            if (g.rubyInLine) y0 = std::clamp(y0, static_cast<double>(top), top + cells * g.cell - height);
            int rubyX = x + g.cell;
            if (g.rubyGap >= 0) {
                // The em boxes move so that the nearest ink of any kana stands rubyGap clear.
                int bearing = size;
                for (char32_t k : t.ruby) bearing = std::min(bearing, glyphs.glyph(k, size, true).left);
                rubyX += g.rubyGap - bearing;
            }
            RubyTruth ruby;
            ruby.text = toUtf8(t.ruby);
            ruby.box = Quad::box(rubyX, y0, rubyX + size, y0 + height);
            for (size_t k = 0; k < t.ruby.size(); ++k) {
                canvas.stamp(glyphs.glyph(t.ruby[k], size, true), rubyX,
                             static_cast<int>(std::lround(y0)) + static_cast<int>(k) * size);
            }
            line.ruby.push_back(ruby);
        }
        put(pos++, t, "char");
        text.advance();
    }
    // A 、 or 。 that would open the next line hangs below this one instead.
    if (hanging && !text.paragraphDone() && isStop(text.peek().ch)) {
        put(cells, text.peek(), "hanging");
        text.advance();
    }
    if (text.paragraphDone()) text.nextParagraph();
    return line;
}
