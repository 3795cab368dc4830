#pragma once
// Test doubles: a sink and a pointer device that write down what reaches them,
// safe to read from the test thread while a server thread writes.

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "server/Message.h"
#include "server/PointerDevice.h"

namespace pv::server::test {

class Recorder {
public:
    void Add(std::string line) {
        std::lock_guard lock(m_mutex);
        m_lines.push_back(std::move(line));
        m_times.push_back(std::chrono::steady_clock::now());
        m_changed.notify_all();
    }
    std::vector<std::string> Lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    // When each line came.
    std::vector<std::chrono::steady_clock::time_point> Times() const {
        std::lock_guard lock(m_mutex);
        return m_times;
    }
    // Waits until count lines are here. The bound only keeps a broken server from
    // hanging the test; it is never what a passing test measures.
    bool WaitFor(std::size_t count, std::chrono::seconds bound = std::chrono::seconds(20)) const {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, bound, [&] { return m_lines.size() >= count; });
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<std::string> m_lines;
    std::vector<std::chrono::steady_clock::time_point> m_times;
};

class RecordingSink : public MessageSink, public Recorder {
public:
    void OnMessage(const Message& message) override { Add(FormatMessage(message)); }
    void OnConnectionEnd() override { Add("end"); }
};

// Records what it takes. Set failing to make it refuse writes (as a device
// that has gone away does), recording "refused ..." instead.
class RecordingDevice : public PointerDevice, public Recorder {
public:
    int Move(int x, int y) override { return Take("move " + std::to_string(x) + " " + std::to_string(y)); }
    int SetButton(PointerButton button, bool down) override {
        return Take(std::string(button == PointerButton::Left ? "left" : "right") + (down ? " down" : " up"));
    }
    std::atomic<bool> failing{false};

private:
    int Take(std::string line) {
        if (failing.load()) {
            Add("refused " + line);
            return ENODEV;
        }
        Add(std::move(line));
        return 0;
    }
};

}  // namespace pv::server::test
