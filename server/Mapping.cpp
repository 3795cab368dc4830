#include "server/Mapping.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace pv::server {

namespace {

constexpr std::int64_t kSteps = std::int64_t{kAxisMax} + 1;

// Parses an unsigned decimal number at text[at...]; advances at.
bool Number(const std::string& text, std::size_t& at, int& value) {
    const char* begin = text.data() + at;
    const char* end = text.data() + text.size();
    if (begin == end || *begin < '0' || *begin > '9') {
        return false;
    }
    auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc()) {
        return false;
    }
    at += static_cast<std::size_t>(stop - begin);
    return true;
}

bool Expect(const std::string& text, std::size_t& at, char c) {
    if (at < text.size() && text[at] == c) {
        ++at;
        return true;
    }
    return false;
}

bool SizeOk(int size) {
    return size >= 1 && size <= kSteps;
}

// The offset of the pixel inside a span of size pixels for value of 0..extent.
int Pixel(int value, int extent, int size) {
    std::int64_t clamped = std::clamp(value, 0, extent);
    return static_cast<int>(std::min<std::int64_t>(clamped * size / extent, size - 1));
}

// Without the desktop's size: the least value at or past the Position's share
// of the axis, which lands exactly where that share is a whole pixel.
int Share(int value, int extent) {
    std::int64_t clamped = std::clamp(value, 0, extent);
    return static_cast<int>(std::min<std::int64_t>((clamped * kSteps + extent - 1) / extent, kAxisMax));
}

}  // namespace

std::optional<PixelSize> ParsePixelSize(const std::string& text) {
    std::size_t at = 0;
    PixelSize size;
    if (!Number(text, at, size.width) || !Expect(text, at, 'x') || !Number(text, at, size.height) ||
        at != text.size() || !SizeOk(size.width) || !SizeOk(size.height)) {
        return std::nullopt;
    }
    return size;
}

std::optional<PixelRect> ParsePixelRect(const std::string& text) {
    std::size_t at = 0;
    PixelRect rect;
    if (!Number(text, at, rect.width) || !Expect(text, at, 'x') || !Number(text, at, rect.height) ||
        !Expect(text, at, '+') || !Number(text, at, rect.x) || !Expect(text, at, '+') ||
        !Number(text, at, rect.y) || at != text.size() || !SizeOk(rect.width) || !SizeOk(rect.height)) {
        return std::nullopt;
    }
    return rect;
}

std::string CheckMappingOptions(const MappingOptions& options) {
    if (!options.desktop) {
        if (options.area) {
            return "--area needs --desktop WxH, the size of the whole desktop";
        }
        if (options.keepAspect) {
            return "--keep-aspect needs --desktop WxH, the size of the whole desktop";
        }
        return {};
    }
    if (options.area) {
        const PixelRect& r = *options.area;
        if (std::int64_t{r.x} + r.width > options.desktop->width ||
            std::int64_t{r.y} + r.height > options.desktop->height) {
            return "--area " + std::to_string(r.width) + "x" + std::to_string(r.height) + "+" +
                   std::to_string(r.x) + "+" + std::to_string(r.y) + " reaches past the desktop of --desktop " +
                   std::to_string(options.desktop->width) + "x" + std::to_string(options.desktop->height);
        }
    }
    return {};
}

int Mapping::PixelOf(int value, int size) {
    return static_cast<int>(std::int64_t{value} * size / kSteps);
}

int Mapping::ValueOf(int pixel, int size) {
    std::int64_t first = (std::int64_t{pixel} * kSteps + size - 1) / size;
    std::int64_t last = ((std::int64_t{pixel} + 1) * kSteps + size - 1) / size - 1;
    return static_cast<int>(std::clamp<std::int64_t>((first + last) / 2, 0, kAxisMax));
}

std::pair<int, int> Mapping::Map(int x, int y, int a, int b) const {
    if (!m_options.desktop) {
        return {Share(x, a), Share(y, b)};
    }
    const PixelSize& desktop = *m_options.desktop;
    PixelRect area = m_options.area.value_or(PixelRect{0, 0, desktop.width, desktop.height});
    if (m_options.keepAspect) {
        // The widest rectangle of the Extent's shape that fits, in the middle.
        if (std::int64_t{area.width} * b > std::int64_t{area.height} * a) {
            int width = static_cast<int>(std::max<std::int64_t>(std::int64_t{area.height} * a / b, 1));
            area.x += (area.width - width) / 2;
            area.width = width;
        } else {
            int height = static_cast<int>(std::max<std::int64_t>(std::int64_t{area.width} * b / a, 1));
            area.y += (area.height - height) / 2;
            area.height = height;
        }
    }
    return {ValueOf(area.x + Pixel(x, a, area.width), desktop.width),
            ValueOf(area.y + Pixel(y, b, area.height), desktop.height)};
}

}  // namespace pv::server
