#include "bands/probe_frame.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "bands/band_geometry.h"
#include "core/byte_transpose.h"

namespace probes {

Frame columnFrame(const HorizontalBand& region, const GreyImage& image) {
    Frame f;
    f.transposed = false;
    f.t0 = region.yTopLeft;
    f.t1 = region.yBottomLeft;
    f.s0 = region.xLeft;
    f.s1 = region.xRight;
    f.image = &image;
    f.columnRegion = &region;
    return f;
}

Frame columnWorkFrame(const HorizontalBand& region, const GreyImage& image, GreyImage& work, int firstColumn) {
    Frame f = columnFrame(region, image);
    const int from = std::max(region.yTopLeft, 0), to = std::min(region.yBottomLeft, image.height - 1);
    const int left = std::max({region.xLeft, firstColumn, 0}), right = std::min(region.xRight, image.width - 1);
    if (to >= from && right >= left) {
        work.reshape(to - from + 1, right - left + 1);
        transposeBytes(image.pixels.data() + static_cast<std::ptrdiff_t>(from) * image.width + left, image.width,
                       work.pixels.data(), work.width, to - from + 1, right - left + 1);
    } else {
        work.reset(std::max(to - from + 1, 1), std::max(right - left + 1, 1), 255);
    }
    f.image = &work;
    f.columnsStored = true;
    f.rowOffset = from;
    f.moveOffset = left;
    return f;
}

Frame rowFrame(const VerticalBand& region, const GreyImage& image) {
    Frame f;
    f.transposed = true;
    f.t0 = region.xLeftTop;
    f.t1 = region.xRightTop;
    f.s0 = region.yTop;
    f.s1 = region.yBottom;
    f.image = &image;
    f.rowRegion = &region;
    return f;
}

Frame rowWorkFrame(const VerticalBand& region, const GreyImage& image, GreyImage& work) {
    Frame f = rowFrame(region, image);
    const int from = std::max(region.xLeftTop, 0), to = std::min(region.xRightTop, image.width - 1);
    const int top = std::max(region.yTop, 0), bottom = std::min(region.yBottom, image.height - 1);
    if (to >= from && top <= bottom) {
        // Rows outside the region read as white.
        work.reshape(to - from + 1, image.height);
        std::fill(work.pixels.begin(), &work.at(0, top), 255);
        for (int y = top; y <= bottom; ++y)
            std::copy(&image.at(from, y), &image.at(from, y) + (to - from + 1), &work.at(0, y));
        std::fill(&work.at(0, bottom) + work.width, work.pixels.end(), 255);
    } else {
        work.reset(std::max(to - from + 1, 1), std::max(image.height, 1), 255);
    }
    f.image = &work;
    f.columnsCropped = true;
    f.rowOffset = from;
    return f;
}

namespace {

// Given counts of inked positions (before[s - s0] counts those of s0 .. s - 1, up to s1), how
// far positions lo .. hi can move right with no inked position among those they come to pass:
// the first inked position from lo + 1 on, less hi + 1. INT64_MAX when none lies ahead, 0 or less
// when one lies at hi + 1 or before.
int64_t blankAhead(const int* before, int s0, int s1, int64_t lo, int64_t hi) {
    const int64_t from = std::max<int64_t>(lo + 1, s0);
    if (from > s1) return INT64_MAX;
    const int* start = before + (from - s0);
    const int64_t near = std::min<int64_t>(hi + 1, s1);
    if (near >= from && before[near + 1 - s0] != *start) return 0;
    const int* end = before + (s1 - s0) + 2;
    const int* inked = std::upper_bound(start + 1, end, *start);
    if (inked == end) return INT64_MAX;
    return (s0 + (inked - before) - 1) - hi - 1;
}

// A line's pixels, row by row (column by column): the position advances with integer steps
// instead of a division per row and equals the edge formula's rounding, trunc((2n + d) / (2d))
// with n = (t - t0) * b + (t1 - t) * a, kept as a floor quotient q and remainder r in [0, 2d).
class LineWalk {
public:
    LineWalk(const Frame& f, const Line& l) {
        from_ = std::max(f.t0, f.runFirst());
        to_ = std::min(f.t1, f.runLast());
        pixels_ = f.image->pixels.data();
        moveBase_ = f.moveFirst();
        sStride_ = f.sStride();
        tStride_ = f.tStride();
        base_ = f.runFirst();
        lo_ = std::max(f.s0, f.moveFirst());
        hi_ = std::min(f.s1, f.moveEnd() - 1);
        s0_ = f.s0;
        s1_ = f.s1;
        // Short lines are walked whole: checking a block costs more than it saves there.
        blocks_ = to_ - from_ + 1 > 2 * Frame::kBlockRun && f.blockStart == from_ ? f.blockInkedBefore : nullptr;
        blockStride_ = f.blockStride;
        const int64_t d = f.t1 - f.t0;
        if (d == 0) {
            q_ = l.a;
            return;
        }
        den_ = 2 * d;
        const int64_t step = 2 * static_cast<int64_t>(l.b - l.a);
        const int64_t num = 2 * (static_cast<int64_t>(from_ - f.t0) * l.b + static_cast<int64_t>(f.t1 - from_) * l.a) + d;
        q_ = floorDiv(num, den_, r_);
        stepQ_ = floorDiv(step, den_, stepR_);
        step_ = step;
        if (step > 0) wholeRun_ = (den_ + step - 1) / step;
        if (step < 0) wholeRun_ = den_ / -step;
        if (blocks_) {
            blockLastQ_ = floorDiv((Frame::kBlockRun - 1) * step, den_, blockLastR_);
        }
    }

