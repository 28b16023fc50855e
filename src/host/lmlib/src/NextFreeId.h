#pragma once

#include <QtGlobal>

#include <limits>
#include <optional>

// A new number for a map kept in ascending order: the one after its highest number
// (none: `first`). After INT_MAX, which has no successor, the lowest free number from
// `first` on; -1 when every one of them is taken.
template<class Contains>
int nextFreeId(std::optional<int> highest, int first, Contains contains)
{
    if (!highest)
        return first;
    if (*highest < std::numeric_limits<int>::max())
        return qMax(first, *highest + 1);
    for (int candidate = first; candidate < std::numeric_limits<int>::max(); ++candidate) {
        if (!contains(candidate))
            return candidate;
    }
    return -1;
}
