#include "platform/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

namespace {
bool g_bAnswerNext = false;
std::optional<std::string> g_lastAnswered;
}  // namespace

void CQtMessageBox::SetNextAnswer() {
    g_bAnswerNext = true;
}

const std::optional<std::string>& CQtMessageBox::LastAnsweredText() {
    return g_lastAnswered;
}

void CQtMessageBox::Show(const std::string& text) {
    if (g_bAnswerNext) {
        g_bAnswerNext = false;
        g_lastAnswered = text;
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Penvale"), QString::fromStdString(text),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}
