// The ink canvas: the grid, the orientation icon, the strokes and the
// exclusive-or crosshair that marks where the desktop pointer was sent.
#include <cstdint>
#include <utility>

#include "surface/Commands.h"
#include "surface/DrawScope.h"
#include "surface/Images.h"
#include "surface/TabletView.h"

namespace {
constexpr int kGridSpacing = 16;
constexpr int kIconSize = 32;
}  // namespace

void CTabletView::OnPaint() {
    const CPaintScope paint(m_host);
    const CClientDC surface(m_host);
    EraseCursor();
    if (ReloadOrientation()) {
        // Loaded once per run; without it every cursor copy covers no pixel.
        const CPvImage& cursor = PvBitmapImage(pv::res::kCursorBitmap);
        if (!cursor.IsNull()) {
            m_nCursorWidth = cursor.Width();
            m_nCursorHeight = cursor.Height();
            m_dcCursor = cursor;
        }
    }
    const PvRect client = m_host.GetClientRect();
    const int width = client.right;
    const int height = client.bottom;
    if (surface) {
        surface->FillSolidRect(client, surface->GetBkColor());
        // The grid uses the surface's default pen: black, 1 pixel.
        for (int x = 0; x < width; x += kGridSpacing) {
            surface->MoveTo({x, 0});
            surface->LineTo({x, height});
        }
        for (int y = 0; y < height; y += kGridSpacing) {
            surface->MoveTo({0, y});
            surface->LineTo({width, y});
        }
        const int iconId = IconForOrientation(m_nOrientation);
        const CPvImage& icon = PvIconImage(iconId);
        if (!icon.IsNull()) {
            surface->DrawIcon({(width - kIconSize) / 2, (height - kIconSize) / 2}, icon);
        }
        for (const auto& stroke : m_strokes) {
            stroke->Draw(*surface);
        }
    }
    // The fill wiped the cursor that EraseCursor took off: show it where it was.
    DrawCursor(m_ptCursor);
}

namespace {

// One exclusive-or copy of the cursor image centred on point; a second copy at the
// same point takes it off again. A corner beyond the int range lies far off the
// surface: nothing to copy.
void XorCursor(IViewHost& host, const CPvImage& image, int width, int height, PvPoint point) {
    const int64_t left = int64_t{point.x} - width / 2;
    const int64_t top = int64_t{point.y} - height / 2;
    if (left < INT32_MIN || top < INT32_MIN) {
        return;
    }
    const CClientDC surface(host);
    if (surface) {
        surface->XorCopy({static_cast<int32_t>(left), static_cast<int32_t>(top)}, width, height, image);
    }
}

}  // namespace

void CTabletView::EraseCursor() {
    // (0, 0) stands for "no cursor shown".
    if (m_ptCursor == PvPoint{0, 0}) {
        return;
    }
    XorCursor(m_host, m_dcCursor, m_nCursorWidth, m_nCursorHeight, m_ptCursor);
}

void CTabletView::DrawCursor(PvPoint point) {
    if (point != PvPoint{0, 0}) {
        XorCursor(m_host, m_dcCursor, m_nCursorWidth, m_nCursorHeight, point);
    }
    m_ptCursor = point;
}

void CTabletView::MoveCursor(PvPoint point) {
    EraseCursor();
    DrawCursor(point);
}

CStroke* CTabletView::NewStroke() {
    m_strokes.push_back(std::make_unique<CStroke>(m_nPenWidth));
    return m_strokes.back().get();
}

void CTabletView::BeginStroke(PvPoint point) {
    m_pCurrentStroke = NewStroke();
    m_pCurrentStroke->m_points.push_back(point);
    m_ptLast = point;
}

void CTabletView::ExtendStroke(PvPoint point) {
    if (m_pCurrentStroke == nullptr) {
        BeginStroke(point);
        return;
    }
    m_pCurrentStroke->m_points.push_back(point);
    // Without its pen the segment would come out thinner than a repaint draws it;
    // leave it to the next paint instead.
    if (m_penStroke != nullptr) {
        const CClientDC surface(m_host);
        if (surface) {
            const CPenSelection pen(*surface, m_penStroke.get());
            surface->MoveTo(m_ptLast);
            surface->LineTo(point);
        }
    }
    m_ptLast = point;
}

void CTabletView::ClearStrokes() {
    m_strokes.clear();
    m_pCurrentStroke = nullptr;
    // Painted here and now, bracket and all, rather than left to a later repaint.
    OnPaint();
}
