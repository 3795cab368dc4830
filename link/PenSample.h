#pragma once
// What a stylus does, sample by sample, for a desktop that makes a tablet of it.
//
// A pen sample travels on the same stream as the other messages, as a record of
// its own: the lead byte '~' and fixed-width fields of letters, digits, spaces
// and minus signs. None of these bytes starts another message, so a desktop that
// does not know the record skips it whole and sees the rest of the stream as if
// the record were not there.

#include <cstddef>

namespace pv::protocol {

inline constexpr char kPen = '~';

enum class PenPhase : char {
    Hover = 'h',  // in range above the screen
    Touch = 't',  // the tip on the screen
    Out = 'o',    // gone out of range
};

struct PenSample {
    PenPhase phase = PenPhase::Hover;
    int x = 0;  // raw stylus units, as a Position's
    int y = 0;
    int pressure = 0;  // 0..kMaxPressure, as the pen reports it (no curve)
    int tiltX = 0;     // degrees, -90..90
    int tiltY = 0;
    int buttons = 0;  // the side buttons as Pointer Events report them: 2 the barrel button
};

// Lead, phase, X and Y as a Position's ("%4d"), pressure "%04d", tilts "%3d",
// buttons "%02d": 22 bytes.
inline constexpr char kPenFormat[] = "~%c%4d%4d%04d%3d%3d%02d";
inline constexpr std::size_t kPenRecordLength = 22;
inline constexpr int kMaxPressure = 4095;
inline constexpr int kMaxTilt = 90;
// The side buttons (barrel 2, middle 4, back 8, forward 16): the tip's contact
// and the eraser are not buttons here.
inline constexpr int kPenButtonMask = 2 | 4 | 8 | 16;
inline constexpr int kBarrelButton = 2;

// Writes one record (22 bytes and a terminating zero) into out, which must hold
// at least 23 bytes; numbers outside their fields are clamped. Returns 22.
int FormatPenSample(char* out, const PenSample& sample);

}  // namespace pv::protocol
