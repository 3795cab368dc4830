#pragma once
#include <QSocketNotifier>
#include <map>
#include <memory>

#include "platform/PosixByteLink.h"

// Descriptors watched through the Qt event loop: incoming data and the peer's close
// reach the UI thread through a QSocketNotifier.
class CQtFdWatcher : public IFdWatcher {
public:
    void Watch(int fd, std::function<void()> onEvent) override;
    void SetEnabled(int fd, bool enabled) override;
    void Unwatch(int fd) override;

private:
    std::map<int, std::unique_ptr<QSocketNotifier>> m_notifiers;
};

// The watcher the Qt program's links use, shared by the process.
IFdWatcher& PvQtFdWatcher();
