#include "surface/TabletView.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "link/Protocol.h"
#include "platform/HelpViewer.h"
#include "platform/MessageBox.h"

bool CTabletView::s_bFirstPaint = true;

CTabletView::CTabletView(IProfile& profile, IViewHost& host, IByteLink& link)
    : m_penStroke(PvCreatePen(kPvPenSolid, 2, kPvBlack)),
      m_settings(profile),
      m_host(host),
      m_socket(m_settings, link) {
    // A negative time would keep the extended drawing window from ever closing.
    m_nExtendedDrawingTime = std::max(0, m_settings.ExtendedDrawingTime());
}

CTabletView::~CTabletView() = default;

bool CTabletView::Create() {
    const CEntry entry(*this);
    const CPV_Socket::EConnect outcome = m_socket.ConnectToServer();
    if (outcome == CPV_Socket::EConnect::Connected) {
        SendBytes(pv::protocol::kAttachStr);
    } else if (outcome == CPV_Socket::EConnect::CreateFailed) {
        m_pendingBoxes.push_back(m_socket.CreateErrorText());
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
    m_socket.Close();
    const CPV_Socket::EConnect outcome = m_socket.ConnectToServer();
    if (outcome == CPV_Socket::EConnect::Connected) {
        m_bNeedCalibration = true;
    } else {
        ReportConnectFailure(outcome);
    }
    return -1;
}

// The socket's own error first, when there was not even a socket; then always the fixed
// sentence and which desktop was tried.
void CTabletView::ReportConnectFailure(CPV_Socket::EConnect outcome) {
    if (outcome == CPV_Socket::EConnect::CreateFailed) {
        m_pendingBoxes.push_back(m_socket.CreateErrorText());
    }
    m_pendingBoxes.push_back(std::string(CPV_Socket::kCommunicationFailure) + "\n\n" +
                             m_socket.AttemptDetail());
}

// In the order they were asked for; an event handled under a box adds its own behind them.
void CTabletView::ShowPendingBoxes() {
    if (m_bShowingBoxes) {
        return;
    }
    m_bShowingBoxes = true;
    while (!m_pendingBoxes.empty()) {
        const std::string text = std::move(m_pendingBoxes.front());
        m_pendingBoxes.erase(m_pendingBoxes.begin());
        PvMessageBox(text);
    }
    m_bShowingBoxes = false;
}

bool CTabletView::OnCommand(int id) {
    const CEntry entry(*this);
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
