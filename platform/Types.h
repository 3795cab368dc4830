#pragma once
#include <cstdint>

// Points and rectangles in 32-bit signed units: client pixels, screen pixels or
// raw stylus units, as each caller says.
struct PvPoint {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const PvPoint&, const PvPoint&) = default;
};

struct PvRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    friend bool operator==(const PvRect&, const PvRect&) = default;
};
