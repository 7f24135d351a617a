#include "page_layout.h"

#include <algorithm>
#include <cmath>

#include "beside_page.h"
#include "frames.h"
#include "hand_lines.h"
#include "library_stamp.h"
#include "text_lines.h"
#include "text_source.h"

namespace {

int mmToPx(double mm, int dpi) { return static_cast<int>(std::lround(mm / 25.4 * dpi)); }

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
    const SheetColumns columns = planSheetColumns(o, pageW * pages);
    canvas.resize(columns.width, pageH);
    truth.width = canvas.width;
    truth.height = canvas.height;
    truth.dpi = o.dpi;

    Geometry g;
    g.cell = std::max(4, static_cast<int>(std::lround(o.fontPoints / 72.0 * o.dpi)));
    g.pitch = std::max(g.cell, static_cast<int>(std::lround(g.cell * o.lineSpacing)));
    g.rubyGap = o.rubyGapPx;
    g.rubyInLine = o.rubyGapPx >= 0 || o.rubyLength > 0 || o.rubyBase > 0;
    truth.charPitch = g.cell;
    truth.linePitch = g.pitch;
    if (o.spread) {
        truth.hasSeam = true;
        truth.seam = Quad::box(columns.pagesLeft + pageW, 0, columns.pagesLeft + pageW, pageH);
    }

    TextStream text(random.fork(), RubyShape{o.rubyRate, o.rubyLength, o.rubyBase});
    SynthRandom blocks = random.fork();
    // The old-print marks draw from streams of their own, so that turning one on changes
    // neither the text nor any other mark.
    SynthRandom marks = random.fork();
    SynthRandom frameRandom = marks.fork(), stampRandom = marks.fork();
    SynthRandom sliverRandom = marks.fork(), edgeRandom = marks.fork();
    SynthRandom handRandom = o.handSet ? marks.fork() : SynthRandom(0);
    std::vector<RowSpan> rows;  // where the tiers run, for the facing page in the sliver
    const int top = mmToPx(o.marginTopMm, o.dpi), bottom = mmToPx(o.marginBottomMm, o.dpi);
    const int inner = mmToPx(o.marginInnerMm, o.dpi), outer = mmToPx(o.marginOuterMm, o.dpi);
    const bool singleInnerLeft = (o.seed % 2) == 0;
    const int firstPageNumber = 2 * static_cast<int>(o.seed % 150) + 3;

    for (int p = 0; p < pages; ++p) {
        // Pages are read right to left: the right page of a spread comes first.
        const int x0 = columns.pagesLeft + (o.spread ? (p == 0 ? pageW : 0) : 0);
        const bool innerLeft = o.spread ? p == 0 : singleInnerLeft;
        PageTruth page;
        page.box = Quad::box(x0, 0, x0 + pageW, pageH);
        const int areaLeft = x0 + (innerLeft ? inner : outer);
        const int areaRight = x0 + pageW - (innerLeft ? outer : inner);
        const int areaTop = top, areaBottom = pageH - bottom;
        const int areaW = areaRight - areaLeft, areaH = areaBottom - areaTop;
        if (areaW < g.cell || areaH < g.cell) return false;

        int gap = static_cast<int>(std::lround(o.tierGapCells * g.cell));
        if (o.frames) gap = std::max(gap, framedTierGap(g, o.dpi));
        const int tierH = (areaH - (o.tiers - 1) * gap) / std::max(o.tiers, 1);
        int cells = tierH / g.cell;
        if (o.charsPerLine > 0) cells = std::min(cells, o.charsPerLine);
        const int lines = o.charsPerLine < 0 ? 0 : (areaW - g.cell) / g.pitch + 1;
        const int blockW = (lines - 1) * g.pitch + g.cell;
        const int right = areaRight - (areaW - blockW) / 2;  // the text block sits centred
        if (p == 0) {
            for (int t = 0; t < std::max(o.tiers, 1) && cells > 0; ++t)
                rows.push_back({areaTop + t * (cells * g.cell + gap), cells});
        }

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
                if (o.handSet) {
                    tier.lines.push_back(fillHandLine(text, glyphs, canvas, g, x, tierTop, lineCells * g.cell, handRandom));
                    continue;
                }
                tier.lines.push_back(
                    fillLine(text, glyphs, canvas, g, x, tierTop, lineCells, o.hangingStops));
            }
            page.tiers.push_back(tier);
        }

        // The frame comes before the header and page number, which must stay outside it.
        int headerY = areaTop - 2 * g.cell, footerY = areaBottom + g.cell * 3 / 2;
        const int small = g.cell * 8 / 10;
        if (o.frames) {
            page.rules = drawFrames(page, g, o.hangingStops, o.dpi, frameRandom, canvas);
            for (const Quad& rule : page.rules) {
                headerY = std::min(headerY, static_cast<int>(rule.p[0].y) - g.cell / 2 - small);
                footerY = std::max(footerY, static_cast<int>(rule.p[2].y) + g.cell / 2);
            }
        }
        if (o.header) {
            SynthRandom titles(o.seed * 31 + 7);
            const std::u32string title = headerTitle(titles);
            const int width = static_cast<int>(title.size()) * small;
            const int hx = innerLeft ? areaRight - width : areaLeft;  // on the outer side
            page.header = drawSmallText(glyphs, canvas, title, hx, headerY, small);
            page.hasHeader = true;
            page.headerText = toUtf8(title);
        }
        if (o.pageNumber) {
            std::u32string number;
            for (char c : std::to_string(firstPageNumber + (o.spread ? 1 - p : 0)))
                number += static_cast<char32_t>(c);
            const int width = static_cast<int>(number.size()) * small / 2;
            const int nx = innerLeft ? areaRight - width : areaLeft;
            page.footer = drawSmallText(glyphs, canvas, number, nx, footerY, small);
            page.hasFooter = true;
            page.footerText = toUtf8(number);
        }
        if (o.stamp) {
            page.stamp = drawLibraryStamp(page, g, o.dpi, o.paperTone, glyphs, stampRandom, canvas);
            page.hasStamp = true;
        }
        truth.pages.push_back(page);
    }

    if (columns.sliverRight > columns.sliverLeft) {
        // The facing page continues this sheet's page beside it: the leftmost page for a sliver
        // on the left (the last one read), the first page for one on the right.
        const bool onLeft = o.sliver == "left";
        const PageTruth& beside = onLeft ? truth.pages.back() : truth.pages.front();
        drawSliver(o, g, rows, beside.rules, columns.sliverLeft, columns.sliverRight, onLeft, glyphs,
                   sliverRandom, canvas);
        truth.hasSliver = true;
        truth.sliver = Quad::box(columns.sliverLeft, 0, columns.sliverRight, pageH);
    }
    if (columns.edgeRight > columns.edgeLeft) {
        drawBookEdge(columns.edgeLeft, columns.edgeRight, o.dpi, edgeRandom, canvas);
        truth.hasBookEdge = true;
        truth.bookEdge = Quad::box(columns.edgeLeft, 0, columns.edgeRight, pageH);
    }
    return true;
}
