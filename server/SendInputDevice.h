#pragma once
// The desktop's pointer on Windows: SendInput with absolute coordinates over the
// whole virtual desktop. The program is per-monitor DPI aware (its manifest), so
// those coordinates are physical pixels.

#include "server/PointerDevice.h"

namespace pv::server {

class SendInputDevice : public PointerDevice {
public:
    int Move(int x, int y) override;
    int SetButton(PointerButton button, bool down) override;

    // Windows spreads 0..65535 over the virtual desktop and truncates
    // (value * size / 65536): an axis value v stands for the two values 2v and
    // 2v + 1 there, and the upper one keeps it inside the pixel Mapping chose.
    static int Normalised(int value) { return value * 2 + 1; }
};

}  // namespace pv::server