    // Visits every counted pixel in spans that share one moving position: visit(p, stride,
    // count, t) sees the count pixels p[0], p[stride], ... at run coordinates t, t + 1, ...
    // and answers false to stop. A line changes position about |b - a| times, so it is walked
    // as that many runs. With the frame's block counts the line is taken a block of run
    // coordinates at a time, and a block in which none of the positions it passes holds ink is
    // stepped over whole.
    template <class Visit>
    void run(Visit&& visit) const {
        int64_t q = q_, r = r_;
        if (!blocks_) {
            walkRuns(visit, q, r, from_, to_);
            return;
        }
        // The walk starts where the blocks do (both at the first run coordinate in the image), so
        // the blocks are taken whole but for the last.
        const int* before = blocks_;
        for (int t = from_; t <= to_; t += Frame::kBlockRun, before += blockStride_) {
            const int last = std::min(to_, t + Frame::kBlockRun - 1);
            int64_t lastQ = q, lastR = r;
            advance(lastQ, lastR, last - t);
            if (holdsInk(before, position(q, r), position(lastQ, lastR))) {
                if (!walkRuns(visit, q, r, t, last)) return;
            } else {
                q = lastQ;
                r = lastR;
                step(q, r);
            }
        }
    }

    bool usesBlocks() const { return blocks_ != nullptr; }

    // How many shifts right keep every block the line passes free of ink by the frame's block
    // counts: each shifted line is then walked without visiting a pixel. 0 without block counts.
    int64_t blankBlockShifts() const {
        if (!blocks_) return 0;
        int64_t q = q_, r = r_, shifts = INT64_MAX;
        const int* before = blocks_;
        for (int t = from_; t <= to_; t += Frame::kBlockRun, before += blockStride_) {
            const int last = std::min(to_, t + Frame::kBlockRun - 1);
            int64_t lastQ = q, lastR = r;
            advance(lastQ, lastR, last - t);
            const int64_t first = position(q, r), end = position(lastQ, lastR);
            shifts = std::min(shifts, blankAhead(before, s0_, s1_, std::min(first, end), std::max(first, end)));
            if (shifts <= 0) return 0;
            q = lastQ;
            r = lastR;
            step(q, r);
        }
        return shifts;
    }

private:
    // The runs of run coordinates t .. last, from (q, r) at t; (q, r) ends at last + 1.
    template <class Visit>
    bool walkRuns(Visit& visit, int64_t& q, int64_t& r, int t, int last) const {
        while (t <= last) {
            const int count = static_cast<int>(std::min<int64_t>(samePositionRun(q, r), last - t + 1));
            const int64_t s = position(q, r);
            if (s >= lo_ && s <= hi_ && !visit(pixel(s, t), tStride_, count, t)) return false;
            moveOn(q, r, count);
            t += count;
        }
        return true;
    }

    // True when the block whose counts are before holds ink at a position between the line's
    // positions first and end there; the line passes no other positions in the block.
    bool holdsInk(const int* before, int64_t first, int64_t end) const {
        const int64_t lo = std::max<int64_t>(std::min(first, end), s0_);
        const int64_t hi = std::min<int64_t>(std::max(first, end), s1_);
        return lo <= hi && before[hi + 1 - s0_] != before[lo - s0_];
    }

    // count run coordinates on, with no division across a block.
    void advance(int64_t& q, int64_t& r, int count) const {
        if (den_ == 0) return;
        if (count == Frame::kBlockRun - 1) {
            q += blockLastQ_;
            r += blockLastR_;
            if (r >= den_) {
                r -= den_;
                ++q;
            }
            return;
        }
        int64_t rest = 0;
        q += floorDiv(r + count * step_, den_, rest);
        r = rest;
    }

    // count run coordinates on. A run found by samePositionRun ends within one den of where it
    // started, so one correction keeps r in [0, den).
    void moveOn(int64_t& q, int64_t& r, int count) const {
        if (den_ == 0) return;
        if (count == 1) {
            step(q, r);
            return;
        }
        r += count * step_;
        while (r >= den_) {
            r -= den_;
            ++q;
        }
        while (r < 0) {
            r += den_;
            --q;
        }
    }

