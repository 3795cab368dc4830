#pragma once
#include <QPointer>
#include <memory>
#include <string>

#include "platform/Profile.h"
#include "platform/ByteLink.h"

class CMainFrame;

// The one application object: starts the socket layer, selects the profile,
// creates the main frame, and handles the commands the frame leaves to it
// (Settings, About, Exit). The QApplication itself belongs to main().
class CTabletApp {
public:
    // profileFile empty: the user's profile (organisation and application "Penvale");
    // otherwise that INI file, for tests and trials.
    explicit CTabletApp(IByteLink& link, std::string profileFile = {});
    virtual ~CTabletApp();
    CTabletApp(const CTabletApp&) = delete;
    CTabletApp& operator=(const CTabletApp&) = delete;

    // Start-up. False ends the program at once (no window was shown).
    bool InitInstance();

    // Commands the frame and the surface did not take; true when handled.
    bool OnCmdMsg(int id);
    virtual void OnSettings();
    virtual void OnAppAbout();
    void OnAppExit();

    // The main frame while its window exists (it deletes itself when closed).
    CMainFrame* MainFrame() const;
    IProfile* Profile() const { return m_pProfile.get(); }

private:
    bool InitSockets();
    void SetRegistryKey(int keyStringId);

    IByteLink& m_link;
    std::string m_profileFile;
    std::unique_ptr<IProfile> m_pProfile;
    QPointer<CMainFrame> m_pMainWnd;
};
