#include "lines/line_lean.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "bands/band_geometry.h"
#include "core/line_fit.h"
#include "core/median.h"
#include "lines/line_placement.h"

namespace {

// Rows closer than this many band widths to each other go into one slab: four characters.
constexpr int kSlabWidths = 4;

// Darker than this counts as ink.
constexpr int kInk = 128;

// Steeper leans than this (columns per row) are taken for a misreading of the line.
constexpr double kSteepest = 0.02;

// A line's own slant further than this (columns per row) from its neighbours' is taken for a
// misreading too (ruby or a neighbour's strokes within its band): five pixels over 1000 rows.
constexpr double kStray = 0.005;

// A band wider than this many times the tier's typical line width, around ink whose envelope is
// at most kWideInk times the typical envelope, holds marks beside its line.
constexpr double kWideBand = 1.15;
constexpr double kWideInk = 1.1;

// Ink narrower than this many times the typical envelope is ruby or dust, not a line's glyphs.
constexpr double kDustInk = 0.6;

// The x of an edge at row y when it runs from xt at row yt to xb at row yb.
double edgeX(int y, int yt, int xt, int yb, int xb) {
    if (yb == yt) return xt;
    return (static_cast<double>(xb) * (y - yt) + static_cast<double>(xt) * (yb - y)) / (yb - yt);
}

// Moves an edge (its top and bottom ends) by the given shifts, keeping each end inside room
// when it was so.
void shiftEdge(int& top, int& bottom, int topShift, int bottomShift, const NeighbourRoom& room) {
    auto shifted = [](int x, int shift, int lo, int hi) {
        const int moved = x + shift;
        if (shift < 0 && x >= lo) return std::max(moved, lo);
        if (shift > 0 && x <= hi) return std::min(moved, hi);
        return moved;
    };
    top = shifted(top, topShift, room.leftTop, room.rightTop);
    bottom = shifted(bottom, bottomShift, room.leftBottom, room.rightBottom);
}

// Half the width a band laid about the middles middleTop and middleBottom may take: wanted, or
// less where room ends nearer one of them.
double halfWithin(double wanted, double middleTop, double middleBottom, const NeighbourRoom& room) {
    return std::min({wanted, middleTop - room.leftTop + 0.5, room.rightTop - middleTop + 0.5,
                     middleBottom - room.leftBottom + 0.5, room.rightBottom - middleBottom + 0.5});
}

// Lays the band's edges half either side of middleTop at its top and middleBottom at its foot.
void layAbout(VerticalBand& c, double middleTop, double middleBottom, double half) {
    c.xLeftTop = static_cast<int>(std::lround(middleTop - half + 0.5));
    c.xRightTop = static_cast<int>(std::lround(middleTop + half - 0.5));
    c.xLeftBottom = static_cast<int>(std::lround(middleBottom - half + 0.5));
    c.xRightBottom = static_cast<int>(std::lround(middleBottom + half - 0.5));
}

}  // namespace

