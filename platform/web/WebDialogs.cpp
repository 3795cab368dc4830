#include "platform/web/WebDialogs.h"

#include <emscripten/emscripten.h>

// The page's script does the showing.
EM_JS(void, pv_page_message_box, (const char* text), { PvPage.messageBox(UTF8ToString(text)); });
EM_JS(void, pv_page_open, (const char* url), { PvPage.openHelp(UTF8ToString(url)); });

void CWebMessageBox::Show(const std::string& text) {
    pv_page_message_box(text.c_str());
}

std::string CWebHelpViewer::Url(const std::string& commandLine) {
    constexpr char kScheme[] = "file:";
    if (commandLine.rfind(kScheme, 0) != 0) {
        return {};
    }
    std::string path = commandLine.substr(sizeof kScheme - 1);
    // Only a plain file name beside the page: nothing that climbs out or names another host.
    const std::string file = path.substr(0, path.find('#'));
    if (file.empty() || file.find_first_of("/\\:?") != std::string::npos || file.find("..") != std::string::npos) {
        return {};
    }
    return "/" + path;
}

void CWebHelpViewer::Start(const std::string& commandLine) {
    const std::string url = Url(commandLine);
    if (!url.empty()) {
        pv_page_open(url.c_str());
    }
}
