#pragma once
// How the platform layers tell gestures apart. Every layer that recognises taps
// (the Qt window, the browser page) uses these same numbers.

namespace pv::gesture {
// A pen that stays down this long within kHoldSlopPx is a tap-and-hold.
inline constexpr int kHoldTimeMs = 500;
// How far (pixels, each axis) the pen may wander and still count as held.
inline constexpr int kHoldSlopPx = 4;
// A second pen-down within this time and distance of the first pen-down is a double tap.
inline constexpr int kDoubleTapTimeMs = 400;
inline constexpr int kDoubleTapSlopPx = 5;
// Moves merged into one PenMove carry at most this many history points.
inline constexpr int kMaxHistory = 16;
}  // namespace pv::gesture
