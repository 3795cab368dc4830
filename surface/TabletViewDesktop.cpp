// Moving to another desktop without a restart.
#include "link/Protocol.h"
#include "surface/TabletView.h"

void CTabletView::OnDesktopChanged() {
    if (m_socket.IsOpen()) {
        m_socket.Close();
    }
    m_bDesktopChanged = true;
    m_bNeedCalibration = true;
}

bool CTabletView::ConnectToChangedDesktop() {
    m_bDesktopChanged = false;
    const CPV_Socket::EConnect outcome = m_socket.ConnectToServer();
    if (outcome != CPV_Socket::EConnect::Connected) {
        ReportConnectFailure(outcome);
        return false;
    }
    // The new desktop has not seen this handheld start.
    SendBytes(pv::protocol::kAttachStr);
    return true;
}
