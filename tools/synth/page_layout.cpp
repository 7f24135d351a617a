#include "page_layout.h"

#include <algorithm>
#include <cmath>

#include "text_source.h"

void InkCanvas::resize(int w, int h) {
    width = w;
    height = h;
    ink.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
}

void InkCanvas::stamp(const GlyphBitmap& g, int x, int y) {
    for (int r = 0; r < g.height; ++r) {
        const int yy = y + g.top + r;
        if (yy < 0 || yy >= height) continue;
        for (int c = 0; c < g.width; ++c) {
            const int xx = x + g.left + c;
            if (xx < 0 || xx >= width) continue;
            unsigned char& v = at(xx, yy);
            v = std::max(v, g.coverage[static_cast<size_t>(r * g.width + c)]);
        }
    }
}

void InkCanvas::fill(int x0, int y0, int x1, int y1, unsigned char coverage) {
    for (int y = std::max(y0, 0); y < std::min(y1, height); ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, width); ++x) at(x, y) = std::max(at(x, y), coverage);
}

namespace {

int mmToPx(double mm, int dpi) { return static_cast<int>(std::lround(mm / 25.4 * dpi)); }

bool isStop(char32_t c) { return c == U'、' || c == U'。'; }

// The running text of a sheet, drawn paragraph by paragraph as lines ask for characters.
class TextStream {
public:
    TextStream(SynthRandom random, double rubyRate) : random_(random), rubyRate_(rubyRate) {}

    bool atParagraphStart() const { return index_ == 0; }
    bool dialogue() { return paragraph().dialogue; }
    bool paragraphDone() { return index_ >= paragraph().chars.size(); }
    const TextChar& peek() { return paragraph().chars[index_]; }
    void advance() { ++index_; }
    void nextParagraph() {
        has_ = false;
        index_ = 0;
    }

private:
    Paragraph& paragraph() {
        if (!has_) {
            current_ = ::nextParagraph(random_, rubyRate_);
            has_ = true;
        }
        return current_;
    }

