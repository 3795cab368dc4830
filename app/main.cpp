// penvale: the handheld program.
#include <QApplication>
#include <QStyleHints>

#include "app/TabletApp.h"
#include "platform/GestureTiming.h"
#include "platform/QtHelpViewer.h"
#include "platform/QtMessageBox.h"
#include "platform/QtSocketIo.h"

int main(int argc, char** argv) {
    // Every stylus sample counts: the surface merges moves itself and keeps each point.
    QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
    QApplication application(argc, argv);
    // A double tap is told apart by the same time here as in every other layer (the
    // distance is the platform's own, 5 pixels by default, as there).
    QGuiApplication::styleHints()->setMouseDoubleClickInterval(pv::gesture::kDoubleTapTimeMs);
    CQtMessageBox messageBoxes;
    CQtHelpViewer helpViewer;
    CTabletApp theApp(PvQtSocketIo());
    if (!theApp.InitInstance()) {
        return 1;
    }
    return application.exec();
}
