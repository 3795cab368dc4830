#include "platform/QtHelpViewer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

void CQtHelpViewer::Start(const std::string& commandLine) {
    QString program = QStringLiteral("penvale-help");
    if (QCoreApplication::instance() != nullptr) {
        const QFileInfo beside(QCoreApplication::applicationDirPath() + QStringLiteral("/penvale-help"));
        if (beside.isExecutable()) {
            program = beside.filePath();
        }
    }
    QProcess::startDetached(program, QStringList{QString::fromStdString(commandLine)});
}
