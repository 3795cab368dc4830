#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/DrawSurface.h"

// The window surface as a plain pixel buffer: one pixel word each (alpha always
// 255, in the platform's own order), rows tightly packed, so that a browser canvas
// takes the bytes as they are and Qt wraps them without a copy or a conversion. Lines are rasterised here:
// a line must paint its start point and never its end point whatever its
// direction, and a repaint of many strokes must stay cheap.
//
// Every drawing operation grows a damage rectangle, the bounding box of the
// pixels it may have changed, so that the window shows only what changed.
class CPvFrameBuffer : public IDrawSurface {
public:
    // A width or height below 0 counts as 0.
    CPvFrameBuffer(int width, int height);
    ~CPvFrameBuffer() override;
    CPvFrameBuffer(const CPvFrameBuffer&) = delete;
    CPvFrameBuffer& operator=(const CPvFrameBuffer&) = delete;

    PvColor GetBkColor() const override { return kPvWhite; }
    void FillSolidRect(const PvRect& rect, PvColor color) override;
    const CPvPen* SelectPen(const CPvPen* pen) override;
    void MoveTo(PvPoint point) override { m_ptCurrent = point; }
    void LineTo(PvPoint point) override;
    void DrawIcon(PvPoint topLeft, const CPvImage& icon) override;
    void XorCopy(PvPoint topLeft, int width, int height, const CPvImage& source) override;

    // The pixels. A window of another size gets a new framebuffer, so the memory stays put.
    uint8_t* Bits() { return reinterpret_cast<uint8_t*>(m_pixels.data()); }
    const uint8_t* Bits() const { return reinterpret_cast<const uint8_t*>(m_pixels.data()); }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    int BytesPerLine() const { return m_nWidth * 4; }
    // 0xRRGGBB at (x, y); the point must lie inside the surface.
    PvColor Pixel(int x, int y) const { return PvWordColor(m_pixels[Index(x, y)]); }

    // The damage since the last call (left and top inclusive, right and bottom exclusive),
    // then none. A fresh buffer is damaged all over; no damage is the empty rectangle {0, 0, 0, 0}.
    PvRect TakeDamage();

private:
    std::size_t Index(int64_t x, int64_t y) const { return static_cast<std::size_t>(y * m_nWidth + x); }
    void DrawLine(PvPoint from, PvPoint to, int width, PvColor color);
    // Grows the damage by the box, which the caller has clipped to the surface and which is not empty.
    void Damage(int64_t left, int64_t top, int64_t right, int64_t bottom);

    int m_nWidth = 0;
    int m_nHeight = 0;
    std::vector<uint32_t> m_pixels;  // one pixel word each (PvPixelWord)
    PvRect m_damage;
    const CPvPen* m_pPen = nullptr;  // nullptr: the default pen
    PvPoint m_ptCurrent{0, 0};
};

// A window surface of that size, as the surface's window and the tests use it.
std::unique_ptr<IDrawSurface> PvCreateFrameBuffer(int width, int height);
