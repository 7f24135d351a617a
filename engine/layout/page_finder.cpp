#include "layout/page_finder.h"

#include <algorithm>
#include <cstdlib>

#include "bands/band_geometry.h"
#include "bands/vertical_bands.h"
#include "chars/rows.h"
#include "core/progress.h"
#include "core/trace.h"
#include "layout/column_finder.h"
#include "layout/page_placement.h"
#include "layout/page_slant.h"
#include "layout/row_placement.h"

namespace {

void takeRightEdge(VerticalBand& band, const VerticalBand& from) {
    band.xRightTop = from.xRightTop;
    band.xRightBottom = from.xRightBottom;
}

// A seam may swallow a neighbour that lies within 0.3 waveX of it when the two together are at
// most 3 waveX wide.
bool closeEnough(const VerticalBand& left, const VerticalBand& right, double waveX) {
    const int gap = ((right.xLeftBottom - left.xRightBottom) - left.xRightTop + right.xLeftTop) / 2;
    const int joint = ((right.xRightBottom - left.xLeftBottom) - left.xLeftTop + right.xRightTop) / 2;
    return gap <= static_cast<int>(0.3 * waveX) && joint <= static_cast<int>(3.0 * waveX);
}

void dropFillersAndSeams(VerticalBandList& pages) {
    for (uint32_t i = 0; i < pages.count();) {
        if (pages[i].type == 1 || pages[i].type == 3) {
            pages.removeAt(i);
        } else {
            ++i;
        }
    }
}

// A seam of a spread lies in the middle half of the sheet: pages of a spread are of a size.
bool isSpreadSeamAt(int x, int imageWidth) { return 4 * x >= imageWidth && 4 * x <= 3 * imageWidth; }

// The outermost band i lies within a tenth of the sheet's side next to a page at least three
// times as wide: a strip of the facing page.
bool isFacingPageSliver(const VerticalBandList& pages, uint32_t i, int imageWidth) {
    if (pages.count() < 2 || (i != 0 && i + 1 != pages.count())) return false;
    const VerticalBand& b = pages[i];
    const VerticalBand& next = pages[i == 0 ? 1 : i - 1];
    const int width = bandWidth(b);
    const bool atLeftSide = i == 0 && 10 * std::max(b.xRightTop, b.xRightBottom) < imageWidth;
    const bool atRightSide = i != 0 && 10 * std::min(b.xLeftTop, b.xLeftBottom) > 9 * imageWidth;
    return (atLeftSide || atRightSide) && next.type == 2 && bandWidth(next) >= 3 * width;
}

int middleX(const VerticalBand& b) { return (b.xLeftTop + b.xLeftBottom + b.xRightTop + b.xRightBottom) / 4; }

// The share of the pixels of band (its edges taken with its own yTop/yBottom as end rows) that
// are darker than 128.
double darkShare(const VerticalBand& band, const GreyImage& image) {
    long long dark = 0, all = 0;
    for (int y = std::max(band.yTop, 0); y <= std::min(band.yBottom, image.height - 1); ++y) {
        int x0 = 0, x1 = -1;
        if (!bandRowSpan(band, y, image, x0, x1)) continue;
        all += x1 - x0 + 1;
        for (int x = x0; x <= x1; ++x) dark += image.at(x, y) < 128;
    }
    return all > 0 ? static_cast<double>(dark) / static_cast<double>(all) : 0.0;
}

}  // namespace

