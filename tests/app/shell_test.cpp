// The application shell on the real main window: start-up, the command bar,
// command routing, check marks, the Settings dialog, help and About.
#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <string>
#include <vector>

#include "platform/PosixByteLink.h"
#include "app/AboutDlg.h"
#include "app/MainFrame.h"
#include "app/SettingsDlg.h"
#include "app/TabletApp.h"
#include "platform/HelpViewer.h"
#include "platform/MessageBox.h"
#include "platform/QtHelpViewer.h"
#include "platform/QtImage.h"
#include "platform/QtProfile.h"
#include "surface/Commands.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/Recorders.h"
#include "tests/support/RecordingLink.h"
#include "tests/support/TempProfile.h"

namespace {

// Records the commands that reach the application instead of opening dialogs.
class CRecordingApp : public CTabletApp {
public:
    using CTabletApp::CTabletApp;
    void OnSettings() override { calls << QStringLiteral("settings"); }
    void OnAppAbout() override { calls << QStringLiteral("about"); }
    QStringList calls;
};

QStringList Texts(const QList<QAction*>& actions) {
    QStringList texts;
    for (const QAction* action : actions) {
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return texts;
}

// A stroke from (50, 50) to (80, 80) drawn with the action button held, as a user
// draws it: key and mouse events on the surface's window.
void DrawInk(CSurfaceWidget& surface) {
    QTest::keyPress(&surface, Qt::Key_F23);
    const auto mouse = [&surface](QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, surface.mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(&surface, &event);
    };
    mouse(QEvent::MouseButtonPress, {50, 50}, Qt::LeftButton);
    mouse(QEvent::MouseMove, {80, 80}, Qt::LeftButton);
    QCoreApplication::processEvents();
    mouse(QEvent::MouseButtonRelease, {80, 80}, Qt::NoButton);
    QTest::keyRelease(&surface, Qt::Key_F23);
}

QStringList HelpStarts(const CRecordingHelpViewer& viewer) {
    QStringList starts;
    for (const std::string& topic : viewer.started) {
        starts << QString::fromStdString(topic);
    }
    return starts;
}

// The stored value as the file holds it; empty when there is none.
QString StoredDrawingTime(const std::string& path) {
    QSettings file(QString::fromStdString(path), QSettings::IniFormat);
    return file.value(QStringLiteral("Settings/ExtendedDrawingTime")).toString();
}

const int kOrientations[] = {pv::cmd::kOrientationNorth, pv::cmd::kOrientationWest,
                             pv::cmd::kOrientationSouth, pv::cmd::kOrientationEast};

QList<bool> OrientationChecks(CMainFrame& frame) {
    QList<bool> checks;
    for (int id : kOrientations) {
        checks << frame.CommandAction(id)->isChecked();
    }
    return checks;
}

}  // namespace

class TestShell : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void commandBarHoldsTheMenuAndTheButtonsInOrder();
    void orientationCommandsMoveTheCheckMark();
    void commandsReachTheSurfaceFirstThenTheApplication_data();
    void commandsReachTheSurfaceFirstThenTheApplication();
    void surfaceHasTheFocusAndF1OpensTheContents();
    void ctrlQEndsTheProgram();
    void settingsDialog_data();
    void settingsDialog();
    void settingsFromTheMenuStoresOnOk();
    void helpInTheSettingsDialogKeepsItOpen();
    void startsWithoutServerAndShowsNoBox();
    void socketLayerFailureEndsBeforeAnyWindow();
    void aboutBoxShowsNameAndVersion();
    void helpStartsTheViewerDetachedWithTheTopicAlone();

private:
    // A started program with a recording socket layer; nothing is dialled.
    CMainFrame* Start();

    std::unique_ptr<CTempProfile> temp;
    std::unique_ptr<CRecordingLink> io;
    std::unique_ptr<CRecordingApp> app;
    std::unique_ptr<CRecordingMessageBox> boxes;
    std::unique_ptr<CRecordingHelpViewer> help;
};

void TestShell::init() {
    temp = std::make_unique<CTempProfile>();
    temp->PointAt("127.0.0.2", 5999);
    io = std::make_unique<CRecordingLink>();
    boxes = std::make_unique<CRecordingMessageBox>();
    help = std::make_unique<CRecordingHelpViewer>();
}

void TestShell::cleanup() {
    app.reset();
    help.reset();
    boxes.reset();
    io.reset();
    temp.reset();
}

