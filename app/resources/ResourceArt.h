#pragma once
#include <QImage>

#include "surface/Commands.h"

// The program's own images, drawn in code so that they can be regenerated and
// checked: 4 bits per pixel with the standard 16-colour palette.

// The cursor crosshair, bitmap 135: 20 x 20, black (index 0) and white (index 15);
// white inverts the screen under an exclusive-or copy, black leaves it alone.
QImage PvDrawCursorBitmap();

// The orientation icon for a quarter turns clockwise of the upright picture
// (a pen with its point at the lower left, on a cyan grid): 0 North, 1 West,
// 2 South, 3 East. 32 x 32, every pixel opaque.
QImage PvDrawOrientationIcon(int quarterTurnsClockwise);

// The resource id of each picture, and the file it is shipped in below the
// resources folder ("icons/133.bmp", "bitmaps/135.bmp").
inline constexpr int kPvCursorBitmapId = pv::res::kCursorBitmap;
inline constexpr int kPvOrientationIconIds[4] = {pv::res::kIconNorth, pv::res::kIconWest, pv::res::kIconSouth,
                                                 pv::res::kIconEast};
