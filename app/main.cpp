// penvale: the handheld program.
#include <QApplication>
#include <QCommandLineParser>

#include "app/TabletApp.h"
#include "platform/QtHelpViewer.h"
#include "platform/QtMessageBox.h"
#include "platform/QtFdWatcher.h"

namespace {

void Describe(QCommandLineParser& parser) {
    QCoreApplication::setApplicationName(QStringLiteral("penvale"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PENVALE_VERSION));
    parser.setApplicationDescription(
        QStringLiteral("Penvale: the handheld's touch screen as a pen tablet for a desktop PC.\n"
                       "The desktop's address and port are set in Tools > Settings."));
    parser.addHelpOption();
    parser.addVersionOption();
}

}  // namespace

int main(int argc, char** argv) {
    {
        // --help and --version answer before any window system is needed.
        QCoreApplication options(argc, argv);
        QCommandLineParser parser;
        Describe(parser);
        if (parser.parse(QCoreApplication::arguments())) {
            if (parser.isSet(QStringLiteral("help"))) {
                parser.showHelp(0);
            }
            if (parser.isSet(QStringLiteral("version"))) {
                parser.showVersion();
            }
        }
    }
    // Every stylus sample counts: the surface merges moves itself and keeps each point.
    QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
    QApplication application(argc, argv);
    // What is left once Qt took its own options (-platform and the like) must be ours.
    QCommandLineParser parser;
    Describe(parser);
    parser.process(application);

    CQtMessageBox messageBoxes;
    CQtHelpViewer helpViewer;
    CPosixByteLink link(PvQtFdWatcher());
    CTabletApp theApp(link);
    if (!theApp.InitInstance()) {
        return 1;
    }
    return application.exec();
}
