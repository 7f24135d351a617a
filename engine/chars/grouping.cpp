#include "chars/grouping.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

// A group holds positions in the ascending key order; a partition lists its groups in order.
using Group = std::vector<size_t>;
using Partition = std::vector<Group>;

// The items sorted ascending by key (equal keys keep their index order), and their keys in that
// order.
struct SortedKeys {
    std::vector<size_t> items;
    std::vector<double> keys;
};

// Keys below 1 are read as 1: the ratios and logarithms below need positive keys, and the
// callers' keys (heights, widths) are never below 1.
SortedKeys sortByKey(size_t count, const std::function<int(size_t)>& key) {
    std::vector<int> raw(count);
    for (size_t i = 0; i < count; ++i) raw[i] = std::max(key(i), 1);
    SortedKeys s;
    s.items.resize(count);
    std::iota(s.items.begin(), s.items.end(), size_t{0});
    std::stable_sort(s.items.begin(), s.items.end(),
                     [&raw](size_t a, size_t b) { return raw[a] < raw[b]; });
    s.keys.reserve(count);
    for (size_t i : s.items) s.keys.push_back(raw[i]);
    return s;
}

KeyGroups toItems(const Partition& p, const SortedKeys& s) {
    KeyGroups out;
    out.reserve(p.size());
    for (const Group& g : p) {
        std::vector<size_t> items;
        items.reserve(g.size());
        for (size_t pos : g) items.push_back(s.items[pos]);
        out.push_back(std::move(items));
    }
    return out;
}

// Rounds of the repair moves, which could in principle undo each other, are bounded by this.
size_t roundLimit(size_t n) { return n * n + 16; }

// Nearest-centre clustering in one dimension settles within a few rounds; this only bounds it.
constexpr size_t kClusterRounds = 1000;

class Clustering {
public:
    Clustering(const std::vector<double>& keys, double factor) : v_(keys), factor_(factor) {}

    // The keys cut into k groups (k between 1 and the number of keys), repaired so that no group
    // is empty and wide groups are narrowed where their neighbours allow.
    Partition partition(size_t k) const {
        Partition p = cluster(k);
        if (repairEmpty(p)) {
            narrowWidest(p);
            moveBoundaries(p);
        }
        return p;
    }

    // The largest ratio of last to first key over the non-empty groups.
    double widestRatio(const Partition& p) const {
        double widest = 1.0;
        for (const Group& g : p)
            if (!g.empty()) widest = std::max(widest, ratio(g));
        return widest;
    }

private:
    double ratio(const Group& g) const { return v_[g.back()] / v_[g.front()]; }

    // Index of the group with the largest ratio (the first of equal ones) among the groups with
    // at least minMembers members; p.size() when there is none.
    size_t widest(const Partition& p, size_t minMembers) const {
        size_t best = p.size();
        for (size_t i = 0; i < p.size(); ++i) {
            if (p[i].size() < minMembers || p[i].empty()) continue;
            if (best == p.size() || ratio(p[i]) > ratio(p[best])) best = i;
        }
        return best;
    }

    // Keeps the first half (rounded down) of group g and moves the rest into a new group right
    // after it.
    static void split(Partition& p, size_t g) {
        const size_t keep = p[g].size() / 2;
        Group tail(p[g].begin() + static_cast<std::ptrdiff_t>(keep), p[g].end());
        p[g].resize(keep);
        p.insert(p.begin() + static_cast<std::ptrdiff_t>(g) + 1, std::move(tail));
    }

    // Nearest-centre clustering in log space, from k centres spaced evenly between the smallest
    // and largest key, until the assignment settles.
    Partition cluster(size_t k) const {
        const size_t n = v_.size();
        const double r = std::pow(v_.back() / v_.front(), 1.0 / static_cast<double>(k));
        std::vector<double> centre(k);
        centre[0] = v_.front() * std::sqrt(r);
        for (size_t i = 1; i < k; ++i) centre[i] = centre[i - 1] * r;

        std::vector<size_t> assigned(n, k);
        for (size_t round = 0; round < kClusterRounds; ++round) {
            bool changed = false;
            for (size_t pos = 0; pos < n; ++pos) {
                // The centre whose ratio to the key is smallest; a tie goes to the lower centre.
                size_t best = 0;
                double bestRatio = 0.0;
                for (size_t i = 0; i < k; ++i) {
                    const double q =
                        centre[i] >= v_[pos] ? centre[i] / v_[pos] : v_[pos] / centre[i];
                    if (i == 0 || q < bestRatio) best = i, bestRatio = q;
                }
                if (assigned[pos] != best) assigned[pos] = best, changed = true;
            }
            if (!changed) break;
            std::vector<double> logSum(k, 0.0);
            std::vector<size_t> members(k, 0);
            for (size_t pos = 0; pos < n; ++pos) {
                logSum[assigned[pos]] += std::log(v_[pos]);
                ++members[assigned[pos]];
            }
            // Non-empty groups move to the geometric mean of their keys; an empty group takes
            // the centre before it, leading empty ones that of the first non-empty group.
            size_t firstFilled = 0;
            while (members[firstFilled] == 0) ++firstFilled;  // some group holds every key
            for (size_t i = 0; i < k; ++i) {
                const size_t from = members[i] > 0 ? i : i < firstFilled ? firstFilled : k;
                centre[i] = from < k ? std::exp(logSum[from] / static_cast<double>(members[from]))
                                     : centre[i - 1];
            }
        }
        Partition p(k);
        for (size_t pos = 0; pos < n; ++pos) p[assigned[pos]].push_back(pos);
        return p;
    }