CMainFrame* TestShell::Start() {
    app = std::make_unique<CRecordingApp>(*io, temp->Path());
    if (!app->InitInstance() || app->MainFrame() == nullptr) {
        return nullptr;
    }
    CMainFrame* frame = app->MainFrame();
    if (!QTest::qWaitForWindowExposed(frame)) {
        return nullptr;
    }
    io->Take();  // the Attach
    return frame;
}

void TestShell::commandBarHoldsTheMenuAndTheButtonsInOrder() {
    CMainFrame* frame = Start();
    QVERIFY(frame != nullptr);
    QCOMPARE(frame->windowTitle(), QStringLiteral("Penvale"));
    QCOMPARE(frame->centralWidget(), &frame->Surface());
    QCOMPARE(frame->findChildren<QToolBar*>().size(), 1);

    QCOMPARE(Texts(frame->ToolsMenu()->actions()),
             (QStringList{"Orientation", "Settings...", "-", "Help...", "About...", "-", "Exit"}));
    QMenu* orientation = frame->ToolsMenu()->actions().front()->menu();
    QVERIFY(orientation != nullptr);
    QCOMPARE(Texts(orientation->actions()), (QStringList{"North", "West", "South", "East"}));
    QCOMPARE(OrientationChecks(*frame).count(true), 1);  // the stored one, applied at the first paint

    const QList<QAction*> bar = frame->CommandBar()->actions();
    QVERIFY(bar.size() >= 8);
    auto* tools = qobject_cast<QToolButton*>(frame->CommandBar()->widgetForAction(bar.front()));
    QVERIFY2(tools != nullptr, "the menu takes the first place");
    QCOMPARE(tools->text(), QStringLiteral("Tools"));
    QCOMPARE(tools->menu(), frame->ToolsMenu());

    QCOMPARE(bar.mid(1, 6), QList<QAction*>(frame->ToolbarButtons().begin(), frame->ToolbarButtons().end()));
    QStringList tips;
    int lastButtonRight = 0;
    for (QAction* button : frame->ToolbarButtons()) {
        tips << button->toolTip();
        QVERIFY(!button->icon().isNull());
        QCOMPARE(button->icon().availableSizes().value(0), QSize(16, 16));
        const QWidget* widget = frame->CommandBar()->widgetForAction(button);
        QVERIFY(widget->geometry().left() >= lastButtonRight);
        lastButtonRight = widget->geometry().right();
    }
    QCOMPARE(tips, (QStringList{"Changes the Tablet Orientation", "Left Click", "Right Click", "Double Click",
                                "Clear Screen", "Help"}));

    auto* closeBox = frame->CommandBar()->findChild<QToolButton*>(QStringLiteral("CloseBox"));
    QVERIFY(closeBox != nullptr);
    QVERIFY2(closeBox->geometry().left() > lastButtonRight, "the close box sits at the right end");
    // The surface fills what the bar leaves free, and the calibration takes that as the work area.
    QCOMPARE(frame->Surface().geometry().top(), frame->CommandBar()->geometry().bottom() + 1);
    QCOMPARE(frame->Surface().GetWorkArea(),
             (PvRect{0, frame->Surface().geometry().top(), frame->width(), frame->height()}));

    QPointer<CMainFrame> alive(frame);
    QTest::mouseClick(closeBox, Qt::LeftButton);
    QTRY_VERIFY(alive.isNull());
}

void TestShell::orientationCommandsMoveTheCheckMark() {
    temp->WriteSettings("IP%20Address=127.0.0.2\nPort=5999\nOrientation=32777\n");
    CTabletView::ResetFirstPaint();
    CMainFrame* frame = Start();
    QVERIFY(frame != nullptr);
    // The first paint applies the stored orientation.
    QTRY_COMPARE(OrientationChecks(*frame), (QList<bool>{false, false, false, true}));

    CQtProfile profile(temp->Path());
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    // The icon in the middle of the surface, as the window shows it (without asking for
    // a paint of its own, which would run the surface's paint steps).
    const auto shownIcon = [frame] {
        CSurfaceWidget& surface = frame->Surface();
        return PvQImageView(surface.FrameBuffer()).copy(surface.width() / 2 - 16, surface.height() / 2 - 16, 32, 32);
    };
    const QImage east = shownIcon();
    frame->CommandAction(pv::cmd::kOrientationWest)->trigger();
    QCOMPARE(OrientationChecks(*frame), (QList<bool>{false, true, false, false}));
    // Shown at once: the next paint has the West icon, which is East's turned half round.
    QTRY_VERIFY(shownIcon() != east);
    QCOMPARE(shownIcon(), east.mirrored(true, true));
    QCOMPARE(profile.GetProfileInt("Settings", "Orientation", 0), pv::cmd::kOrientationWest);
    // Choosing the current one again keeps its mark (Qt's own toggling must not clear it).
    frame->CommandAction(pv::cmd::kOrientationWest)->trigger();
    QCOMPARE(OrientationChecks(*frame), (QList<bool>{false, true, false, false}));

    QWidget* rotate = frame->CommandBar()->widgetForAction(frame->ToolbarButtons().front());
    QTest::mouseClick(rotate, Qt::LeftButton);
    QCOMPARE(OrientationChecks(*frame), (QList<bool>{false, false, true, false}));
    QTest::mouseClick(rotate, Qt::LeftButton);
    QTest::mouseClick(rotate, Qt::LeftButton);
    QCOMPARE(OrientationChecks(*frame), (QList<bool>{true, false, false, false}));
    QCOMPARE(profile.GetProfileInt("Settings", "Orientation", 0), pv::cmd::kOrientationNorth);
    QVERIFY(io->writes.empty());
}