LineLean measureLineLean(const GreyImage& image, const VerticalBand& band, const HorizontalBand& row,
                         const NeighbourRoom* room) {
    const int yT = row.yTopLeft, yB = row.yBottomLeft;
    const int width = std::max(bandWidth(band), 1);
    const int slab = std::max(kSlabWidths * width, 8);

    std::vector<double> centres, deviations, masses, spans;
    // Per slab: the ink's count at each offset from the band's middle, and its rows.
    int reach = width / 2 + 4;
    if (room) {
        const double middleTop = (band.xLeftTop + band.xRightTop + 1) / 2.0;
        const double middleBottom = (band.xLeftBottom + band.xRightBottom + 1) / 2.0;
        for (double d : {middleTop - room->leftTop, room->rightTop - middleTop, middleBottom - room->leftBottom,
                         room->rightBottom - middleBottom})
            reach = std::max(reach, static_cast<int>(std::ceil(d)) + 2);
    }
    std::vector<double> counts(static_cast<size_t>(2 * reach + 1), 0.0);
    double mass = 0, rowSum = 0;
    int rowsInSlab = 0;
    const int yEnd = std::min(yB, image.height - 1);
    for (int y = std::max(yT, 0); y <= yEnd; ++y) {
        const double left = edgeX(y, yT, band.xLeftTop, yB, band.xLeftBottom);
        const double right = edgeX(y, yT, band.xRightTop, yB, band.xRightBottom) + 1;
        const double middle = (left + right) / 2;
        // Without room, two columns beyond each edge: an edge that meets the ink leaves the rest
        // of a stroke just outside.
        const int x0 = std::max(room ? static_cast<int>(std::ceil(edgeX(y, yT, room->leftTop, yB, room->leftBottom)))
                                     : static_cast<int>(std::floor(left)) - 2,
                                0);
        const int x1 = std::min(room ? static_cast<int>(std::floor(edgeX(y, yT, room->rightTop, yB, room->rightBottom)))
                                     : static_cast<int>(std::ceil(right)) + 2,
                                image.width - 1);
        const unsigned char* line = image.pixels.data() + static_cast<size_t>(y) * image.width;
        for (int x = x0; x <= x1; ++x) {
            if (line[x] >= kInk) continue;
            const int offset = std::clamp(static_cast<int>(std::lround(x + 0.5 - middle)), -reach, reach);
            counts[static_cast<size_t>(offset + reach)] += 1;
            mass += 1;
            rowSum += y;
        }
        if (++rowsInSlab == slab || y == yEnd) {
            if (mass > 0) {
                // Where the ink of the slab begins and ends across the line, past its outermost
                // few hundredths: the envelope of the strokes, which ruby and commas barely move.
                double seen = 0, lo = 0, hi = 0;
                bool loSet = false, hiSet = false;
                for (size_t k = 0; k < counts.size(); ++k) {
                    seen += counts[k];
                    if (!loSet && seen >= 0.03 * mass) { lo = static_cast<double>(k); loSet = true; }
                    if (!hiSet && seen >= 0.97 * mass) { hi = static_cast<double>(k); hiSet = true; }
                }
                centres.push_back(rowSum / mass);
                deviations.push_back((lo + hi) / 2 - reach);
                masses.push_back(mass);
                spans.push_back(hi - lo + 1);
            }
            std::fill(counts.begin(), counts.end(), 0.0);
            mass = rowSum = 0;
            rowsInSlab = 0;
        }
    }
    // Slabs of a blank cell or a lone mark hold little ink and say little about the line.
    if (masses.empty()) return {};
    const double typical = upperMedian(masses);
    std::vector<double> ys, ds, envelopes;
    double sum = 0, inkRowSum = 0, weight = 0;  // the slabs' deviations and rows weighted by their ink
    for (size_t i = 0; i < masses.size(); ++i)
        if (masses[i] >= 0.25 * typical) {
            ys.push_back(centres[i]);
            ds.push_back(deviations[i]);
            envelopes.push_back(spans[i]);
            sum += masses[i] * deviations[i];
            inkRowSum += masses[i] * centres[i];
            weight += masses[i];
        }
    if (ys.empty()) return {};
    const double inkRow = inkRowSum / weight;
    // A slope fitted over a short stretch of the line, then drawn out to its ends, is mostly
    // the noise of a few glyphs: where its ink lies is still known.
    const double envelope = upperMedian(envelopes);
    if (ys.size() < 4 || ys.back() - ys.front() < 0.5 * (yB - yT))
        return {0.0, sum / weight, true, false, inkRow, envelope};
    double slope = 0, intercept = 0;
    fitLine(ys, ds, slope, intercept);
    return {slope, intercept + slope * (yT + yB) / 2.0, true, true, inkRow, envelope};
}

