#pragma once
// A QR code drawn with text characters, for a phone to scan off the terminal,
// and the same code as an image.

#include <string>
#include <vector>

namespace pv::server {

// The code for text, two module rows to a line with the half-block characters
// (U+2580, U+2584, U+2588), in a quiet zone of four modules. With colours, each
// line sets black on bright white itself (and resets at its end), the dark
// modules drawn, so that it reads the same on light and dark terminals. Without
// them light modules are drawn and dark ones left blank, as on a terminal with
// light text on a dark background (for a log, which keeps no colours). Each
// line ends with '\n'. Empty if the text does not fit in a code.
std::string QrText(const std::string& text, bool colours = false);

// The code as an SVG image, black on white with its quiet zone, moduleSize
// pixels to a module. Empty if the text does not fit in a code.
std::string QrSvg(const std::string& text, int moduleSize = 8);

// The /connect page: each address large as a code, and as a link.
std::string ConnectPageHtml(const std::vector<std::string>& urls);

}  // namespace pv::server
