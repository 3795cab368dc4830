#include "platform/FrameBuffer.h"

#include <QPainter>
#include <QRect>
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "platform/QtFrameBuffer.h"

namespace {

QRgb ToRgb(PvColor color) {
    return 0xFF000000u | (color & 0xFFFFFFu);
}

// Beyond this distance a line is first cut to a box of this size, so that the
// exact arithmetic below fits in 64 bits. What is cut lies far off the surface.
constexpr int64_t kFar = int64_t{1} << 24;

// Cuts the segment to the box [-kFar, kFar] on both axes; false when nothing is left.
bool ClipFar(int64_t& x0, int64_t& y0, int64_t& x1, int64_t& y1) {
    const double dx = static_cast<double>(x1 - x0);
    const double dy = static_cast<double>(y1 - y0);
    double t0 = 0.0;
    double t1 = 1.0;
    const double far = static_cast<double>(kFar);
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {static_cast<double>(x0) + far, far - static_cast<double>(x0),
                         static_cast<double>(y0) + far, far - static_cast<double>(y0)};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0.0) {
            if (q[k] < 0.0) {
                return false;
            }
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0.0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
    }
    if (t0 > t1) {
        return false;
    }
    const double sx = static_cast<double>(x0);
    const double sy = static_cast<double>(y0);
    // An end that was inside keeps its exact value.
    if (t1 < 1.0) {
        x1 = static_cast<int64_t>(sx + t1 * dx);
        y1 = static_cast<int64_t>(sy + t1 * dy);
    }
    if (t0 > 0.0) {
        x0 = static_cast<int64_t>(sx + t0 * dx);
        y0 = static_cast<int64_t>(sy + t0 * dy);
    }
    return true;
}

}  // namespace

std::unique_ptr<IDrawSurface> PvCreateFrameBuffer(int width, int height) {
    return std::make_unique<CPvFrameBuffer>(width, height);
}

CPvFrameBuffer::CPvFrameBuffer(int width, int height)
    : m_image(std::max(0, width), std::max(0, height), QImage::Format_RGB32) {
    m_image.fill(ToRgb(kPvWhite));
}

CPvFrameBuffer::~CPvFrameBuffer() = default;

void CPvFrameBuffer::FillSolidRect(const PvRect& rect, PvColor color) {
    const QRect area = QRect(QPoint(rect.left, rect.top), QPoint(rect.right - 1, rect.bottom - 1))
                           .intersected(m_image.rect());
    if (area.isEmpty()) {
        return;
    }
    QPainter painter(&m_image);
    painter.fillRect(area, QColor::fromRgb(ToRgb(color)));
}

const CPvPen* CPvFrameBuffer::SelectPen(const CPvPen* pen) {
    const CPvPen* previous = m_pPen;
    m_pPen = pen;
    return previous;
}

void CPvFrameBuffer::LineTo(PvPoint point) {
    const PvPoint from = m_ptCurrent;
    m_ptCurrent = point;
    // A pen of width 0 still draws one pixel wide.
    const int width = m_pPen == nullptr ? 1 : std::max(1, m_pPen->width);
    DrawLine(from, point, width, m_pPen == nullptr ? kPvBlack : m_pPen->color);
}

