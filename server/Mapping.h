#pragma once
// Where a Position lands on the desktop, as a value of the pointer's absolute
// axes. The desktop's input stack maps an axis of 0..kAxisMax onto a screen of S
// pixels as value * S / (kAxisMax + 1) and truncates, so a value is chosen for
// the pixel meant: 0 and the Extent's numbers are the first and last pixels of
// the area, the Extent's middle its middle pixel, outside values are clamped.

#include <optional>
#include <string>
#include <utility>

#include "server/PointerDevice.h"

namespace pv::server {

struct PixelSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// "WxH" and "WxH+X+Y"; nothing when the text does not parse or a size is not
// 1..kAxisMax + 1 pixels.
std::optional<PixelSize> ParsePixelSize(const std::string& text);
std::optional<PixelRect> ParsePixelRect(const std::string& text);

struct MappingOptions {
    // The whole desktop in pixels. Without it the corners, the middle and the
    // quarters land exactly on any screen, other Positions at most one pixel off.
    std::optional<PixelSize> desktop;
    std::optional<PixelRect> area;  // part of the desktop (needs desktop)
    bool keepAspect = false;        // the Extent's shape kept inside the area, centred (needs desktop)
};

// Empty when the options fit together, else what is wrong.
std::string CheckMappingOptions(const MappingOptions& options);

class Mapping {
public:
    explicit Mapping(MappingOptions options = {}) : m_options(options) {}

    // The axis values for Position (x, y) under Extent (a, b), both positive.
    std::pair<int, int> Map(int x, int y, int a, int b) const;

    // The pixel of a screen size pixels wide that an axis value lands on.
    static int PixelOf(int value, int size);
    // The axis value in the middle of those that land on the pixel.
    static int ValueOf(int pixel, int size);

private:
    MappingOptions m_options;
};

}  // namespace pv::server
