#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/PV_Socket.h"
#include "platform/DrawSurface.h"
#include "platform/SurfaceInput.h"
#include "platform/Types.h"
#include "platform/ViewHost.h"
#include "settings/SettingsStore.h"
#include "surface/Commands.h"
#include "surface/Stroke.h"

// The tablet surface: turns stylus and key events into the byte stream to the
// desktop, keeps the calibration and orientation, and draws ink and cursor.
// Every input arrives through ISurfaceInput on the UI thread; what the surface
// needs of its window it asks the host for.
class CTabletView : public ISurfaceInput {
public:
    // Reads the extended drawing time. The socket is not connected until Create.
    CTabletView(IProfile& profile, IViewHost& host, IByteLink& link);
    ~CTabletView() override;
    CTabletView(const CTabletView&) = delete;
    CTabletView& operator=(const CTabletView&) = delete;

    // Window creation: connects to the server and sends Attach before the window exists.
    // A failed connection is not a failure of the creation.
    bool Create();

    // ISurfaceInput
    void OnPenDown(PvPoint point) override;
    void OnPenMove(PvPoint point) override;
    void OnPenUp(PvPoint point) override;
    void OnDoubleTap(PvPoint point) override;
    void OnTapAndHold(PvPoint screenPoint) override;
    void OnKeyDown(unsigned key, unsigned flags) override;
    void OnKeyUp(unsigned key, unsigned flags) override;
    void OnTimer(int id) override;
    void OnPaint() override;
    void OnSize(int width, int height) override;
    bool OnCommand(int id) override;
    bool TakesPenSamples() const override { return m_socket.TakesPenSamples(); }
    void OnPenSample(const PvPenSample& sample) override;

    // The desktop's address or port changed: the connection is dropped, and the next
    // write connects to the stored desktop first (Attach, then its bytes) and re-arms
    // the Extent. A failed connection shows the communication-failure box.
    void OnDesktopChanged();

    // The point where the crosshair stands; (0, 0) when none is shown.
    PvPoint CursorPoint() const { return m_ptCursor; }

    // The first paint of the process applies the stored orientation; a new process
    // (or a test that plays one) starts over with this.
    static void ResetFirstPaint() { s_bFirstPaint = true; }

private:
    // The one write through which every message leaves. Returns what send returned, or -1
    // after recovering from a failed write.
    int SendBytes(const char* bytes, int length);
    int SendBytes(std::string_view message) {
        return SendBytes(message.data(), static_cast<int>(message.size()));
    }

    // Gesture engine.
    void OnLeftClick();
    void OnRightClick();
    void OnDoubleClick();
    bool InDrawingMode() const { return m_bActionKeyDown || m_bHoldDrag || m_bExtending || m_bDoubleTapDrag; }
    void CalibrateIfNeeded(const PvPoint* oldest, PvPoint point);
    void HideCursor();
    void RestartExtensionTimer();

    // Calibration and orientation.
    PvPoint Calibrate(PvPoint raw, PvPoint client);
    void SendPositions(const PvPoint* points, unsigned count);
    // A raw point as a Position carries it: rotated for the orientation, from the tablet's origin.
    PvPoint TabletPoint(PvPoint raw) const;
    PvPoint RawToClient(PvPoint raw) const;
    void SetOrientation(int id);
    void OnOrientationNorth();
    void OnOrientationWest();
    void OnOrientationSouth();
    void OnOrientationEast();
    void RotateOrientation();
    // Reloads the stored orientation; at the first paint of the process applies it and
    // returns true (the cursor image is then loaded).
    bool ReloadOrientation();
    static int IconForOrientation(int id);

    // Ink canvas.
    void EraseCursor();
    void DrawCursor(PvPoint point);
    void MoveCursor(PvPoint point);
    CStroke* NewStroke();
    void BeginStroke(PvPoint point);
    void ExtendStroke(PvPoint point);
    void ClearStrokes();

    // Help: opens the help file at its contents.
    void OnHelp();

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

    // The pen's own samples: its ink begins afresh when it comes back into range.
    bool m_bPenSampleTouching = false;
    bool m_bPenSampleInRange = false;

    // Desktop change.
    bool m_bDesktopChanged = false;
    bool ConnectToChangedDesktop();
    // A connection that failed: what the user must be told, after the write.
    void ReportConnectFailure(CPV_Socket::EConnect outcome);

    // Boxes asked for while an event is handled are shown once it has been: a box runs a
    // nested event loop, and no timer or pen event may enter the surface while it is in
    // the middle of a write. Every entry point holds a CEntry.
    class CEntry;
    void ShowPendingBoxes();
    std::vector<std::string> m_pendingBoxes;
    int m_nEntries = 0;
    bool m_bShowingBoxes = false;
};

class CTabletView::CEntry {
public:
    explicit CEntry(CTabletView& view) : m_view(view) { ++m_view.m_nEntries; }
    ~CEntry() {
        if (--m_view.m_nEntries == 0) {
            m_view.ShowPendingBoxes();
        }
    }
    CEntry(const CEntry&) = delete;
    CEntry& operator=(const CEntry&) = delete;

private:
    CTabletView& m_view;
};
