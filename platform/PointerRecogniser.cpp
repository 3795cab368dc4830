#include "platform/PointerRecogniser.h"

#include <algorithm>
#include <cmath>

#include "platform/RawPoints.h"

CPointerRecogniser::CPointerRecogniser(IHost& host) : m_host(host) {}

void CPointerRecogniser::SetGeometry(int screenWidth, int screenHeight, PvPoint surfaceOrigin) {
    m_nScreenWidth = screenWidth;
    m_nScreenHeight = screenHeight;
    m_ptOrigin = surfaceOrigin;
}

int CPointerRecogniser::RawUnitsPerPixel() const {
    return PvRawUnitsPerPixel(m_nScreenWidth, m_nScreenHeight);
}

PvPoint CPointerRecogniser::RawPoint(double x, double y) const {
    const int units = RawUnitsPerPixel();
    return {PvTruncate((x + m_ptOrigin.x) * units), PvTruncate((y + m_ptOrigin.y) * units)};
}

// Truncated like the raw point, so that raw / client gives the whole units per pixel.
PvPoint CPointerRecogniser::ClientPoint(double x, double y) {
    return {PvTruncate(x), PvTruncate(y)};
}

int CPointerRecogniser::GetMouseMovePoints(PvPoint* points, int max) const {
    return PvCopyNewestPoints(m_history, points, max);
}

bool CPointerRecogniser::Ours(const PvPointerSample& sample) const {
    return m_bTracking && sample.id == m_nPointerId && !Modal() && m_pTarget != nullptr;
}

template <typename Call>
void CPointerRecogniser::Deliver(Call call) {
    if (m_pTarget == nullptr) {
        return;
    }
    ++m_nDelivering;
    call(*m_pTarget);
    --m_nDelivering;
    if (m_nDelivering == 0 && m_bEndDue) {
        m_bEndDue = false;
        if (!m_bPointerDownAtEnd) {
            EndUnderBox();
        }
    }
}

void CPointerRecogniser::DeliverPendingMoves() {
    if (m_pendingMoves.empty()) {
        return;
    }
    m_history.swap(m_pendingMoves);
    m_pendingMoves.clear();
    const PvPoint client = m_ptPendingClient;
    Deliver([client](ISurfaceInput& target) { target.OnPenMove(client); });
}

bool CPointerRecogniser::TouchGivesWay(double timeMs) const {
    return m_bPenKnown && (m_bPenNear || (m_bTracking && m_kind == PvPointerKind::Pen) ||
                           (m_bPenWasNear && timeMs - m_dPenGoneMs < pv::gesture::kPenGraceMs));
}

void CPointerRecogniser::PenNear(double timeMs) {
    m_bPenKnown = true;
    m_bPenNear = true;
    m_dPenGoneMs = timeMs;
    m_bPenWasNear = true;
    if (m_bTracking && m_kind == PvPointerKind::Touch) {
        EndTouchForPen();
    }
}

void CPointerRecogniser::PenGone(double timeMs) {
    if (m_bPenNear) {
        m_bPenNear = false;
        m_dPenGoneMs = timeMs;
    }
}

// A touch that the pen interrupts (a palm, a finger) ends as a slide does: a release of
// whatever it pressed, never a click.
void CPointerRecogniser::EndTouchForPen() {
    if (Modal() || m_pTarget == nullptr) {
        return;
    }
    DeliverPendingMoves();
    CancelHold();
    if (!m_bTracking) {
        return;
    }
    m_bTracking = false;
    m_bDownRemembered = false;
    m_history.assign(1, RawPoint(m_dLastX, m_dLastY));
    const PvPoint client = ClientPoint(m_dLastX, m_dLastY);
    Deliver([client](ISurfaceInput& target) {
        target.OnPenMove(client);
        target.OnPenUp(client);
    });
}

void CPointerRecogniser::End() {
    if (m_bTracking) {
        Cancel(m_nPointerId);
    }
}

bool CPointerRecogniser::PenSampleFor(const PvPointerSample& sample) const {
    if (sample.kind != PvPointerKind::Pen || Modal() || m_pTarget == nullptr) {
        return false;
    }
    // A stroke keeps the way it began.
    if (m_bPenTouching) {
        return sample.id == m_lastPen.id;
    }
    return !m_bTracking && m_pTarget->TakesPenSamples();
}

