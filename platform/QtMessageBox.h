#pragma once
#include <optional>
#include <string>

#include "platform/MessageBox.h"

// Shows every message as a modal QMessageBox with an OK button and "Penvale" as its
// caption, over the active window, for as long as it lives.
class CQtMessageBox : public IMessageBoxSink {
public:
    CQtMessageBox() : m_pPrevious(PvSetMessageBoxSink(this)) {}
    ~CQtMessageBox() override { PvSetMessageBoxSink(m_pPrevious); }
    CQtMessageBox(const CQtMessageBox&) = delete;
    CQtMessageBox& operator=(const CQtMessageBox&) = delete;

    void Show(const std::string& text) override;

    // The next box is answered at once, as if its OK had been pressed, without being
    // shown; its text is kept for LastAnsweredText. One box only.
    static void SetNextAnswer();
    static const std::optional<std::string>& LastAnsweredText();

private:
    IMessageBoxSink* m_pPrevious;
};
