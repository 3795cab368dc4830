// The Qt program under the browser test's gesture script: the real main window,
// the same client size and bar height as the page, mouse input at the same
// client points, connected to a penvale-server given on the command line.
// Prints "snapshot NAME WIDTH HEIGHT" for each framebuffer written (R, G, B, A
// bytes to DIR/NAME.rgba), the boxes shown and the stored drawing time.
//
// usage: web_qt_replay SCRIPT ADDRESS PORT DIR
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolBar>
#include <QWindow>
#include <cstdio>
#include <fstream>
#include <vector>

#include "platform/PosixByteLink.h"
#include "app/MainFrame.h"
#include "app/TabletApp.h"
#include "platform/HelpViewer.h"
#include "platform/MessageBox.h"
#include "tests/support/Recorders.h"
#include "tests/support/TempProfile.h"

void qt_handleMouseEvent(QWindow* window, const QPointF& local, const QPointF& global, Qt::MouseButtons state,
                         Qt::MouseButton button, QEvent::Type type, Qt::KeyboardModifiers mods,
                         int timestamp);

namespace {

CMainFrame* g_frame = nullptr;
int g_timestamp = 1000;

// Lets the event loop run for a while (timers, the hold, the extended drawing window).
void Wait(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

void Mouse(QEvent::Type type, QPoint client, int gap) {
    const QPointF local = QPointF(client + g_frame->Surface().mapTo(g_frame, QPoint(0, 0)));
    g_timestamp += gap;
    const bool press = type != QEvent::MouseButtonRelease;
    qt_handleMouseEvent(
        g_frame->windowHandle(), local, g_frame->mapToGlobal(local), press ? Qt::LeftButton : Qt::NoButton,
        type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, type, Qt::NoModifier, g_timestamp);
    // Each event is handled before the next arrives, as the page waits for each.
    QCoreApplication::processEvents();
}

QPoint Point(const QJsonValue& value) {
    const QJsonArray a = value.toArray();
    return {a.at(0).toInt(), a.at(1).toInt()};
}

// Down at the first point, moves through the others, up at the last.
void Drag(const QJsonArray& points, int holdMs, int downGap) {
    Mouse(QEvent::MouseButtonPress, Point(points.at(0)), downGap);
    if (holdMs > 0) {
        Wait(holdMs);
    }
    for (int i = 1; i < points.size(); ++i) {
        Mouse(QEvent::MouseMove, Point(points.at(i)), 20);
    }
    Mouse(QEvent::MouseButtonRelease, Point(points.at(points.size() - 1)), 20);
}

void Snapshot(const QString& name, const std::string& dir) {
    CSurfaceWidget& surface = g_frame->Surface();
    surface.repaint();
    QCoreApplication::processEvents();
    const CPvFrameBuffer& frame = surface.FrameBuffer();
    std::ofstream out(dir + "/" + name.toStdString() + ".rgba", std::ios::binary);
    // R, G, B, A bytes, as the page's canvas gives its pixels back.
    std::vector<char> rgba;
    rgba.reserve(static_cast<std::size_t>(frame.Width()) * static_cast<std::size_t>(frame.Height()) * 4);
    for (int y = 0; y < frame.Height(); ++y) {
        for (int x = 0; x < frame.Width(); ++x) {
            const PvColor colour = frame.Pixel(x, y);
            rgba.insert(rgba.end(), {static_cast<char>(colour >> 16), static_cast<char>(colour >> 8),
                                     static_cast<char>(colour), static_cast<char>(255)});
        }
    }
    out.write(rgba.data(), static_cast<std::streamsize>(rgba.size()));
    std::printf("snapshot %s %d %d\n", qPrintable(name), frame.Width(), frame.Height());
}

// The page's layout: the bar is exactly bar pixels high, the surface fills the rest.
void Layout(int width, int height, int bar) {
    g_frame->CommandBar()->setFixedHeight(bar);
    g_frame->resize(width, height);
    for (int i = 0; i < 200 && (g_frame->width() != width || g_frame->Surface().height() != height - bar);
         ++i) {
        Wait(10);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: web_qt_replay SCRIPT ADDRESS PORT DIR\n");
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    const QJsonObject script = QJsonDocument::fromJson(file.readAll()).object();
    const std::string dir = argv[4];
    const int bar = script["bar"].toInt();

    CRecordingMessageBox boxes;
    CRecordingHelpViewer help;
    CTempProfile profile;
    profile.WriteSettings(std::string("IP%20Address=") + argv[2] + "\nPort=" + argv[3] +
                          "\nExtendedDrawingTime=" + std::to_string(script["extendedDrawingTime"].toInt()) +
                          "\n");
    CPosixByteLink link;
    CTabletApp app(link, profile.Path());
    if (!app.InitInstance()) {
        return 1;
    }
    g_frame = app.MainFrame();
    const QJsonArray page = script["page"].toArray();
    Layout(page.at(0).toInt(), page.at(1).toInt(), bar);
    Wait(300);
    std::printf("layout %d %d %d\n", g_frame->width(), g_frame->Surface().mapTo(g_frame, QPoint(0, 0)).y(),
                g_frame->Surface().height());

    for (const QJsonValue& value : script["steps"].toArray()) {
        const QJsonObject step = value.toObject();
        if (step.contains("tap")) {
            const QJsonArray one{step["tap"]};
            Drag(one, 0, 1000);
        } else if (step.contains("wait")) {
            Wait(step["wait"].toInt());
        } else if (step.contains("slide")) {
            Drag(step["slide"].toArray(), 0, 1000);
        } else if (step.contains("holdDrag")) {
            Drag(step["holdDrag"].toArray(), 1000, 1000);
        } else if (step.contains("doubleTapDrag")) {
            const QJsonArray points = step["doubleTapDrag"].toArray();
            Drag(QJsonArray{points.at(0)}, 0, 1000);
            Drag(points, 0, 60);
        } else if (step.contains("doubleTapApart")) {
            const QJsonArray points = step["doubleTapApart"].toArray();
            Drag(QJsonArray{points.at(0)}, 0, 1000);
            Drag(QJsonArray::fromVariantList(points.toVariantList().mid(1)), 0, 60);
        } else if (step.contains("holdDrift")) {
            const QJsonArray points = step["holdDrift"].toArray();
            Mouse(QEvent::MouseButtonPress, Point(points.at(0)), 1000);
            Mouse(QEvent::MouseMove, Point(points.at(1)), 20);
            Wait(1000);
            for (int i = 2; i < points.size(); ++i) {
                Mouse(QEvent::MouseMove, Point(points.at(i)), 20);
            }
            Mouse(QEvent::MouseButtonRelease, Point(points.at(points.size() - 1)), 20);
        } else if (step.contains("command")) {
            const int id = step["command"].toInt();
            for (QAction* button : g_frame->ToolbarButtons()) {
                if (button->data().toInt() == id) {
                    button->trigger();
                }
            }
            QCoreApplication::processEvents();
        } else if (step.contains("orientation")) {
            g_frame->CommandAction(step["orientation"].toInt())->trigger();
            QCoreApplication::processEvents();
        } else if (step.contains("resize")) {
            const QJsonArray size = step["resize"].toArray();
            Layout(size.at(0).toInt(), size.at(1).toInt(), bar);
            Wait(100);
        } else if (step.contains("settings")) {
            const int milliseconds = step["settings"].toInt();
            // The dialog is modal: it is answered from inside its own event loop.
            QTimer::singleShot(100, [milliseconds] {
                QWidget* dialog = QApplication::activeModalWidget();
                if (dialog == nullptr) {
                    return;
                }
                dialog->findChild<QSlider*>()->setValue(milliseconds);
                for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
                    if (button->text().remove('&') == QStringLiteral("OK")) {
                        button->click();
                    }
                }
            });
            g_frame->CommandAction(107)->trigger();
            std::printf("setting ExtendedDrawingTime %d\n",
                        app.Profile()->GetProfileInt("Settings", "ExtendedDrawingTime", -1));
        } else if (step.contains("snapshot")) {
            Snapshot(step["snapshot"].toString(), dir);
        }
    }
    Wait(300);
    for (const std::string& text : boxes.shown) {
        std::printf("box %s\n", text.c_str());
    }
    std::fflush(stdout);
    return 0;
}
