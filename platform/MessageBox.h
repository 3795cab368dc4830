#pragma once
#include <string>
#include <vector>

// Where message boxes go: the application installs a modal box, tests a recorder.
class IMessageBoxSink {
public:
    virtual ~IMessageBoxSink() = default;
    virtual void Show(const std::string& text) = 0;
};

// Shows a modal message box with an OK button and the application's title as its caption.
// Without an installed sink the text goes to standard error.
void PvMessageBox(const std::string& text);

// Installs sink (nullptr for none) and returns the previous one.
IMessageBoxSink* PvSetMessageBoxSink(IMessageBoxSink* sink);

// Records every box instead of showing it, for as long as it lives.
class CRecordingMessageBox : public IMessageBoxSink {
public:
    CRecordingMessageBox() : m_pPrevious(PvSetMessageBoxSink(this)) {}
    ~CRecordingMessageBox() override { PvSetMessageBoxSink(m_pPrevious); }
    CRecordingMessageBox(const CRecordingMessageBox&) = delete;
    CRecordingMessageBox& operator=(const CRecordingMessageBox&) = delete;

    void Show(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;

private:
    IMessageBoxSink* m_pPrevious;
};
