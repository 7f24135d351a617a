// Line groups: the text lines of a tier gathered by similar measure (line width, or character
// pitch), so that lines set in one type size share a width and a character grid.
#pragma once

#include <vector>

#include "bands/band_records.h"

// One text line as the grouping sees it.
struct LineEntry {
    int index = 0;    // the band's index in the column list
    int measure = 0;  // its width, or its character pitch
    int centreX = 0;  // the mean of its four edge x values
    bool steady = true;  // the measure may stand for its group: false for a pitch read off a few characters
};

// Fills groups (emptied first) greedily, in entry order: each entry joins the group found by
// findLineGroup or opens a new one, and becomes its group's reference unless it is not steady
// (then it only joins, and a group it opens takes its measure). groups[g] holds the band
// indices of group g in list order.
void formLineGroups(std::vector<std::vector<int>>& groups, const std::vector<LineEntry>& entries,
                    const HorizontalBand& row, double maxRatio, double narrowFactor);

// The group whose reference is closest to value by ratio (larger over smaller), below maxRatio;
// at position >= 0.9 across the row a value narrower than a reference also joins when
// narrowFactor times the ratio is below the best. -1 when none qualifies; ties keep the earlier.
int findLineGroup(const std::vector<int>& references, int value, double position, double maxRatio,
                  double narrowFactor);
