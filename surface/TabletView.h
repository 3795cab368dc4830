#pragma once
#include <memory>
#include <vector>

#include "surface/Commands.h"
#include "link/PV_Socket.h"
#include "settings/SettingsStore.h"
#include "surface/Stroke.h"
#include "platform/DrawSurface.h"
#include "platform/Types.h"
#include "platform/ViewHost.h"

// The tablet surface: turns stylus and key events into the byte stream to the
// desktop, keeps the calibration and orientation, and draws ink and cursor.
// Every member runs on the UI thread. Fields are public so that the shell and
// tests can observe the engine's state.
class CTabletView {
public:
    // Reads the extended drawing time. The socket is not connected until Create.
    CTabletView(IProfile& profile, IViewHost& host, ISocketIo& socketIo = PvPosixSocketIo());
    ~CTabletView();
    CTabletView(const CTabletView&) = delete;
    CTabletView& operator=(const CTabletView&) = delete;

    // Window creation: connects to the server and sends Attach before the window exists.
    // A failed connection is not a failure of the creation.
    bool Create();

    // The one write through which every message leaves. Returns what send returned, or -1
    // after recovering from a failed write.
    int SendBytes(const char* bytes, int length);

    // The desktop's address or port changed: the connection is dropped, and the next
    // write connects to the stored desktop first (Attach, then its bytes) and re-arms
    // the Extent. A failed connection shows the communication-failure box.
    void OnDesktopChanged();

    // Offers a menu, toolbar or accelerator command; true when the surface handled it.
    bool OnCommand(int id);

    // Gesture engine. Points are client points except TapAndHold's screen point.
    void OnPenDown(PvPoint point);
    void OnPenMove(PvPoint point);
    void OnPenUp(PvPoint point);
    void OnDoubleTap(PvPoint point);
    void OnTapAndHold(PvPoint screenPoint);
    void OnKeyDown(unsigned key, unsigned flags);
    void OnKeyUp(unsigned key, unsigned flags);
    void OnTimer(int id);
    void OnLeftClick();
    void OnRightClick();
    void OnDoubleClick();

    // Calibration and orientation.
    PvPoint Calibrate(PvPoint raw, PvPoint client);
    void SendPositions(const PvPoint* points, unsigned count);
    PvPoint RawToClient(PvPoint raw) const;
    void SetOrientation(int id);
    void OnOrientationNorth();
    void OnOrientationWest();
    void OnOrientationSouth();
    void OnOrientationEast();
    void RotateOrientation();
    // Paint steps of the orientation. OnPaint calls ReloadOrientation right after erasing
    // the cursor: it reloads the stored orientation and, at the first paint of the process,
    // applies it and returns true (the cursor image is then loaded). After the grid, OnPaint
    // draws the icon IconForOrientation(m_nOrientation); 0 means none of the four: no icon.
    bool ReloadOrientation();
    static int IconForOrientation(int id);

    // Ink canvas.
    void OnPaint();
    void EraseCursor();
    void DrawCursor(PvPoint point);
    void MoveCursor(PvPoint point);
    CStroke* NewStroke();
    void BeginStroke(PvPoint point);
    void ExtendStroke(PvPoint point);
    void ClearStrokes();

    // Help: opens the help file at its contents.
    void OnHelp();
    bool OnHelpInfo();

    bool InDrawingMode() const { return m_bActionKeyDown || m_bHoldDrag || m_bExtending || m_bDoubleTapDrag; }

    // Gesture flags.
    bool m_bPenDown = false;
    bool m_bMoved = false;
    bool m_bClickSent = false;
    bool m_bHoldDrag = false;
    bool m_bDoubleTapDrag = false;
    bool m_bSkipNextPositions = false;
    bool m_bExtending = false;
    bool m_bExtendTimeUp = true;
    bool m_bActionKeyDown = false;
    PvPoint m_ptPenUp{0, 0};
    int m_nExtendedDrawingTime = 500;

    // Calibration and orientation.
    bool m_bNeedCalibration = true;
    int m_nOrientation = pv::cmd::kOrientationNorth;
    PvPoint m_ptRawOrigin{0, 0};
    PvPoint m_ptClientOffset{0, 0};
    int m_nTabletHeight = 0;
    int m_nTabletWidth = 0;
    double m_dRatioX = 1.0;
    double m_dRatioY = 1.0;

    // Ink canvas.
    CPvImage m_dcCursor;
    PvPoint m_ptLast{0, 0};
    int m_nPenWidth = 2;
    CStroke* m_pCurrentStroke = nullptr;
    std::unique_ptr<CPvPen> m_penStroke;
    std::vector<std::unique_ptr<CStroke>> m_strokes;
    PvPoint m_ptCursor{0, 0};
    int m_nCursorHeight = 0;
    int m_nCursorWidth = 0;

    // Cleared by the first paint of the process.
    static bool s_bFirstPaint;

    CSettingsStore m_settings;
    IViewHost& m_host;
    CPV_Socket m_socket;

    // Desktop change.
    bool m_bDesktopChanged = false;
    bool ConnectToChangedDesktop();
    void ShowCommunicationFailure();
};
