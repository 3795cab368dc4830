#include "platform/HelpViewer.h"

namespace {
IHelpViewer* g_pViewer = nullptr;
}

void PvShowHelpTopic(std::string_view commandLine) {
    if (g_pViewer != nullptr) {
        g_pViewer->Start(std::string(commandLine));
    }
}

IHelpViewer* PvSetHelpViewer(IHelpViewer* viewer) {
    IHelpViewer* previous = g_pViewer;
    g_pViewer = viewer;
    return previous;
}
