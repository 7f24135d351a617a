#include "chars/black_level.h"

#include <algorithm>
#include <climits>
#include <functional>
#include <vector>

#include "bands/band_geometry.h"
#include "chars/grouping.h"
#include "core/trace.h"

namespace {

// Mean grey value (truncated) of each row of the column between its edges, top row first. The
// pixels outside the image are left out; a row with none inside counts as white.
std::vector<int> rowMeans(const VerticalBand& column, const GreyImage& image) {
    std::vector<int> lum;
    for (int y = column.yTop; y <= column.yBottom; ++y) {
        int mean = 255;
        int left = 0, right = -1;
        if (bandRowSpan(column, y, image, left, right)) {
            int sum = 0;
            for (int x = left; x <= right; ++x) sum += image.at(x, y);
            mean = sum / (right - left + 1);
        }
        lum.push_back(mean);
    }
    return lum;
}

// The bright peaks of the profile: tops that rise more than 18 above the valley before them and
// then fall below 18 under the top before the profile climbs back to it.
std::vector<int> brightPeaks(const std::vector<int>& lum) {
    std::vector<int> peaks;
    const size_t n = lum.size();
    bool rising = false;
    int valley = 0;
    size_t y = 1;
    while (y < n) {
        if (!rising) {
            if (lum[y - 1] < lum[y]) rising = true, valley = lum[y - 1];
            ++y;
            continue;
        }
        if (lum[y] >= lum[y - 1]) {
            ++y;
            continue;
        }
        if (lum[y] <= valley) {  // back down to the valley: no peak on this rise
            rising = false;
            ++y;
            continue;
        }
        const int top = lum[y - 1];
        if (top - valley <= 18) {
            ++y;
            continue;
        }
        size_t z = y;
        bool fell = false;
        for (; z < n; ++z) {
            if (lum[z] >= top) break;
            if (lum[z] < top - 18) {
                fell = true;
                break;
            }
        }
        if (fell) {
            peaks.push_back(top);
            rising = false;
        }
        y = z + 1;
    }
    return peaks;
}

// Widths of the runs of rows darker than level, each counted with the two bright rows that bound
// it. Runs that touch the first or the last row are left out.
std::vector<int> runWidths(const std::vector<int>& lum, int level) {
    std::vector<int> widths;
    const size_t n = lum.size();
    size_t y = 0;
    while (y < n && lum[y] < level) ++y;
    while (y < n) {
        if (lum[y] >= level) {
            ++y;
            continue;
        }
        const size_t start = y;
        while (y < n && lum[y] < level) ++y;
        if (y < n) widths.push_back(static_cast<int>(y - start) + 2);
    }
    return widths;
}

}  // namespace

ColumnThresholds findColumnThresholds(const VerticalBand& column, const GreyImage& image) {
    int histogram[256] = {};
    for (int mean : rowMeans(column, image)) ++histogram[mean];

    // Moving average over five bins, fewer at the ends.
    int smooth[256];
    for (int i = 0; i < 256; ++i) {
        const int from = std::max(i - 2, 0), to = std::min(i + 2, 255);
        int sum = 0;
        for (int j = from; j <= to; ++j) sum += histogram[j];
        smooth[i] = sum / (to - from + 1);
    }

    ColumnThresholds result;
    // The emptiest bin just below white (the brightest of equal ones), up to the first empty bin.
    result.threshold1 = 254;
    for (int i = 254; i >= 224; --i) {
        if (smooth[i] < smooth[result.threshold1]) result.threshold1 = i;
        if (smooth[i] == 0) break;
    }
    int peak = 150;
    for (int i = 150; i < result.threshold1; ++i)
        if (smooth[i] > smooth[peak]) peak = i;
    // The first bin above the peak that falls halfway down to threshold1's count. When the peak
    // is lower than that count no bin does, and threshold1 itself is taken.
    const int half = (smooth[result.threshold1] + smooth[peak]) / 2;
    result.threshold2 = result.threshold1;
    for (int i = peak; i <= result.threshold1; ++i) {
        if (smooth[i] <= half) {
            result.threshold2 = i;
            break;
        }
    }
    return result;
}