    static int64_t floorDiv(int64_t n, int64_t d, int64_t& rem) {
        int64_t q = n / d;
        rem = n % d;
        if (rem < 0) {
            rem += d;
            --q;
        }
        return q;
    }

    static int64_t position(int64_t q, int64_t r) { return (q < 0 && r != 0) ? q + 1 : q; }

    const unsigned char* pixel(int64_t s, int t) const {
        return pixels_ + (s - moveBase_) * sStride_ + static_cast<int64_t>(t - base_) * tStride_;
    }

    // How many run coordinates from (q, r) on keep the position of (q, r): exact while q >= 0
    // (the numerator q * den + r crosses the next multiple of den), else 1. Steep lines, whose
    // position changes every few coordinates, are answered 1. Once the position has changed,
    // r lies within one step of the crossing and the run is wholeRun_ or one off it.
    int64_t samePositionRun(int64_t q, int64_t r) const {
        if (den_ == 0 || step_ == 0) return INT64_MAX;
        if (q < 0 || 4 * std::abs(step_) > den_) return 1;
        if (step_ > 0) {
            if (r < step_) return r + (wholeRun_ - 1) * step_ >= den_ ? wholeRun_ - 1 : wholeRun_;
            return (den_ - r + step_ - 1) / step_;
        }
        if (r >= den_ + step_) return wholeRun_ * -step_ <= r ? wholeRun_ + 1 : wholeRun_;
        return r / -step_ + 1;
    }

    // One run coordinate on.
    void step(int64_t& q, int64_t& r) const {
        if (den_ == 0) return;
        q += stepQ_;
        r += stepR_;
        if (r >= den_) {
            r -= den_;
            ++q;
        }
    }

    int from_ = 0, to_ = -1, base_ = 0, lo_ = 0, hi_ = -1, s0_ = 0, s1_ = -1;
    const int* blocks_ = nullptr;
    int64_t blockStride_ = 0;
    int64_t blockLastQ_ = 0, blockLastR_ = 0;  // the steps from a block's first coordinate to its last
    const unsigned char* pixels_ = nullptr;
    int64_t moveBase_ = 0;
    int64_t sStride_ = 0, tStride_ = 0, den_ = 0, q_ = 0, r_ = 0, stepQ_ = 0, stepR_ = 0, step_ = 0, wholeRun_ = 0;
};

// The pixel buffer a span lies in, so that a short contiguous span can be read as one window of
// sixteen bytes that stays inside it.
struct Buffer {
    const unsigned char* first;
    const unsigned char* end;
};

Buffer bufferOf(const Frame& f) {
    const unsigned char* first = f.image->pixels.data();
    return {first, first + f.image->size()};
}

#if defined(__SSE2__)
// Lanes that a window reads but the span does not hold are masked to white: kWhiteBefore + 16 - k
// whitens the first k lanes, kWhiteAfter + 16 - k the lanes from k on.
alignas(16) const unsigned char kWhiteBefore[32] = {255, 255, 255, 255, 255, 255, 255, 255,
                                                    255, 255, 255, 255, 255, 255, 255, 255};
alignas(16) const unsigned char kWhiteAfter[32] = {0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
                                                   0,   0,   0,   0,   0,   255, 255, 255, 255, 255, 255,
                                                   255, 255, 255, 255, 255, 255, 255, 255, 255, 255};

inline __m128i loadBytes(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
#endif

// The darkness (255 - grey) summed over count pixels stride apart from p, all inside buffer;
// darkest receives the largest darkness met (0 for no pixel). Contiguous pixels are summed
// sixteen at a time, white lanes standing for pixels outside the span: the last sixteen of a
// longer span are read again with the pixels already counted masked, a shorter span is read in
// one window of the buffer around it.
[[gnu::always_inline]] inline int spanDarkness(const unsigned char* p, int64_t stride, int count, const Buffer& buffer,
                                               int& darkest) {
    int i = 0, greySum = 0, lightest = 255;
#if defined(__SSE2__)
    if (stride == 1 && (count >= 16 || buffer.end - buffer.first >= 16)) {
        const __m128i zero = _mm_setzero_si128();
        __m128i sums = zero, least = _mm_set1_epi8(-1);
        auto add = [&](__m128i v) {
            sums = _mm_add_epi64(sums, _mm_sad_epu8(v, zero));
            least = _mm_min_epu8(least, v);
        };
        if (count < 16) {
            const unsigned char* window = std::min(p, buffer.end - 16);
            const int before = static_cast<int>(p - window);
            const __m128i mask = _mm_or_si128(loadBytes(kWhiteBefore + 16 - before),
                                              loadBytes(kWhiteAfter + 16 - (before + count)));
            add(_mm_or_si128(loadBytes(window), mask));
            greySum -= 255 * (16 - count);
        } else {
            for (; i + 16 <= count; i += 16) add(loadBytes(p + i));
            const int rest = count - i;
            if (rest > 0) {
                add(_mm_or_si128(loadBytes(p + count - 16), loadBytes(kWhiteBefore + rest)));
                greySum -= 255 * (16 - rest);
            }
        }
        i = count;
        greySum += _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8));
        least = _mm_min_epu8(least, _mm_srli_si128(least, 8));
        least = _mm_min_epu8(least, _mm_srli_si128(least, 4));
        least = _mm_min_epu8(least, _mm_srli_si128(least, 2));
        least = _mm_min_epu8(least, _mm_srli_si128(least, 1));
        lightest = _mm_cvtsi128_si32(least) & 255;
    }
#endif
    for (; i < count; ++i) {
        const int v = p[i * stride];
        greySum += v;
        lightest = std::min(lightest, v);
    }
    darkest = 255 - lightest;
    return 255 * count - greySum;
}

// The darkness of count pixels stride apart from p: its sum, its sum weighted by each pixel's
// index in the span (0 .. count - 1), exactly, and the largest darkness met (kept in top).
struct SpanInk {
    int sum = 0;
    int64_t moments = 0;
};

inline SpanInk spanInk(const unsigned char* p, int64_t stride, int count, int& top) {
    SpanInk ink;
    int i = 0;
#if defined(__SSE2__)
    // Eight pixels at a time: darkness times index as 16-bit products summed in pairs, which
    // stays exact while the indexes fit in 15 bits.
    if (stride == 1 && count >= 16 && count < 32768) {
        const __m128i zero = _mm_setzero_si128(), white = _mm_set1_epi16(255), eight = _mm_set1_epi16(8);
        __m128i indexes = _mm_set_epi16(7, 6, 5, 4, 3, 2, 1, 0);
        __m128i sums = zero, moments = zero, least = _mm_set1_epi8(-1);
        for (; i + 16 <= count; i += 16) {
            const __m128i v = loadBytes(p + i);
            sums = _mm_add_epi64(sums, _mm_sad_epu8(v, zero));
            least = _mm_min_epu8(least, v);
            for (const __m128i half : {_mm_unpacklo_epi8(v, zero), _mm_unpackhi_epi8(v, zero)}) {
                const __m128i pairs = _mm_madd_epi16(_mm_sub_epi16(white, half), indexes);
                moments = _mm_add_epi64(moments, _mm_unpacklo_epi32(pairs, zero));
                moments = _mm_add_epi64(moments, _mm_unpackhi_epi32(pairs, zero));
                indexes = _mm_add_epi16(indexes, eight);
            }
        }
        const int greySum = _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8));
        ink.sum = 255 * i - greySum;
        int64_t lanes[2];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), moments);
        ink.moments = lanes[0] + lanes[1];
        least = _mm_min_epu8(least, _mm_srli_si128(least, 8));
        least = _mm_min_epu8(least, _mm_srli_si128(least, 4));
        least = _mm_min_epu8(least, _mm_srli_si128(least, 2));
        least = _mm_min_epu8(least, _mm_srli_si128(least, 1));
        top = std::max(top, 255 - (_mm_cvtsi128_si32(least) & 255));
    }