    // Fills empty groups by splitting the widest groups of two or more members. Answers false
    // when the repair has to end here because every such group holds equal keys. Empty groups
    // left over are dropped either way.
    bool repairEmpty(Partition& p) const {
        bool goOn = true;
        auto isEmpty = [](const Group& g) { return g.empty(); };
        while (std::any_of(p.begin(), p.end(), isEmpty)) {
            const size_t w = widest(p, 2);
            if (w == p.size() || ratio(p[w]) <= 1.0) {
                goOn = false;
                break;
            }
            split(p, w);
            const auto lastEmpty = std::find_if(p.rbegin(), p.rend(), isEmpty);
            p.erase(std::next(lastEmpty).base());
        }
        p.erase(std::remove_if(p.begin(), p.end(), isEmpty), p.end());
        return goOn;
    }

    // While the widest group is wider than the factor and two neighbours would fit together
    // within it, splits the widest group and merges the narrowest pair, keeping the count.
    void narrowWidest(Partition& p) const {
        for (size_t round = 0; round < roundLimit(v_.size()) && p.size() >= 2; ++round) {
            const size_t w = widest(p, 1);
            if (ratio(p[w]) <= factor_) return;
            size_t pair = 0;
            double pairRatio = 0.0;
            for (size_t g = 0; g + 1 < p.size(); ++g) {
                const double q = v_[p[g + 1].back()] / v_[p[g].front()];
                if (g == 0 || q < pairRatio) pair = g, pairRatio = q;
            }
            if (pairRatio > factor_) return;
            // The union of the pair is at least as wide as either member, so the widest group
            // (wider than the factor) is never part of it.
            split(p, w);
            if (w < pair) ++pair;
            p[pair].insert(p[pair].end(), p[pair + 1].begin(), p[pair + 1].end());
            p.erase(p.begin() + static_cast<std::ptrdiff_t>(pair) + 1);
        }
    }

    // Hands the widest group's end members to its neighbours while that makes the neighbour
    // narrower than the widest group is.
    void moveBoundaries(Partition& p) const {
        bool moved = true;
        for (size_t round = 0; moved && round < roundLimit(v_.size()); ++round) {
            moved = false;
            const size_t g = widest(p, 1);
            // A single member has ratio 1, and a neighbour's ratio is never below 1, so the
            // group never runs empty here.
            while (g > 0 && v_[p[g].front()] / v_[p[g - 1].front()] < ratio(p[g])) {
                p[g - 1].push_back(p[g].front());
                p[g].erase(p[g].begin());
                moved = true;
            }
            while (g + 1 < p.size() && v_[p[g + 1].back()] / v_[p[g].back()] < ratio(p[g])) {
                p[g + 1].insert(p[g + 1].begin(), p[g].back());
                p[g].pop_back();
                moved = true;
            }
        }
    }

    const std::vector<double>& v_;
    double factor_;
};

}  // namespace

KeyGroups groupByRatio(size_t count, const std::function<int(size_t)>& key, double factor) {
    if (count == 0) return {};
    const SortedKeys s = sortByKey(count, key);
    const size_t n = count;
    const double spread = s.keys.back() / s.keys.front();

    // First estimate of the group count: the number of factor steps between the extreme keys.
    // With a factor of 1 or less no two different keys can share a group, so the estimate is n.
    size_t k = 1;
    if (spread > 1.0) {
        const double steps = factor > 1.0 ? std::log(spread) / std::log(factor) + 0.5
                                          : static_cast<double>(n);
        k = static_cast<size_t>(std::clamp(steps, 1.0, static_cast<double>(n)));
    }

    // Fewer groups while the partition stays within the factor, more when it does not; a count
    // found too small is never tried again.
    const Clustering clustering(s.keys, factor);
    size_t lower = 1;
    for (;;) {
        Partition p = clustering.partition(k);
        if (clustering.widestRatio(p) <= factor) {
            if (k > lower) {
                --k;
                continue;
            }
            return toItems(p, s);
        }
        ++k;
        lower = k;
        if (k >= n) return toItems(clustering.partition(n), s);
    }
}

KeyGroups chainGroupByRatio(size_t count, const std::function<int(size_t)>& key, double factor) {
    KeyGroups groups;
    if (count == 0) return groups;
    std::vector<size_t> items(count);
    std::iota(items.begin(), items.end(), size_t{0});
    std::vector<int> keys(count);
    for (size_t i = 0; i < count; ++i) keys[i] = key(i);
    std::stable_sort(items.begin(), items.end(),
                     [&keys](size_t a, size_t b) { return keys[a] < keys[b]; });
    groups.push_back({items[0]});
    for (size_t i = 1; i < count; ++i) {
        const int previous = keys[items[i - 1]];
        const int current = keys[items[i]];
        // Keys are positive; a key of 0 or less joins only an equal neighbour rather than divide
        // by it.
        const bool joins = previous > 0 ? static_cast<double>(current) / previous <= factor
                                        : current == previous;
        if (!joins) groups.emplace_back();
        groups.back().push_back(items[i]);
    }
    return groups;
}
