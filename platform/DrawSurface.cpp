#include "platform/DrawSurface.h"

#include <cstring>

uint32_t PvPixelWord(PvColor color, uint8_t alpha) {
    if constexpr (kPvPixelBytesRgba) {
        const uint8_t bytes[4] = {static_cast<uint8_t>(color >> 16), static_cast<uint8_t>(color >> 8),
                                  static_cast<uint8_t>(color), alpha};
        uint32_t word = 0;
        std::memcpy(&word, bytes, sizeof word);
        return word;
    }
    return (uint32_t{alpha} << 24) | (color & 0xFFFFFFu);
}

PvColor PvWordColor(uint32_t word) {
    if constexpr (kPvPixelBytesRgba) {
        uint8_t bytes[4];
        std::memcpy(bytes, &word, sizeof word);
        return (PvColor{bytes[0]} << 16) | (PvColor{bytes[1]} << 8) | PvColor{bytes[2]};
    }
    return word & 0xFFFFFFu;
}

uint8_t PvWordAlpha(uint32_t word) {
    if constexpr (kPvPixelBytesRgba) {
        uint8_t bytes[4];
        std::memcpy(bytes, &word, sizeof word);
        return bytes[3];
    }
    return static_cast<uint8_t>(word >> 24);
}

CPvImage::CPvImage(int width, int height, PvColor fill, uint8_t alpha) {
    if (width < 1 || height < 1) {
        return;
    }
    m_nWidth = width;
    m_nHeight = height;
    m_pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                    PvPixelWord(fill, alpha));
}

CPvImage::CPvImage(int width, int height, const std::vector<uint8_t>& rgba) {
    if (width < 1 || height < 1 ||
        rgba.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4) {
        return;
    }
    m_nWidth = width;
    m_nHeight = height;
    m_pixels.resize(rgba.size() / 4);
    std::memcpy(m_pixels.data(), rgba.data(), rgba.size());
}

std::unique_ptr<CPvPen> PvCreatePen(int style, int width, PvColor color) {
    // Only solid pens exist here; any other style cannot be created.
    if (style != kPvPenSolid) {
        return nullptr;
    }
    return std::make_unique<CPvPen>(CPvPen{style, width, color});
}