#endif
    for (; i < count; ++i) {
        const int d = 255 - p[i * stride];
        ink.sum += d;
        ink.moments += static_cast<int64_t>(d) * i;
        top = std::max(top, d);
    }
    return ink;
}

// True when the frame's ink counts show no darkness at the positions the line passes.
bool passesBlank(const Frame& f, const Line& l) {
    if (!f.inkedBefore) return false;
    const int lo = std::max(std::min(l.a, l.b), f.s0), hi = std::min(std::max(l.a, l.b), f.s1);
    if (lo > hi) return true;
    return f.inkedBefore[hi + 1 - f.s0] == f.inkedBefore[lo - f.s0];
}

}  // namespace

namespace {

// Where a frame's ink counts lie in their vector: the whole-run counts, then those of each block,
// every one positions + 1 long.
struct CountLayout {
    int positions = 0, from = 0, to = -1, blocks = 0;
    size_t stride = 1;
};

CountLayout countLayout(const Frame& f) {
    CountLayout c;
    c.positions = std::max(f.s1 - f.s0 + 1, 0);
    c.from = std::max(f.t0, f.runFirst());
    c.to = std::min(f.t1, f.runLast());
    c.blocks = c.to >= c.from ? (c.to - c.from) / Frame::kBlockRun + 1 : 0;
    c.stride = static_cast<size_t>(c.positions) + 1;
    return c;
}

// The first pixel of position s (one inside the image) at run coordinate 0.
const unsigned char* positionStart(const Frame& f, int s) {
    return f.image->pixels.data() + (s - f.moveFirst()) * f.sStride() - f.runFirst() * f.tStride();
}

// True when block b holds darkness at the position whose pixels start at p (positionStart).
bool blockInked(const Frame& f, const CountLayout& c, const unsigned char* p, int b) {
    const int first = c.from + b * Frame::kBlockRun, count = std::min(Frame::kBlockRun, c.to - first + 1);
    int darkest = 0;
    spanDarkness(p + first * f.tStride(), f.tStride(), count, bufferOf(f), darkest);
    return darkest > 0;
}

bool inImage(const Frame& f, int s) { return s >= f.moveFirst() && s < f.moveEnd(); }

}  // namespace

