// The pen gesture engine: what each stylus, key and timer event sends to the
// desktop, and what it does to the local ink and cursor.
#include <algorithm>

#include "link/Protocol.h"
#include "surface/TabletView.h"

namespace {

constexpr int kExtensionTimer = 1;
constexpr int kHistoryMax = static_cast<int>(pv::protocol::kMaxBatchPoints);

// The points buffered for the event being handled, oldest first.
struct CHistory {
    PvPoint points[pv::protocol::kMaxBatchPoints];
    int count = 0;

    CHistory(IViewHost& host, int max) {
        // A failed call, or a host that reports more than it was given room for, must not
        // make the engine read outside the array.
        count = std::clamp(host.GetMouseMovePoints(points, max), 0, max);
    }
    bool Empty() const { return count == 0; }
    const PvPoint* OldestOrNull() const { return count == 0 ? nullptr : &points[0]; }
    const PvPoint& Newest() const { return points[count - 1]; }
    unsigned Count() const { return static_cast<unsigned>(count); }
};

}  // namespace

// Calibration needs the oldest history point; without one it waits for the next event.
void CTabletView::CalibrateIfNeeded(const PvPoint* oldest, PvPoint point) {
    if (m_bNeedCalibration && oldest != nullptr) {
        m_ptRawOrigin = Calibrate(*oldest, point);
    }
}

void CTabletView::HideCursor() {
    EraseCursor();
    m_ptCursor = {0, 0};
}

void CTabletView::RestartExtensionTimer() {
    m_bExtendTimeUp = false;
    m_host.SetTimer(kExtensionTimer, std::max(0, m_nExtendedDrawingTime));
}

void CTabletView::OnPenDown(PvPoint point) {
    const CEntry entry(*this);
    const CHistory history(m_host, kHistoryMax);
    CalibrateIfNeeded(history.OldestOrNull(), point);
    // The window's expiry takes effect here, not when the timer fires.
    if (m_bExtending && m_bExtendTimeUp) {
        m_bExtending = false;
    }
    if (m_bActionKeyDown || m_bExtending) {
        if (!history.Empty()) {
            SendPositions(&history.Newest(), 1);
        }
        SendBytes(pv::protocol::kButtonDownStr);
        HideCursor();
        BeginStroke(point);
    }
    // A touch that is not a double tap ends the wait for one: left set, it would turn
    // the next plain tap's click into a bare release.
    m_bClickSent = false;
    m_bMoved = false;
    m_bPenDown = true;
}

void CTabletView::OnTapAndHold(PvPoint screenPoint) {
    const CEntry entry(*this);
    // The offset of the last calibration, before this event's own.
    const PvPoint point{screenPoint.x - m_ptClientOffset.x, screenPoint.y - m_ptClientOffset.y};
    const CHistory history(m_host, 1);
    CalibrateIfNeeded(history.OldestOrNull(), point);
    SendPositions(history.points, history.Count());
    SendBytes(pv::protocol::kButtonDownStr);
    HideCursor();
    ClearStrokes();
    BeginStroke(point);
    // Again after the press, so the desktop's drag starts exactly at the pen.
    SendPositions(history.points, history.Count());
    m_bMoved = false;
    m_bHoldDrag = true;
    m_bPenDown = true;
}

void CTabletView::OnDoubleTap(PvPoint point) {
    const CEntry entry(*this);
    const CHistory history(m_host, kHistoryMax);
    CalibrateIfNeeded(history.OldestOrNull(), point);
    if (m_bActionKeyDown) {
        SendPositions(history.points, history.Count());
        SendBytes(pv::protocol::kButtonDownStr);
        HideCursor();
        BeginStroke(point);
    } else if (m_bClickSent) {
        // The first tap already clicked: this click completes a double click, then the
        // button stays down for the drag.
        SendBytes(pv::protocol::kClickStr);
        SendPositions(history.points, history.Count());
        SendBytes(pv::protocol::kButtonDownStr);
        HideCursor();
        ClearStrokes();
        BeginStroke(point);
        m_bDoubleTapDrag = true;
        m_bSkipNextPositions = true;
    } else {
        SendPositions(history.points, history.Count());
        SendBytes(pv::protocol::kButtonDownStr);
        m_bSkipNextPositions = false;
    }
    // m_bClickSent stays: the next pen-up clears it.
    m_bMoved = false;
    m_bPenDown = true;
}

