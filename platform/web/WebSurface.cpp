#include "platform/web/WebSurface.h"

#include <emscripten/emscripten.h>
#include <emscripten/eventloop.h>
#include <emscripten/html5.h>

#include <algorithm>

EM_JS(void, pv_page_present, (const void* pixels, int width, int height, int left, int top, int right, int bottom), {
    PvPage.present(pixels, width, height, left, top, right, bottom);
});
EM_JS(void, pv_page_check, (int commandId, int checked), { PvPage.check(commandId, checked !== 0); });

struct CWebSurface::CTimer {
    CWebSurface* surface = nullptr;
    int id = 0;
    long timeout = 0;  // 0: not running
};

CWebSurface::CWebSurface() : m_input(*this), m_pFrame(std::make_unique<CPvFrameBuffer>(1, 1)) {}

CWebSurface::~CWebSurface() {
    SetTarget(nullptr);
}

void CWebSurface::SetTarget(ISurfaceInput* target) {
    m_pTarget = target;
    m_input.SetTarget(target);
    if (target == nullptr) {
        StopHold();
        for (auto& [id, timer] : m_timers) {
            KillTimer(id);
        }
    }
}

void CWebSurface::Layout(int pageWidth, int pageHeight, PvPoint origin, int width, int height) {
    width = std::max(1, width);
    height = std::max(1, height);
    const bool pageChanged = pageWidth != m_nPageWidth || pageHeight != m_nPageHeight || !(origin == m_ptOrigin);
    m_nPageWidth = pageWidth;
    m_nPageHeight = pageHeight;
    m_ptOrigin = origin;
    m_input.SetGeometry(pageWidth, pageHeight, origin);
    const bool sizeChanged = width != m_pFrame->Width() || height != m_pFrame->Height();
    if (sizeChanged) {
        m_pFrame = std::make_unique<CPvFrameBuffer>(width, height);
    }
    if (sizeChanged || pageChanged) {
        // A rotated or resized phone: positions must not be measured against the old Extent.
        if (m_pTarget != nullptr) {
            m_pTarget->OnSize(width, height);
        }
        InvalidateRect(true);
    }
}

PvRect CWebSurface::GetWorkArea() {
    return {0, m_ptOrigin.y, m_nPageWidth, m_nPageHeight};
}

PvRect CWebSurface::GetClientRect() {
    return {0, 0, m_pFrame->Width(), m_pFrame->Height()};
}

void CWebSurface::SetTimer(int id, int milliseconds) {
    auto& timer = m_timers[id];
    if (!timer) {
        timer = std::make_unique<CTimer>();
        timer->surface = this;
        timer->id = id;
    }
    if (timer->timeout != 0) {
        emscripten_clear_timeout(timer->timeout);
    }
    timer->timeout = emscripten_set_timeout(&CWebSurface::TimerFired, std::max(0, milliseconds), timer.get());
}

void CWebSurface::KillTimer(int id) {
    const auto found = m_timers.find(id);
    if (found != m_timers.end() && found->second->timeout != 0) {
        emscripten_clear_timeout(found->second->timeout);
        found->second->timeout = 0;
    }
}

void CWebSurface::TimerFired(void* data) {
    auto* timer = static_cast<CTimer*>(data);
    timer->timeout = 0;
    if (timer->surface->m_pTarget != nullptr) {
        timer->surface->m_pTarget->OnTimer(timer->id);
    }
}

void CWebSurface::StartHold(int milliseconds) {
    StopHold();
    m_nHoldTimeout = emscripten_set_timeout(&CWebSurface::HoldFired, milliseconds, this);
}

void CWebSurface::StopHold() {
    if (m_nHoldTimeout != 0) {
        emscripten_clear_timeout(m_nHoldTimeout);
        m_nHoldTimeout = 0;
    }
}

void CWebSurface::HoldFired(void* data) {
    auto* surface = static_cast<CWebSurface*>(data);
    surface->m_nHoldTimeout = 0;
    surface->m_input.HoldTimeout();
}

void CWebSurface::CheckMenuItem(int commandId, bool checked) {
    pv_page_check(commandId, checked ? 1 : 0);
}

void CWebSurface::InvalidateRect(bool) {
    m_bNeedPaint = true;
    RequestFrame();
}

void CWebSurface::ReleaseDC(IDrawSurface*) {
    // Drawing outside a paint (live ink, the cursor) must reach the page too.
    if (!m_bInPaint) {
        RequestFrame();
    }
}

void CWebSurface::RequestFrame() {
    if (m_bFrameRequested) {
        return;
    }
    m_bFrameRequested = true;
    emscripten_request_animation_frame(
        [](double, void* data) -> EM_BOOL {
            auto* surface = static_cast<CWebSurface*>(data);
            surface->m_bFrameRequested = false;
            surface->Present();
            return EM_FALSE;
        },
        this);
}

void CWebSurface::Present() {
    if (m_bNeedPaint && m_pTarget != nullptr) {
        m_bNeedPaint = false;
        m_bInPaint = true;
        m_pTarget->OnPaint();
        m_bInPaint = false;
    }
    const PvRect damage = m_pFrame->TakeDamage();
    if (damage.right > damage.left && damage.bottom > damage.top) {
        pv_page_present(m_pFrame->Bits(), m_pFrame->Width(), m_pFrame->Height(), damage.left, damage.top,
                        damage.right, damage.bottom);
    }
}
