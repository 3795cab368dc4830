#pragma once
// Descriptors watched by poll(2) when the test pumps: the event loop of a program, without one.
#include <poll.h>

#include <chrono>
#include <functional>
#include <map>
#include <thread>
#include <vector>

#include "platform/PosixByteLink.h"

class CPollWatcher : public IFdWatcher {
public:
    void Watch(int fd, std::function<void()> onEvent) override { m_watches[fd] = {std::move(onEvent), true}; }
    void SetEnabled(int fd, bool enabled) override {
        const auto found = m_watches.find(fd);
        if (found != m_watches.end()) {
            found->second.enabled = enabled;
        }
    }
    void Unwatch(int fd) override { m_watches.erase(fd); }

    // One round of the event loop: waits at most timeoutMs for a watched socket and
    // reports each ready one once.
    void Pump(int timeoutMs = 10) {
        std::vector<pollfd> fds;
        for (const auto& [fd, watch] : m_watches) {
            if (watch.enabled) {
                fds.push_back({fd, POLLIN, 0});
            }
        }
        if (fds.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
            return;
        }
        if (::poll(fds.data(), fds.size(), timeoutMs) <= 0) {
            return;
        }
        for (const pollfd& p : fds) {
            const auto found = m_watches.find(p.fd);
            if (p.revents != 0 && found != m_watches.end() && found->second.enabled) {
                // A copy: the report may unwatch the socket.
                const std::function<void()> report = found->second.onEvent;
                report();
            }
        }
    }

    // Pumps until done() or about timeoutMs have passed.
    template <typename Done>
    bool PumpUntil(Done done, int timeoutMs = 3000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() >= end) {
                return false;
            }
            Pump(10);
        }
        return true;
    }

private:
    struct Watching {
        std::function<void()> onEvent;
        bool enabled = true;
    };
    std::map<int, Watching> m_watches;
};
