#pragma once
// The raw points of the latest move, kept by a platform layer until the engine asks
// for them (the engine pulls; nothing is pushed).
#include <algorithm>
#include <vector>

#include "platform/Types.h"

// Copies the newest max points, oldest first; returns how many were copied.
inline int PvCopyNewestPoints(const std::vector<PvPoint>& history, PvPoint* points, int max) {
    if (points == nullptr || max <= 0) {
        return 0;
    }
    const int count = static_cast<int>(history.size());
    const int first = std::max(0, count - max);
    std::copy(history.begin() + first, history.end(), points);
    return count - first;
}
