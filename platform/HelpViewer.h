#pragma once
#include <string>
#include <vector>

// Starts the help viewer as a separate process with commandLine as its only argument,
// never waiting for it. A viewer that cannot be started is ignored.
void PvShowHelpTopic(const std::string& commandLine);

// Where help requests go: the real viewer by default, a recorder in tests.
class IHelpViewer {
public:
    virtual ~IHelpViewer() = default;
    virtual void Start(const std::string& commandLine) = 0;
};
IHelpViewer* PvSetHelpViewer(IHelpViewer* viewer);  // nullptr: the real viewer; returns the previous

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
