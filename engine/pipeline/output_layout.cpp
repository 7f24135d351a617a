#include "pipeline/output_layout.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "bands/band_geometry.h"
#include "core/median.h"

namespace {

// Whitens the strip of clip between two edges, each given by its x at clip's top and bottom
// rows, both included.
void whitenColumns(GreyImage& image, const HorizontalBand& clip, int leftTop, int leftBottom,
                   int rightTop, int rightBottom) {
    // An empty strip is skipped: its edges, rounded toward zero, could otherwise meet at 0.
    if (rightTop < leftTop && rightBottom < leftBottom) return;
    whitenVerticalBand(clip, bandBetween(clip.yTopLeft, clip.yBottomLeft, leftTop, leftBottom, rightTop, rightBottom),
                       image, false);
}

// Whitens the strip of clip between two edges like whitenColumns, but for the marks in it of a
// character's size: every 8-connected patch of dark pixels (under 128) whose bounds are at least
// least pixels one way and at most most pixels both ways keeps the pixels within two of those
// bounds. Straight dark runs longer than most pixels, down or across, are rules (a frame, the
// line between two columns), not marks: a glyph touching one is judged on its own. A patch that
// touches the ink of the band beside the strip (bandLeft, bandRight: a band lies there) is that
// band's own ink reaching out of it (a stroke, a dakuten, a stop), and stays whatever its size.
// A patch within least of one that stays and is at least a third of least thick both ways (3 at
// the least), directly or through others, stays with it: the strokes of a kana smaller than
// least, beside the kana around it.
void whitenColumnsKeepingMarks(GreyImage& image, const HorizontalBand& clip, int leftTop, int leftBottom,
                               int rightTop, int rightBottom, int least, int most, bool bandLeft, bool bandRight) {
    if (rightTop < leftTop && rightBottom < leftBottom) return;
    const int y0 = std::max(clip.yTopLeft, 0), y1 = std::min(clip.yBottomLeft, image.height - 1);
    if (y1 < y0) return;
    const int xMin = std::max(clip.xLeft, 0), xMax = std::min(clip.xRight, image.width - 1);
    std::vector<int> from(static_cast<size_t>(y1 - y0 + 1)), to(from.size());
    int x0 = INT_MAX, x1 = INT_MIN;
    for (int y = y0; y <= y1; ++y) {
        const size_t r = static_cast<size_t>(y - y0);
        from[r] = std::max(edgeAt(y, clip.yTopLeft, leftTop, clip.yBottomLeft, leftBottom), xMin);
        to[r] = std::min(edgeAt(y, clip.yTopLeft, rightTop, clip.yBottomLeft, rightBottom), xMax);
        if (from[r] <= to[r]) x0 = std::min(x0, from[r]), x1 = std::max(x1, to[r]);
    }
    if (x1 < x0) return;
    const int w = x1 - x0 + 1, h = y1 - y0 + 1;
    struct Keep {
        int left, right, top, bottom;
    };
    // The strip's dark pixels, and the pixels already taken by a rule or a patch, over the
    // strip's bounding box; with each row's count, since most rows of a strip hold no dark pixel
    // at all and are passed over below.
    std::vector<unsigned char> ink(static_cast<size_t>(w) * h, 0), seen(ink.size(), 0);
    std::vector<int> rowInk(static_cast<size_t>(h), 0);
    for (int r = 0; r < h; ++r) {
        const unsigned char* row = &image.at(0, y0 + r);
        unsigned char* inkRow = ink.data() + static_cast<size_t>(r) * w;
        int count = 0;
        for (int x = from[static_cast<size_t>(r)]; x <= to[static_cast<size_t>(r)]; ++x) {
            inkRow[x - x0] = row[x] < 128;
            count += row[x] < 128;
        }
        rowInk[static_cast<size_t>(r)] = count;
    }
    auto at = [w, x0, y0](std::vector<unsigned char>& map, int x, int y) -> unsigned char& {
        return map[static_cast<size_t>(y - y0) * w + (x - x0)];
    };
    // Rules are set aside before the marks are gathered: marked seen, they join no patch. The
    // runs down the columns are followed a row at a time, each column keeping its run's length.
    std::vector<int> runDown(static_cast<size_t>(w) + 1, 0);
    int open = 0;  // columns whose run goes on
    for (int r = 0; r <= h; ++r) {
        if (r < h && rowInk[static_cast<size_t>(r)] == 0 && open == 0) continue;
        for (int i = 0; i < w; ++i) {
            int& run = runDown[static_cast<size_t>(i)];
            if (r < h && ink[static_cast<size_t>(r) * w + i]) {
                open += run == 0;
                ++run;
                continue;
            }
            if (run > most)
                for (int k = r - run; k < r; ++k) seen[static_cast<size_t>(k) * w + i] = 1;
            open -= run > 0;
            run = 0;
        }
    }
    for (int r = 0; r < h; ++r) {
        if (rowInk[static_cast<size_t>(r)] == 0) continue;
        const unsigned char* inkRow = &ink[static_cast<size_t>(r) * w];
        unsigned char* seenRow = &seen[static_cast<size_t>(r) * w];
        for (int i = 0; i < w;) {
            int end = i;
            while (end < w && inkRow[end]) ++end;
            if (end - i > most) std::fill(seenRow + i, seenRow + end, 1);
            i = std::max(end, i + 1);
        }
    }
    auto dark = [&](int x, int y) { return x >= x0 && x <= x1 && y >= y0 && y <= y1 && at(ink, x, y); };
    struct Patch {
        Keep box;
        bool stays;
        bool anchors;  // stays, and holds its strokes' neighbours (see below)
    };
    const int thick = std::max(3, least / 3);
    std::vector<Patch> patches;
    std::vector<std::pair<int, int>> stack;
    for (int y = y0; y <= y1; ++y)
        for (int x = from[static_cast<size_t>(y - y0)]; x <= to[static_cast<size_t>(y - y0)] && rowInk[static_cast<size_t>(y - y0)];
             ++x) {
            if (!at(ink, x, y) || at(seen, x, y)) continue;
            Keep b{x, x, y, y};
            bool touches = false;
            at(seen, x, y) = 1;
            stack.assign(1, {x, y});
            while (!stack.empty()) {
                const auto [px, py] = stack.back();
                stack.pop_back();
                b.left = std::min(b.left, px), b.right = std::max(b.right, px);
                b.top = std::min(b.top, py), b.bottom = std::max(b.bottom, py);
                const size_t r = static_cast<size_t>(py - y0);
                if ((bandLeft && px == from[r]) || (bandRight && px == to[r])) {
                    const int outside = px == from[r] && bandLeft ? px - 1 : px + 1;
                    for (int dy = -1; dy <= 1 && !touches; ++dy) {
                        const int ny = py + dy;
                        touches = outside >= 0 && outside < image.width && ny >= 0 && ny < image.height &&
                                  image.at(outside, ny) < 128;
                    }
                }
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = px + dx, ny = py + dy;
                        if (!dark(nx, ny) || at(seen, nx, ny)) continue;
                        at(seen, nx, ny) = 1;
                        stack.push_back({nx, ny});
                    }
            }
            const int bw = b.right - b.left + 1, bh = b.bottom - b.top + 1;
            const bool mark = (bw >= least || bh >= least) && bw <= most && bh <= most;
            patches.push_back({b, touches || mark, touches || (mark && std::min(bw, bh) >= thick)});
        }
    // A patch near one that stays is a part of the same text: the other stroke of a small kana,
    // the dots of a mark. Patches whose bounds come within near of each other are joined, and a
    // group holding a patch that stays keeps them all; not a thin one, though (a piece of a broken
    // rule or page edge, whose dashes would otherwise all stay with it).
    const int near = std::max(2, least);
    std::sort(patches.begin(), patches.end(), [](const Patch& a, const Patch& b) { return a.box.top < b.box.top; });
    std::vector<size_t> group(patches.size());
    for (size_t i = 0; i < group.size(); ++i) group[i] = i;
    auto root = [&group](size_t i) {
        while (group[i] != i) i = group[i] = group[group[i]];
        return i;
    };
    for (size_t i = 0; i < patches.size(); ++i) {
        const Keep& a = patches[i].box;
        for (size_t j = i + 1; j < patches.size() && patches[j].box.top <= a.bottom + near; ++j) {
            const Keep& b = patches[j].box;
            if (b.left <= a.right + near && a.left <= b.right + near) group[root(j)] = root(i);
        }
    }
    std::vector<unsigned char> groupStays(patches.size(), 0);
    for (size_t i = 0; i < patches.size(); ++i) groupStays[root(i)] |= patches[i].anchors;
    std::vector<Keep> kept;
    for (size_t i = 0; i < patches.size(); ++i) {
        const Keep& b = patches[i].box;
        if (patches[i].stays || groupStays[root(i)]) kept.push_back({b.left - 2, b.right + 2, b.top - 2, b.bottom + 2});
    }
    // The kept boxes, cut to the bounding box, are marked in ink (no longer needed), then every
    // strip pixel outside them is whitened.
    std::fill(ink.begin(), ink.end(), 0);
    for (const Keep& k : kept) {
        const int left = std::max(k.left, x0), right = std::min(k.right, x1);
        for (int y = std::max(k.top, y0); y <= std::min(k.bottom, y1) && left <= right; ++y)
            std::fill(&at(ink, left, y), &at(ink, right, y) + 1, 1);
    }
    for (int r = 0; r < h; ++r) {
        unsigned char* row = &image.at(0, y0 + r);
        const unsigned char* keepRow = ink.data() + static_cast<size_t>(r) * w;
        for (int x = from[static_cast<size_t>(r)]; x <= to[static_cast<size_t>(r)]; ++x)
            if (!keepRow[x - x0]) row[x] = 255;
    }
}

