#include "sheet_ink.h"

#include <cmath>
#include <string>

std::vector<Run> runsOf(const std::vector<long long>& profile, int offset) {
    std::vector<Run> runs;
    for (int i = 0; i < static_cast<int>(profile.size()); ++i) {
        if (profile[static_cast<size_t>(i)] == 0) continue;
        if (runs.empty() || runs.back().last != offset + i - 1) runs.push_back({offset + i, offset + i, 0});
        runs.back().last = offset + i;
        runs.back().ink += profile[static_cast<size_t>(i)];
    }
    return runs;
}

std::vector<Run> lineRuns(const std::vector<Run>& runs, double em) {
    std::vector<Run> lines;
    for (const Run& r : runs)
        if (r.size() >= 0.8 * em) lines.push_back(r);
    for (const Run& r : runs) {
        if (r.size() >= 0.8 * em || r.size() < 0.3 * em) continue;
        const bool apart = std::none_of(lines.begin(), lines.end(), [&](const Run& l) {
            return r.first - l.last <= 0.5 * em && l.first - r.last <= 0.5 * em;
        });
        if (apart) lines.push_back(r);
    }
    return lines;
}

Box boundsOf(const Quad& q) {
    Box b{1 << 30, -(1 << 30), 1 << 30, -(1 << 30)};
    for (const Point& p : q.p) {
        b.left = std::min(b.left, static_cast<int>(std::floor(p.x)));
        b.right = std::max(b.right, static_cast<int>(std::ceil(p.x)));
        b.top = std::min(b.top, static_cast<int>(std::floor(p.y)));
        b.bottom = std::max(b.bottom, static_cast<int>(std::ceil(p.y)));
    }
    return b;
}

Ink inkOf(const GreyImage& image, Box b, int paper) {
    Ink ink;
    double sum = 0;
    for (int y = std::max(b.top, 0); y <= std::min(b.bottom, image.height - 1); ++y)
        for (int x = std::max(b.left, 0); x <= std::min(b.right, image.width - 1); ++x) {
            const int m = std::max(0, paper - 8 - image.at(x, y));
            ink.mass += m;
            ink.meanX += static_cast<double>(m) * x;
            ink.squareX += static_cast<double>(m) * x * x;
            if (dark(image, x, y)) {
                ++ink.count;
                sum += y;
            }
        }
    ink.meanY = ink.count > 0 ? sum / ink.count : (b.top + b.bottom) / 2.0;
    if (ink.mass > 0) {
        ink.meanX /= ink.mass;
        ink.squareX /= ink.mass;
    }
    return ink;
}

int paperAround(const GreyImage& image, Box b) {
    std::vector<int> greys;
    for (int y = std::max(b.top, 0); y <= std::min(b.bottom, image.height - 1); ++y)
        for (int x = std::max(b.left, 0); x <= std::min(b.right, image.width - 1); ++x) greys.push_back(image.at(x, y));
    if (greys.empty()) return 255;
    std::nth_element(greys.begin(), greys.begin() + static_cast<long>(greys.size() * 3 / 4), greys.end());
    return greys[greys.size() * 3 / 4];
}
