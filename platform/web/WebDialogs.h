#pragma once
#include <string>

#include "platform/HelpViewer.h"
#include "platform/MessageBox.h"

// Message boxes as the page's own modal dialogs: the box appears over the page
// and Show returns at once (a page cannot wait); the page keeps the surface from
// seeing the pen until every box is closed.
class CWebMessageBox : public IMessageBoxSink {
public:
    void Show(const std::string& text) override;
};

// Help topics ("file:Penvale.htm#Anchor") open the help file that the page's own
// server serves, "/Penvale.htm#Anchor", in a new browser tab.
class CWebHelpViewer : public IHelpViewer {
public:
    void Start(const std::string& commandLine) override;
    // The address that a topic opens; empty for a command line that names no file.
    static std::string Url(const std::string& commandLine);
};
