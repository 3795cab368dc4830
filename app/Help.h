#pragma once
#include "platform/HelpViewer.h"

#include "surface/Commands.h"

inline constexpr const char* kHelpMainContents = pv::help::kMainContents;
inline constexpr const char* kHelpSettingsDialog = pv::help::kSettingsDialog;

// Starts the help viewer on a topic; nothing is reported when it cannot start.
inline void ShowHelpTopic(const char* commandLine) {
    PvShowHelpTopic(commandLine);
}
