#pragma once
#include <QImage>

#include "platform/DrawSurface.h"
#include "platform/FrameBuffer.h"

// What a loaded image is underneath: icons carry their mask as alpha
// (premultiplied ARGB), bitmaps are opaque RGB.
struct CPvImage::Data {
    QImage image;
};

// Wraps a QImage as a resource image (tests build cursor images this way).
CPvImage PvImageFromQImage(const QImage& image);

// The window surface over a QImage in RGB32. Lines are rasterised here rather
// than by QPainter: a line must paint its start point and never its end point
// whatever its direction (QPainter leaves out the pixel at the far end of the
// axis instead, so a line drawn right to left would lose its start and keep
// its end), and a repaint of many strokes must stay cheap.
class CPvFrameBuffer : public IDrawSurface {
public:
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

    // The pixels. A window of another size gets a new framebuffer.
    const QImage& Image() const { return m_image; }
    // 0xRRGGBB at (x, y); the point must lie inside the surface.
    PvColor Pixel(int x, int y) const { return m_image.pixel(x, y) & 0xFFFFFFu; }

    // What drawing changed since the last call; for now the whole surface.
    PvRect TakeDamage() const { return {0, 0, m_image.width(), m_image.height()}; }

    int Width() const { return m_image.width(); }
    int Height() const { return m_image.height(); }

private:
    void DrawLine(PvPoint from, PvPoint to, int width, PvColor color);

    QImage m_image;
    const CPvPen* m_pPen = nullptr;  // nullptr: the default pen
    PvPoint m_ptCurrent{0, 0};
};
