#pragma once
#include <vector>

#include "platform/DrawSurface.h"
#include "platform/Types.h"

// One stroke of ink: its pen width and the client points the pen visited.
class CStroke {
public:
    explicit CStroke(int width) : m_nWidth(width) {}
    virtual ~CStroke() = default;

    // Draws the stroke's segments with its own pen; false when the pen cannot be created.
    bool Draw(IDrawSurface& surface) const;

    int m_nWidth;
    std::vector<PvPoint> m_points;
};