void fusePages(VerticalBandList& pages, double waveX, int imageWidth) {
    for (uint32_t i = 1; i < pages.count();) {
        VerticalBand& p = pages[i - 1];
        const VerticalBand& seam = pages[i];
        if (seam.type == 3 && (p.type == 3 || closeEnough(p, seam, waveX))) {
            takeRightEdge(p, seam);
            p.type = 3;
            pages.removeAt(i);
            i = std::max<uint32_t>(i - 1, 1);
            continue;
        }
        ++i;
    }
    for (uint32_t i = 0; i + 1 < pages.count();) {
        VerticalBand& seam = pages[i];
        const VerticalBand& q = pages[i + 1];
        if (seam.type == 3 && (q.type == 3 || closeEnough(seam, q, waveX))) {
            takeRightEdge(seam, q);
            pages.removeAt(i + 1);
            continue;
        }
        ++i;
    }
    for (uint32_t i = 0; i + 1 < pages.count();) {
        VerticalBand& left = pages[i];
        const VerticalBand& right = pages[i + 1];
        if (left.type == 2 && right.type == 2 && shouldMergePages(left, right, waveX, imageWidth)) {
            takeRightEdge(left, right);
            pages.removeAt(i + 1);
            continue;
        }
        ++i;
    }
}

void dropSeamsAndSlivers(VerticalBandList& pages, double waveX, int& seamX, int imageWidth,
                         VerticalBandList* bookEdges) {
    // A seam near a side of the sheet is the edge of the book or of its cover, with at most a
    // strip of the facing page beyond it: the page of the sheet is not one of a spread. Whatever
    // lies beyond it belongs to the facing page.
    for (uint32_t i = 0; i < pages.count();) {
        const VerticalBand& b = pages[i];
        const int x = middleX(b);
        if (b.type != 3 || isSpreadSeamAt(x, imageWidth)) {
            ++i;
            continue;
        }
        trace("page #%d at x=%d is the edge of the book, not a seam.\n", static_cast<int>(i), x);
        if (bookEdges) bookEdges->append(b);
        if (2 * x < imageWidth) {
            for (uint32_t k = 0; k <= i; ++k) pages.removeAt(0);
            i = 0;
        } else {
            while (pages.count() > i) pages.removeAt(pages.count() - 1);
        }
    }
    for (uint32_t i = 0; i < pages.count();) {
        const VerticalBand& b = pages[i];
        if (b.type == 3) {
            seamX = middleX(b);
            pages.removeAt(i);
        } else if (isFacingPageSliver(pages, i, imageWidth)) {
            trace("page #%d is a strip of the facing page.\n", static_cast<int>(i));
            pages.removeAt(i);
        } else if (std::max(b.xRightTop - b.xLeftTop, b.xRightBottom - b.xLeftBottom) + 1 < static_cast<int>(0.524 * waveX)) {
            pages.removeAt(i);
        } else {
            ++i;
        }
    }
}

void giveBackWhatBookEdgesTookIn(VerticalBandList& pages, const VerticalBandList& bookEdges,
                                 const VerticalBandList& seamCores, const GreyImage& image) {
    for (const VerticalBand& edge : bookEdges) {
        if (pages.empty()) return;
        const bool pageOnRight = middleX(edge) < middleX(pages[0]);
        VerticalBand& page = pages[pageOnRight ? 0 : pages.count() - 1];
        if (page.type != 2) continue;
        // The innermost seam as found within the edge: the one nearest the page.
        const VerticalBand* core = nullptr;
        for (const VerticalBand& c : seamCores) {
            const int x = middleX(c);
            if (x < std::min(edge.xLeftTop, edge.xLeftBottom) || x > std::max(edge.xRightTop, edge.xRightBottom)) continue;
            if (!core || (pageOnRight ? x > middleX(*core) : x < middleX(*core))) core = &c;
        }
        if (!core) continue;
        VerticalBand taken(page);
        if (pageOnRight) {
            taken.xLeftTop = core->xRightTop + 1;
            taken.xLeftBottom = core->xRightBottom + 1;
            taken.xRightTop = std::min(edge.xRightTop, page.xLeftTop - 1);
            taken.xRightBottom = std::min(edge.xRightBottom, page.xLeftBottom - 1);
        } else {
            taken.xLeftTop = std::max(edge.xLeftTop, page.xRightTop + 1);
            taken.xLeftBottom = std::max(edge.xLeftBottom, page.xRightBottom + 1);
            taken.xRightTop = core->xLeftTop - 1;
            taken.xRightBottom = core->xLeftBottom - 1;
        }
        if (taken.xRightTop < taken.xLeftTop && taken.xRightBottom < taken.xLeftBottom) continue;
        if (darkShare(taken, image) > 2 * darkShare(page, image)) continue;
        if (pageOnRight) {
            page.xLeftTop = std::min(page.xLeftTop, taken.xLeftTop);
            page.xLeftBottom = std::min(page.xLeftBottom, taken.xLeftBottom);
            trace("the page's left side moves out to x=%d, over what the edge of the book had taken in.\n",
                  page.xLeftTop);
        } else {
            page.xRightTop = std::max(page.xRightTop, taken.xRightTop);
            page.xRightBottom = std::max(page.xRightBottom, taken.xRightBottom);
            trace("the page's right side moves out to x=%d, over what the edge of the book had taken in.\n",
                  page.xRightTop);
        }
    }
}