void CPointerRecogniser::SendPen(PvPenSample::Phase phase, const PvPointerSample& sample) {
    PvPenSample pen;
    pen.phase = phase;
    pen.client = ClientPoint(sample.x, sample.y);
    pen.raw = RawPoint(sample.x, sample.y);
    if (phase == PvPenSample::Phase::Touch) {
        // A pen that cannot tell its pressure presses at half.
        const double pressure = sample.pressure < 0 ? 0.5 : std::min(sample.pressure, 1.0);
        pen.pressure = static_cast<int>(std::lround(pressure * 4095));
    }
    pen.tiltX = static_cast<int>(std::lround(std::clamp(sample.tiltX, -90.0, 90.0)));
    pen.tiltY = static_cast<int>(std::lround(std::clamp(sample.tiltY, -90.0, 90.0)));
    // The tip's contact (1) and the eraser (32) are no side buttons.
    pen.buttons = sample.buttons & ~(1u | 32u);
    m_bPenInRange = phase != PvPenSample::Phase::Out;
    m_bPenTouching = phase == PvPenSample::Phase::Touch;
    m_lastPen = sample;
    Deliver([pen](ISurfaceInput& target) { target.OnPenSample(pen); });
}

void CPointerRecogniser::PenOut() {
    if (m_bPenInRange) {
        PvPointerSample last = m_lastPen;
        last.buttons = 0;
        SendPen(PvPenSample::Phase::Out, last);
    }
}

void CPointerRecogniser::Hover(const PvPointerSample& sample) {
    if (sample.kind == PvPointerKind::Pen) {
        PenNear(sample.timeMs);
    }
    if (m_bPenTouching || !PenSampleFor(sample)) {
        return;
    }
    SendPen(PvPenSample::Phase::Hover, sample);
}

void CPointerRecogniser::Leave(int id) {
    // Gone since it was last seen: touches wait out the grace from then.
    PenGone(m_dPenGoneMs);
    if (m_bPenInRange && id == m_lastPen.id && !Modal()) {
        PenOut();
    }
}

void CPointerRecogniser::Down(const PvPointerSample& sample) {
    if (sample.kind == PvPointerKind::Pen) {
        PenNear(sample.timeMs);
    } else if (sample.kind == PvPointerKind::Touch && TouchGivesWay(sample.timeMs)) {
        return;
    }
    if (PenSampleFor(sample)) {
        SendPen(PvPenSample::Phase::Touch, sample);
        return;
    }
    if (Modal() || m_pTarget == nullptr || (m_bTracking && sample.id != m_nPointerId)) {
        return;
    }
    DeliverPendingMoves();
    CancelHold();
    const PvGestureThresholds& limits = pv::gesture::For(sample.kind);
    const double gap = sample.timeMs - m_lastDown.timeMs;
    const bool doubleTap = m_bDownRemembered && m_lastDown.kind == sample.kind && gap >= 0 &&
                           gap <= limits.doubleTapTimeMs &&
                           std::abs(sample.x - m_lastDown.x) <= limits.doubleTapSlopPx &&
                           std::abs(sample.y - m_lastDown.y) <= limits.doubleTapSlopPx;
    // A third tap after a double tap is a plain pen-down again.
    m_bDownRemembered = !doubleTap;
    m_lastDown = sample;

    m_bTracking = true;
    m_nPointerId = sample.id;
    m_kind = sample.kind;
    m_dLastX = sample.x;
    m_dLastY = sample.y;
    m_history.assign(1, RawPoint(sample.x, sample.y));
    const PvPoint client = ClientPoint(sample.x, sample.y);
    if (doubleTap) {
        Deliver([client](ISurfaceInput& target) { target.OnDoubleTap(client); });
        return;
    }
    Deliver([client](ISurfaceInput& target) { target.OnPenDown(client); });
    // The default processing of a pen-down: watch for tap-and-hold, unless the
    // pen-down itself brought up a box.
    if (!Modal() && m_bTracking) {
        m_dHoldX = sample.x;
        m_dHoldY = sample.y;
        m_bHoldPending = true;
        m_host.StartHold(m_nHoldTimeOverrideMs > 0 ? m_nHoldTimeOverrideMs : limits.holdTimeMs);
    }
}

