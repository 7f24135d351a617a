// The middle of a list of values.
#pragma once

#include <algorithm>
#include <vector>

// The element that would stand at index size / 2 were values sorted: the middle one, the upper
// of the two middle ones for an even count.
// A caller must know: values must not be empty.
template <class T>
T upperMedian(std::vector<T> values) {
    const auto middle = values.begin() + static_cast<long>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}
