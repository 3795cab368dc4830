#include "platform/QtFdWatcher.h"

void CQtFdWatcher::Watch(int fd, std::function<void()> onEvent) {
    Unwatch(fd);
    auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                     [callback = std::move(onEvent)] { callback(); });
    m_notifiers[fd] = std::move(notifier);
}

void CQtFdWatcher::SetEnabled(int fd, bool enabled) {
    const auto found = m_notifiers.find(fd);
    if (found != m_notifiers.end()) {
        found->second->setEnabled(enabled);
    }
}

void CQtFdWatcher::Unwatch(int fd) {
    const auto found = m_notifiers.find(fd);
    if (found != m_notifiers.end()) {
        // The notifier may be the one whose signal is running: silence it and delete it later.
        found->second->setEnabled(false);
        found->second.release()->deleteLater();
        m_notifiers.erase(found);
    }
}

IFdWatcher& PvQtFdWatcher() {
    static CQtFdWatcher watcher;
    return watcher;
}