void CPointerRecogniser::Move(const PvPointerSample& sample) {
    if (sample.kind == PvPointerKind::Pen) {
        PenNear(sample.timeMs);
    }
    if (m_bPenTouching && PenSampleFor(sample)) {
        SendPen(PvPenSample::Phase::Touch, sample);
        return;
    }
    if (!Ours(sample)) {
        return;
    }
    m_dLastX = sample.x;
    m_dLastY = sample.y;
    const double slop = Thresholds().holdSlopPx;
    if (m_bHoldPending && (std::abs(sample.x - m_dHoldX) > slop || std::abs(sample.y - m_dHoldY) > slop)) {
        CancelHold();
    }
    m_pendingMoves.push_back(RawPoint(sample.x, sample.y));
    m_ptPendingClient = ClientPoint(sample.x, sample.y);
    // A full batch leaves now rather than losing its oldest points.
    if (static_cast<int>(m_pendingMoves.size()) >= pv::history::kMaxPoints) {
        DeliverPendingMoves();
    } else {
        m_host.FlushSoon();
    }
}

void CPointerRecogniser::Flush() {
    // Under a box the moves wait: they happened before it, and go out when it closes.
    if (!Modal()) {
        DeliverPendingMoves();
    }
}

void CPointerRecogniser::Up(const PvPointerSample& sample) {
    // A lifted pen counts as gone (the grace runs) until the host reports it hovering.
    if (sample.kind == PvPointerKind::Pen) {
        m_bPenNear = true;
        PenGone(sample.timeMs);
    }
    if (m_bPenTouching && PenSampleFor(sample)) {
        // Lifted, the pen hovers where it left the screen.
        SendPen(PvPenSample::Phase::Hover, sample);
        return;
    }
    if (!Ours(sample)) {
        return;
    }
    DeliverPendingMoves();
    CancelHold();
    // A box that the last moves brought up takes the lift; its end lifts the pen.
    if (!m_bTracking || Modal()) {
        return;
    }
    m_bTracking = false;
    m_history.assign(1, RawPoint(sample.x, sample.y));
    const PvPoint client = ClientPoint(sample.x, sample.y);
    Deliver([client](ISurfaceInput& target) { target.OnPenUp(client); });
}

void CPointerRecogniser::Cancel(int id) {
    // The system took the pen: it leaves, lifted.
    if (m_bPenTouching && id == m_lastPen.id) {
        PenOut();
        return;
    }
    PvPointerSample last;
    last.x = m_dLastX;
    last.y = m_dLastY;
    last.id = id;
    last.kind = m_kind;
    Up(last);
}

void CPointerRecogniser::HoldTimeout() {
    m_bHoldPending = false;
    if (Modal() || !m_bTracking || m_pTarget == nullptr) {
        return;
    }
    // Moves within the slop that are still queued come first, as they happened first.
    DeliverPendingMoves();
    if (Modal() || !m_bTracking) {
        return;
    }
    m_history.assign(1, RawPoint(m_dLastX, m_dLastY));
    const PvPoint client = ClientPoint(m_dLastX, m_dLastY);
    const PvPoint screen{client.x + m_ptOrigin.x, client.y + m_ptOrigin.y};
    Deliver([screen](ISurfaceInput& target) { target.OnTapAndHold(screen); });
}

void CPointerRecogniser::CancelHold() {
    if (m_bHoldPending) {
        m_bHoldPending = false;
        m_host.StopHold();
    }
}

void CPointerRecogniser::BoxOpened() {
    // Whatever the pointer does under the box belongs to the box: a pen that sends its
    // samples leaves first, lifted.
    if (m_nBoxes == 0) {
        PenOut();
    }
    ++m_nBoxes;
    CancelHold();
    m_bDownRemembered = false;
}

void CPointerRecogniser::BoxClosed(bool pointerDown) {
    if (m_nBoxes == 0 || --m_nBoxes > 0) {
        return;
    }
    // The call that brought the box up may still be running: the gesture ends after it.
    if (m_nDelivering > 0) {
        m_bEndDue = true;
        m_bPointerDownAtEnd = pointerDown;
        return;
    }
    if (!pointerDown) {
        EndUnderBox();
    }
}

// The pointer lifted under the box: the surface must not go on as if it were still down.
void CPointerRecogniser::EndUnderBox() {
    if (Modal() || !m_bTracking || m_pTarget == nullptr) {
        return;
    }
    // No hold is pending: the box cancelled it.
    DeliverPendingMoves();
    if (!m_bTracking) {
        return;
    }
    m_bTracking = false;
    m_history.assign(1, RawPoint(m_dLastX, m_dLastY));
    const PvPoint client = ClientPoint(m_dLastX, m_dLastY);
    Deliver([client](ISurfaceInput& target) { target.OnPenUp(client); });
}
