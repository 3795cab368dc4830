#include "platform/HelpViewer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace {

// The launcher installed beside the program, or the one on the PATH.
class CDetachedHelpViewer : public IHelpViewer {
public:
    void Start(const std::string& commandLine) override {
        QString program = QStringLiteral("penvale-help");
        if (QCoreApplication::instance() != nullptr) {
            const QFileInfo beside(QCoreApplication::applicationDirPath() + QStringLiteral("/penvale-help"));
            if (beside.isExecutable()) {
                program = beside.filePath();
            }
        }
        QProcess::startDetached(program, QStringList{QString::fromStdString(commandLine)});
    }
};

CDetachedHelpViewer g_detached;
IHelpViewer* g_pViewer = nullptr;

}  // namespace

void PvShowHelpTopic(const std::string& commandLine) {
    (g_pViewer != nullptr ? *g_pViewer : g_detached).Start(commandLine);
}

IHelpViewer* PvSetHelpViewer(IHelpViewer* viewer) {
    IHelpViewer* previous = g_pViewer;
    g_pViewer = viewer;
    return previous;
}