void countInkedPositions(Frame& f, std::vector<int>& counts) {
    const CountLayout c = countLayout(f);
    counts.assign(c.stride + c.stride * static_cast<size_t>(c.blocks), 0);
    int* perBlock = counts.data() + c.stride;
    for (int i = 0; i < c.positions; ++i) {
        const int s = f.s0 + i;
        const unsigned char* p = inImage(f, s) ? positionStart(f, s) : nullptr;
        bool inked = false;
        for (int b = 0; b < c.blocks; ++b) {
            const bool here = p && blockInked(f, c, p, b);
            int* before = perBlock + static_cast<size_t>(b) * c.stride;
            before[i + 1] = before[i] + (here ? 1 : 0);
            inked = inked || here;
        }
        counts[static_cast<size_t>(i) + 1] = counts[static_cast<size_t>(i)] + (inked ? 1 : 0);
    }
    f.inkedBefore = counts.data();
    f.blockInkedBefore = c.blocks > 0 ? perBlock : nullptr;
    f.blockStart = c.from;
    f.blockStride = static_cast<int>(c.stride);
}

void whitenAndRecount(const Frame& f, GreyImage& image, const Line& lo, const Line& hi, std::vector<int>& counts) {
    whitenBetween(f, image, lo, hi);
    if (f.inkedBefore != counts.data()) return;
    const CountLayout c = countLayout(f);
    const int iLo = std::max(std::min({lo.a, lo.b, hi.a, hi.b}), f.s0) - f.s0;
    const int iHi = std::min(std::max({lo.a, lo.b, hi.a, hi.b}), f.s1) - f.s0;
    if (iLo > iHi) return;
    // Positions iLo .. iHi are counted again; past them each count drops by what was lost before,
    // and stays where nothing was.
    auto recount = [&](int* before, auto&& inkedAt) {
        int oldBefore = before[iLo];
        for (int i = iLo; i < c.positions; ++i) {
            const int oldAfter = before[i + 1];
            if (i > iHi && before[i] == oldBefore) break;
            const bool here = i <= iHi ? inkedAt(i) : oldAfter != oldBefore;
            before[i + 1] = before[i] + (here ? 1 : 0);
            oldBefore = oldAfter;
        }
    };
    int* perBlock = counts.data() + c.stride;
    for (int b = 0; b < c.blocks; ++b)
        recount(perBlock + static_cast<size_t>(b) * c.stride,
                [&](int i) { return inImage(f, f.s0 + i) && blockInked(f, c, positionStart(f, f.s0 + i), b); });
    recount(counts.data(), [&](int i) {
        for (int b = 0; b < c.blocks; ++b) {
            const int* before = perBlock + static_cast<size_t>(b) * c.stride;
            if (before[i + 1] != before[i]) return true;
        }
        return false;
    });
}

namespace {

// isClear's answer, and whether the line was answered by the frame's counts alone, without a
// pixel read: it then passes no ink.
struct LineTest {
    bool clear = true;
    bool blank = true;
};

LineTest testLine(const Frame& f, const Line& l, int percent, int cap) {
    LineTest test;
    if (passesBlank(f, l)) return test;
    // Darkness is never negative, so a sum over the limit at the end was over it at the first
    // pixel that passed it: summing span by span answers as pixel by pixel would.
    const int limit = f.limit(percent);
    int sum = 0;
    const Buffer buffer = bufferOf(f);
    LineWalk(f, l).run([&sum, &test, limit, cap, &buffer](const unsigned char* p, int64_t stride, int count, int) {
        test.blank = false;
        int darkest = 0;
        sum += spanDarkness(p, stride, count, buffer, darkest);
        if (darkest > cap || sum > limit) {
            test.clear = false;
            return false;
        }
        return true;
    });
    return test;
}

// How many lines right of l are certainly clear because the frame's counts show no ink at any
// position they pass (each sums 0): by the block counts where a walk of l uses them, else by
// the whole-run counts over l's span of positions.
int blankShifts(const Frame& f, const Line& l) {
    if (!f.inkedBefore) return 0;
    const LineWalk walk(f, l);
    int64_t shifts = walk.blankBlockShifts();
    if (!walk.usesBlocks())
        shifts = blankAhead(f.inkedBefore, f.s0, f.s1, std::min(l.a, l.b), std::max(l.a, l.b));
    return static_cast<int>(std::clamp<int64_t>(shifts, 0, INT_MAX));
}

}  // namespace

bool isClear(const Frame& f, const Line& l, int percent, int cap) { return testLine(f, l, percent, cap).clear; }