    SynthRandom random_;
    double rubyRate_;
    Paragraph current_;
    bool has_ = false;
    size_t index_ = 0;
};

struct Geometry {
    int cell = 0;   // character size and pitch along a line
    int pitch = 0;  // line pitch
};

// Fills one vertical line of cells cells, cell top-left corners at (x, top + i * cell).
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
            const double y0 = top + pos * g.cell + (span - height) / 2;
            RubyTruth ruby;
            ruby.text = toUtf8(t.ruby);
            ruby.box = Quad::box(x + g.cell, y0, x + g.cell + size, y0 + height);
            for (size_t k = 0; k < t.ruby.size(); ++k) {
                canvas.stamp(glyphs.glyph(t.ruby[k], size, true), x + g.cell,
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

// Horizontal lines of text filling the rectangle, left to right, top to bottom.
void fillHorizontalBlock(TextStream& text, GlyphSource& glyphs, InkCanvas& canvas, int x0, int y0,
                         int x1, int y1, int size) {
    const int rowPitch = size * 17 / 10;
    for (int y = y0; y + size <= y1; y += rowPitch) {
        for (int x = x0; x + size <= x1; x += size) {
            if (text.paragraphDone()) text.nextParagraph();
            const char32_t c = text.peek().ch;
            text.advance();
            canvas.stamp(glyphs.glyph(c, size, false), x, y);
        }
    }
}

// Paragraphs in horizontal lines filling the rectangle, left to right, top to bottom: each
// starts on a new line after a blank cell and ends where its text ends.
void fillHorizontalPage(TextStream& text, GlyphSource& glyphs, InkCanvas& canvas, int x0, int y0,
                        int x1, int y1, const Geometry& g) {
    for (int y = y0; y + g.cell <= y1; y += g.pitch) {
        int x = x0;
        if (text.atParagraphStart()) x += g.cell;
        for (; x + g.cell <= x1 && !text.paragraphDone(); x += g.cell) {
            canvas.stamp(glyphs.glyph(text.peek().ch, g.cell, false), x, y);
            text.advance();
        }
        if (text.paragraphDone()) text.nextParagraph();
    }
}

// A stand-in for a picture: a flat grey box, or a patch of blotchy texture.
void drawPicture(SynthRandom& r, InkCanvas& canvas, int x0, int y0, int x1, int y1) {
    if (r.chance(0.5)) {
        canvas.fill(x0, y0, x1, y1, static_cast<unsigned char>(r.between(90, 200)));
        return;
    }
    const int blobs = std::max(8, (x1 - x0) * (y1 - y0) / 900);
    for (int i = 0; i < blobs; ++i) {
        const int cx = r.between(x0, x1 - 1), cy = r.between(y0, y1 - 1), rad = r.between(3, 14);
        const unsigned char v = static_cast<unsigned char>(r.between(60, 255));
        for (int y = std::max(cy - rad, y0); y < std::min(cy + rad, y1); ++y)
            for (int x = std::max(cx - rad, x0); x < std::min(cx + rad, x1); ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= rad * rad)
                    canvas.at(x, y) = std::max(canvas.at(x, y), v);
    }
    canvas.fill(x0, y0, x1, y0 + 2, 255);  // a thin frame, as printed pictures often have
    canvas.fill(x0, y1 - 2, x1, y1, 255);
    canvas.fill(x0, y0, x0 + 2, y1, 255);
    canvas.fill(x1 - 2, y0, x1, y1, 255);
}

// Small horizontal text (header, page number); answers its box.
Quad drawSmallText(GlyphSource& glyphs, InkCanvas& canvas, const std::u32string& text, int x,
                   int y, int size) {
    int pen = x;
    for (char32_t c : text) {
        const bool narrow = c < 0x80;
        canvas.stamp(glyphs.glyph(c, size, false), pen, y);
        pen += narrow ? size / 2 : size;
    }
    return Quad::box(x, y, pen, y + size);
}

}  // namespace

bool layOutSheet(const SynthOptions& o, GlyphSource& glyphs, SynthRandom& random,
                 InkCanvas& canvas, SheetTruth& truth) {
    double pageWmm = 0, pageHmm = 0;
    if (!paperSize(o.paper, pageWmm, pageHmm)) return false;
    const int pageW = mmToPx(pageWmm, o.dpi), pageH = mmToPx(pageHmm, o.dpi);
    const int pages = o.spread ? 2 : 1;
    canvas.resize(pageW * pages, pageH);
    truth.width = canvas.width;
    truth.height = canvas.height;
    truth.dpi = o.dpi;

    Geometry g;
    g.cell = std::max(4, static_cast<int>(std::lround(o.fontPoints / 72.0 * o.dpi)));
    g.pitch = std::max(g.cell, static_cast<int>(std::lround(g.cell * o.lineSpacing)));
    truth.charPitch = g.cell;
    truth.linePitch = g.pitch;
    if (o.spread) {
        truth.hasSeam = true;
        truth.seam = Quad::box(pageW, 0, pageW, pageH);
    }

    TextStream text(random.fork(), o.rubyRate);
    SynthRandom blocks = random.fork();
    const int top = mmToPx(o.marginTopMm, o.dpi), bottom = mmToPx(o.marginBottomMm, o.dpi);
    const int inner = mmToPx(o.marginInnerMm, o.dpi), outer = mmToPx(o.marginOuterMm, o.dpi);
    const bool singleInnerLeft = (o.seed % 2) == 0;
    const int firstPageNumber = 2 * static_cast<int>(o.seed % 150) + 3;

    for (int p = 0; p < pages; ++p) {
        // Pages are read right to left: the right page of a spread comes first.
        const int x0 = o.spread ? (p == 0 ? pageW : 0) : 0;
        const bool innerLeft = o.spread ? p == 0 : singleInnerLeft;
        PageTruth page;
        page.box = Quad::box(x0, 0, x0 + pageW, pageH);
        const int areaLeft = x0 + (innerLeft ? inner : outer);
        const int areaRight = x0 + pageW - (innerLeft ? outer : inner);
        const int areaTop = top, areaBottom = pageH - bottom;
        const int areaW = areaRight - areaLeft, areaH = areaBottom - areaTop;
        if (areaW < g.cell || areaH < g.cell) return false;

        const int gap = static_cast<int>(std::lround(o.tierGapCells * g.cell));
        const int tierH = (areaH - (o.tiers - 1) * gap) / std::max(o.tiers, 1);
        int cells = tierH / g.cell;
        if (o.charsPerLine > 0) cells = std::min(cells, o.charsPerLine);
        const int lines = o.charsPerLine < 0 ? 0 : (areaW - g.cell) / g.pitch + 1;
        const int blockW = (lines - 1) * g.pitch + g.cell;
        const int right = areaRight - (areaW - blockW) / 2;  // the text block sits centred

        // Blocks go on the first page's first tier: a picture standing in the lower part of a
        // few lines, and a band of horizontal lines in place of a few others.
        int pictureFrom = -1, pictureTo = -1, pictureCells = 0, horizFrom = -1, horizTo = -1;
        if (p == 0 && lines >= 12) {
            if (o.picture) {
                pictureFrom = blocks.between(2, lines / 2 - 4);
                pictureTo = pictureFrom + blocks.between(3, 5);
                pictureCells = cells * blocks.between(30, 55) / 100;
            }
            if (o.horizontalBlock) {
                horizFrom = blocks.between(lines / 2, lines - 6);
                horizTo = horizFrom + blocks.between(3, 4);
            }
        }

        if (o.horizontalText) {
            fillHorizontalPage(text, glyphs, canvas, areaLeft, areaTop, areaRight, areaBottom, g);
            TierTruth tier;
            tier.box = Quad::box(areaLeft, areaTop, areaRight, areaBottom);
            tier.blocks.push_back({"horizontal", tier.box});
            page.tiers.push_back(tier);
        }
        for (int t = 0; t < o.tiers && lines > 0 && !o.horizontalText; ++t) {
            TierTruth tier;
            const int tierTop = areaTop + t * (cells * g.cell + gap);
            tier.box = Quad::box(right - blockW, tierTop, right, tierTop + cells * g.cell);
            for (int j = 0; j < lines; ++j) {
                const int x = right - g.cell - j * g.pitch;
                if (t == 0 && j >= horizFrom && j < horizTo) {
                    if (j == horizFrom) {
                        const int bx1 = right - horizFrom * g.pitch;
                        const int bx0 = right - g.cell - (horizTo - 1) * g.pitch;
                        fillHorizontalBlock(text, glyphs, canvas, bx0, tierTop, bx1,
                                            tierTop + cells * g.cell, g.cell * 85 / 100);
                        tier.blocks.push_back({"horizontal", Quad::box(bx0, tierTop, bx1, tierTop + cells * g.cell)});
                    }
                    continue;
                }
                int lineCells = cells;
                if (t == 0 && j >= pictureFrom && j < pictureTo) {
                    lineCells = pictureCells;
                    if (j == pictureFrom) {
                        const int bx1 = right - pictureFrom * g.pitch;
                        const int bx0 = right - g.cell - (pictureTo - 1) * g.pitch;
                        const int by0 = tierTop + (pictureCells + 1) * g.cell;
                        const int by1 = tierTop + cells * g.cell;
                        drawPicture(blocks, canvas, bx0, by0, bx1, by1);
                        tier.blocks.push_back({"picture", Quad::box(bx0, by0, bx1, by1)});
                    }
                }
                if (lineCells < 1) continue;
                tier.lines.push_back(
                    fillLine(text, glyphs, canvas, g, x, tierTop, lineCells, o.hangingStops));
            }
            page.tiers.push_back(tier);
        }

        const int small = g.cell * 8 / 10;
        if (o.header) {
            SynthRandom titles(o.seed * 31 + 7);
            const std::u32string title = headerTitle(titles);
            const int width = static_cast<int>(title.size()) * small;
            const int hx = innerLeft ? areaRight - width : areaLeft;  // on the outer side
            page.header = drawSmallText(glyphs, canvas, title, hx, areaTop - 2 * g.cell, small);
            page.hasHeader = true;
            page.headerText = toUtf8(title);
        }
        if (o.pageNumber) {
            std::u32string number;
            for (char c : std::to_string(firstPageNumber + (o.spread ? 1 - p : 0)))
                number += static_cast<char32_t>(c);
            const int width = static_cast<int>(number.size()) * small / 2;
            const int nx = innerLeft ? areaRight - width : areaLeft;
            page.footer = drawSmallText(glyphs, canvas, number, nx,
                                        areaBottom + g.cell * 3 / 2, small);
            page.hasFooter = true;
            page.footerText = toUtf8(number);
        }
        truth.pages.push_back(page);
    }
    return true;
}
