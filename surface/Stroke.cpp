#include "surface/Stroke.h"

#include "surface/DrawScope.h"

bool CStroke::Draw(IDrawSurface& surface) const {
    // The pen lives only for this paint; a stroke whose pen cannot be made is left
    // out now and tried again at the next paint.
    const std::unique_ptr<CPvPen> pen = PvCreatePen(kPvPenSolid, m_nWidth, kPvBlack);
    if (pen == nullptr) {
        return false;
    }
    const CPenSelection selection(surface, pen.get());
    if (!m_points.empty()) {
        surface.MoveTo(m_points.front());
        for (std::size_t i = 1; i < m_points.size(); ++i) {
            surface.LineTo(m_points[i]);
        }
    }
    return true;
}
