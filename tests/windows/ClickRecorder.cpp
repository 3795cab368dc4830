// A window over the whole screen that prints the mouse messages Windows gives it,
// one line each: "down X Y", "up X Y", "dblclk X Y", "rdown X Y", "rup X Y".
// It installs no hook: under Wine a low-level mouse hook stops SendInput from
// moving the X pointer. It closes itself after the seconds given (default 120).

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

void Print(const char* what, LPARAM position) {
    std::printf("%s %d %d\n", what, static_cast<int>(static_cast<short>(LOWORD(position))),
                static_cast<int>(static_cast<short>(HIWORD(position))));
    std::fflush(stdout);
}

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_LBUTTONDOWN: Print("down", lParam); return 0;
    case WM_LBUTTONUP: Print("up", lParam); return 0;
    case WM_LBUTTONDBLCLK: Print("dblclk", lParam); return 0;
    case WM_RBUTTONDOWN: Print("rdown", lParam); return 0;
    case WM_RBUTTONUP: Print("rup", lParam); return 0;
    case WM_TIMER: DestroyWindow(window); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = argc > 1 ? std::atoi(argv[1]) : 120;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    windowClass.lpszClassName = L"PenvaleClickRecorder";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(WS_EX_TOPMOST, windowClass.lpszClassName, L"clicks", WS_POPUP | WS_VISIBLE, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                                  instance, nullptr);
    if (window == nullptr) {
        std::printf("no window\n");
        return 1;
    }
    SetForegroundWindow(window);
    SetTimer(window, 1, static_cast<UINT>(seconds) * 1000, nullptr);
    std::printf("ready %d %d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    std::fflush(stdout);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
