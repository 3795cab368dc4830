#include "server/SendInputDevice.h"

#include <windows.h>

#include <cerrno>

namespace pv::server {

namespace {

int Send(INPUT input) {
    if (SendInput(1, &input, sizeof input) == 1) {
        return 0;
    }
    // Input to an elevated program's window is dropped without this failing; what
    // fails here is the desktop itself refusing input (a locked or secure desktop).
    return GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
}

}  // namespace

int SendInputDevice::Move(int x, int y) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = Normalised(x);
    input.mi.dy = Normalised(y);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
    return Send(input);
}

int SendInputDevice::SetButton(PointerButton button, bool down) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    if (button == PointerButton::Left) {
        input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    } else {
        input.mi.dwFlags = down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP;
    }
    return Send(input);
}

}  // namespace pv::server
