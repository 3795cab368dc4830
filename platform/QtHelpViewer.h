#pragma once
#include "platform/HelpViewer.h"

// Starts the launcher penvale-help (the one beside the program, else the one on the
// PATH) detached, for as long as it lives.
class CQtHelpViewer : public IHelpViewer {
public:
    CQtHelpViewer() : m_pPrevious(PvSetHelpViewer(this)) {}
    ~CQtHelpViewer() override { PvSetHelpViewer(m_pPrevious); }
    CQtHelpViewer(const CQtHelpViewer&) = delete;
    CQtHelpViewer& operator=(const CQtHelpViewer&) = delete;

    void Start(const std::string& commandLine) override;

private:
    IHelpViewer* m_pPrevious;
};