void CTabletView::OnPenMove(PvPoint point) {
    const CEntry entry(*this);
    const CHistory history(m_host, m_bSkipNextPositions ? 1 : kHistoryMax);
    if (!m_bSkipNextPositions) {
        SendPositions(history.points, history.Count());
    }
    if (InDrawingMode()) {
        if (history.count == 1) {
            ExtendStroke(point);
        } else {
            for (int i = 0; i < history.count; ++i) {
                ExtendStroke(RawToClient(history.points[i]));
            }
        }
    } else if (history.count == 1) {
        MoveCursor(point);
    } else if (!history.Empty()) {
        MoveCursor(RawToClient(history.Newest()));
    }
    m_bMoved = true;
    m_bSkipNextPositions = false;
}

void CTabletView::OnPenUp(PvPoint point) {
    const CEntry entry(*this);
    const CHistory history(m_host, kHistoryMax);
    CalibrateIfNeeded(history.OldestOrNull(), point);
    if (!m_bMoved && !m_bClickSent && !m_bExtending && !m_bActionKeyDown) {
        SendBytes(pv::protocol::kClickStr);
        m_bClickSent = true;
    } else {
        SendBytes(pv::protocol::kButtonUpStr);
        if (!m_bClickSent) {
            SendPositions(history.points, history.Count());
        }
        if (m_bHoldDrag || m_bDoubleTapDrag) {
            m_bExtending = true;
            RestartExtensionTimer();
        } else if (m_bExtending) {
            m_host.KillTimer(kExtensionTimer);
            RestartExtensionTimer();
        }
        m_bClickSent = false;
    }
    if (m_bActionKeyDown) {
        MoveCursor(point);
    } else {
        // The cursor comes back here when the extended drawing window expires.
        m_ptPenUp = point;
    }
    m_bPenDown = false;
    m_bHoldDrag = false;
    m_bDoubleTapDrag = false;
    m_bSkipNextPositions = false;
}

void CTabletView::OnTimer(int id) {
    const CEntry entry(*this);
    // Stopped here, so that each start fires once.
    m_host.KillTimer(id);
    m_bExtendTimeUp = true;
    if (!m_bPenDown) {
        MoveCursor(m_ptPenUp);
    }
}

void CTabletView::OnKeyDown(unsigned key, unsigned flags) {
    const CEntry entry(*this);
    if (key != pv::key::kAction || (flags & pv::key::kRepeatFlag) != 0) {
        return;
    }
    m_bActionKeyDown = true;
    if (m_bPenDown) {
        SendBytes(pv::protocol::kButtonDownStr);
    } else {
        ClearStrokes();
        m_bMoved = false;
    }
}

void CTabletView::OnKeyUp(unsigned key, unsigned /*flags*/) {
    const CEntry entry(*this);
    if (key != pv::key::kAction) {
        return;
    }
    m_bActionKeyDown = false;
    if (m_bPenDown) {
        SendBytes(pv::protocol::kButtonUpStr);
    } else if (!m_bMoved) {
        // Pressed and released without the pen touching: a click where the pointer stands.
        SendBytes(pv::protocol::kClickStr);
    }
}

void CTabletView::OnLeftClick() {
    SendBytes(pv::protocol::kClickStr);
}

void CTabletView::OnRightClick() {
    SendBytes(pv::protocol::kRightClickStr);
}

void CTabletView::OnDoubleClick() {
    SendBytes(pv::protocol::kDoubleClickStr);
}
