// Grouping of items by a positive integer key (a run's width, a character's height), used to
// find the typical size among pieces of a column.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

// Groups of item indices, each group listed in ascending order of key and the groups in ascending
// order too. key(i) is the positive key of item i (0 <= i < count).
using KeyGroups = std::vector<std::vector<size_t>>;

// Partitions the items into groups of consecutive keys (ascending) such that in every group the
// largest key is at most factor times the smallest, using few groups.
KeyGroups groupByRatio(size_t count, const std::function<int(size_t)>& key, double factor);

// Sorts the items by key; a new group starts wherever a key exceeds factor times the one before.
KeyGroups chainGroupByRatio(size_t count, const std::function<int(size_t)>& key, double factor);
