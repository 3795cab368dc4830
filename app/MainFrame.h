#pragma once
#include <QMainWindow>
#include <QString>
#include <array>
#include <map>
#include <vector>

#include "platform/Profile.h"
#include "platform/ByteLink.h"
#include "platform/SurfaceWidget.h"
#include "surface/TabletView.h"

class CTabletApp;
class QAction;
class QMenu;
class QToolBar;
class QToolButton;

// The main window: one command bar (the "Tools" menu, six buttons, a close
// button) and the tablet surface as its only other child. Commands go to the
// surface first, then to the frame, then to the application.
class CMainFrame : public QMainWindow {
public:
    static constexpr int kTipCount = 7;

    // app may be null (a frame on its own): commands the surface does not take are then dropped.
    CMainFrame(IProfile& profile, IByteLink& link, CTabletApp* app);
    ~CMainFrame() override;

    // Builds the window: the surface (which connects to the server first), then the command bar.
    bool LoadFrame();

    bool OnCmdMsg(int id);

    // A tooltip text from the string table, at most 255 characters.
    static QString LoadTipString(int stringId);

    CTabletView& View() { return m_wndView; }
    CSurfaceWidget& Surface() { return *m_pSurface; }
    QToolBar* CommandBar() const { return m_wndCommandBar; }
    QMenu* ToolsMenu() const { return m_pToolsMenu; }
    // The menu item or button of command id (the menu item where both exist); null when none.
    QAction* CommandAction(int id) const;
    // The six toolbar buttons, in order.
    const std::vector<QAction*>& ToolbarButtons() const { return m_buttons; }

protected:
    bool event(QEvent* event) override;

private:
    bool PreCreateWindow();
    int OnCreate();
    void OnSetFocus();
    QAction* AddCommand(QMenu* menu, const QString& text, int id);

    QToolBar* m_wndCommandBar = nullptr;
    QToolButton* m_pToolsButton = nullptr;
    QMenu* m_pToolsMenu = nullptr;
    // The surface's window comes before the surface, which keeps a reference to it.
    CSurfaceWidget* m_pSurface;
    CTabletView m_wndView;
    std::array<QString, kTipCount> m_ToolTipsTable;
    std::vector<QAction*> m_buttons;
    std::map<int, QAction*> m_commands;
    CTabletApp* m_pApp;
};
