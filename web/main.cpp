// The browser handheld: the tablet surface with the page's platform objects.
// The page's script calls these functions; everything runs on the page's one thread.
#include <emscripten/emscripten.h>

#include <memory>
#include <string>

#include "link/PV_Socket.h"
#include "platform/Keys.h"
#include "platform/web/WebDialogs.h"
#include "platform/web/WebProfile.h"
#include "platform/web/WebSocketLink.h"
#include "platform/web/WebSurface.h"
#include "settings/SettingsStore.h"
#include "surface/Commands.h"
#include "surface/Images.h"
#include "surface/TabletView.h"

namespace {

// Lives as long as the page: the link's notifications may still be on their way at Exit.
struct CPage {
    explicit CPage(std::string url) : profile(CSettingsStore::kSection), link(std::move(url)) {}
    CWebProfile profile;
    CWebSocketLink link;
    CWebSurface surface;
    CWebMessageBox boxes;
    CWebHelpViewer help;
    std::unique_ptr<CTabletView> view;
};

CPage* g_page = nullptr;

CTabletView* View() {
    return g_page != nullptr ? g_page->view.get() : nullptr;
}

// A pointer sample of the surface: kind 0 mouse, 1 pen, 2 touch; x and y in CSS pixels of the surface;
// pressure 0..1 or negative when unknown, tilt in degrees, the buttons held.
PvPointerSample Sample(int id, int kind, double x, double y, double timeMs, double pressure, double tiltX,
                       double tiltY, int buttons) {
    PvPointerSample sample;
    sample.id = id;
    sample.kind = kind == 1 ? PvPointerKind::Pen : kind == 2 ? PvPointerKind::Touch : PvPointerKind::Mouse;
    sample.x = x;
    sample.y = y;
    sample.timeMs = timeMs;
    sample.pressure = pressure;
    sample.tiltX = tiltX;
    sample.tiltY = tiltY;
    sample.buttons = static_cast<unsigned>(buttons);
    return sample;
}

}  // namespace