int ink(const Frame& f, const Line& l, double& weighted, int* darkest) {
    if (passesBlank(f, l)) return 0;
    struct Totals {
        int sum = 0, top = 0;
        int64_t moments = 0;  // exact: integer products, as a double would hold them
    };
    Totals totals;
    totals.top = darkest ? *darkest : 0;
    LineWalk(f, l).run([&totals](const unsigned char* p, int64_t stride, int count, int t) {
        const SpanInk span = spanInk(p, stride, count, totals.top);
        totals.sum += span.sum;
        totals.moments += static_cast<int64_t>(span.sum) * t + span.moments;
        return true;
    });
    weighted += static_cast<double>(totals.moments);
    if (darkest) *darkest = totals.top;
    return totals.sum;
}

bool shiftEnds(const Frame& f, Line& l, int p, int percent, int& counter, bool mirror) {
    const int span = f.t1 - f.t0;
    if (span <= 0) return false;
    const double r = static_cast<double>(p - f.t0) / span;
    int a = 1, b = 1;
    // A pivot at an end would ask for an infinite move; the move is then capped at the span.
    if (r < 0.5) {
        b = r <= 0 ? span : static_cast<int>((1 - r) / r);
    } else {
        a = r >= 1 ? span : static_cast<int>(r / (1 - r));
    }
    const Line moved = mirror ? Line{l.a + a, l.b - b} : Line{l.a - a, l.b + b};
    if (!f.touches(moved) || !isClear(f, moved, percent)) return false;
    l = moved;
    counter += std::max(a, b);
    return true;
}

bool pivot(const Frame& f, Line& l, int p, float& px, int& tilt, int percent, int cap, bool mirror) {
    const int H = f.t1 - f.t0;
    if (H <= 0) return false;
    if (px < 0.0f) {
        px = static_cast<float>((static_cast<double>(p - f.t0) * l.b + static_cast<double>(f.t1 - p) * l.a) / H);
    }
    Line moved = l;
    if (p - f.t0 <= f.t1 - p) {
        moved.b += mirror ? -1 : 1;
        const float num = H * px + static_cast<float>(f.t0 - p) * moved.b;
        moved.a = static_cast<int>(num / static_cast<float>(f.t1 - p) + 0.5);
    } else {
        moved.a += mirror ? 1 : -1;
        const float num = H * px + static_cast<float>(p - f.t1) * moved.a;
        moved.b = static_cast<int>(num / static_cast<float>(p - f.t0) + 0.5);
    }
    if (!f.touches(moved) || !isClear(f, moved, percent, cap)) return false;
    tilt += std::abs((moved.b - moved.a) - (l.b - l.a));
    l = moved;
    return true;
}

