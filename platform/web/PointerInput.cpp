#include "platform/web/PointerInput.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/GestureTiming.h"
#include "platform/RawPoints.h"

CPointerInput::CPointerInput(IHoldTimer& timer) : m_timer(timer) {}

void CPointerInput::SetGeometry(int pageWidth, int pageHeight, PvPoint surfaceOrigin) {
    m_nPageWidth = pageWidth;
    m_nPageHeight = pageHeight;
    m_ptOrigin = surfaceOrigin;
}

int CPointerInput::RawUnitsPerPixel() const {
    return PvRawUnitsPerPixel(m_nPageWidth, m_nPageHeight);
}

PvPoint CPointerInput::RawPoint(CPosition local) const {
    const int units = RawUnitsPerPixel();
    return {PvTruncate((local.x + m_ptOrigin.x) * units), PvTruncate((local.y + m_ptOrigin.y) * units)};
}

// Truncated like the raw point, so that raw / client gives the whole units per pixel.
PvPoint CPointerInput::ClientPoint(CPosition local) {
    return {PvTruncate(local.x), PvTruncate(local.y)};
}

int CPointerInput::GetMouseMovePoints(PvPoint* points, int max) const {
    return PvCopyNewestPoints(m_history, points, max);
}

void CPointerInput::DeliverPendingMoves() {
    if (m_pendingMoves.empty()) {
        return;
    }
    m_history.swap(m_pendingMoves);
    m_pendingMoves.clear();
    if (m_pTarget != nullptr) {
        m_pTarget->OnPenMove(m_ptPendingClient);
    }
}

void CPointerInput::Down(double x, double y, double timeMs) {
    if (m_bModal || m_pTarget == nullptr) {
        return;
    }
    const CPosition position{x, y};
    DeliverPendingMoves();
    CancelHold();
    const bool doubleTap = m_bDownRemembered && timeMs - m_dDownTime <= pv::gesture::kDoubleTapTimeMs &&
                           timeMs >= m_dDownTime &&
                           std::abs(x - m_downPos.x) <= pv::gesture::kDoubleTapSlopPx &&
                           std::abs(y - m_downPos.y) <= pv::gesture::kDoubleTapSlopPx;
    // A third tap after a double tap is a plain pen-down again.
    m_bDownRemembered = !doubleTap;
    m_dDownTime = timeMs;
    m_downPos = position;

    m_bTracking = true;
    m_lastPos = position;
    m_history.assign(1, RawPoint(position));
    if (doubleTap) {
        m_pTarget->OnDoubleTap(ClientPoint(position));
        return;
    }
    m_pTarget->OnPenDown(ClientPoint(position));
    // The default processing of a pen-down: watch for tap-and-hold, unless the
    // pen-down itself brought up a box.
    if (!m_bModal && m_bTracking) {
        m_holdStart = position;
        m_bHoldPending = true;
        m_timer.StartHold(pv::gesture::kHoldTimeMs);
    }
}

void CPointerInput::Move(double x, double y) {
    if (m_bModal || !m_bTracking || m_pTarget == nullptr) {
        return;
    }
    const CPosition position{x, y};
    m_lastPos = position;
    if (m_bHoldPending && (std::abs(x - m_holdStart.x) > pv::gesture::kHoldSlopPx ||
                           std::abs(y - m_holdStart.y) > pv::gesture::kHoldSlopPx)) {
        CancelHold();
    }
    m_pendingMoves.push_back(RawPoint(position));
    m_ptPendingClient = ClientPoint(position);
    // A full batch leaves now rather than losing its oldest points.
    if (static_cast<int>(m_pendingMoves.size()) >= pv::gesture::kMaxHistory) {
        DeliverPendingMoves();
    }
}

void CPointerInput::Flush() {
    if (m_bModal) {
        m_pendingMoves.clear();
        return;
    }
    DeliverPendingMoves();
}

void CPointerInput::Up(double x, double y) {
    if (m_bModal || !m_bTracking || m_pTarget == nullptr) {
        return;
    }
    const CPosition position{x, y};
    DeliverPendingMoves();
    CancelHold();
    m_bTracking = false;
    m_history.assign(1, RawPoint(position));
    m_pTarget->OnPenUp(ClientPoint(position));
}

void CPointerInput::Cancel() {
    Up(m_lastPos.x, m_lastPos.y);
}

void CPointerInput::HoldTimeout() {
    m_bHoldPending = false;
    if (m_bModal || !m_bTracking || m_pTarget == nullptr) {
        return;
    }
    // Moves within the slop that are still queued come first, as they happened first.
    DeliverPendingMoves();
    if (m_bModal || !m_bTracking) {
        return;
    }
    m_history.assign(1, RawPoint(m_lastPos));
    const PvPoint client = ClientPoint(m_lastPos);
    m_pTarget->OnTapAndHold({client.x + m_ptOrigin.x, client.y + m_ptOrigin.y});
}

void CPointerInput::CancelHold() {
    if (m_bHoldPending) {
        m_bHoldPending = false;
        m_timer.StopHold();
    }
}

void CPointerInput::SetModal(bool modal, bool pointerDown) {
    if (modal) {
        // Whatever the pen does under the box belongs to the box.
        m_bModal = true;
        CancelHold();
        m_pendingMoves.clear();
        m_bDownRemembered = false;
        return;
    }
    m_bModal = false;
    // A touch that ended under the box must not press or hold afterwards.
    if (!pointerDown) {
        m_bTracking = false;
    }
}