// Whitens the strip of page between two edges, each given by its y at the page's left and right
// columns, both included.
void whitenRows(GreyImage& image, const VerticalBand& page, int topLeft, int topRight,
                int bottomLeft, int bottomRight) {
    if (bottomLeft < topLeft && bottomRight < topRight) return;
    whitenHorizontalBand(page, rowBetween(page.xLeftTop, page.xRightTop, topLeft, topRight, bottomLeft, bottomRight),
                         image, false);
}

// Distance d scaled by s and rounded, in double precision.
int scaled(int d, float s) { return static_cast<int>(static_cast<double>(d) * s + 0.5); }

}  // namespace

void removeHeaderRows(VerticalBandList& pages) {
    for (VerticalBand& page : pages) {
        HorizontalBandList& rows = page.rows();
        uint32_t k = 0;
        while (k < rows.count()) {
            if (rows[k].type == 4) {
                rows.removeAt(k);
            } else {
                ++k;
            }
        }
    }
}

// The strips stop one pixel short of each band and follow its slanted edges: a band's edge pixels
// are its own (its left edge is the first line that met its ink), and a band that is not yet
// upright would otherwise lose the part of its ink that leans past a straight strip.
void eraseOutsidePages(GreyImage& image, VerticalBandList& bands, const HorizontalBand& clip) {
    const uint32_t n = bands.count();
    if (n == 0) {
        whitenColumns(image, clip, clip.xLeft, clip.xLeft, clip.xRight, clip.xRight);
        return;
    }
    // Between the columns of a tier, a mark of about a character's size is text whose column was
    // lost (a closing bracket alone on its line, ruby), not dust: it stays.
    std::vector<int> lineWidths;
    if (clip.type == 1)
        for (const VerticalBand& b : bands)
            if (b.type == 4) lineWidths.push_back(bandWidth(b));
    int least = 0, most = -1;
    if (!lineWidths.empty()) {
        const int typical = upperMedian(lineWidths);
        least = std::max(static_cast<int>(0.3 * typical), 1);
        most = static_cast<int>(1.5 * typical);
    }
    auto whiten = [&](int leftTop, int leftBottom, int rightTop, int rightBottom, bool bandLeft, bool bandRight) {
        if (most < 0) {
            whitenColumns(image, clip, leftTop, leftBottom, rightTop, rightBottom);
        } else {
            whitenColumnsKeepingMarks(image, clip, leftTop, leftBottom, rightTop, rightBottom, least, most, bandLeft,
                                      bandRight);
        }
    };
    const VerticalBand& first = bands[0];
    const VerticalBand& last = bands[n - 1];
    if (clip.xLeft <= first.xLeftTop) whiten(clip.xLeft, clip.xLeft, first.xLeftTop - 1, first.xLeftBottom - 1, false, true);
    for (uint32_t i = 1; i < n; ++i) {
        const VerticalBand& a = bands[i - 1];
        const VerticalBand& b = bands[i];
        whiten(a.xRightTop + 1, a.xRightBottom + 1, b.xLeftTop - 1, b.xLeftBottom - 1, true, true);
    }
    if (last.xRightTop <= clip.xRight)
        whiten(last.xRightTop + 1, last.xRightBottom + 1, clip.xRight, clip.xRight, true, false);
    for (VerticalBand& band : bands) {
        if (band.type == 2) eraseOutsideRows(image, band.rows(), band);
    }
}

