#include "platform/MessageBox.h"

#include <cstdio>

namespace {
IMessageBoxSink* g_pSink = nullptr;
}

void PvMessageBox(const std::string& text) {
    if (g_pSink != nullptr) {
        g_pSink->Show(text);
    } else {
        std::fprintf(stderr, "Penvale: %s\n", text.c_str());
    }
}

IMessageBoxSink* PvSetMessageBoxSink(IMessageBoxSink* sink) {
    IMessageBoxSink* previous = g_pSink;
    g_pSink = sink;
    return previous;
}
