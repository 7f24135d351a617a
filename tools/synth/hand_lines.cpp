#include "hand_lines.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// The em box of size s centred on (cx, cy), turned by radians about its centre.
Quad turnedBox(double cx, double cy, double s, double radians) {
    const double c = std::cos(radians), n = std::sin(radians);
    const double ex[4] = {-s / 2, s / 2, s / 2, -s / 2}, ey[4] = {-s / 2, -s / 2, s / 2, s / 2};
    Quad q;
    for (int i = 0; i < 4; ++i) q.p[i] = {cx + c * ex[i] - n * ey[i], cy + n * ex[i] + c * ey[i]};
    return q;
}

}  // namespace

LineTruth fillHandLine(TextStream& text, GlyphSource& glyphs, InkCanvas& canvas, const Geometry& g,
                       int x, int top, int length, SynthRandom& hand) {
    const double cell = g.cell;
    // The whole line's hand: its width, and a slow sway of its middle across.
    const double lineScale = hand.uniform(0.93, 1.05);
    const double sway = hand.uniform(0.04, 0.10) * cell;
    const double wave = hand.uniform(0.8, 1.6) * length;
    const double phase = hand.uniform(0, 2 * std::numbers::pi);
    auto middleAt = [&](double y) {
        return x + cell / 2 + sway * std::sin(2 * std::numbers::pi * (y - top) / wave + phase);
    };

    LineTruth line;
    double left = x, right = x + cell;
    double pen = top;  // where the next character's em box may start
    if (text.atParagraphStart() && !text.dialogue()) {
        line.cells.push_back(CellTruth{"", "blank", Quad::box(x, pen, x + cell, pen + cell)});
        pen += cell;
    }
    while (true) {
        if (text.paragraphDone()) {
            text.nextParagraph();
            break;
        }
        const double size = std::round(cell * lineScale * hand.uniform(0.9, 1.1));
        const double along = hand.uniform(-0.04, 0.04) * cell;
        const double across = hand.uniform(-0.04, 0.04) * cell;
        const double radians = hand.uniform(-3.0, 3.0) * std::numbers::pi / 180;
        const double advance = size * hand.uniform(1.0, 1.08);
        if (pen + advance > top + length) break;
        const double cy = pen + advance / 2 + along;
        const double cx = middleAt(cy) + across;
        const TextChar t = text.peek();
        CellTruth c;
        appendUtf8(c.text, t.ch);
        c.kind = "char";
        c.box = turnedBox(cx, cy, size, radians);
        const Quad b = c.box.bounds();
        left = std::min(left, b.p[0].x);
        right = std::max(right, b.p[2].x);
        line.cells.push_back(c);
        canvas.stampTurned(glyphs.glyph(t.ch, static_cast<int>(size), true), static_cast<int>(size), cx, cy, radians);
        text.advance();
        pen += advance;
    }
    line.box = Quad::box(left, top, right, pen);
    return line;
}
