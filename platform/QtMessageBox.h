#pragma once
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

private:
    IMessageBoxSink* m_pPrevious;
};
