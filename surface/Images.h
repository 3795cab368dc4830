#pragma once
#include <cstddef>

#include "platform/DrawSurface.h"

// The program's own images, as plain pixels: drawn or decoded on first use and
// kept for the run. Unknown ids give a null image.

// Icon resource id: the orientation icons 130 West, 131 South, 132 East, 133 North,
// 32 x 32, opaque, colours of the standard 16-colour palette (a pen on a cyan grid;
// West, South and East are North turned one, two and three quarter turns clockwise).
const CPvImage& PvIconImage(int id);

// Bitmap resource id: 135, the cursor crosshair, 20 x 20, opaque black and white;
// white inverts the screen under an exclusive-or copy, black leaves it alone.
const CPvImage& PvBitmapImage(int id);

// The toolbar button of a command (rotate, left, right and double click, Clear Screen,
// Help): 16 x 16, its mask as alpha.
const CPvImage& PvButtonImage(int commandId);

// Decodes an image in the XPM format: a header "width height colours charsPerPixel",
// the colours ("c None" for masked, "c #RRGGBB"), then one string per row. A null image
// when anything is malformed.
CPvImage PvImageFromXpm(const char* const* lines, std::size_t count);

template <std::size_t N>
CPvImage PvImageFromXpm(const char* const (&lines)[N]) {
    return PvImageFromXpm(lines, N);
}
