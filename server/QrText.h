#pragma once
// A QR code drawn with text characters, for a phone to scan off the terminal.

#include <string>

namespace pv::server {

// The code for text, two module rows to a line with the half-block characters
// (U+2580, U+2584, U+2588); light modules are drawn, dark ones left blank, as
// on a terminal with light text on a dark background (phone scanners also
// read the code the other way round). Each line ends with '\n'. Empty if the
// text does not fit in a code.
std::string QrText(const std::string& text);

}  // namespace pv::server
