#include "platform/QtSocketIo.h"

bool CQtSocketIo::Watch(int handle, std::function<void()> onEvent) {
    auto notifier = std::make_unique<QSocketNotifier>(handle, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                     [callback = std::move(onEvent)] { callback(); });
    m_notifiers[handle] = std::move(notifier);
    return true;
}

void CQtSocketIo::SetWatchEnabled(int handle, bool enabled) {
    const auto found = m_notifiers.find(handle);
    if (found != m_notifiers.end()) {
        found->second->setEnabled(enabled);
    }
}

void CQtSocketIo::Unwatch(int handle) {
    const auto found = m_notifiers.find(handle);
    if (found != m_notifiers.end()) {
        // The notifier may be the one whose signal is running: silence it and delete it later.
        found->second->setEnabled(false);
        found->second.release()->deleteLater();
        m_notifiers.erase(found);
    }
}

ISocketIo& PvQtSocketIo() {
    static CQtSocketIo io;
    return io;
}
