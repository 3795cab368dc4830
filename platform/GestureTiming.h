#pragma once
// How the platform layers tell gestures apart, by the kind of pointer: the one
// table that the pointer recogniser reads, whichever host feeds it.
#include <cstddef>

// What touched the surface. A host that cannot tell says Mouse.
enum class PvPointerKind { Mouse = 0, Pen = 1, Touch = 2 };

struct PvGestureThresholds {
    // A pointer that stays down this long within holdSlopPx (each axis) is a tap-and-hold.
    int holdTimeMs;
    double holdSlopPx;
    // A second press within this time and distance (each axis) of the first press is a double tap.
    int doubleTapTimeMs;
    double doubleTapSlopPx;
};

namespace pv::gesture {
// Rows in the order of PvPointerKind. A mouse and a pen keep the stylus platform's
// numbers; a fingertip is several millimetres wide and wobbles more than a nib, so
// touch gets finger-sized ones (under a millimetre would make a finger's double tap a
// matter of luck).
inline constexpr PvGestureThresholds kThresholds[] = {
    {500, 4, 400, 5},    // Mouse
    {500, 4, 400, 5},    // Pen
    {500, 10, 400, 24},  // Touch
};

// After a pen was last in range, touches stay away from the surface this long (a
// palm lifts just after the pen does).
inline constexpr double kPenGraceMs = 1000;

constexpr const PvGestureThresholds& For(PvPointerKind kind) {
    const auto row = static_cast<std::size_t>(kind);
    return kThresholds[row < std::size(kThresholds) ? row : 0];
}

// The mouse's row, for hosts and tests that only ever see a mouse.
inline constexpr int kHoldTimeMs = kThresholds[0].holdTimeMs;
inline constexpr int kHoldSlopPx = static_cast<int>(kThresholds[0].holdSlopPx);
inline constexpr int kDoubleTapTimeMs = kThresholds[0].doubleTapTimeMs;
inline constexpr int kDoubleTapSlopPx = static_cast<int>(kThresholds[0].doubleTapSlopPx);
}  // namespace pv::gesture
