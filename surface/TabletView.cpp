#include "surface/TabletView.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "link/Protocol.h"
#include "platform/HelpViewer.h"
#include "platform/MessageBox.h"

bool CTabletView::s_bFirstPaint = true;

namespace {
constexpr std::string_view kCommunicationFailure =
    "Unable to communicate with Penvale server.  Make sure Pocket PC is connected to the host PC and that "
    "Penvale server is running on the desktop.";
}  // namespace

CTabletView::CTabletView(IProfile& profile, IViewHost& host, ISocketIo& socketIo)
    : m_penStroke(PvCreatePen(kPvPenSolid, 2, kPvBlack)),
      m_settings(profile),
      m_host(host),
      m_socket(m_settings, socketIo) {
    // A negative time would keep the extended drawing window from ever closing.
    m_nExtendedDrawingTime = std::max(0, m_settings.ExtendedDrawingTime());
}

CTabletView::~CTabletView() = default;

bool CTabletView::Create() {
    if (m_socket.ConnectToServer()) {
        SendBytes(pv::protocol::kAttachStr);
    }
    return true;
}

int CTabletView::SendBytes(const char* bytes, int length) {
    if (m_bDesktopChanged && !ConnectToChangedDesktop()) {
        return -1;
    }
    const int sent = m_socket.Send(bytes, static_cast<std::size_t>(std::max(0, length)));
    if (sent != -1) {
        return sent;
    }
    // The bytes of the failed write are lost; a fresh Extent goes out at the next
    // pen event so the desktop can place what follows.
    m_socket.ShutDown();
    m_socket.Close();
    if (m_socket.ConnectToServer()) {
        m_bNeedCalibration = true;
    } else {
        ShowCommunicationFailure();
    }
    return -1;
}

// The fixed sentence, then which desktop was tried.
void CTabletView::ShowCommunicationFailure() {
    PvMessageBox(std::string(kCommunicationFailure) + "\n\n" + m_socket.AttemptDetail());
}

bool CTabletView::OnCommand(int id) {
    switch (id) {
        case pv::cmd::kOrientationNorth:
            OnOrientationNorth();
            return true;
        case pv::cmd::kOrientationWest:
            OnOrientationWest();
            return true;
        case pv::cmd::kOrientationSouth:
            OnOrientationSouth();
            return true;
        case pv::cmd::kOrientationEast:
            OnOrientationEast();
            return true;
        case pv::cmd::kRotateOrientation:
            RotateOrientation();
            return true;
        case pv::cmd::kLeftClick:
            OnLeftClick();
            return true;
        case pv::cmd::kRightClick:
            OnRightClick();
            return true;
        case pv::cmd::kDoubleClick:
            OnDoubleClick();
            return true;
        case pv::cmd::kClearScreen:
            ClearStrokes();
            return true;
        case pv::cmd::kHelp:
            OnHelp();
            return true;
        default:
            return false;
    }
}

void CTabletView::OnHelp() {
    PvShowHelpTopic(pv::help::kMainContents);
}

void CTabletView::OnSize(int, int) {
    // Positions must not be measured against the Extent of the old size.
    m_bNeedCalibration = true;
}