extern "C" {

// Creates the surface on a page of pageWidth x pageHeight CSS pixels whose canvas (width x height)
// starts top pixels down; it connects to url and sends Attach.
EMSCRIPTEN_KEEPALIVE void pv_start(const char* url, int pageWidth, int pageHeight, int top, int width,
                                   int height) {
    if (g_page != nullptr) {
        return;
    }
    g_page = new CPage(url);
    PvSetMessageBoxSink(&g_page->boxes);
    PvSetHelpViewer(&g_page->help);
    g_page->surface.Layout(pageWidth, pageHeight, {0, top}, width, height);
    g_page->view = std::make_unique<CTabletView>(g_page->profile, g_page->surface, g_page->link);
    g_page->view->Create();
    g_page->surface.SetTarget(g_page->view.get());
    // A new connection that never opens is the failed reconnection of a write.
    g_page->link.SetConnectFailedHandler(
        [] { PvMessageBox(std::string(CPV_Socket::kCommunicationFailure)); });
    g_page->surface.InvalidateRect(true);
}

EMSCRIPTEN_KEEPALIVE void pv_layout(int pageWidth, int pageHeight, int top, int width, int height) {
    if (g_page != nullptr) {
        g_page->surface.Layout(pageWidth, pageHeight, {0, top}, width, height);
    }
}

EMSCRIPTEN_KEEPALIVE void pv_pointer_down(int id, int kind, double x, double y, double timeMs,
                                          double pressure, double tiltX, double tiltY, int buttons) {
    if (g_page != nullptr) {
        g_page->surface.Input().Down(Sample(id, kind, x, y, timeMs, pressure, tiltX, tiltY, buttons));
    }
}
EMSCRIPTEN_KEEPALIVE void pv_pointer_move(int id, int kind, double x, double y, double timeMs,
                                          double pressure, double tiltX, double tiltY, int buttons) {
    if (g_page != nullptr) {
        g_page->surface.Input().Move(Sample(id, kind, x, y, timeMs, pressure, tiltX, tiltY, buttons));
    }
}
EMSCRIPTEN_KEEPALIVE void pv_pointer_flush() {
    if (g_page != nullptr) {
        g_page->surface.Input().Flush();
    }
}
EMSCRIPTEN_KEEPALIVE void pv_pointer_up(int id, int kind, double x, double y, double timeMs, double pressure,
                                        double tiltX, double tiltY, int buttons) {
    if (g_page != nullptr) {
        g_page->surface.Input().Up(Sample(id, kind, x, y, timeMs, pressure, tiltX, tiltY, buttons));
    }
}
// A pen over the surface that touches nothing, and a pen that left.
EMSCRIPTEN_KEEPALIVE void pv_pointer_hover(int id, int kind, double x, double y, double timeMs, double pressure,
                                           double tiltX, double tiltY, int buttons) {
    if (g_page != nullptr) {
        g_page->surface.Input().Hover(Sample(id, kind, x, y, timeMs, pressure, tiltX, tiltY, buttons));
    }
}
EMSCRIPTEN_KEEPALIVE void pv_pointer_leave(int id) {
    if (g_page != nullptr) {
        g_page->surface.Input().Leave(id);
    }
}
EMSCRIPTEN_KEEPALIVE void pv_pointer_cancel(int id) {
    if (g_page != nullptr) {
        g_page->surface.Input().Cancel(id);
    }
}
// The page went away (hidden, left, out of focus, capture lost): the gesture ends now.
EMSCRIPTEN_KEEPALIVE void pv_pointer_end() {
    if (g_page != nullptr) {
        g_page->surface.Input().End();
    }
}
// The pointer that drives the surface after the last call, or -1.
EMSCRIPTEN_KEEPALIVE int pv_pointer_tracked() {
    return g_page != nullptr ? g_page->surface.Input().TrackedId() : -1;
}

// A pen hovers (near 1) or left the page's range (near 0); known: a pen was seen here before.
EMSCRIPTEN_KEEPALIVE void pv_pen(int near, double timeMs) {
    if (g_page == nullptr) {
        return;
    }
    if (near != 0) {
        g_page->surface.Input().PenNear(timeMs);
    } else {
        g_page->surface.Input().PenGone(timeMs);
    }
}
EMSCRIPTEN_KEEPALIVE void pv_pen_known(int known) {
    if (g_page != nullptr) {
        g_page->surface.Input().SetPenKnown(known != 0);
    }
}
EMSCRIPTEN_KEEPALIVE int pv_pen_seen() {
    return g_page != nullptr && g_page->surface.Input().PenKnown() ? 1 : 0;
}

// A modal box or dialog of the page opened (1) or the last one closed (0); pointerDown: a pointer is
// really down on the surface now.
EMSCRIPTEN_KEEPALIVE void pv_modal(int modal, int pointerDown) {
    if (g_page == nullptr) {
        return;
    }
    if (modal != 0) {
        g_page->surface.Input().BoxOpened();
    } else {
        g_page->surface.Input().BoxClosed(pointerDown != 0);
    }
}

// The action button (F23) and help (F1). repeat: the key was already down.
EMSCRIPTEN_KEEPALIVE void pv_key(int down, int key, int repeat) {
    CTabletView* view = View();
    if (view == nullptr || g_page->surface.Input().Modal()) {
        return;
    }
    if (key == 0x70) {
        if (down != 0) {
            view->OnCommand(pv::cmd::kHelp);
        }
        return;
    }
    const unsigned flags = repeat != 0 ? pv::key::kRepeatFlag : 0u;
    if (down != 0) {
        view->OnKeyDown(static_cast<unsigned>(key), flags);
    } else {
        view->OnKeyUp(static_cast<unsigned>(key), flags);
    }
}

// A command of the bar; 1 when the surface took it (the page handles the others).
EMSCRIPTEN_KEEPALIVE int pv_command(int id) {
    CTabletView* view = View();
    return view != nullptr && view->OnCommand(id) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void pv_help(int settingsDialog) {
    if (g_page != nullptr) {
        PvShowHelpTopic(settingsDialog != 0 ? pv::help::kSettingsDialog : pv::help::kMainContents);
    }
}

// The Settings dialog's value, through the same store as the surface's.
EMSCRIPTEN_KEEPALIVE int pv_read_extended_drawing_time() {
    return g_page != nullptr ? CSettingsStore(g_page->profile).ExtendedDrawingTime()
                             : CSettingsStore::kDefaultExtendedDrawingTime;
}
EMSCRIPTEN_KEEPALIVE void pv_write_extended_drawing_time(int milliseconds) {
    if (g_page != nullptr) {
        CSettingsStore(g_page->profile).WriteExtendedDrawingTime(milliseconds);
    }
}

// Exit: the surface and its connection go; nothing is sent and nothing stored.
EMSCRIPTEN_KEEPALIVE void pv_exit() {
    if (g_page != nullptr && g_page->view) {
        g_page->surface.SetTarget(nullptr);
        g_page->view.reset();
    }
}

// The toolbar button of a command: 16 x 16 pixels (R, G, B, A, the mask as alpha); null when it has none.
EMSCRIPTEN_KEEPALIVE const void* pv_button_image(int commandId) {
    const CPvImage& image = PvButtonImage(commandId);
    return image.IsNull() || image.Width() != 16 || image.Height() != 16 ? nullptr : image.Bits();
}

// For the page's tests and benchmarks: the framebuffer's pixels (R, G, B, A) and the attempts made.
EMSCRIPTEN_KEEPALIVE const void* pv_frame_pixels() {
    return g_page != nullptr ? g_page->surface.FrameBuffer().Bits() : nullptr;
}
EMSCRIPTEN_KEEPALIVE int pv_connection_attempts() {
    return g_page != nullptr ? g_page->link.Attempts() : 0;
}

}  // extern "C"