namespace {

struct SweepResult {
    Line line;
    int steps = 0;
};

bool tiltAllowed(const SweepRequest& r, const Line& l, int tilt, int accumulator) {
    switch (r.limitMode) {
        case 1: return tilt < r.tiltLimit;
        case 2: return std::abs(l.slant()) < r.tiltLimit;
        case 3: return std::abs(l.slant() - r.ref.slant()) < r.tiltLimit;
        default: return tilt < accumulator / 1000;
    }
}

// Where a sweep stands: its line, the last line it moved to without tilting, and its counts.
struct SweepState {
    Line line, lastMove;
    int steps = 0, tilt = 0, accumulator = 0;
    float px = -1.0f;
};

// Moves the line right while the next line is clear. True when the next line lies beyond the
// region: st.line is then that line.
bool sweepStraight(const Frame& f, const SweepRequest& r, SweepState& st) {
    // A line that passes no ink is clear whatever the limit and cap; the lines after it that
    // pass none either are taken without a walk.
    const bool blankIsClear = f.limit(r.percent) >= 0 && r.cap >= 0;
    int knownClear = 0;
    for (;;) {
        const Line next = st.line.shifted(1);
        if (f.beyond(next)) {
            st.line = next;
            return true;
        }
        if (knownClear > 0) {
            --knownClear;
        } else {
            const LineTest test = testLine(f, next, r.percent, r.cap);
            if (!test.clear) return false;
            if (test.blank && blankIsClear) knownClear = blankShifts(f, next);
        }
        st.line = next;
        st.lastMove = next;
        ++st.steps;
        st.accumulator += r.tiltLimit;
        if (st.px >= 0.0f) st.px += 1.0f;
    }
}

// One variant of sweepToInk from st, whose straight move has just been stopped by ink: the
// mirror pivot form (variant A) or the first form (variant B).
SweepResult sweepVariant(const Frame& f, SweepState st, const SweepRequest& r, bool mirror) {
    for (;;) {
        if (!tiltAllowed(r, st.line, st.tilt, st.accumulator)) break;
        if (!pivot(f, st.line, r.pivotRow, st.px, st.tilt, r.percent, r.cap, mirror)) break;
        if (r.stopAtRef && (mirror ? st.line.b <= r.ref.b : st.line.a <= r.ref.a)) break;
        if (sweepStraight(f, r, st)) return SweepResult{st.line, st.steps};
    }
    return SweepResult{st.lastMove.shifted(1), st.steps};
}

// The tilting of retreatFromInk: shiftEnds about the pivot row.
struct ShiftTilter {
    const Frame* f;
    int pivotRow, percent;
    int counter = 0;
    bool tilt(Line& l, bool mirror) { return shiftEnds(*f, l, pivotRow, percent, counter, mirror); }
    void moved(int) {}
};

// The tilting of alignToSlant: pivotLine about a pivot x that moves with the line.
struct PivotTilter {
    const Frame* f;
    int pivotRow, percent;
    float px = -1.0f;
    int tiltCount = 0;
    bool tilt(Line& l, bool mirror) { return pivot(*f, l, pivotRow, px, tiltCount, percent, 255, mirror); }
    void moved(int d) {
        if (px >= 0.0f) px += static_cast<float>(d);
    }
};

// The leftward half of retreatFromInk and alignToSlant: moves left while clear and not past
// lower, tilting one way while the slant stays within tolerance of refSlant. Answers false when
// the line fell wholly left of the region.
template <class Tilter>
bool pullBack(const Frame& f, Line& l, const Line& lower, int refSlant, int tolerance, int percent,
              Tilter& tilter, bool mirror, int& moved) {
    for (;;) {
        const Line next = l.shifted(-1);
        if (f.behind(next)) return false;
        if (next.a >= lower.a && next.b >= lower.b && isClear(f, next, percent)) {
            l = next;
            tilter.moved(-1);
            ++moved;
            continue;
        }
        if (std::abs(l.slant() - refSlant) >= tolerance) return true;
        Line tilted = l;
        Tilter trial = tilter;
        if (!trial.tilt(tilted, mirror) || tilted.a < lower.a || tilted.b < lower.b) return true;
        l = tilted;
        tilter = trial;
    }
}

// Straightens l towards refSlant, then pulls it back in two tilting variants (the mirror form
// first); the variant that moved farther wins, ties to the second, and the answer is its last
// clear line minus one. When a variant falls wholly left of the region, the straightened line
// is the answer.
template <class Tilter>
Line retreat(const Frame& f, Line l, const Line& lower, int refSlant, int tolerance, int percent,
             Tilter tilter) {
    // A line wholly past the region counts no pixel and is always clear: it stops there, or the
    // straightening would walk it away for ever.
    auto stepRight = [&]() {
        const Line next = l.shifted(1);
        if (f.beyond(next) || !isClear(f, next, percent)) return false;
        l = next;
        tilter.moved(1);
        return true;
    };
    while (l.slant() - refSlant > tolerance) {
        if (!tilter.tilt(l, false) && !stepRight()) break;
    }
    while (-l.slant() + refSlant > tolerance) {
        if (!tilter.tilt(l, true) && !stepRight()) break;
    }
    Line first = l, second = l;
    Tilter firstTilter = tilter, secondTilter = tilter;
    int movedFirst = 0, movedSecond = 0;
    if (!pullBack(f, first, lower, refSlant, tolerance, percent, firstTilter, true, movedFirst) ||
        !pullBack(f, second, lower, refSlant, tolerance, percent, secondTilter, false, movedSecond)) {
        return l;
    }
    return (movedFirst > movedSecond ? first : second).shifted(-1);
}

}  // namespace

Line sweepToInk(const Frame& f, Line start, const SweepRequest& r) {
    // Both variants move alike until ink first stops the line: that stretch is swept once.
    SweepState st;
    st.line = st.lastMove = start;
    if (sweepStraight(f, r, st)) return st.line;
    if (r.variants == 1) return sweepVariant(f, st, r, false).line;
    if (r.variants == 2) return sweepVariant(f, st, r, true).line;
    const SweepResult a = sweepVariant(f, st, r, true);
    const SweepResult b = sweepVariant(f, st, r, false);
    return a.steps > b.steps ? a.line : b.line;
}

Crossing sweepThroughInk(const Frame& f, Line start, int percent, bool measure, int cap) {
    Crossing c;
    if (!measure) {
        Line l = start;
        while (!f.beyond(l) && !isClear(f, l, percent, cap)) {
            l = l.shifted(1);
            ++c.steps;
        }
        c.end = l;
        return c;
    }
    const int limit = f.limit(percent);
    double weighted = 0;
    long long total = 0;
    Line l = start;
    while (!f.beyond(l)) {
        int darkest = 0;
        const int s = ink(f, l, weighted, &darkest);
        total += s;
        c.maxInk = std::max(c.maxInk, s);
        if (s <= limit && darkest <= cap) break;
        l = l.shifted(1);
        ++c.steps;
    }
    c.end = l;
    // Without any ink met the mean is undefined; the middle of the run stands in for it.
    c.bary = total > 0 ? static_cast<int>(weighted / static_cast<double>(total)) : (f.t0 + f.t1) / 2;
    return c;
}