void eraseOutsideRows(GreyImage& image, HorizontalBandList& rows, const VerticalBand& page) {
    const uint32_t n = rows.count();
    if (n == 0) {
        whitenRows(image, page, page.yTop, page.yTop, page.yBottom, page.yBottom);
        return;
    }
    const HorizontalBand& first = rows[0];
    const HorizontalBand& last = rows[n - 1];
    if (page.yTop <= first.yTopLeft) {
        whitenRows(image, page, page.yTop, page.yTop, first.yTopLeft - 1, first.yTopRight - 1);
    }
    for (uint32_t i = 1; i < n; ++i) {
        const HorizontalBand& a = rows[i - 1];
        const HorizontalBand& b = rows[i];
        whitenRows(image, page, a.yBottomLeft + 1, a.yBottomRight + 1, b.yTopLeft - 1, b.yTopRight - 1);
    }
    if (last.yBottomLeft <= page.yBottom) {
        whitenRows(image, page, last.yBottomLeft + 1, last.yBottomRight + 1, page.yBottom, page.yBottom);
    }
    for (HorizontalBand& row : rows) {
        if (row.type == 1) eraseOutsidePages(image, row.columns(), row);
    }
}

MiddlePage findMiddlePage(const VerticalBandList& pages, int width) {
    MiddlePage m;
    const int half = width / 2;
    for (uint32_t i = 0; i < pages.count(); ++i) {
        const VerticalBand& p = pages[i];
        if (p.xRightTop < half) {
            m.b = static_cast<int>(i);
        } else if (p.xLeftTop > half) {
            break;
        } else {
            m.a = static_cast<int>(i);
        }
    }
    if (m.a != -1) {
        const VerticalBand& p = pages[static_cast<uint32_t>(m.a)];
        if ((p.xLeftTop + p.xLeftBottom + p.xRightTop + p.xRightBottom) / 4 <= half) m.b = m.a;
    }
    return m;
}

