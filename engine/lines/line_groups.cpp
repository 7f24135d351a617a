#include "lines/line_groups.h"

#include <algorithm>

int findLineGroup(const std::vector<int>& references, int value, double position, double maxRatio,
                  double narrowFactor) {
    double best = maxRatio;
    int result = -1;
    for (size_t j = 0; j < references.size(); ++j) {
        const int ref = references[j];
        const double larger = std::max(value, ref), smaller = std::min(value, ref);
        // A zero measure (a line without characters) is infinitely far from any other.
        if (smaller <= 0) continue;
        const double r = larger / smaller;
        if (r < best || (position >= 0.9 && value < ref && narrowFactor * r < best)) {
            best = r;
            result = static_cast<int>(j);
        }
    }
    return result;
}

void formLineGroups(std::vector<std::vector<int>>& groups, const std::vector<LineEntry>& entries,
                    const HorizontalBand& row, double maxRatio, double narrowFactor) {
    groups.clear();
    if (entries.empty()) return;
    std::vector<int> references;
    groups.push_back({entries[0].index});
    references.push_back(entries[0].measure);
    for (size_t e = 1; e < entries.size(); ++e) {
        const LineEntry& entry = entries[e];
        const double position =
            static_cast<double>(entry.centreX - row.xLeft) / (row.xRight - row.xLeft + 1);
        const int g = findLineGroup(references, entry.measure, position, maxRatio, narrowFactor);
        if (g < 0) {
            groups.push_back({entry.index});
            references.push_back(entry.measure);
        } else {
            groups[static_cast<size_t>(g)].push_back(entry.index);
            // A pitch taken from two or three characters may be a fragment's: followed, it would
            // part the lines after it from their group.
            if (entry.steady) references[static_cast<size_t>(g)] = entry.measure;
        }
    }
}