namespace {

// The slant of a band's middle, in columns per row.
double bandSlant(const VerticalBand& b, int yT, int yB) {
    if (yB == yT) return 0.0;
    return ((b.xLeftBottom + b.xRightBottom) - (b.xLeftTop + b.xRightTop)) / 2.0 / (yB - yT);
}

// The slant of the ink of every text line of about the typical width whose slant was measured
// (leans, by band index), by band index: a band much narrower holds a row of marks, not a line.
std::vector<std::pair<uint32_t, double>> measuredSlants(const VerticalBandList& columns, const HorizontalBand& row,
                                                         const std::vector<LineLean>& leans, int typicalWidth) {
    std::vector<std::pair<uint32_t, double>> slants;
    for (uint32_t i = 0; i < columns.count(); ++i) {
        const VerticalBand& c = columns[i];
        const LineLean& lean = leans[i];
        if (c.type != 4 || lopsidedBand(c) || 10 * bandWidth(c) < 6 * typicalWidth) continue;
        if (lean.sloped && std::fabs(lean.slope) <= kSteepest)
            slants.emplace_back(i, bandSlant(c, row.yTopLeft, row.yBottomLeft) + lean.slope);
    }
    return slants;
}

// The measured slants (band index, slant) nearest to band i, up to count on either side: those
// after it, nearest first, then those before it, nearest first. own is band i's own entry, or
// null when it was not measured.
std::vector<std::pair<uint32_t, double>> slantsBeside(const std::vector<std::pair<uint32_t, double>>& slants,
                                                       uint32_t i, long count, const std::pair<uint32_t, double>*& own) {
    auto after = std::lower_bound(slants.begin(), slants.end(), std::make_pair(i, -1e9));
    const auto before = after;
    own = nullptr;
    if (after != slants.end() && after->first == i) own = &*after++;
    std::vector<std::pair<uint32_t, double>> beside;
    for (auto it = after; it != slants.end() && it - after < count; ++it) beside.push_back(*it);
    for (auto it = before; it != slants.begin() && before - it < count;) beside.push_back(*--it);
    return beside;
}

// The median slant of the measured lines nearest to band i, two on either side, band i's own
// among them when it was measured.
bool slantNear(const std::vector<std::pair<uint32_t, double>>& slants, uint32_t i, double& slant) {
    const std::pair<uint32_t, double>* own = nullptr;
    std::vector<double> near;
    for (const auto& [k, s] : slantsBeside(slants, i, 2, own)) near.push_back(s);
    if (own) near.push_back(own->second);
    if (near.empty()) return false;
    std::sort(near.begin(), near.end());
    slant = near.size() % 2 ? near[near.size() / 2] : (near[near.size() / 2 - 1] + near[near.size() / 2]) / 2;
    return true;
}

// The slant a line at band i would have if the slants of the measured lines nearest to it
// (three on either side) changed evenly across the tier: a least-squares line through their
// slants against their middles, fitted again without the farthest while one strays by more
// than kStray. The line's own slant (own, when measured) joins the fit unless it strays from
// that line and from their median. Past the last of the lines fitted (at the end of a tier, or
// beside lines too short for a slope) the trend is held at its value there: drawn out from three
// lines a pitch or two apart, a few thousandths of noise in their slants would lean a line
// several lines away by as many pixels. False with fewer than three lines beside it.
bool slantTrendNear(const std::vector<std::pair<uint32_t, double>>& slants, const VerticalBandList& columns,
                    uint32_t i, const double* own, double& slant) {
    auto middle = [&](uint32_t k) {
        const VerticalBand& c = columns[k];
        return (c.xLeftTop + c.xRightTop + c.xLeftBottom + c.xRightBottom) / 4.0;
    };
    const std::pair<uint32_t, double>* measured = nullptr;
    std::vector<double> xs, ss;
    for (const auto& [k, s] : slantsBeside(slants, i, 3, measured)) {
        xs.push_back(middle(k));
        ss.push_back(s);
    }
    const double x = middle(i);
    auto fit = [&](std::vector<double> fx, std::vector<double> fs, double& at) {
        for (;;) {
            if (fx.size() < 3) return false;
            double b = 0, a = 0;
            fitLine(fx, fs, b, a);
            size_t worst = 0;
            for (size_t k = 1; k < fx.size(); ++k)
                if (std::fabs(fs[k] - (a + b * fx[k])) > std::fabs(fs[worst] - (a + b * fx[worst]))) worst = k;
            if (std::fabs(fs[worst] - (a + b * fx[worst])) <= kStray) {
                const auto [first, last] = std::minmax_element(fx.begin(), fx.end());
                at = a + b * std::clamp(x, *first, *last);
                return true;
            }
            fx.erase(fx.begin() + static_cast<long>(worst));
            fs.erase(fs.begin() + static_cast<long>(worst));
        }
    };
    if (!fit(xs, ss, slant)) return false;
    // At the end of a tier the trend is drawn out past the lines it was fitted to, and their
    // median is as fair a guess: a slant near either is believed.
    if (own && (std::fabs(*own - slant) <= kStray || std::fabs(*own - upperMedian(ss)) <= kStray)) {
        xs.push_back(x);
        ss.push_back(*own);
        fit(xs, ss, slant);
    }
    return true;
}

// Drops every band that missed its line at one end (lopsided) and around which, between its
// neighbours, lies no ink wider than kDustInk times the lines' envelope: specks the cleaning
// left between two lines, or ruby the column finder did not attach to its line. It holds no
// text line: laid anew at the lines' width it would take in its neighbours' strokes, and placed
// on a character grid its specks would be drawn out into bars. Its room becomes part of the gap
// between its neighbours. lopsided and leans follow the list.
void dropDustBands(const GreyImage& image, VerticalBandList& columns, const HorizontalBand& row,
                   double typicalEnvelope, std::vector<bool>& lopsided, std::vector<LineLean>& leans) {
    if (typicalEnvelope <= 0) return;
    for (uint32_t i = 0; i < columns.count();) {
        // At either end of the tier there is no gap between neighbours to take the band's room:
        // dropped, its ink would be drawn out with the margin. It stays a line to be laid on its
        // ink (a colophon in small type beside the last line, a note in the margin).
        const bool atEnd = i == 0 || i + 1 == columns.count();
        if (lopsided[i] && !atEnd) {
            const NeighbourRoom around = roomBetweenNeighbours(columns, i, i, row);
            const LineLean lean = measureLineLean(image, columns[i], row, &around);
            if (!lean.measured || lean.envelope < kDustInk * typicalEnvelope) {
                columns.removeAt(i);
                lopsided.erase(lopsided.begin() + i);
                leans.erase(leans.begin() + i);
                continue;
            }
        }
        ++i;
    }
}

}  // namespace