bool isSeam(const VerticalBand& band, const GreyImage& image, double waveX) {
    const int jump = static_cast<int>(0.1 * waveX);
    int rowsFound = 0, jumps = 0, previous = 0;
    bool havePrevious = false;
    for (int y = std::max(band.yTop, 0); y <= std::min(band.yBottom, image.height - 1); ++y) {
        int x0 = 0, x1 = -1;
        if (!bandRowSpan(band, y, image, x0, x1)) continue;
        for (int x = x0; x <= x1; ++x) {
            if (image.at(x, y) > 155) continue;
            if (havePrevious) {
                ++rowsFound;
                if (std::abs(x - previous) >= jump) ++jumps;
            }
            previous = x;
            havePrevious = true;
            break;
        }
    }
    if (jumps > 2) return isDarkBinding(band, image, waveX);
    return rowsFound >= (band.yBottom - band.yTop + 1) / 3;
}

bool isDarkBinding(const VerticalBand& band, const GreyImage& image, double waveX) {
    if (image.width <= image.height || bandWidth(band) > 2 * waveX) return false;
    const int centre = (band.xLeftTop + band.xLeftBottom + band.xRightTop + band.xRightBottom) / 4;
    if (3 * centre < image.width || 3 * centre > 2 * image.width) return false;
    int rows = 0, shadedRows = 0;
    for (int y = std::max(band.yTop, 0); y <= std::min(band.yBottom, image.height - 1); ++y) {
        int x0 = 0, x1 = -1;
        if (!bandRowSpan(band, y, image, x0, x1)) continue;
        int shaded = 0;
        for (int x = x0; x <= x1; ++x) shaded += image.at(x, y) < 224;
        ++rows;
        shadedRows += 2 * shaded >= x1 - x0 + 1;
    }
    return rows > 0 && 2 * shadedRows >= rows;
}

bool shouldMergePages(const VerticalBand& left, const VerticalBand& right, double waveX, int imageWidth) {
    const int gap = (right.xLeftTop - left.xRightTop - left.xRightBottom + right.xLeftBottom) / 2;
    const int mid = (right.xLeftTop + left.xRightTop + left.xRightBottom + right.xLeftBottom) / 4;
    const double rel = static_cast<double>(mid) / imageWidth;
    if (gap <= static_cast<int>(1.41 * waveX)) return true;
    if (gap > static_cast<int>(2.25 * waveX)) return false;
    if (rel < 0.1) return false;
    if (rel <= 0.4) return true;
    if (rel < 0.6) return false;
    return rel <= 0.9;
}

int seamFromGap(const VerticalBandList& pages, int imageWidth, int imageHeight) {
    if (pages.count() != 2 || imageWidth <= imageHeight) return -1;
    const VerticalBand& right = pages[1];
    const VerticalBand& left = pages[0];
    const int middle = (left.xRightTop + left.xRightBottom + right.xLeftTop + right.xLeftBottom) / 4;
    if (std::abs(2 * middle - imageWidth) > imageWidth / 5) return -1;
    return middle;
}

