#include "frames.h"

#include <algorithm>
#include <cmath>

namespace {

struct Box {
    double left = 1e18, top = 1e18, right = -1e18, bottom = -1e18;

    void add(const Quad& q) {
        for (const Point& p : q.p) {
            left = std::min(left, p.x);
            right = std::max(right, p.x);
            top = std::min(top, p.y);
            bottom = std::max(bottom, p.y);
        }
    }
};

int clearance(const Geometry& g) { return (g.pitch + 1) / 2; }

int maxThickness(int dpi) { return std::max(1, static_cast<int>(std::lround(3 * dpi / 300.0))); }

}  // namespace

int framedTierGap(const Geometry& g, int dpi) { return g.cell + 2 * clearance(g) + maxThickness(dpi) + 2; }

std::vector<Quad> drawFrames(const PageTruth& page, const Geometry& g, bool hangingStops, int dpi,
                             SynthRandom& random, InkCanvas& canvas) {
    std::vector<Quad> rules;
    if (page.tiers.empty()) return rules;
    // What each tier's text takes, with the room ruby and hanging stops are set in even where
    // this page happens to leave it empty, as a compositor's frame would.
    const bool rubyRoom = g.pitch - g.cell >= g.cell / 2;
    std::vector<Box> tiers;
    for (const TierTruth& tier : page.tiers) {
        Box b;
        b.add(tier.box);
        for (const BlockTruth& block : tier.blocks) b.add(block.box);
        for (const LineTruth& line : tier.lines) {
            b.add(line.box);
            for (const CellTruth& cell : line.cells) b.add(cell.box);
            for (const RubyTruth& ruby : line.ruby) b.add(ruby.box);
        }
        if (!tier.lines.empty()) {
            if (rubyRoom) b.right = std::max(b.right, tier.box.p[1].x + g.cell / 2);
            if (hangingStops) b.bottom = std::max(b.bottom, tier.box.p[2].y + g.cell);
        }
        tiers.push_back(b);
    }
    const int t = std::max(1, static_cast<int>(std::lround(random.between(1, 3) * dpi / 300.0)));
    const int clear = clearance(g);
    Box all;
    for (const Box& b : tiers) {
        all.left = std::min(all.left, b.left);
        all.right = std::max(all.right, b.right);
    }
    // The frame's inner edges; the page keeps a little paper outside it.
    const double pageLeft = page.box.p[0].x, pageRight = page.box.p[1].x;
    const double pageTop = page.box.p[0].y, pageBottom = page.box.p[2].y;
    const int left = static_cast<int>(std::max(std::floor(all.left) - clear, pageLeft + 2 * t));
    const int right = static_cast<int>(std::min(std::ceil(all.right) + clear, pageRight - 2 * t));
    const int top = static_cast<int>(std::max(std::floor(tiers.front().top) - clear, pageTop + 2 * t));
    const int bottom = static_cast<int>(std::min(std::ceil(tiers.back().bottom) + clear, pageBottom - 2 * t));
    rules.push_back(Quad::box(left - t, top - t, right + t, top));
    rules.push_back(Quad::box(left - t, bottom, right + t, bottom + t));
    rules.push_back(Quad::box(left - t, top, left, bottom));
    rules.push_back(Quad::box(right, top, right + t, bottom));
    for (size_t i = 0; i + 1 < tiers.size(); ++i) {
        const int y = static_cast<int>(std::lround((tiers[i].bottom + tiers[i + 1].top) / 2)) - t / 2;
        rules.push_back(Quad::box(left, y, right, y + t));
    }
    for (const Quad& r : rules) {
        canvas.fill(static_cast<int>(r.p[0].x), static_cast<int>(r.p[0].y), static_cast<int>(r.p[2].x),
                    static_cast<int>(r.p[2].y), 255);
    }
    return rules;
}