int horizontalShift(const VerticalBandList& pages, int seamX, int width, bool single,
                    bool& divide) {
    if (single) return 0;
    if (seamX != -1) return seamX - width / 2;
    const int n = static_cast<int>(pages.count());
    if (n == 0) return 0;
    const int half = width / 2;
    const MiddlePage m = findMiddlePage(pages, width);
    auto page = [&pages](int i) -> const VerticalBand& { return pages[static_cast<uint32_t>(i)]; };
    if (m.a == -1) {
        int d0 = INT_MAX, d1 = INT_MAX, e0 = INT_MAX, e1 = INT_MAX;
        if (m.b != -1) {
            d0 = page(0).xLeftTop;
            d1 = half - page(m.b).xRightTop;
        }
        if (m.b != n - 1) {
            e0 = page(m.b + 1).xLeftTop - half;
            e1 = width - page(n - 1).xRightTop;
        }
        return std::min(d0, e0) - std::min(d1, e1);
    }
    if (m.a == m.b) {
        if (page(m.a).xRightTop - page(0).xLeftTop + 1 > half) {
            divide = false;
            return 0;
        }
        return (page(0).xLeftTop + page(m.a).xRightTop) / 2 - width / 4;
    }
    if (page(n - 1).xRightTop - page(m.a).xLeftTop + 1 > half) {
        divide = false;
        return 0;
    }
    return (page(m.a).xLeftTop + page(n - 1).xRightTop) / 2 - (3 * width) / 4;
}

