#pragma once
#include "platform/HelpViewer.h"

// The two places in the help file that the program opens.
inline constexpr char kHelpMainContents[] = "file:Penvale.htm#Main_Contents";
inline constexpr char kHelpSettingsDialog[] = "file:Penvale.htm#SettingsDialog";

// Starts the help viewer on a topic; nothing is reported when it cannot start.
inline void ShowHelpTopic(const char* commandLine) {
    PvShowHelpTopic(commandLine);
}