// Walks the line one step at a time along its longer axis, from the start point up to
// but not including the end point; the other coordinate is the exact one rounded half
// away from the start. A wider pen adds pixels across the longer axis, so the pixels at
// the end point's step stay untouched whatever the width.
void CPvFrameBuffer::DrawLine(PvPoint from, PvPoint to, int width, PvColor color) {
    int64_t x0 = from.x, y0 = from.y, x1 = to.x, y1 = to.y;
    if ((std::max({std::llabs(x0), std::llabs(y0), std::llabs(x1), std::llabs(y1)}) > kFar) &&
        !ClipFar(x0, y0, x1, y1)) {
        return;
    }
    const int64_t dx = x1 - x0;
    const int64_t dy = y1 - y0;
    if (dx == 0 && dy == 0) {
        return;
    }
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const int64_t steps = xMajor ? std::llabs(dx) : std::llabs(dy);
    const int64_t majorStep = (xMajor ? dx : dy) > 0 ? 1 : -1;
    const int64_t minorDelta = xMajor ? dy : dx;
    const int64_t minorStep = minorDelta >= 0 ? 1 : -1;
    const int64_t minorRise = std::llabs(minorDelta);
    const int64_t major0 = xMajor ? x0 : y0;
    const int64_t minor0 = xMajor ? y0 : x0;
    const int64_t majorSize = xMajor ? m_image.width() : m_image.height();
    const int64_t minorSize = xMajor ? m_image.height() : m_image.width();

    // Only the steps whose longer-axis coordinate lies on the surface.
    int64_t first = 0;
    int64_t last = 0;
    if (majorStep > 0) {
        first = std::max<int64_t>(0, -major0);
        last = std::min<int64_t>(steps - 1, majorSize - 1 - major0);
    } else {
        first = std::max<int64_t>(0, major0 - (majorSize - 1));
        last = std::min<int64_t>(steps - 1, major0);
    }
    if (first > last) {
        return;
    }

    // The offset across at step i is (2 i rise + steps) / (2 steps), kept as quotient and remainder.
    const int64_t divisor = 2 * steps;
    const int64_t numerator = 2 * first * minorRise + steps;
    int64_t quotient = numerator / divisor;
    int64_t remainder = numerator % divisor;
    const int lowOffset = -(width - 1) / 2;
    const int highOffset = width / 2;
    const QRgb pixel = ToRgb(color);
    uchar* const bits = m_image.bits();
    const int64_t bytesPerLine = m_image.bytesPerLine();
    for (int64_t i = first; i <= last; ++i) {
        const int64_t major = major0 + majorStep * i;
        const int64_t centre = minor0 + minorStep * quotient;
        for (int offset = lowOffset; offset <= highOffset; ++offset) {
            const int64_t minor = centre + offset;
            if (minor < 0 || minor >= minorSize) {
                continue;
            }
            const int64_t x = xMajor ? major : minor;
            const int64_t y = xMajor ? minor : major;
            reinterpret_cast<QRgb*>(bits + y * bytesPerLine)[x] = pixel;
        }
        remainder += 2 * minorRise;
        if (remainder >= divisor) {
            remainder -= divisor;
            ++quotient;
        }
    }
}

void CPvFrameBuffer::DrawIcon(PvPoint topLeft, const CPvImage& icon) {
    if (icon.IsNull() || m_image.isNull()) {
        return;
    }
    QPainter painter(&m_image);
    // The mask is the icon's alpha: masked pixels leave the surface as it was.
    painter.drawImage(QRect(topLeft.x, topLeft.y, 32, 32), icon.GetData()->image);
}

void CPvFrameBuffer::XorCopy(PvPoint topLeft, int width, int height, const CPvImage& source) {
    if (source.IsNull() || m_image.isNull()) {
        return;
    }
    const QImage& image = source.GetData()->image;
    const QRect from = QRect(0, 0, width, height).intersected(image.rect());
    if (from.isEmpty()) {
        return;
    }
    // Clipped to the surface here, in 64 bits so that a point near the ends of the int
    // range cannot overflow; what falls outside is never touched, so a second copy undoes
    // the first exactly.
    const int64_t left = std::max<int64_t>(topLeft.x, 0);
    const int64_t top = std::max<int64_t>(topLeft.y, 0);
    const int64_t right = std::min<int64_t>(int64_t{topLeft.x} + from.width(), m_image.width());
    const int64_t bottom = std::min<int64_t>(int64_t{topLeft.y} + from.height(), m_image.height());
    if (left >= right || top >= bottom) {
        return;
    }
    const QRect part(static_cast<int>(left - topLeft.x), static_cast<int>(top - topLeft.y),
                     static_cast<int>(right - left), static_cast<int>(bottom - top));
    QPainter painter(&m_image);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.drawImage(QPoint(static_cast<int>(left), static_cast<int>(top)), image, part);
}
