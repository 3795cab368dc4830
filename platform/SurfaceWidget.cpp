#include "platform/SurfaceWidget.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointingDevice>
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
      m_pFrame(std::make_unique<CPvFrameBuffer>(std::max(1, width()), std::max(1, height()))),
      m_recogniser(*this) {
    setFocusPolicy(Qt::StrongFocus);
    // The framebuffer covers every pixel: nothing for Qt to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_holdTimer.setSingleShot(true);
    m_holdTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_holdTimer, &QTimer::timeout, this, [this] { m_recogniser.HoldTimeout(); });
    PvAddMessageBoxObserver(this);
}

CSurfaceWidget::~CSurfaceWidget() {
    PvRemoveMessageBoxObserver(this);
}

void CSurfaceWidget::SetInput(ISurfaceInput* input) {
    m_pInput = input;
    m_recogniser.SetTarget(input);
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

void CSurfaceWidget::tabletEvent(QTabletEvent* event) {
    m_precisePos = event->position();
    m_bPrecise = true;
    // Ignored, so that Qt delivers the same sample again as a mouse event.
    event->ignore();
}

PvPointerSample CSurfaceWidget::Sample(const QMouseEvent* event) {
    QPointF position = event->position();
    if (m_bPrecise) {
        m_bPrecise = false;
        const QPointF difference = m_precisePos - position;
        if (std::abs(difference.x()) <= 1.0 && std::abs(difference.y()) <= 1.0) {
            position = m_precisePos;
        }
    }
    // The screen may have changed since the last event (a rotation, a resize).
    const QWidget* screen = window();
    const QPoint offset = ScreenOffset();
    m_recogniser.SetGeometry(screen->width(), screen->height(), {offset.x(), offset.y()});
    PvPointerSample sample;
    sample.x = position.x();
    sample.y = position.y();
    sample.timeMs = static_cast<double>(event->timestamp());
    switch (event->pointingDevice() != nullptr ? event->pointingDevice()->type()
                                               : QInputDevice::DeviceType::Mouse) {
        case QInputDevice::DeviceType::Stylus:
        case QInputDevice::DeviceType::Airbrush:
            sample.kind = PvPointerKind::Pen;
            break;
        case QInputDevice::DeviceType::TouchScreen:
            sample.kind = PvPointerKind::Touch;
            break;
        default:
            sample.kind = PvPointerKind::Mouse;
            break;
    }
    return sample;
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
        m_bFlushPosted = false;
        m_recogniser.Flush();
        return true;
    }
    return QWidget::event(event);
}

void CSurfaceWidget::FlushSoon() {
    if (!m_bFlushPosted) {
        m_bFlushPosted = true;
        QCoreApplication::postEvent(this, new QEvent(kDeliverMoves), Qt::LowEventPriority);
    }
}

void CSurfaceWidget::StartHold(int milliseconds) {
    m_holdTimer.start(milliseconds);
}

void CSurfaceWidget::StopHold() {
    m_holdTimer.stop();
}

void CSurfaceWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_pInput == nullptr) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_recogniser.Down(Sample(event));
}

// The recogniser tells double taps itself, by the thresholds of the pointer's kind.
void CSurfaceWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
}

void CSurfaceWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || m_pInput == nullptr) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    m_recogniser.Move(Sample(event));
}

void CSurfaceWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_pInput == nullptr) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_recogniser.Up(Sample(event));
}

void CSurfaceWidget::OnBoxOpening() {
    m_recogniser.BoxOpened();
}

void CSurfaceWidget::OnBoxClosed() {
    m_recogniser.BoxClosed((QGuiApplication::mouseButtons() & Qt::LeftButton) != 0);
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
