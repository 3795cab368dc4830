#pragma once
#include <string>
#include <string_view>

// Where help requests go: the application installs the real viewer, tests a recorder.
class IHelpViewer {
public:
    virtual ~IHelpViewer() = default;
    // Starts the viewer as a separate process with commandLine as its only argument,
    // never waiting for it. A viewer that cannot be started is ignored.
    virtual void Start(const std::string& commandLine) = 0;
};

// Opens the help file at a topic through the installed viewer; without one, nothing happens.
void PvShowHelpTopic(std::string_view commandLine);

// Installs viewer (nullptr for none) and returns the previous one.
IHelpViewer* PvSetHelpViewer(IHelpViewer* viewer);