void TestShell::commandsReachTheSurfaceFirstThenTheApplication_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("fromButton");  // otherwise the menu item
    QTest::addColumn<QString>("wire");
    QTest::addColumn<QStringList>("helpStarts");
    QTest::addColumn<QStringList>("appCalls");
    QTest::addColumn<bool>("clearsInk");

    const QStringList none;
    const QStringList contents{"file:Penvale.htm#Main_Contents"};
    QTest::newRow("Left Click button") << pv::cmd::kLeftClick << true << "!^" << none << none << false;
    QTest::newRow("Right Click button") << pv::cmd::kRightClick << true << "|" << none << none << false;
    QTest::newRow("Double Click button") << pv::cmd::kDoubleClick << true << "!^!^" << none << none << false;
    QTest::newRow("Clear Screen button") << pv::cmd::kClearScreen << true << "" << none << none << true;
    QTest::newRow("Help button") << pv::cmd::kHelp << true << "" << contents << none << false;
    QTest::newRow("Help menu item") << pv::cmd::kHelp << false << "" << contents << none << false;
    QTest::newRow("Settings menu item")
        << pv::cmd::kSettings << false << "" << none << QStringList{"settings"} << false;
    QTest::newRow("About menu item") << pv::cmd::kAppAbout << false << "" << none << QStringList{"about"}
                                     << false;
}

void TestShell::commandsReachTheSurfaceFirstThenTheApplication() {
    QFETCH(int, command);
    QFETCH(bool, fromButton);
    QFETCH(QString, wire);
    QFETCH(QStringList, helpStarts);
    QFETCH(QStringList, appCalls);
    QFETCH(bool, clearsInk);

    CMainFrame* frame = Start();
    QVERIFY(frame != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    DrawInk(frame->Surface());
    QCOMPARE(frame->Surface().FrameBuffer().Pixel(65, 65), 0x000000u);
    io->Take();

    if (fromButton) {
        QAction* button = nullptr;
        for (QAction* candidate : frame->ToolbarButtons()) {
            if (candidate->data().toInt() == command) {
                button = candidate;
            }
        }
        QVERIFY(button != nullptr);
        QTest::mouseClick(frame->CommandBar()->widgetForAction(button), Qt::LeftButton);
    } else {
        QAction* item = frame->CommandAction(command);
        QVERIFY(item != nullptr);
        QVERIFY(frame->ToolsMenu()->actions().contains(item));
        item->trigger();
    }

    QCOMPARE(QString::fromStdString(io->Take()), wire);
    QCOMPARE(HelpStarts(*help), helpStarts);
    QCOMPARE(app->calls, appCalls);
    QCOMPARE(frame->Surface().FrameBuffer().Pixel(65, 65), clearsInk ? 0xFFFFFFu : 0x000000u);
    QVERIFY(boxes->shown.empty());
}

void TestShell::surfaceHasTheFocusAndF1OpensTheContents() {
    CMainFrame* frame = Start();
    QVERIFY(frame != nullptr);
    frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frame));
    QCOMPARE(QApplication::focusWidget(), &frame->Surface());

    QTest::keyClick(frame->windowHandle(), Qt::Key_F1);
    QCOMPARE(HelpStarts(*help), QStringList{"file:Penvale.htm#Main_Contents"});

    // With the focus elsewhere in the frame the frame answers the help request itself.
    frame->CommandBar()->setFocusPolicy(Qt::StrongFocus);
    frame->CommandBar()->setFocus();
    QTest::keyClick(frame->windowHandle(), Qt::Key_F1);
    QCOMPARE(HelpStarts(*help).size(), 2);
    QCOMPARE(HelpStarts(*help).back(), QStringLiteral("file:Penvale.htm#Main_Contents"));

    // Other keys send nothing.
    frame->Surface().setFocus();
    QTest::keyClick(frame->windowHandle(), Qt::Key_A);
    QVERIFY(io->writes.empty());
}

