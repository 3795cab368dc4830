#pragma once
#include <QImage>
#include <QRect>

#include "platform/DrawSurface.h"
#include "platform/FrameBuffer.h"

// The framebuffer's own memory as a read-only QImage (RGB32, the screen's own
// format), no copy made. Valid while the framebuffer lives; it shows
// whatever is drawn there later.
QImage PvQImageView(const CPvFrameBuffer& frame);

// A copy of an image (an icon keeps its mask as alpha), for buttons and labels.
QImage PvToQImage(const CPvImage& image);

// A damage rectangle (right and bottom exclusive) as Qt's rectangle.
inline QRect PvToQRect(const PvRect& rect) {
    return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}