void followLineLeans(const GreyImage& image, VerticalBandList& columns, const HorizontalBand& row) {
    const int yT = row.yTopLeft, yB = row.yBottomLeft;
    const double middleRow = (yT + yB) / 2.0;
    // Every line whose edges both found it is measured once, before any band moves: a band is
    // moved only while its own line is laid, so these stay its measures until then. Their width
    // is the width for a band that missed its line.
    std::vector<bool> lopsidedBands(columns.count(), false);
    for (uint32_t i = 0; i < columns.count(); ++i) lopsidedBands[i] = columns[i].type == 4 && lopsidedBand(columns[i]);
    std::vector<LineLean> leans(columns.count());
    std::vector<int> widths;
    std::vector<double> envelopes;
    for (uint32_t i = 0; i < columns.count(); ++i) {
        const VerticalBand& c = columns[i];
        if (c.type != 4 || lopsidedBands[i]) continue;
        leans[i] = measureLineLean(image, c, row);
        widths.push_back(bandWidth(c));
        if (leans[i].measured) envelopes.push_back(leans[i].envelope);
    }
    const int typicalWidth = widths.empty() ? 0 : upperMedian(widths);
    const double typicalEnvelope = envelopes.empty() ? 0.0 : upperMedian(envelopes);
    dropDustBands(image, columns, row, typicalEnvelope, lopsidedBands, leans);
    const uint32_t n = columns.count();
    const std::vector<std::pair<uint32_t, double>> slants = measuredSlants(columns, row, leans, typicalWidth);
    // Bands that missed their line at one end are laid last: their ink is looked for between
    // their neighbours, which must then stand where they stay.
    for (const bool lopsidedPass : {false, true}) {
        for (uint32_t i = 0; i < n; ++i) {
            if (columns[i].type != 4 || lopsidedBands[i] != lopsidedPass) continue;
            // A band much wider at one end than at the other has an edge that missed the line there:
            // its middle says nothing about the line's, and the part of the line it missed lies
            // outside it, up to the neighbouring bands. It is laid along the middle of the ink
            // found there, at the width of the lines whose edges found them.
            VerticalBand& c = columns[i];
            const int topWidth = c.xRightTop - c.xLeftTop + 1, bottomWidth = c.xRightBottom - c.xLeftBottom + 1;
            const bool lopsided = lopsidedPass;
            // A band far wider than the lines around ink no wider than theirs took in a speck or
            // a neighbour's stroke beside its line: it is laid anew the same way.
            const bool strayWide = !lopsided && typicalWidth > 0 && leans[i].measured &&
                                   bandWidth(c) > kWideBand * typicalWidth &&
                                   leans[i].envelope <= kWideInk * typicalEnvelope;
            const bool relaid = lopsided || strayWide;
            NeighbourRoom around;
            if (relaid) around = roomBetweenNeighbours(columns, i, i, row);
            const LineLean lean = lopsided ? measureLineLean(image, c, row, &around) : leans[i];
            // A lopsided band's own slant means nothing: the ink's is what must be believable.
            const double inkSlant = lean.slope + (lopsided ? bandSlant(c, yT, yB) : 0.0);
            if (!lean.measured) continue;
            double trend = 0;
            const double own = bandSlant(c, yT, yB) + lean.slope;
            const bool trended = slantTrendNear(slants, columns, i, lean.sloped && !lopsided ? &own : nullptr, trend);
            // A steep lean against the band is a misreading of the ink, unless the ink then runs
            // as the lines beside it do: the band's edges missed the line. A lopsided band whose
            // ink is too short for a slope (a paragraph's last line) has no slant to judge: left
            // alone, the band finder's steep edges would miss the glyphs.
            const bool inkSlantKnown = lean.sloped || !lopsided;
            if (inkSlantKnown && std::fabs(inkSlant) > kSteepest && !(trended && std::fabs(own - trend) <= kStray))
                continue;
            // The shifts that lay each end of the band's middle on the ink's middle, turned to the
            // slant the line is given: where its neighbours' slants lead (its own, one glyph shape
            // per slab, is the noisier measure), else (too few neighbours measured) its own unless
            // it strays from their median or was not measured (a line too short for a slope of its
            // own: a paragraph's last line, a heading; a band that missed its line), and then their
            // median. A line with neither is moved onto its ink whole.
            double slant = trend;
            bool slanted = trended;
            if (!trended) {
                slanted = slantNear(slants, i, slant);
                if (lean.sloped && (!slanted || (!lopsided && std::fabs(own - slant) <= kStray))) {
                    slant = own;
                    slanted = true;
                }
            }
            int topShift = 0, bottomShift = 0;
            if (slanted) {
                const double turn = slant - bandSlant(c, yT, yB);
                const double atRow = lean.sloped ? lean.shift + lean.slope * (lean.row - middleRow) : lean.shift;
                topShift = static_cast<int>(std::lround(atRow + turn * (yT - lean.row)));
                bottomShift = static_cast<int>(std::lround(atRow + turn * (yB - lean.row)));
            } else {
                topShift = bottomShift = static_cast<int>(std::lround(lean.shift));
            }
            if (!relaid && topShift == 0 && bottomShift == 0) continue;
            // The line and the ruby right after it turn together, between the bands either side.
            const uint32_t last = i + 1 < n && columns[i + 1].type == 5 ? i + 1 : i;
            const NeighbourRoom room = roomBetweenNeighbours(columns, i, last, row);
            if (relaid) {
                // Its middle stays on the ink's: where a neighbour leaves less room, the band is
                // narrowed on both sides, along its whole length.
                const double middleTop = (c.xLeftTop + c.xRightTop) / 2.0 + topShift;
                const double middleBottom = (c.xLeftBottom + c.xRightBottom) / 2.0 + bottomShift;
                const double wanted = (typicalWidth > 0 ? typicalWidth : (topWidth + bottomWidth) / 2) / 2.0;
                const double half = halfWithin(wanted, middleTop, middleBottom, around);
                if (half >= 0.6 * wanted) {
                    layAbout(c, middleTop, middleBottom, half);
                } else {
                    // Squeezed that narrow, the ink's middle was misread: the band keeps the width
                    // wanted, inside its room.
                    const int width = static_cast<int>(2 * wanted);
                    c.xLeftTop = std::max(static_cast<int>(std::lround(middleTop - (width - 1) / 2.0)), room.leftTop);
                    c.xLeftBottom =
                        std::max(static_cast<int>(std::lround(middleBottom - (width - 1) / 2.0)), room.leftBottom);
                    c.xRightTop = std::max(std::min(c.xLeftTop + width - 1, room.rightTop), c.xLeftTop);
                    c.xRightBottom = std::max(std::min(c.xLeftBottom + width - 1, room.rightBottom), c.xLeftBottom);
                }
            }
            // A line alone between its neighbours that would be pressed against one of them at one
            // end keeps its middle where the ink's is and is narrowed on both sides along its whole
            // length instead: clamped at one end only, its middle would turn away from the ink's.
            bool narrowed = false;
            if (!relaid && last == i) {
                const double middleTop = (c.xLeftTop + c.xRightTop) / 2.0 + topShift;
                const double middleBottom = (c.xLeftBottom + c.xRightBottom) / 2.0 + bottomShift;
                const double wanted = (topWidth + bottomWidth) / 4.0;
                const double half = halfWithin(wanted, middleTop, middleBottom, room);
                const bool inside = c.xLeftTop >= room.leftTop && c.xLeftBottom >= room.leftBottom &&
                                    c.xRightTop <= room.rightTop && c.xRightBottom <= room.rightBottom;
                if (inside && half < wanted && half >= 0.6 * wanted) {
                    layAbout(c, middleTop, middleBottom, half);
                    narrowed = true;
                }
            }
            if (relaid) {
                // A band laid anew has a new right edge, and the old one may have missed the line
                // too: the ruby after it was fitted along the old edge, and is fitted again along
                // the new one rather than turned with the band's middle.
                if (last != i) fitNarrowBand(image, columns, last, row);
            } else {
                for (uint32_t k = narrowed ? i + 1 : i; k <= last; ++k) {
                    VerticalBand& b = columns[k];
                    shiftEdge(b.xLeftTop, b.xLeftBottom, topShift, bottomShift, room);
                    shiftEdge(b.xRightTop, b.xRightBottom, topShift, bottomShift, room);
                }
            }
            i = last;
        }
    }
}