int findBlackLevel(int t, const VerticalBand& column, const GreyImage& image, int colWidth) {
    const std::vector<int> lum = rowMeans(column, image);
    std::vector<int> candidates = brightPeaks(lum);
    candidates.push_back(255);
    std::sort(candidates.begin(), candidates.end(), std::greater<int>());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());

    // A column width below 1 would divide by zero in the scores; it is read as 1.
    const int width = std::max(colWidth, 1);
    float bestRatio = -1.0f;
    int opt = -1;
    int fallback = -1;
    int previousLongest = 0;
    for (size_t k = 0; k < candidates.size(); ++k) {
        const int val = candidates[k];
        if (k >= 2 && previousLongest <= 4 * width && val <= t) {
            trace("下限に到達\n");
            break;
        }
        const std::vector<int> widths = runWidths(lum, val);
        previousLongest = widths.empty() ? 0 : *std::max_element(widths.begin(), widths.end());
        if (widths.empty()) continue;
        const int longest = previousLongest;

        const KeyGroups groups =
            groupByRatio(widths.size(), [&widths](size_t i) { return widths[i]; }, 1.7);
        trace("val=%d で切断してできる区間の幅のグループ分け: ", val);
        for (const auto& g : groups) {
            trace("(");
            for (size_t i : g) trace("%d,", widths[i]);
            trace(") ");
        }

        // A group scores its size, discounted by how far its widths lie from the column width
        // (characters are about as tall as the column is wide).
        size_t best = 0;
        float bestScore = 0.0f;
        for (size_t gi = 0; gi < groups.size(); ++gi) {
            const int smallest = widths[groups[gi].front()];
            const int largest = widths[groups[gi].back()];
            float f = 1.0f;
            if (largest < width) {
                f = static_cast<float>(width) / static_cast<float>(largest);
            } else if (smallest > width) {
                f = static_cast<float>(smallest) / static_cast<float>(width);
            }
            const float score =
                static_cast<float>(groups[gi].size()) / ((f - 1.0f) * 0.5f + 1.0f);
            if (gi == 0 || score >= bestScore) best = gi, bestScore = score;
        }
        const int bestLargest = widths[groups[best].back()];

        // Runs between a fifth and a third of the typical size are the halves and thirds of
        // split characters; they do not count against the level. The typical size itself lies
        // above that range, so at least one run always counts.
        int pieces = 0;
        for (int w : widths)
            if (w >= bestLargest / 5 && w <= bestLargest / 3) ++pieces;
        const int counted = static_cast<int>(widths.size()) - pieces;
        const float ratio = bestScore / static_cast<float>(counted);
        trace("maxSize=%f, ratio=%f\n", static_cast<double>(bestScore), static_cast<double>(ratio));

        if (ratio < bestRatio) {
            if (ratio < 0.474 * bestRatio) {
                trace("比率低下により打ち切り\n");
                break;
            }
            continue;
        }
        if (bestLargest <= static_cast<int>(0.153 * width)) {
            trace("細切れにより打ち切り\n");
            break;
        }
        if (groups.size() == 1 && widths[groups[0].front()] >= static_cast<int>(6.6 * width)) {
            fallback = val;  // one long stretch: the characters have not come apart yet
        } else if (longest >= static_cast<int>(4.18 * bestLargest)) {
            fallback = val;  // some characters still stick together
        } else {
            bestRatio = ratio;
            opt = val;
        }
    }

    const int chosen = opt >= 0 ? opt : fallback >= 0 ? fallback : candidates[0];
    const size_t at = static_cast<size_t>(
        std::find(candidates.begin(), candidates.end(), chosen) - candidates.begin());
    const int next = at + 1 < candidates.size() ? candidates[at + 1] : INT_MAX;
    int result = chosen;
    if (at + 2 < candidates.size()) {
        result = candidates[at + 2];
    } else if (at + 1 < candidates.size()) {
        result = candidates[at + 1];
    }
    trace("optVal=%d, nextVal=%d, threshold=%d\n", chosen, next, result);
    return result;
}
