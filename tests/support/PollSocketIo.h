#pragma once
// The POSIX socket layer with watching done by poll(2) when the test pumps it: the
// event loop of a program, without one.
#include <poll.h>

#include <chrono>
#include <functional>
#include <map>
#include <thread>
#include <vector>

#include "platform/SocketIo.h"

class CPollSocketIo : public ISocketIo {
public:
    int Open() override { return m_inner.Open(); }
    int Connect(int handle, const std::string& address, int port, int timeoutMs) override {
        return m_inner.Connect(handle, address, port, timeoutMs);
    }
    int Send(int handle, const void* bytes, std::size_t length) override { return m_inner.Send(handle, bytes, length); }
    int Shutdown(int handle) override { return m_inner.Shutdown(handle); }
    int Close(int handle) override {
        m_watches.erase(handle);
        return m_inner.Close(handle);
    }
    int SetNoDelay(int handle) override { return m_inner.SetNoDelay(handle); }
    int LastError() const override { return m_inner.LastError(); }
    int Receive(int handle, void* buffer, std::size_t length) override {
        return m_inner.Receive(handle, buffer, length);
    }
    bool Watch(int handle, std::function<void()> onEvent) override {
        m_watches[handle] = {std::move(onEvent), true};
        return true;
    }
    void SetWatchEnabled(int handle, bool enabled) override {
        const auto found = m_watches.find(handle);
        if (found != m_watches.end()) {
            found->second.enabled = enabled;
        }
    }
    void Unwatch(int handle) override { m_watches.erase(handle); }

    // One round of the event loop: waits at most timeoutMs for a watched socket and
    // reports each ready one once.
    void Pump(int timeoutMs = 10) {
        std::vector<pollfd> fds;
        for (const auto& [handle, watch] : m_watches) {
            if (watch.enabled) {
                fds.push_back({handle, POLLIN, 0});
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
    ISocketIo& m_inner = PvPosixSocketIo();
    std::map<int, Watching> m_watches;
};
