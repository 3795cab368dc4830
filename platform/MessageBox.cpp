#include "platform/MessageBox.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
IMessageBoxSink* g_pSink = nullptr;
std::vector<IMessageBoxObserver*> g_observers;
}  // namespace

void PvMessageBox(const std::string& text) {
    // A copy: an observer may remove itself while it is told.
    const std::vector<IMessageBoxObserver*> observers = g_observers;
    for (IMessageBoxObserver* observer : observers) {
        observer->OnBoxOpening();
    }
    if (g_pSink != nullptr) {
        g_pSink->Show(text);
    } else {
        std::fprintf(stderr, "Penvale: %s\n", text.c_str());
    }
    // Taken again: observers may have come and gone while the box was up.
    const std::vector<IMessageBoxObserver*> after = g_observers;
    for (IMessageBoxObserver* observer : after) {
        observer->OnBoxClosed();
    }
}

IMessageBoxSink* PvSetMessageBoxSink(IMessageBoxSink* sink) {
    IMessageBoxSink* previous = g_pSink;
    g_pSink = sink;
    return previous;
}

void PvAddMessageBoxObserver(IMessageBoxObserver* observer) {
    g_observers.push_back(observer);
}

void PvRemoveMessageBoxObserver(IMessageBoxObserver* observer) {
    g_observers.erase(std::remove(g_observers.begin(), g_observers.end(), observer), g_observers.end());
}
