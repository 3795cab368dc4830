#include "platform/SurfaceWidget.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QResizeEvent>
#include <QTabletEvent>
#include <algorithm>
#include <cmath>

#include "platform/Keys.h"
#include "platform/QtImage.h"
#include "platform/RawPoints.h"

namespace {

// Posted to the widget itself: the UI has caught up with the moves that arrived.
const QEvent::Type kDeliverMoves = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

CSurfaceWidget::CSurfaceWidget(QWidget* parent)
    : QWidget(parent),
      m_pFrame(std::make_unique<CPvFrameBuffer>(std::max(1, width()), std::max(1, height()))) {
    setFocusPolicy(Qt::StrongFocus);
    // The framebuffer covers every pixel: nothing for Qt to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_holdTimer.setSingleShot(true);
    m_holdTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_holdTimer, &QTimer::timeout, this, [this] { OnHoldTimeout(); });
    PvAddMessageBoxObserver(this);
}

CSurfaceWidget::~CSurfaceWidget() {
    PvRemoveMessageBoxObserver(this);
}

void CSurfaceWidget::SetInput(ISurfaceInput* input) {
    m_pInput = input;
    if (input == nullptr) {
        m_holdTimer.stop();
        for (auto& [id, timer] : m_timers) {
            timer->stop();
        }
    }
}

void CSurfaceWidget::SetMenuCheckHandler(std::function<void(int, bool)> handler) {
    m_checkHandler = std::move(handler);
}

int CSurfaceWidget::RawUnitsPerPixel() const {
    const QWidget* screen = window();
    return PvRawUnitsPerPixel(screen->width(), screen->height());
}

QPoint CSurfaceWidget::ScreenOffset() const {
    return isWindow() ? QPoint(0, 0) : mapTo(window(), QPoint(0, 0));
}

PvPoint CSurfaceWidget::RawPoint(QPointF local) const {
    const QPointF screen = local + QPointF(ScreenOffset());
    const int units = RawUnitsPerPixel();
    return {PvTruncate(screen.x() * units), PvTruncate(screen.y() * units)};
}

// Truncated like the raw point, so that raw / client gives the whole units per pixel.
PvPoint CSurfaceWidget::ClientPoint(QPointF local) {
    return {PvTruncate(local.x()), PvTruncate(local.y())};
}

void CSurfaceWidget::tabletEvent(QTabletEvent* event) {
    m_precisePos = event->position();
    m_bPrecise = true;
    // Ignored, so that Qt delivers the same sample again as a mouse event.
    event->ignore();
}

QPointF CSurfaceWidget::Position(const QMouseEvent* event) {
    const QPointF position = event->position();
    if (m_bPrecise) {
        m_bPrecise = false;
        const QPointF difference = m_precisePos - position;
        if (std::abs(difference.x()) <= 1.0 && std::abs(difference.y()) <= 1.0) {
            return m_precisePos;
        }
    }
    return position;
}

int CSurfaceWidget::GetMouseMovePoints(PvPoint* points, int max) {
    return PvCopyNewestPoints(m_history, points, max);
}

PvRect CSurfaceWidget::GetWorkArea() {
    const QWidget* screen = window();
    return {0, ScreenOffset().y(), screen->width(), screen->height()};
}

PvRect CSurfaceWidget::GetClientRect() {
    return {0, 0, width(), height()};
}

void CSurfaceWidget::SetTimer(int id, int milliseconds) {
    auto& timer = m_timers[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer.get(), &QTimer::timeout, this, [this, id] {
            if (m_pInput != nullptr) {
                m_pInput->OnTimer(id);
            }
        });
    }
    timer->start(std::max(0, milliseconds));
}

void CSurfaceWidget::KillTimer(int id) {
    const auto found = m_timers.find(id);
    if (found != m_timers.end()) {
        found->second->stop();
    }
}

void CSurfaceWidget::CheckMenuItem(int commandId, bool checked) {
    if (m_checkHandler) {
        m_checkHandler(commandId, checked);
    }
}

void CSurfaceWidget::InvalidateRect(bool) {
    m_bNeedPaint = true;
    update();
}

void CSurfaceWidget::ReleaseDC(IDrawSurface*) {
    // Drawing outside a paint (live ink, the cursor) reaches the screen as just the
    // pixels it changed.
    if (m_bInPaint) {
        return;
    }
    const PvRect damage = m_pFrame->TakeDamage();
    const QRect changed(damage.left, damage.top, damage.right - damage.left, damage.bottom - damage.top);
    if (!changed.isEmpty()) {
        m_liveDamage = m_liveDamage.united(changed);
        update(changed);
    }
}

bool CSurfaceWidget::event(QEvent* event) {
    if (event->type() == kDeliverMoves) {
        m_bDeliveryPosted = false;
        DeliverPendingMoves();
        return true;
    }
    return QWidget::event(event);
}

void CSurfaceWidget::DeliverPendingMoves() {
    if (m_pendingMoves.empty()) {
        return;
    }
    m_history.swap(m_pendingMoves);
    m_pendingMoves.clear();
    if (m_pInput != nullptr) {
        m_pInput->OnPenMove(m_ptPendingClient);
    }
}

void CSurfaceWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_pInput == nullptr) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPointF position = Position(event);
    DeliverPendingMoves();
    m_bTracking = true;
    m_lastPos = position;
    // Watching for tap-and-hold starts with the press itself: a box that the pen-down
    // brings up stops it, so a touch that ended under the box never becomes a hold.
    m_holdStart = position;
    m_holdTimer.start(m_nHoldTimeMs);
    m_history.assign(1, RawPoint(position));
    m_pInput->OnPenDown(ClientPoint(position));
}

void CSurfaceWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_pInput == nullptr) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    const QPointF position = Position(event);
    DeliverPendingMoves();
    CancelHold();
    m_bTracking = true;
    m_lastPos = position;
    m_history.assign(1, RawPoint(position));
    m_pInput->OnDoubleTap(ClientPoint(position));
}

void CSurfaceWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!m_bTracking || !(event->buttons() & Qt::LeftButton) || m_pInput == nullptr) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPointF position = Position(event);
    m_lastPos = position;
    if (m_holdTimer.isActive()) {
        const QPointF moved = position - m_holdStart;
        if (std::abs(moved.x()) > pv::gesture::kHoldSlopPx || std::abs(moved.y()) > pv::gesture::kHoldSlopPx) {
            CancelHold();
        }
    }
    m_pendingMoves.push_back(RawPoint(position));
    m_ptPendingClient = ClientPoint(position);
    if (static_cast<int>(m_pendingMoves.size()) >= kMaxHistory) {
        // A full batch leaves now rather than losing its oldest points.
        DeliverPendingMoves();
    } else if (!m_bDeliveryPosted) {
        m_bDeliveryPosted = true;
        QCoreApplication::postEvent(this, new QEvent(kDeliverMoves), Qt::LowEventPriority);
    }
}

void CSurfaceWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_bTracking || m_pInput == nullptr) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const QPointF position = Position(event);
    DeliverPendingMoves();
    CancelHold();
    m_bTracking = false;
    m_history.assign(1, RawPoint(position));
    m_pInput->OnPenUp(ClientPoint(position));
}

void CSurfaceWidget::CancelHold() {
    m_holdTimer.stop();
}

void CSurfaceWidget::OnHoldTimeout() {
    if (!m_bTracking || m_pInput == nullptr || m_nBoxesUp > 0) {
        return;
    }
    // Moves within the slop that are still queued come first, as they happened first.
    DeliverPendingMoves();
    m_history.assign(1, RawPoint(m_lastPos));
    const PvPoint client = ClientPoint(m_lastPos);
    const QPoint offset = ScreenOffset();
    m_pInput->OnTapAndHold({client.x + offset.x(), client.y + offset.y()});
}

void CSurfaceWidget::OnBoxOpening() {
    ++m_nBoxesUp;
    CancelHold();
}

void CSurfaceWidget::OnBoxClosed() {
    --m_nBoxesUp;
    // The handler that showed the box may still be running: look at the pen once it returned.
    if (!m_bResyncPosted) {
        m_bResyncPosted = true;
        QMetaObject::invokeMethod(this, [this] { Resynchronise(); }, Qt::QueuedConnection);
    }
}

// The box took the input while it was up. A pen lifted meanwhile ends its gesture
// here, so that the surface never goes on as if the pen were still down.
void CSurfaceWidget::Resynchronise() {
    m_bResyncPosted = false;
    if (m_nBoxesUp > 0 || !m_bTracking || m_pInput == nullptr) {
        return;
    }
    if (QGuiApplication::mouseButtons() & Qt::LeftButton) {
        return;
    }
    DeliverPendingMoves();
    CancelHold();
    m_bTracking = false;
    m_history.assign(1, RawPoint(m_lastPos));
    m_pInput->OnPenUp(ClientPoint(m_lastPos));
}

void CSurfaceWidget::keyPressEvent(QKeyEvent* event) {
    if (m_pInput != nullptr && event->key() == Qt::Key_F23) {
        m_pInput->OnKeyDown(pv::key::kAction, event->isAutoRepeat() ? pv::key::kRepeatFlag : 0u);
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CSurfaceWidget::keyReleaseEvent(QKeyEvent* event) {
    if (m_pInput != nullptr && event->key() == Qt::Key_F23) {
        // Auto-repeat comes as release and press pairs; only the last release lifts the button.
        if (!event->isAutoRepeat()) {
            m_pInput->OnKeyUp(pv::key::kAction, 0);
        }
        event->accept();
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void CSurfaceWidget::paintEvent(QPaintEvent* event) {
    // Only live drawing asked for this paint when it covers nothing else; any other
    // request (an expose, an invalidation) runs the surface's paint steps.
    const bool liveOnly = !m_bNeedPaint && m_liveDamage.contains(event->region().boundingRect());
    m_liveDamage = QRect();
    if (!liveOnly && m_pInput != nullptr) {
        m_bNeedPaint = false;
        m_bInPaint = true;
        m_pInput->OnPaint();
        m_bInPaint = false;
        // Whatever the paint changed outside the part being shown follows at once.
        const QRegion rest = QRegion(PvToQRect(m_pFrame->TakeDamage())) - event->region();
        if (!rest.isEmpty()) {
            update(rest);
        }
    }
    // The framebuffer's own memory, no copy; only the part Qt asks for.
    QPainter painter(this);
    for (const QRect& rect : event->region()) {
        painter.drawImage(rect, PvQImageView(*m_pFrame), rect);
    }
}

void CSurfaceWidget::resizeEvent(QResizeEvent* event) {
    const QSize size = event->size();
    if (size.width() != m_pFrame->Width() || size.height() != m_pFrame->Height()) {
        m_pFrame = std::make_unique<CPvFrameBuffer>(std::max(1, size.width()), std::max(1, size.height()));
        if (m_pInput != nullptr) {
            m_pInput->OnSize(size.width(), size.height());
        }
        m_bNeedPaint = true;
    }
    QWidget::resizeEvent(event);
}