void TestShell::ctrlQEndsTheProgram() {
    CMainFrame* frame = Start();
    QVERIFY(frame != nullptr);
    frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frame));
    QPointer<CMainFrame> alive(frame);
    QTest::keyClick(frame->windowHandle(), Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY(alive.isNull());
    QVERIFY2(io->writes.empty(), "nothing is sent at exit");
    QCOMPARE(app->MainFrame(), nullptr);
}

void TestShell::settingsDialog_data() {
    QTest::addColumn<QString>("stored");  // empty: no value
    QTest::addColumn<int>("moveTo");      // -1: the slider is not moved
    QTest::addColumn<QString>("close");
    QTest::addColumn<int>("shown");
    QTest::addColumn<QString>("afterwards");  // empty: no value

    QTest::newRow("empty profile, OK") << "" << -1 << "ok" << 500 << "500";
    QTest::newRow("1500 shows at the end, OK stores it") << "1500" << -1 << "ok" << 1000 << "1000";
    QTest::newRow("below the range, OK") << "-20" << -1 << "ok" << 0 << "0";
    QTest::newRow("moved to 200, OK") << "700" << 200 << "ok" << 700 << "200";
    QTest::newRow("Enter is OK") << "" << 300 << "enter" << 500 << "300";
    QTest::newRow("moved, Cancel") << "700" << 200 << "cancel" << 700 << "700";
    QTest::newRow("moved, Escape") << "1500" << 200 << "escape" << 1000 << "1500";
    QTest::newRow("moved, close box") << "" << 300 << "closebox" << 500 << "";
}

void TestShell::settingsDialog() {
    QFETCH(QString, stored);
    QFETCH(int, moveTo);
    QFETCH(QString, close);
    QFETCH(int, shown);
    QFETCH(QString, afterwards);

    temp->WriteSettings(stored.isEmpty() ? std::string()
                                         : "ExtendedDrawingTime=" + stored.toStdString() + "\n");
    CQtProfile profile(temp->Path());
    CSettingsDlg dialog(profile);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QCOMPARE(dialog.windowTitle(), QStringLiteral("Penvale Settings"));
    auto* group = dialog.findChild<QGroupBox*>();
    QVERIFY(group != nullptr);
    QCOMPARE(group->title(), QStringLiteral("0 <- Extended Drawing TIme (ms) -> 1000"));
    QSlider* slider = dialog.Slider();
    QCOMPARE(slider->minimum(), 0);
    QCOMPARE(slider->maximum(), 1000);
    QCOMPARE(slider->tickInterval(), 100);
    QCOMPARE(slider->tickPosition(), QSlider::TicksBothSides);
    QCOMPARE(QApplication::focusWidget(), slider);
    QCOMPARE(slider->value(), shown);

    if (moveTo >= 0) {
        slider->setValue(moveTo);
    }
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    if (close == "ok") {
        QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    } else if (close == "cancel") {
        QTest::mouseClick(buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
    } else if (close == "enter") {
        QTest::keyClick(slider, Qt::Key_Return);
    } else if (close == "escape") {
        QTest::keyClick(slider, Qt::Key_Escape);
    } else {
        dialog.close();
    }
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), close == "ok" || close == "enter" ? QDialog::Accepted : QDialog::Rejected);
    QCOMPARE(StoredDrawingTime(temp->Path()), afterwards);
}

void TestShell::settingsFromTheMenuStoresOnOk() {
    // The real application handler this time, with its modal dialog closed from the event loop.
    app = nullptr;
    auto real = std::make_unique<CTabletApp>(*io, temp->Path());
    QVERIFY(real->InitInstance());
    CMainFrame* frame = real->MainFrame();
    QVERIFY(QTest::qWaitForWindowExposed(frame));

    int shown = -1;
    QTimer closer;
    closer.setInterval(10);
    connect(&closer, &QTimer::timeout, [&] {
        auto* dialog = dynamic_cast<CSettingsDlg*>(QApplication::activeModalWidget());
        if (dialog != nullptr && dialog->isVisible()) {
            closer.stop();
            shown = dialog->Slider()->value();
            QCOMPARE(dialog->parentWidget(), frame);
            dialog->Slider()->setValue(200);
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        }
    });
    closer.start();
    frame->CommandAction(pv::cmd::kSettings)->trigger();
    QCOMPARE(shown, 500);
    QCOMPARE(StoredDrawingTime(temp->Path()), QStringLiteral("200"));
}