Line retreatFromInk(const Frame& f, Line l, const Line& lower, int pivotRow, int refSlant,
                    int tolerance, int percent) {
    return retreat(f, l, lower, refSlant, tolerance, percent, ShiftTilter{&f, pivotRow, percent});
}

Line alignToSlant(const Frame& f, Line l, const Line& lower, int pivotRow, int refSlant,
                  int tolerance, int percent) {
    return retreat(f, l, lower, refSlant, tolerance, percent, PivotTilter{&f, pivotRow, percent});
}

Edges measureColumnEdges(const Frame& f, const Line& prev, const Line& hiB, const Line& hiA,
                         int steps, int pivotRow, int percent, int tiltTolerance, double tolFactor,
                         int cap) {
    Edges e;
    SweepRequest r;
    r.ref = prev;
    r.pivotRow = pivotRow;
    r.tiltLimit = tiltTolerance;
    r.percent = percent;
    r.variants = 0;
    r.limitMode = 3;
    r.stopAtRef = true;
    r.cap = cap;
    const Line start = prev.shifted(1);
    e.lo = sweepToInk(f, start, r);
    if (f.beyond(e.lo)) e.lo = start;

    const int tolerance = static_cast<int>(steps * tolFactor);
    auto candidate = [&](const Line& hi) {
        const Line from = hi.shifted(1);
        const Line aligned = alignToSlant(f, from, e.lo, pivotRow, e.lo.slant(), tolerance, percent);
        return (aligned.a >= f.s0 || aligned.b >= f.s0) ? aligned : from;
    };
    const Line first = candidate(hiB);
    const Line second = hiA == hiB ? first : candidate(hiA);
    const int ref = e.lo.slant();
    e.hi = std::abs(second.slant() - ref) < std::abs(first.slant() - ref) ? second : first;
    return e;
}

VerticalBand columnBand(int t0, int t1, const Line& lo, const Line& hi) {
    return bandBetween(t0, t1, lo.a, lo.b, hi.a, hi.b);
}

HorizontalBand rowBand(int t0, int t1, const Line& lo, const Line& hi) {
    return rowBetween(t0, t1, lo.a, lo.b, hi.a, hi.b);
}

void whitenBetween(const Frame& f, GreyImage& image, const Line& lo, const Line& hi) {
    if (f.columnsStored) {
        // The region's rows are the copy's columns: the strip is whitened as a horizontal band
        // of the copy, its columns shifted by the first row copied.
        const HorizontalBand& region = *f.columnRegion;
        VerticalBand clip;
        clip.xLeftTop = clip.xLeftBottom = region.yTopLeft - f.rowOffset;
        clip.xRightTop = clip.xRightBottom = region.yBottomLeft - f.rowOffset;
        clip.yTop = region.xLeft - f.moveOffset;
        clip.yBottom = region.xRight - f.moveOffset;
        whitenHorizontalBand(clip, rowBand(clip.xLeftTop, clip.xRightTop, lo.shifted(-f.moveOffset), hi.shifted(-f.moveOffset)),
                             image, false);
    } else if (!f.transposed) {
        whitenVerticalBand(*f.columnRegion, columnBand(f.t0, f.t1, lo, hi), image, false);
    } else if (f.columnsCropped) {
        // The copy holds the region's columns from rowOffset on: the region and the strip are
        // shifted left by as much.
        VerticalBand clip = *f.rowRegion;
        clip.xLeftTop -= f.rowOffset;
        clip.xLeftBottom -= f.rowOffset;
        clip.xRightTop -= f.rowOffset;
        clip.xRightBottom -= f.rowOffset;
        whitenHorizontalBand(clip, rowBand(f.t0 - f.rowOffset, f.t1 - f.rowOffset, lo, hi), image, false);
    } else {
        whitenHorizontalBand(*f.rowRegion, rowBand(f.t0, f.t1, lo, hi), image, false);
    }
}

int inkRunSpan(const Frame& f, const Line& lo, const Line& hi) {
    int first = -1, last = -1;
    const int sLo = std::max(f.s0, f.moveFirst()), sHi = std::min(f.s1, f.moveEnd() - 1);
    const int64_t sStride = f.sStride(), tStride = f.tStride();
    for (int t = std::max(f.t0, f.runFirst()); t <= std::min(f.t1, f.runLast()); ++t) {
        const int from = std::max(f.at(lo, t), sLo), to = std::min(f.at(hi, t), sHi);
        const unsigned char* p = f.image->pixels.data() + (t - f.runFirst()) * tStride;
        for (int s = from; s <= to; ++s) {
            if (p[(s - f.moveFirst()) * sStride] < 107) {
                if (first < 0) first = t;
                last = t;
                break;
            }
        }
    }
    return first < 0 ? 0 : last - first + 1;
}

}  // namespace probes
