#pragma once
#include <string>

// Where message boxes go: the application installs a modal box, tests a recorder.
class IMessageBoxSink {
public:
    virtual ~IMessageBoxSink() = default;
    // Returns when the user has dismissed the box.
    virtual void Show(const std::string& text) = 0;
};

// Shows a modal message box with an OK button and the application's title as its caption.
// Without an installed sink the text goes to standard error.
void PvMessageBox(const std::string& text);

// Installs sink (nullptr for none) and returns the previous one.
IMessageBoxSink* PvSetMessageBoxSink(IMessageBoxSink* sink);

// Told when a box opens and when it has been dismissed. A box runs a nested event
// loop that takes the input meanwhile (a pen-up, say), so whatever tracks the pen
// stops recognising gestures while one is up and resynchronises afterwards.
class IMessageBoxObserver {
public:
    virtual ~IMessageBoxObserver() = default;
    virtual void OnBoxOpening() = 0;
    virtual void OnBoxClosed() = 0;
};
void PvAddMessageBoxObserver(IMessageBoxObserver* observer);
void PvRemoveMessageBoxObserver(IMessageBoxObserver* observer);
