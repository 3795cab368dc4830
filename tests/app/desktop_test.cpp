// The desktop's address and port in the Settings dialog: typed, checked as typed,
// stored on OK, and used from the next write on; Cancel changes nothing.
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <string>

#include "platform/PosixByteLink.h"
#include "app/MainFrame.h"
#include "app/SettingsDlg.h"
#include "app/TabletApp.h"
#include "platform/HelpViewer.h"
#include "platform/MessageBox.h"
#include "platform/QtProfile.h"
#include "surface/Commands.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/Recorders.h"
#include "tests/support/TempProfile.h"

namespace {

QByteArray FileBytes(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString Stored(const std::string& path, const char* key) {
    QSettings file(QString::fromStdString(path), QSettings::IniFormat);
    return file.value(QString::fromUtf8(key)).toString();
}

// Replaces a field's text the way a user does: select all, then type.
void Retype(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

std::string Extent(int a, int b) {
    return QString::asprintf(":%04d%04d", a, b).toStdString();
}

}  // namespace

class TestDesktop : public QObject {
    Q_OBJECT

private slots:
    void badInputIsRefusedAsTyped();
    void anEmptyProfileShowsTheDefaultsAndOkLeavesThemUnwritten();
    void okMovesTheNextWriteToTheNewDesktop();
    void cancelChangesNothing();

private:
    // Runs the Settings command of frame; edit runs on the open dialog and closes it.
    void RunSettings(CMainFrame* frame, const std::function<void(CSettingsDlg&)>& edit);
    void Tap(CMainFrame* frame, QPoint client);
    int timestamp = 1000;
};

void TestDesktop::RunSettings(CMainFrame* frame, const std::function<void(CSettingsDlg&)>& edit) {
    bool ran = false;
    QTimer closer;
    closer.setInterval(10);
    connect(&closer, &QTimer::timeout, [&] {
        auto* dialog = dynamic_cast<CSettingsDlg*>(QApplication::activeModalWidget());
        if (dialog != nullptr && dialog->isVisible()) {
            closer.stop();
            ran = true;
            edit(*dialog);
            if (dialog->isVisible()) {
                dialog->reject();
            }
        }
    });
    closer.start();
    frame->CommandAction(pv::cmd::kSettings)->trigger();
    QVERIFY(ran);
}

void TestDesktop::Tap(CMainFrame* frame, QPoint client) {
    const QPointF local = QPointF(client + frame->Surface().mapTo(frame, QPoint(0, 0)));
    for (const auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        timestamp += 1000;
        qt_handleMouseEvent(frame->windowHandle(), local, frame->mapToGlobal(local),
                            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::LeftButton, type,
                            Qt::NoModifier, timestamp);
        QCoreApplication::processEvents();
    }
}

void TestDesktop::badInputIsRefusedAsTyped() {
    CRecordingHelpViewer help;
    CTempProfile temp;
    temp.PointAt("127.0.0.2", 5999);
    const QByteArray before = FileBytes(temp.Path());
    CQtProfile profile(temp.Path());
    CSettingsDlg dialog(profile);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QLineEdit* address = dialog.AddressEdit();
    QLineEdit* port = dialog.PortEdit();
    auto* hint = dialog.findChild<QLabel*>(QStringLiteral("DesktopHint"));
    QVERIFY(hint != nullptr);
    QCOMPARE(address->text(), QStringLiteral("127.0.0.2"));
    QCOMPARE(port->text(), QStringLiteral("5999"));
    QVERIFY(dialog.OkButton()->isEnabled());
    QVERIFY(!hint->isVisible());

    // Characters that no port has never get in.
    port->setFocus();
    port->end(false);
    QTest::keyClicks(port, "x -+.");
    QCOMPARE(port->text(), QStringLiteral("5999"));
    // Numbers outside 1..65535 go in but keep OK off, and Enter does not close.
    for (const char* bad : {"70000", "0", "65536", ""}) {
        Retype(port, QString::fromUtf8(bad));
        QCOMPARE(port->text(), QString::fromUtf8(bad));
        QVERIFY2(!dialog.OkButton()->isEnabled(), bad);
        QVERIFY(hint->isVisible());
        QVERIFY(hint->text().contains(QStringLiteral("port from 1 to 65535")));
        QTest::keyClick(port, Qt::Key_Return);
        QVERIFY(dialog.isVisible());
    }
    Retype(port, QStringLiteral("123456"));
    QCOMPARE(port->text(), QStringLiteral("12345"));
    Retype(port, QStringLiteral("65535"));
    QVERIFY(dialog.OkButton()->isEnabled());

    // Blanks, colons and other signs never get into the address.
    address->setFocus();
    address->end(false);
    QTest::keyClicks(address, " :/_");
    QCOMPARE(address->text(), QStringLiteral("127.0.0.2"));
    for (const char* bad : {"300.1.2.3", "127.0.0", "desk..top", "-desktop", "example.123", ""}) {
        Retype(address, QString::fromUtf8(bad));
        QVERIFY2(!dialog.OkButton()->isEnabled(), bad);
        QVERIFY(hint->text().contains(QStringLiteral("IPv4 address or a host name")));
        QTest::keyClick(address, Qt::Key_Return);
        QVERIFY(dialog.isVisible());
    }
    for (const char* good : {"127.0.0.3", "desktop.local", "my-pc"}) {
        Retype(address, QString::fromUtf8(good));
        QVERIFY2(dialog.OkButton()->isEnabled(), good);
    }
    QVERIFY(!hint->isVisible());
    dialog.reject();
    QCOMPARE(FileBytes(temp.Path()), before);

    // A port stored by hand that is no port shows as it is and must be mended before OK.
    temp.WriteSettings("IP%20Address=127.0.0.2\nPort=5555x\n");
    CQtProfile broken(temp.Path());
    CSettingsDlg again(broken);
    QCOMPARE(again.PortEdit()->text(), QStringLiteral("5555x"));
    QVERIFY(!again.OkButton()->isEnabled());
}

void TestDesktop::anEmptyProfileShowsTheDefaultsAndOkLeavesThemUnwritten() {
    CTempProfile temp;
    CQtProfile profile(temp.Path());
    CSettingsDlg dialog(profile);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.AddressEdit()->text(), QStringLiteral("172.16.42.2"));
    QCOMPARE(dialog.PortEdit()->text(), QStringLiteral("55"));
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QVERIFY(!dialog.DesktopChanged());
    // Only the slider's value: the address and the port keep following the defaults.
    QCOMPARE(Stored(temp.Path(), "Settings/ExtendedDrawingTime"), QStringLiteral("500"));
    const QByteArray text = FileBytes(temp.Path());
    QVERIFY2(!text.contains("IP") && !text.contains("Port"), text.constData());
}

void TestDesktop::okMovesTheNextWriteToTheNewDesktop() {
    CRecordingMessageBox boxes;
    CRecordingHelpViewer help;
    CLoopbackListener first("127.0.0.2");
    CLoopbackListener second("127.0.0.3");
    QVERIFY(first.Listening() && second.Listening());
    CTempProfile temp;
    temp.PointAt("127.0.0.2", first.Port());

    CPosixByteLink link;

    CTabletApp app(link, temp.Path());
    QVERIFY(app.InitInstance());
    CMainFrame* frame = app.MainFrame();
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    QVERIFY(first.Accept());
    QCOMPARE(first.Read(1), std::string("+"));
    // The first paint applies the stored orientation.
    QTRY_VERIFY(frame->CommandAction(pv::cmd::kOrientationNorth)->isChecked());
    frame->Surface().SetHoldTime(24 * 3600 * 1000);
    const int width = 4 * frame->width();
    const int height = 4 * frame->Surface().height();
    const std::string tap = Extent(width, height) + "!^";
    Tap(frame, {100, 50});
    QCOMPARE(QString::fromStdString(first.Read(tap.size())), QString::fromStdString(tap));

    RunSettings(frame, [&](CSettingsDlg& dialog) {
        QCOMPARE(dialog.AddressEdit()->text(), QStringLiteral("127.0.0.2"));
        QCOMPARE(dialog.PortEdit()->text(), QString::number(first.Port()));
        Retype(dialog.AddressEdit(), QStringLiteral("127.0.0.3"));
        Retype(dialog.PortEdit(), QString::number(second.Port()));
        QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    });
    QCOMPARE(Stored(temp.Path(), "Settings/IP Address"), QStringLiteral("127.0.0.3"));
    QCOMPARE(Stored(temp.Path(), "Settings/Port"), QString::number(second.Port()));
    QVERIFY(FileBytes(temp.Path()).contains("Port=" + QByteArray::number(second.Port()) + "\n"));

    // No restart: the next pen event goes to the new desktop, Attach first, with a fresh Extent
    // (on the same desktop this second tap would carry none).
    Tap(frame, {100, 50});
    QVERIFY(second.Accept());
    const std::string opening = "+" + Extent(width, height);
    QCOMPARE(QString::fromStdString(second.Read(opening.size())), QString::fromStdString(opening));
    second.ReadAvailable(200);
    // The old desktop saw its connection end, and nothing more.
    QCOMPARE(first.ReadAvailable(200), std::string());
    frame->OnCmdMsg(pv::cmd::kRightClick);
    QCOMPARE(second.Read(1), std::string("|"));
    QVERIFY(boxes.shown.empty());
}

void TestDesktop::cancelChangesNothing() {
    CRecordingMessageBox boxes;
    CRecordingHelpViewer help;
    CLoopbackListener first("127.0.0.2");
    CLoopbackListener second("127.0.0.3");
    CTempProfile temp;
    temp.PointAt("127.0.0.2", first.Port());
    const QByteArray before = FileBytes(temp.Path());

    CPosixByteLink link;

    CTabletApp app(link, temp.Path());
    QVERIFY(app.InitInstance());
    CMainFrame* frame = app.MainFrame();
    QVERIFY(first.Accept());
    QCOMPARE(first.Read(1), std::string("+"));

    for (const char* how : {"cancel", "escape"}) {
        RunSettings(frame, [&](CSettingsDlg& dialog) {
            Retype(dialog.AddressEdit(), QStringLiteral("127.0.0.3"));
            Retype(dialog.PortEdit(), QString::number(second.Port()));
            if (QByteArray(how) == "cancel") {
                QTest::mouseClick(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel),
                                  Qt::LeftButton);
            } else {
                QTest::keyClick(dialog.PortEdit(), Qt::Key_Escape);
            }
            QVERIFY(!dialog.isVisible());
        });
        QCOMPARE(FileBytes(temp.Path()), before);
        frame->OnCmdMsg(pv::cmd::kLeftClick);
        QCOMPARE(first.Read(2), std::string("!^"));
    }
    QVERIFY(!second.Accept(300));
    QVERIFY(boxes.shown.empty());
}

QTEST_MAIN(TestDesktop)
#include "desktop_test.moc"
