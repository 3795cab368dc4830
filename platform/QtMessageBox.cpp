#include "platform/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

void CQtMessageBox::Show(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Penvale"), QString::fromStdString(text),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}
