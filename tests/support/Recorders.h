#pragma once
// Test doubles for the boxes and the help viewer: they record instead of showing,
// for as long as they live.
#include <string>
#include <vector>

#include "platform/HelpViewer.h"
#include "platform/MessageBox.h"

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

class CRecordingHelpViewer : public IHelpViewer {
public:
    CRecordingHelpViewer() : m_pPrevious(PvSetHelpViewer(this)) {}
    ~CRecordingHelpViewer() override { PvSetHelpViewer(m_pPrevious); }
    CRecordingHelpViewer(const CRecordingHelpViewer&) = delete;
    CRecordingHelpViewer& operator=(const CRecordingHelpViewer&) = delete;

    void Start(const std::string& commandLine) override { started.push_back(commandLine); }
    std::vector<std::string> started;

private:
    IHelpViewer* m_pPrevious;
};
