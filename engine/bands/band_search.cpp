#include "bands/band_search.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "core/trace.h"

namespace probes {

namespace {

struct Probe {
    int dx = 0;
    Line lo, hi;
    int steps = 0;
    int bary = 0;
};

// The probe with slant dx started one pixel past prev (at its low end when dx < s): swept
// without tilting onto the ink and pushed through it. False when it ends beyond the region.
bool probeAt(const Frame& f, const Line& prev, int dx, int s, const Line& ref, const BandSearch& c, Probe& p) {
    const Line start = dx < s ? Line{prev.b + 1 + dx, prev.b + 1} : Line{prev.a + 1, prev.a + 1 - dx};
    SweepRequest r;
    r.ref = ref;
    r.pivotRow = (f.t0 + f.t1) / 2;
    r.tiltLimit = 0;
    r.percent = c.percent;
    r.variants = 0;
    r.limitMode = 1;
    r.cap = c.cap;
    p.dx = dx;
    p.lo = sweepToInk(f, start, r);
    if (!f.within(p.lo)) return false;
    const Crossing x = sweepThroughInk(f, p.lo, c.percent, false, c.cap);
    p.hi = x.end.shifted(-1);
    p.steps = x.steps;
    return true;
}

// The mean ink position along probe p's crossing: the same crossing again, measured. Only the
// chosen probes need it.
int baryOf(const Frame& f, const Probe& p, const BandSearch& c) { return sweepThroughInk(f, p.lo, c.percent, true, c.cap).bary; }

// The slant-change allowance: trunc(0.5 * t * tolFactor + 0.5) with t the distance travelled
// from prev at both ends.
bool slantChangeTooLarge(const Line& prev, const Line& hi, double tolFactor, int change) {
    const int t = (hi.a - prev.a) + (hi.b - prev.b);
    return static_cast<int>(0.5 * t * tolFactor + 0.5) < std::abs(change);
}

int bandSize(const Line& lo, const Line& hi) { return ((hi.a - lo.a) + (hi.b - lo.b)) / 2 + 1; }

// Among candidates: B is the first with the fewest steps, A the last with steps <= the best.
struct Choice {
    Probe a, b;
    int best = INT_MAX;
    bool any = false;
    void offer(const Probe& p) {
        if (p.steps <= best) a = p;
        if (p.steps < best) {
            b = p;
            best = p.steps;
        }
        any = true;
    }
};

// A loop runs at most this many rounds without accepting a band; each round whitens ink, so a
// region cannot need more, and a defect cannot hang the job.
int roundLimit(const Frame& f, int dxRange) { return 4 * (std::abs(f.s1 - f.s0) + 2 * dxRange + 16); }

}  // namespace

int ceilInt(double x) { return static_cast<int>(std::ceil(x)); }

std::vector<FoundBand> searchBands(const Frame& f, GreyImage& work, const BandSearch& c, Line prev) {
    Frame wf = f;
    wf.image = &work;
    std::vector<int> inked;
    countInkedPositions(wf, inked);
    std::vector<FoundBand> found;
    int s = 0;
    bool first = true, accepted = false, rejectedBefore = false;
    Edges lastRejected;
    for (int round = 0; round < roundLimit(f, c.dxRange); ++round) {
        const int lo = -s >= c.dxRange ? s : -(c.dxRange + ((c.dxStep - (c.dxRange + s) % c.dxStep) % c.dxStep));
        const int hi = s >= c.dxRange ? s : c.dxRange + ((c.dxStep - (c.dxRange - s) % c.dxStep) % c.dxStep);
        if (hi < lo) break;
        Choice choice;
        int lastSteps = 0;
        for (int dx = lo; dx <= hi; dx += c.dxStep) {
            Probe p;
            if (!probeAt(wf, prev, dx, s, prev, c, p)) continue;
            lastSteps = p.steps;
            if (!first && slantChangeTooLarge(prev, p.hi, c.tolFactor, dx - s)) continue;
            choice.offer(p);
        }
        if (!choice.any) break;
        Probe& A = choice.a;
        Probe& B = choice.b;
        A.bary = baryOf(wf, A, c);
        B.bary = baryOf(wf, B, c);
        const int m = (A.bary + B.bary) / 2;

        // How freely the edge may tilt: not at all when the best slants bracket the running one,
        // nor when two tilting sweeps pivoting either side of the ink agree.
        int freedom = 0;
        if (!(B.dx < s && s < A.dx)) {
            SweepRequest r;
            r.ref = prev;
            r.tiltLimit = c.dxRange;
            r.percent = c.percent;
            r.limitMode = 1;
            r.stopAtRef = false;
            r.cap = c.cap;
            r.pivotRow = std::max(m - c.pivotOffset, wf.t0 + 1);
            const int s1 = sweepToInk(wf, prev.shifted(1), r).slant();
            r.pivotRow = std::min(m + c.pivotOffset, wf.t1 - 1);
            const int s2 = sweepToInk(wf, prev.shifted(1), r).slant();
            freedom = (s2 < s && s < s1) ? 0 : c.dxRange;
        }
        const int inkRuns = inkRunSpan(wf, B.lo, B.hi);
        const int runs = wf.t1 - wf.t0 + 1;
        const Edges e = measureColumnEdges(wf, prev, B.hi, A.hi, lastSteps, m, c.percent,
                                           runs > 0 ? inkRuns * freedom / runs : 0, c.tolFactor, c.cap);
        // A round that rejects the same band as the round before erased nothing new; the ink the
        // best probe crossed is then erased too, so that every round makes progress.
        const bool inverted = e.hi.a < e.lo.a && e.hi.b < e.lo.b;
        const bool speck = !inverted && !accepted && bandSize(e.lo, e.hi) <= c.minSize;
        if (inverted || speck) {
            // Ink that a tilted line passes, or a speck before the first band: erased, and the
            // search goes on from the same edge.
            whitenAndRecount(wf, work, prev.shifted(1), inverted ? e.lo : e.hi, inked);
            if (rejectedBefore && e.lo == lastRejected.lo && e.hi == lastRejected.hi) {
                whitenAndRecount(wf, work, prev.shifted(1), B.hi, inked);
            }
            rejectedBefore = true;
            lastRejected = e;
            continue;
        }
        whitenAndRecount(wf, work, prev.shifted(1), e.hi, inked);
        found.push_back(FoundBand{e.lo, e.hi, m});
        trace("*");
        prev = e.hi;
        s = e.hi.slant();
        first = false;
        accepted = true;
        round = 0;
    }
    return found;
}

std::vector<FoundBand> searchParts(const Frame& f, GreyImage& work, const BandSearch& c,
                                   const Line& lo, const Line& hi) {
    Frame wf = f;
    wf.image = &work;
    whitenBetween(wf, work, Line{wf.s0, wf.s0}, lo.shifted(-1));
    std::vector<int> inked;
    countInkedPositions(wf, inked);
    std::vector<FoundBand> found;
    Line prev = lo.shifted(-1);
    int s = lo.slant();
    bool first = true;
    const Line ref{wf.s0, wf.s0};
    for (int round = 0; round < roundLimit(f, c.dxRange); ++round) {
        Choice choice;
        for (int dx = -c.dxRange; dx <= c.dxRange; dx += c.dxStep) {
            Probe p;
            if (!probeAt(wf, prev, dx, s, ref, c, p)) continue;
            if (!(p.lo.a > prev.a || p.lo.b > prev.b)) continue;
            if (!first && slantChangeTooLarge(prev, p.hi, c.tolFactor, dx - s)) continue;
            choice.offer(p);
        }
        if (!choice.any) break;
        Probe part;
        if (!probeAt(wf, prev, (choice.a.dx + choice.b.dx) / 2, s, ref, c, part)) break;
        if (part.lo.a > hi.a && part.lo.b > hi.b) break;
        bool last = false;
        if (part.hi.a > hi.a && part.hi.b > hi.b) {
            part.hi = hi;
            last = true;
        }
        if ((part.hi.b - part.lo.b) - part.lo.a + part.hi.a < 0) break;
        found.push_back(FoundBand{part.lo, part.hi, 0});
        trace("*");
        if (last) break;
        whitenAndRecount(wf, work, prev.shifted(1), part.hi, inked);
        s = part.hi.slant();
        first = false;
        prev = part.hi;
    }
    return found;
}

}  // namespace probes
