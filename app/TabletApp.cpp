#include "app/TabletApp.h"

#include "app/AboutDlg.h"
#include "app/MainFrame.h"
#include "app/Resources.h"
#include "app/SettingsDlg.h"
#include "platform/MessageBox.h"
#include "platform/QtProfile.h"
#include "surface/Commands.h"

CTabletApp::CTabletApp(IByteLink& link, std::string profileFile)
    : m_link(link), m_profileFile(std::move(profileFile)) {}

CTabletApp::~CTabletApp() {
    // The frame reads the profile until its last moment: it goes first.
    delete m_pMainWnd.data();
}

CMainFrame* CTabletApp::MainFrame() const {
    return m_pMainWnd.data();
}

bool CTabletApp::InitInstance() {
    if (!InitSockets()) {
        PvMessageBox(PvLoadString(pv::str::kSocketsInitFailed));
        return false;
    }
    // Before the frame: constructing the surface reads the profile.
    SetRegistryKey(pv::str::kRegistryKey);

    auto* frame = new CMainFrame(*m_pProfile, m_link, this);
    m_pMainWnd = frame;
    if (!frame->LoadFrame()) {
        // Never show or use a frame whose window could not be built.
        delete frame;
        return false;
    }
    frame->show();
    return true;
}

// The socket layer counts as started when it can make a socket.
bool CTabletApp::InitSockets() {
    return m_link.Available();
}

void CTabletApp::SetRegistryKey(int) {
    if (m_profileFile.empty()) {
        m_pProfile = std::make_unique<CQtProfile>();
    } else {
        m_pProfile = std::make_unique<CQtProfile>(m_profileFile);
    }
}

bool CTabletApp::OnCmdMsg(int id) {
    switch (id) {
        case pv::cmd::kSettings:
            OnSettings();
            return true;
        case pv::cmd::kAppAbout:
            OnAppAbout();
            return true;
        case pv::cmd::kAppExit:
            OnAppExit();
            return true;
        default:
            return false;
    }
}

void CTabletApp::OnSettings() {
    CSettingsDlg dialog(*m_pProfile, m_pMainWnd.data());
    // The slider's value waits for the next start; a new desktop is used from the next write.
    if (dialog.exec() == QDialog::Accepted && dialog.DesktopChanged() && m_pMainWnd) {
        m_pMainWnd->View().OnDesktopChanged();
    }
}

void CTabletApp::OnAppAbout() {
    CAboutDlg dialog(m_pMainWnd.data());
    dialog.exec();
}

void CTabletApp::OnAppExit() {
    if (m_pMainWnd) {
        m_pMainWnd->close();
    }
}
