#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Types.h"

using PvColor = uint32_t;  // 0xRRGGBB
inline constexpr PvColor kPvBlack = 0x000000;
inline constexpr PvColor kPvWhite = 0xFFFFFF;

inline constexpr int kPvPenSolid = 0;

// One pixel as it lies in memory, in the order its platform shows without a
// conversion: bytes R, G, B, A for a browser canvas; elsewhere the word 0xAARRGGBB,
// Qt's own 32-bit formats on any machine.
#ifdef __EMSCRIPTEN__
inline constexpr bool kPvPixelBytesRgba = true;
#else
inline constexpr bool kPvPixelBytesRgba = false;
#endif
uint32_t PvPixelWord(PvColor color, uint8_t alpha = 255);
PvColor PvWordColor(uint32_t word);
uint8_t PvWordAlpha(uint32_t word);

// An image as plain pixels: width x height, one pixel word each (above), rows
// tightly packed. Icons carry their mask as alpha (0 masked out, 255 drawn);
// bitmaps are opaque. Copies are deep.
class CPvImage {
public:
    CPvImage() = default;
    // Every pixel the given colour and alpha; a width or height below 1 gives a null image.
    CPvImage(int width, int height, PvColor fill, uint8_t alpha = 255);
    // Takes width x height pixel words as bytes in memory order; a null image when the size does not match.
    CPvImage(int width, int height, const std::vector<uint8_t>& rgba);

    bool IsNull() const { return m_pixels.empty(); }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    int BytesPerLine() const { return m_nWidth * 4; }
    const uint8_t* Bits() const { return reinterpret_cast<const uint8_t*>(m_pixels.data()); }

    // (x, y) must lie inside the image.
    PvColor Pixel(int x, int y) const { return PvWordColor(Word(x, y)); }
    uint8_t Alpha(int x, int y) const { return PvWordAlpha(Word(x, y)); }
    uint32_t Word(int x, int y) const { return m_pixels[Index(x, y)]; }
    void SetPixel(int x, int y, PvColor color, uint8_t alpha = 255) {
        m_pixels[Index(x, y)] = PvPixelWord(color, alpha);
    }

    friend bool operator==(const CPvImage&, const CPvImage&) = default;

private:
    std::size_t Index(int x, int y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(m_nWidth) + static_cast<std::size_t>(x);
    }

    int m_nWidth = 0;
    int m_nHeight = 0;
    std::vector<uint32_t> m_pixels;  // one pixel word each (PvPixelWord)
};

// A solid pen; creating it may fail (nullptr).
struct CPvPen {
    int style = kPvPenSolid;
    int width = 1;
    PvColor color = kPvBlack;
};
std::unique_ptr<CPvPen> PvCreatePen(int style, int width, PvColor color);

// A drawing surface over the whole client area of a window. A fresh one has a
// white background colour and a solid black 1-pixel default pen. Lines do not
// paint their end point. Everything is clipped to the client area.
class IDrawSurface {
public:
    virtual ~IDrawSurface() = default;
    virtual PvColor GetBkColor() const = 0;
    virtual void FillSolidRect(const PvRect& rect, PvColor color) = 0;
    // Selects pen (nullptr: the default pen) and returns the pen it replaces (nullptr: the default pen).
    virtual const CPvPen* SelectPen(const CPvPen* pen) = 0;
    virtual void MoveTo(PvPoint point) = 0;
    virtual void LineTo(PvPoint point) = 0;
    // Draws a 32 x 32 icon with its mask, top-left corner at topLeft.
    virtual void DrawIcon(PvPoint topLeft, const CPvImage& icon) = 0;
    // Destination becomes destination XOR source for width x height pixels taken from (0, 0) of source.
    virtual void XorCopy(PvPoint topLeft, int width, int height, const CPvImage& source) = 0;
};