void TestShell::helpInTheSettingsDialogKeepsItOpen() {
    CQtProfile profile(temp->Path());
    CSettingsDlg dialog(profile);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.Slider()->setValue(300);

    QTest::keyClick(dialog.Slider(), Qt::Key_F1);
    QTest::keyClick(dialog.Slider(), Qt::Key_F1);
    QCOMPARE(HelpStarts(*help),
             (QStringList{"file:Penvale.htm#SettingsDialog", "file:Penvale.htm#SettingsDialog"}));
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.Slider()->value(), 300);
    QCOMPARE(StoredDrawingTime(temp->Path()), QString());
    dialog.reject();
}

void TestShell::startsWithoutServerAndShowsNoBox() {
    // A port where nobody listens: the address is real, the connection is refused.
    int port = 0;
    {
        CLoopbackListener closed("127.0.0.2");
        QVERIFY(closed.Listening());
        port = closed.Port();
    }
    temp->PointAt("127.0.0.2", port);
    CPosixByteLink link;
    CTabletApp real(link, temp->Path());
    QVERIFY(real.InitInstance());
    CMainFrame* frame = real.MainFrame();
    QVERIFY(frame != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    QVERIFY(frame->isVisible());
    QVERIFY(boxes->shown.empty());
    // The empty grid is on the screen.
    const QImage shown = frame->Surface().grab().toImage();
    QCOMPARE(shown.pixel(16, 8) & 0xFFFFFFu, 0x000000u);
    QCOMPARE(shown.pixel(8, 8) & 0xFFFFFFu, 0xFFFFFFu);
}

void TestShell::socketLayerFailureEndsBeforeAnyWindow() {
    CTempProfile untouched;
    io->failOpen = true;
    app = std::make_unique<CRecordingApp>(*io, untouched.Path());
    QVERIFY(!app->InitInstance());
    QCOMPARE(boxes->shown, std::vector<std::string>{"Windows sockets initialization failed."});
    QCOMPARE(app->MainFrame(), nullptr);
    QVERIFY(io->connects.empty());
    QVERIFY2(!QFile::exists(QString::fromStdString(untouched.Path())), "the profile is not touched");
    for (QWidget* window : QApplication::topLevelWidgets()) {
        QVERIFY(!window->isVisible());
    }
}

void TestShell::aboutBoxShowsNameAndVersion() {
    CMainFrame* frame = Start();
    QVERIFY(frame != nullptr);
    CAboutDlg about(frame);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QCOMPARE(about.windowTitle(), QStringLiteral("About Penvale"));
    QStringList texts;
    bool hasIcon = false;
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        texts << label->text();
        hasIcon = hasIcon || !label->pixmap().isNull();
    }
    QVERIFY(hasIcon);
    QVERIFY(texts.contains("Penvale"));
    QVERIFY(texts.contains("Version 1.0"));
    const QPoint offset = about.geometry().center() - frame->geometry().center();
    QVERIFY2(offset.manhattanLength() <= 2, "centred over the frame");
    QTest::keyClick(&about, Qt::Key_Escape);
    QVERIFY(!about.isVisible());
}

void TestShell::helpStartsTheViewerDetachedWithTheTopicAlone() {
    help.reset();
    CQtHelpViewer real;  // the stand-in launcher beside this program
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("started"));
    qputenv("PENVALE_TEST_HELP_LOG", log.toLocal8Bit());

    PvShowHelpTopic("file:Penvale.htm#Main_Contents");
    // Back here while the viewer still runs: let it finish now.
    QFile go(log + QStringLiteral(".go"));
    QVERIFY(go.open(QIODevice::WriteOnly));
    go.close();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(log), 30000);
    QFile started(log);
    QVERIFY(started.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(started.readAll()), QStringLiteral("1\nfile:Penvale.htm#Main_Contents\n"));
    qunsetenv("PENVALE_TEST_HELP_LOG");
}

QTEST_MAIN(TestShell)
#include "shell_test.moc"
