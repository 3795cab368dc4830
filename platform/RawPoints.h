#pragma once
// Raw points: what the platform layers turn pointer positions into, and the history
// of the latest move that they keep until the engine asks for it (the engine pulls;
// nothing is pushed).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/Types.h"

namespace pv::history {
// The most raw points one stylus event carries: the engine's batch of Positions holds as many.
inline constexpr int kMaxPoints = 16;
}  // namespace pv::history

// Toward zero, kept inside 32 bits whatever position a device reports (NaN as 0).
inline int32_t PvTruncate(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    return static_cast<int32_t>(std::clamp(std::trunc(value), -2147483648.0, 2147483647.0));
}

// Raw units per screen pixel: 4, fewer where the screen's larger side would reach
// 10000 units, more than a record's four digits carry.
inline int PvRawUnitsPerPixel(int screenWidth, int screenHeight) {
    const int largest = std::max(screenWidth, screenHeight);
    int units = 4;
    while (units > 1 && largest * units >= 10000) {
        --units;
    }
    return units;
}

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
