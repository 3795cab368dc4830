#include "platform/FrameBuffer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

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
    : m_nWidth(std::max(0, width)),
      m_nHeight(std::max(0, height)),
      m_pixels(static_cast<std::size_t>(m_nWidth) * static_cast<std::size_t>(m_nHeight),
               PvPixelWord(kPvWhite)) {
    if (!m_pixels.empty()) {
        m_damage = {0, 0, m_nWidth, m_nHeight};
    }
}

CPvFrameBuffer::~CPvFrameBuffer() = default;

PvRect CPvFrameBuffer::TakeDamage() {
    const PvRect damage = m_damage;
    m_damage = {};
    return damage;
}

void CPvFrameBuffer::Damage(int64_t left, int64_t top, int64_t right, int64_t bottom) {
    // Inside the surface, so every value fits in 32 bits.
    if (m_damage.left >= m_damage.right || m_damage.top >= m_damage.bottom) {
        m_damage = {static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right),
                    static_cast<int32_t>(bottom)};
        return;
    }
    m_damage.left = std::min(m_damage.left, static_cast<int32_t>(left));
    m_damage.top = std::min(m_damage.top, static_cast<int32_t>(top));
    m_damage.right = std::max(m_damage.right, static_cast<int32_t>(right));
    m_damage.bottom = std::max(m_damage.bottom, static_cast<int32_t>(bottom));
}

void CPvFrameBuffer::FillSolidRect(const PvRect& rect, PvColor color) {
    const int64_t left = std::max<int64_t>(rect.left, 0);
    const int64_t top = std::max<int64_t>(rect.top, 0);
    const int64_t right = std::min<int64_t>(rect.right, m_nWidth);
    const int64_t bottom = std::min<int64_t>(rect.bottom, m_nHeight);
    if (left >= right || top >= bottom) {
        return;
    }
    // One row filled, the others copied from it: copies of whole rows run at memory speed.
    uint32_t* const first = m_pixels.data() + Index(left, top);
    std::fill(first, first + (right - left), PvPixelWord(color));
    const auto rowBytes = static_cast<std::size_t>(right - left) * sizeof(uint32_t);
    for (int64_t y = top + 1; y < bottom; ++y) {
        std::memcpy(m_pixels.data() + Index(left, y), first, rowBytes);
    }
    Damage(left, top, right, bottom);
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
    const int64_t majorSize = xMajor ? m_nWidth : m_nHeight;
    const int64_t minorSize = xMajor ? m_nHeight : m_nWidth;

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

    // The offset across only ever grows, so the first and last steps bound the pixels.
    const int64_t centreFirst = minor0 + minorStep * quotient;
    const int64_t centreLast = minor0 + minorStep * ((2 * last * minorRise + steps) / divisor);
    const int64_t minorLow = std::max<int64_t>(0, std::min(centreFirst, centreLast) + lowOffset);
    const int64_t minorHigh =
        std::min<int64_t>(minorSize - 1, std::max(centreFirst, centreLast) + highOffset);
    if (minorLow > minorHigh) {
        return;
    }
    const int64_t majorLow = std::min(major0 + majorStep * first, major0 + majorStep * last);
    const int64_t majorHigh = std::max(major0 + majorStep * first, major0 + majorStep * last);
    if (xMajor) {
        Damage(majorLow, minorLow, majorHigh + 1, minorHigh + 1);
    } else {
        Damage(minorLow, majorLow, minorHigh + 1, majorHigh + 1);
    }

    const uint32_t word = PvPixelWord(color);
    uint32_t* const pixels = m_pixels.data();
    for (int64_t i = first; i <= last; ++i) {
        const int64_t major = major0 + majorStep * i;
        const int64_t centre = minor0 + minorStep * quotient;
        for (int offset = lowOffset; offset <= highOffset; ++offset) {
            const int64_t minor = centre + offset;
            if (minor < 0 || minor >= minorSize) {
                continue;
            }
            pixels[xMajor ? Index(major, minor) : Index(minor, major)] = word;
        }
        remainder += 2 * minorRise;
        if (remainder >= divisor) {
            remainder -= divisor;
            ++quotient;
        }
    }
}

// The icon's own pixels, at most 32 x 32 of them: those with alpha of 128 and more
// are drawn, the masked rest leaves the surface as it was. Clipped in 64 bits.
void CPvFrameBuffer::DrawIcon(PvPoint topLeft, const CPvImage& icon) {
    constexpr int kIconSize = 32;
    const int64_t width = std::min(icon.Width(), kIconSize);
    const int64_t height = std::min(icon.Height(), kIconSize);
    const int64_t left = std::max<int64_t>(topLeft.x, 0);
    const int64_t top = std::max<int64_t>(topLeft.y, 0);
    const int64_t right = std::min<int64_t>(int64_t{topLeft.x} + width, m_nWidth);
    const int64_t bottom = std::min<int64_t>(int64_t{topLeft.y} + height, m_nHeight);
    if (left >= right || top >= bottom) {
        return;
    }
    // The icon's word with its alpha byte set: the surface stays opaque.
    const uint32_t opaque = PvPixelWord(kPvBlack, 255);
    for (int64_t y = top; y < bottom; ++y) {
        const int sy = static_cast<int>(y - topLeft.y);
        uint32_t* const row = m_pixels.data() + Index(0, y);
        for (int64_t x = left; x < right; ++x) {
            const uint32_t word = icon.Word(static_cast<int>(x - topLeft.x), sy);
            if (PvWordAlpha(word) >= 128) {
                row[x] = word | opaque;
            }
        }
    }
    Damage(left, top, right, bottom);
}

void CPvFrameBuffer::XorCopy(PvPoint topLeft, int width, int height, const CPvImage& source) {
    const int64_t fromWidth = std::min(width, source.Width());
    const int64_t fromHeight = std::min(height, source.Height());
    // Clipped to the surface here, in 64 bits so that a point near the ends of the int
    // range cannot overflow; what falls outside is never touched, so a second copy undoes
    // the first exactly.
    const int64_t left = std::max<int64_t>(topLeft.x, 0);
    const int64_t top = std::max<int64_t>(topLeft.y, 0);
    const int64_t right = std::min<int64_t>(int64_t{topLeft.x} + fromWidth, m_nWidth);
    const int64_t bottom = std::min<int64_t>(int64_t{topLeft.y} + fromHeight, m_nHeight);
    if (left >= right || top >= bottom) {
        return;
    }
    // Colour bits only: the alpha byte stays 255.
    const uint32_t colourBits = PvPixelWord(0xFFFFFF, 0);
    for (int64_t y = top; y < bottom; ++y) {
        const int sy = static_cast<int>(y - topLeft.y);
        uint32_t* const row = m_pixels.data() + Index(0, y);
        for (int64_t x = left; x < right; ++x) {
            row[x] ^= source.Word(static_cast<int>(x - topLeft.x), sy) & colourBits;
        }
    }
    Damage(left, top, right, bottom);
}