bool linesRunAcross(double waveX, double waveY) { return waveY >= 1.2 * waveX; }

bool linesRunDown(double waveX, double waveY) { return linesRunAcross(waveY, waveX); }

int findPages(HorizontalBand& sheet, double& waveX, double& waveY, GreyImage& image, int& seamX,
              const LayoOptions& options, VerticalBandList& pages) {
    findVerticalBands1(pages, sheet, image, 70, 15, 30);
    setProgress(0.16f);
    if (pages.empty()) return 0;

    const int n = static_cast<int>(pages.count());
    int widths = 0;
    for (const VerticalBand& b : pages) widths += bandWidth(b);
    const int mean = widths / n;
    if (1.8 * mean < waveY) {
        waveY = 1.8 * mean;
        trace("waveLengthY を %lf に修正。\n", waveY);
    }
    trace("Pages before fusion:\n");
    dumpVerticalBands(pages);
    VerticalBandList seamCores;
    for (uint32_t i = 0; i < pages.count(); ++i) {
        if (isSeam(pages[i], image, waveX)) {
            pages[i].type = 3;
            seamCores.append(pages[i]);
            trace("page #%d is seam.\n", static_cast<int>(i));
        } else {
            pages[i].type = 2;
        }
    }
    fusePages(pages, waveX, image.width);
    trace("Pages before cleaning:\n");
    dumpVerticalBands(pages);
    seamX = -1;
    VerticalBandList bookEdges;
    dropSeamsAndSlivers(pages, waveX, seamX, image.width, &bookEdges);
    giveBackWhatBookEdgesTookIn(pages, bookEdges, seamCores, image);
    if (seamX == -1) {
        seamX = seamFromGap(pages, image.width, image.height);
        if (seamX != -1) trace("seam taken in the gap between the two pages: x=%d\n", seamX);
    }
    // Only the lines of vertical text tell the slant of a page's sides.
    if (linesRunDown(waveX, waveY)) slantPageEdgesAsText(pages, image);
    trace("Pages found:\n");
    dumpVerticalBands(pages);
    const int pagesFound = static_cast<int>(pages.count());
    // With no page left there is nothing to place: resampling with no band would blacken the
    // whole sheet.
    if (pagesFound == 0) return 0;

    expandVerticalBands(pages, sheet, 3);
    calcPagesDestX(pages, image);
    insertPageFillers(pages, sheet);
    rectifyVerticalBands(image, pages, sheet);
    dropFillersAndSeams(pages);
    if (!showPreview(image)) return -1;
    setProgress(0.18f);
    appendStatusText("段を分割しています……");

    for (VerticalBand& page : pages) {
        if (page.type != 2) continue;
        bool horizontalLines = false;
        findRows(page.rows(), waveX, waveY, page, image, horizontalLines, 0);
        addProgress(0.04f / static_cast<float>(pagesFound));
        // A sheet lies on its side when its lines run across it and the row stage did not find
        // a page of horizontal lines. Bands too wide for text lines alone do not tell: an
        // upright page gives them when a running header keeps the probes from passing between
        // its lines, and a sheet on its side whose characters stand on a grid gives narrow
        // bands between its rows of characters. The spectrum tells which pitch is the lines'.
        if (!horizontalLines && linesRunAcross(waveX, waveY)) return 2;
        expandHorizontalBands(page.rows(), 3);
    }
    calcRowsDestY(pages);
    setProgress(0.2f);

    int result = 0;
    for (VerticalBand& page : pages) {
        insertRowFillers(page);
        if (rectifyHorizontalBands2(image, page.rows(), page) != 0) return 3;
        removeFillerRows(page);
        if (!showPreview(image)) {
            result = -1;
            break;
        }
        result = findColumnsInPage(image, waveX, waveY, page, 0, 0.75f / static_cast<float>(pagesFound), options);
        if (result != 0) break;
    }
    if (isStopRequested()) return -1;
    return result;
}