void outputBands(const HorizontalBand& sheet, int width, int dx, bool divide, HorizontalBand& r1,
                 HorizontalBand& r2) {
    r1 = sheet;
    r1.xLeft = dx;
    if (divide) {
        r1.xRight = width / 2 + dx;
        r2 = sheet;
        r2.xLeft = width / 2 + dx + 1;
        r2.xRight = width - 1 + dx;
    } else {
        r1.xRight = width - 1 + dx;
    }
}

void fitBandToPages(HorizontalBand& band, const VerticalBandList& pages, float floor) {
    const int cx = (band.xLeft + band.xRight) / 2;
    const int cy = (band.yTopLeft + band.yBottomLeft + band.yTopRight + band.yBottomRight) / 4;
    int minX = INT_MAX, maxX = 0, minY = INT_MAX, maxY = INT_MIN;
    bool anyRows = false;
    for (const VerticalBand& p : pages) {
        if (p.xLeftTop < band.xLeft || p.xRightTop > band.xRight) continue;
        minX = std::min(minX, p.xLeftTop);
        maxX = p.xRightTop;
        const HorizontalBandList* rows = p.rowsIfAny();
        if (!rows || rows->empty()) continue;
        anyRows = true;
        minY = std::min(minY, (*rows)[0].yTopLeft);
        maxY = std::max(maxY, (*rows)[rows->count() - 1].yBottomLeft);
    }
    float s = floor;
    if (anyRows) {
        // A band one pixel wide or high has a half size of 0; it is taken as 1 so that the
        // factor stays finite.
        const int halfW = std::max((band.xRight - band.xLeft + 1) / 2, 1);
        const int halfH = std::max((band.yBottomLeft - band.yTopLeft + 1) / 2, 1);
        const float left = static_cast<float>(cx - minX) / static_cast<float>(halfW);
        const float right = static_cast<float>(maxX - cx) / static_cast<float>(halfW);
        const float top = static_cast<float>(cy - minY) / static_cast<float>(halfH);
        const float bottom = static_cast<float>(maxY - cy) / static_cast<float>(halfH);
        s = std::max({floor, bottom, top, right, left});
    }
    band.xLeft = cx - scaled(cx - band.xLeft, s);
    band.xRight = cx + scaled(band.xRight - cx, s);
    band.yTopLeft = cy - scaled(cy - band.yTopLeft, s);
    band.yTopRight = cy - scaled(cy - band.yTopRight, s);
    band.yBottomLeft = cy + scaled(band.yBottomLeft - cy, s);
    band.yBottomRight = cy + scaled(band.yBottomRight - cy, s);
}

void addMargins(HorizontalBand& band, int hMargin, int vMargin) {
    band.xLeft -= hMargin;
    band.xRight += hMargin;
    band.yTopLeft -= vMargin;
    band.yTopRight -= vMargin;
    band.yBottomLeft += vMargin;
    band.yBottomRight += vMargin;
}

bool compose(const GreyImage& source, const HorizontalBand& band, GreyImage& out) {
    const int64_t w = static_cast<int64_t>(band.xRight) - band.xLeft + 1;
    const int64_t h = static_cast<int64_t>(band.yBottomLeft) - band.yTopLeft + 1;
    if (w <= 0 || h <= 0 || w * h >= 0x80000000ll) return false;
    out.reset(static_cast<int>(w), static_cast<int>(h), 255);
    if (out.size() != static_cast<uint32_t>(w * h)) return false;
    // The columns of the band that lie inside the source, copied row by row.
    const int c0 = std::max(0, -band.xLeft);
    const int c1 = static_cast<int>(std::min<int64_t>(w, static_cast<int64_t>(source.width) - band.xLeft));
    if (c1 <= c0) return true;
    for (int r = 0; r < out.height; ++r) {
        const int64_t sy = static_cast<int64_t>(band.yTopLeft) + r;
        if (sy < 0 || sy >= source.height) continue;
        std::memcpy(&out.at(c0, r), &source.at(band.xLeft + c0, static_cast<int>(sy)),
                    static_cast<size_t>(c1 - c0));
    }
    return true;
}
