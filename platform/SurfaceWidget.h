#pragma once
#include <QPointF>
#include <QRegion>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>

#include "platform/FrameBuffer.h"
#include "platform/MessageBox.h"
#include "platform/PointerRecogniser.h"
#include "platform/SurfaceInput.h"
#include "platform/ViewHost.h"

class QMouseEvent;

// The window of the tablet surface. The top-level window's inside plays the
// handheld's screen: raw and screen points are measured from its top-left corner,
// and the work area is the part of it below the command bar, where this widget
// sits. Mouse input (touch and pen arrive as mouse input too) goes to the pointer
// recogniser, which decides the surface's pen events; moves that arrive before the
// UI gets round to them are merged into one PenMove.
class CSurfaceWidget : public QWidget,
                       public IViewHost,
                       private IMessageBoxObserver,
                       private CPointerRecogniser::IHost {
public:
    explicit CSurfaceWidget(QWidget* parent = nullptr);
    ~CSurfaceWidget() override;

    // The surface that receives the input; nullptr detaches it (before it is destroyed).
    void SetInput(ISurfaceInput* input);
    // Where check marks go: the frame's menu.
    void SetMenuCheckHandler(std::function<void(int commandId, bool checked)> handler);

    // Raw units per screen pixel: 4 while the screen stays under 10000 units, fewer beyond.
    int RawUnitsPerPixel() const;
    // The top-left corner of this widget on the screen (the top-level window's inside).
    QPoint ScreenOffset() const;
    CPvFrameBuffer& FrameBuffer() { return *m_pFrame; }

    // How long the pen must stay for a tap-and-hold (tests shorten or stretch it).
    void SetHoldTime(int milliseconds) { m_recogniser.SetHoldTime(milliseconds); }

    // IViewHost
    int GetMouseMovePoints(PvPoint* points, int max) override {
        return m_recogniser.GetMouseMovePoints(points, max);
    }
    PvRect GetWorkArea() override;
    PvRect GetClientRect() override;
    void SetTimer(int id, int milliseconds) override;
    void KillTimer(int id) override;
    void CheckMenuItem(int commandId, bool checked) override;
    void InvalidateRect(bool erase) override;
    void BeginPaint() override {}
    void EndPaint() override {}
    IDrawSurface* GetDC() override { return m_pFrame.get(); }
    void ReleaseDC(IDrawSurface* surface) override;

protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void tabletEvent(QTabletEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // IMessageBoxObserver
    void OnBoxOpening() override;
    void OnBoxClosed() override;

    // CPointerRecogniser::IHost
    void StartHold(int milliseconds) override;
    void StopHold() override;
    void FlushSoon() override;

    // The event as the recogniser takes it, the fraction of a pen sample kept.
    PvPointerSample Sample(const QMouseEvent* event);

    ISurfaceInput* m_pInput = nullptr;
    std::function<void(int, bool)> m_checkHandler;
    std::unique_ptr<CPvFrameBuffer> m_pFrame;
    bool m_bNeedPaint = true;  // the surface must repaint before the next show
    bool m_bInPaint = false;
    // What live drawing changed since the last show: a paint of only these pixels
    // shows the framebuffer; any other paint request runs the surface's paint.
    QRect m_liveDamage;  // bounds of what live drawing changed since the last paint

    CPointerRecogniser m_recogniser;
    bool m_bFlushPosted = false;
    QTimer m_holdTimer;

    // Widgets get mouse positions in whole pixels; the pen's own sample keeps the fraction.
    QPointF m_precisePos;
    bool m_bPrecise = false;

    std::map<int, std::unique_ptr<QTimer>> m_timers;
};
