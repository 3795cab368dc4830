#pragma once
// What a framebuffer shows, pixel by pixel, to compare pictures in tests.
#include <ostream>
#include <set>
#include <utility>
#include <vector>

#include "platform/FrameBuffer.h"

using Pixels = std::set<std::pair<int, int>>;

struct CPicture {
    int width = 0;
    int height = 0;
    std::vector<PvColor> pixels;  // 0xRRGGBB, row by row

    CPicture() = default;
    CPicture(int w, int h, PvColor fill)
        : width(w), height(h), pixels(static_cast<std::size_t>(w * h), fill) {}
    explicit CPicture(const CPvFrameBuffer& frame) : CPicture(frame.Width(), frame.Height(), kPvWhite) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                Set(x, y, frame.Pixel(x, y));
            }
        }
    }

    PvColor At(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
    void Set(int x, int y, PvColor colour) { pixels[static_cast<std::size_t>(y * width + x)] = colour; }
    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }

    // The part with its top-left corner at (left, top).
    CPicture Crop(int left, int top, int w, int h) const {
        CPicture part(w, h, kPvWhite);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                part.Set(x, y, At(left + x, top + y));
            }
        }
        return part;
    }

    friend bool operator==(const CPicture&, const CPicture&) = default;
};

// Pixels that differ between two pictures of the same size.
inline Pixels Changed(const CPicture& a, const CPicture& b) {
    Pixels changed;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            if (a.At(x, y) != b.At(x, y)) {
                changed.insert({x, y});
            }
        }
    }
    return changed;
}

// Short on failure: the size and the first few pixels that are not white.
inline void PrintTo(const CPicture& picture, std::ostream* out) {
    *out << picture.width << " x " << picture.height << " picture";
    int shown = 0;
    for (int y = 0; y < picture.height && shown < 8; ++y) {
        for (int x = 0; x < picture.width && shown < 8; ++x) {
            if (picture.At(x, y) != kPvWhite) {
                *out << (shown++ == 0 ? ", not white: " : " ") << "(" << x << ", " << y << ")=" << std::hex
                     << picture.At(x, y) << std::dec;
            }
        }
    }
}

// True when every pixel in changed lies inside the damage rectangle.
inline bool Inside(const Pixels& changed, const PvRect& damage) {
    for (const auto& [x, y] : changed) {
        if (x < damage.left || x >= damage.right || y < damage.top || y >= damage.bottom) {
            return false;
        }
    }
    return true;
}

inline void PrintTo(const PvRect& rect, std::ostream* out) {
    *out << "{" << rect.left << ", " << rect.top << ", " << rect.right << ", " << rect.bottom << "}";
}
