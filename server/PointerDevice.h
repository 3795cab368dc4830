#pragma once
// The desktop's virtual pointer as the server drives it: absolute X and Y over
// the whole desktop, a left and a right button.

namespace pv::server {

// Both axes run from 0 to this value; the desktop stretches them over the screen.
inline constexpr int kAxisMax = 32767;

enum class PointerButton { Left, Right };

class PointerDevice {
public:
    virtual ~PointerDevice() = default;
    // Each call is one complete event frame: the desktop sees it at once.
    // Returns 0, or the errno of a write the device did not take.
    virtual int Move(int x, int y) = 0;
    virtual int SetButton(PointerButton button, bool down) = 0;
};

}  // namespace pv::server
