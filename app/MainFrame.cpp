#include "app/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QPixmap>
#include <QSizePolicy>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

#include "app/Help.h"
#include "app/Resources.h"
#include "app/TabletApp.h"
#include "platform/QtImage.h"
#include "surface/Commands.h"
#include "surface/Images.h"

namespace {

constexpr int kMaxTipLength = 255;

// The toolbar, left to right; each button shows the command's own image.
constexpr int kButtons[] = {
    pv::cmd::kRotateOrientation, pv::cmd::kLeftClick,   pv::cmd::kRightClick,
    pv::cmd::kDoubleClick,       pv::cmd::kClearScreen, pv::cmd::kHelp,
};

// Which tooltip belongs where: index 0 is the menu's place in the bar.
constexpr int kTipStrings[CMainFrame::kTipCount] = {
    pv::str::kTipNew,         pv::str::kTipRotate,      pv::str::kTipLeftClick, pv::str::kTipRightClick,
    pv::str::kTipDoubleClick, pv::str::kTipClearScreen, pv::str::kTipHelp,
};

}  // namespace

CMainFrame::CMainFrame(IProfile& profile, IByteLink& link, CTabletApp* app)
    : m_pSurface(new CSurfaceWidget(this)), m_wndView(profile, *m_pSurface, link), m_pApp(app) {
    PvInitAppResources();
    setAttribute(Qt::WA_DeleteOnClose);
}

CMainFrame::~CMainFrame() {
    // The widget outlives the view by a moment; it must not call into it meanwhile.
    m_pSurface->SetInput(nullptr);
}

bool CMainFrame::LoadFrame() {
    if (!PreCreateWindow()) {
        return false;
    }
    return OnCreate() == 0;
}

bool CMainFrame::PreCreateWindow() {
    setWindowTitle(QString::fromUtf8(PvLoadString(pv::res::kMainFrame)));
    setWindowIcon(QIcon(QStringLiteral(":/penvale/penvale32.xpm")));
    // A handheld's screen, portrait.
    resize(300, 400);
    // The bar must stay where the calibration expects it: above the surface.
    setContextMenuPolicy(Qt::NoContextMenu);
    return true;
}

int CMainFrame::OnCreate() {
    // The surface connects and sends Attach before anything is shown.
    if (!m_wndView.Create()) {
        return -1;
    }
    m_pSurface->SetInput(&m_wndView);
    m_pSurface->SetMenuCheckHandler([this](int id, bool checked) {
        if (QAction* action = CommandAction(id)) {
            action->setChecked(checked);
        }
    });
    setCentralWidget(m_pSurface);
    setFocusProxy(m_pSurface);

    for (int i = 0; i < kTipCount; ++i) {
        m_ToolTipsTable[static_cast<std::size_t>(i)] = LoadTipString(kTipStrings[i]);
    }

    m_wndCommandBar = new QToolBar(this);
    m_wndCommandBar->setObjectName(QStringLiteral("CommandBar"));
    m_wndCommandBar->setMovable(false);
    m_wndCommandBar->setFloatable(false);
    m_wndCommandBar->setIconSize(QSize(16, 16));
    m_wndCommandBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    addToolBar(Qt::TopToolBarArea, m_wndCommandBar);

    // The menu bar takes the first place.
    m_pToolsMenu = new QMenu(QStringLiteral("Tools"), this);
    QMenu* orientation = m_pToolsMenu->addMenu(QStringLiteral("Orientation"));
    for (const auto& [text, id] :
         {std::pair{"North", pv::cmd::kOrientationNorth}, std::pair{"West", pv::cmd::kOrientationWest},
          std::pair{"South", pv::cmd::kOrientationSouth}, std::pair{"East", pv::cmd::kOrientationEast}}) {
        // Checked only by the surface, never by Qt's own toggling.
        AddCommand(orientation, QString::fromUtf8(text), id)->setCheckable(true);
    }
    AddCommand(m_pToolsMenu, QStringLiteral("Settings..."), pv::cmd::kSettings);
    m_pToolsMenu->addSeparator();
    AddCommand(m_pToolsMenu, QStringLiteral("Help..."), pv::cmd::kHelp);
    AddCommand(m_pToolsMenu, QStringLiteral("About..."), pv::cmd::kAppAbout);
    m_pToolsMenu->addSeparator();
    AddCommand(m_pToolsMenu, QStringLiteral("Exit"), pv::cmd::kAppExit);

    m_pToolsButton = new QToolButton(m_wndCommandBar);
    m_pToolsButton->setText(QStringLiteral("Tools"));
    m_pToolsButton->setMenu(m_pToolsMenu);
    m_pToolsButton->setPopupMode(QToolButton::InstantPopup);
    m_pToolsButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_pToolsButton->setFocusPolicy(Qt::NoFocus);
    m_wndCommandBar->addWidget(m_pToolsButton);

    for (std::size_t i = 0; i < std::size(kButtons); ++i) {
        const int id = kButtons[i];
        auto* button = new QAction(QIcon(QPixmap::fromImage(PvToQImage(PvButtonImage(id)))), QString(), this);
        button->setToolTip(m_ToolTipsTable[i + 1]);
        button->setData(id);
        connect(button, &QAction::triggered, this, [this, id] { OnCmdMsg(id); });
        m_wndCommandBar->addAction(button);
        m_buttons.push_back(button);
        if (m_commands.count(id) == 0) {
            m_commands[id] = button;
        }
    }
    for (QToolButton* tool : m_wndCommandBar->findChildren<QToolButton*>()) {
        tool->setFocusPolicy(Qt::NoFocus);
    }

    // The close box, at the right end.
    auto* spacer = new QWidget(m_wndCommandBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_wndCommandBar->addWidget(spacer);
    auto* closeBox = new QToolButton(m_wndCommandBar);
    closeBox->setObjectName(QStringLiteral("CloseBox"));
    closeBox->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    closeBox->setAutoRaise(true);
    closeBox->setFocusPolicy(Qt::NoFocus);
    connect(closeBox, &QToolButton::clicked, this, [this] { close(); });
    m_wndCommandBar->addWidget(closeBox);

    // The accelerator table: Ctrl+Q is Exit wherever the focus is in this window.
    auto* exitKey = new QAction(this);
    exitKey->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    exitKey->setShortcutContext(Qt::WindowShortcut);
    connect(exitKey, &QAction::triggered, this, [this] { OnCmdMsg(pv::cmd::kAppExit); });
    addAction(exitKey);
    PvAddHelpKey(*this, pv::help::kMainContents);

    m_pSurface->setFocus();
    return 0;
}

QAction* CMainFrame::AddCommand(QMenu* menu, const QString& text, int id) {
    QAction* action = menu->addAction(text);
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] { OnCmdMsg(id); });
    m_commands[id] = action;
    return action;
}

QAction* CMainFrame::CommandAction(int id) const {
    const auto found = m_commands.find(id);
    return found == m_commands.end() ? nullptr : found->second;
}

QString CMainFrame::LoadTipString(int stringId) {
    return QString::fromUtf8(PvLoadString(stringId)).left(kMaxTipLength);
}

bool CMainFrame::OnCmdMsg(int id) {
    if (m_wndView.OnCommand(id)) {
        return true;
    }
    // The frame has no commands of its own.
    return m_pApp != nullptr && m_pApp->OnCmdMsg(id);
}

bool CMainFrame::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        OnSetFocus();
    }
    return QMainWindow::event(event);
}

// Whenever the frame comes back to the front the surface takes the keys, the action button included.
void CMainFrame::OnSetFocus() {
    m_pSurface->setFocus(Qt::ActiveWindowFocusReason);
}


