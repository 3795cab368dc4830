// penvale: the handheld program.
#include <QApplication>

#include "app/TabletApp.h"
#include "platform/QtMessageBox.h"

int main(int argc, char** argv) {
    // Every stylus sample counts: the surface merges moves itself and keeps each point.
    QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
    QApplication application(argc, argv);
    CQtMessageBox messageBoxes;
    CTabletApp theApp;
    if (!theApp.InitInstance()) {
        return 1;
    }
    return application.exec();
}
