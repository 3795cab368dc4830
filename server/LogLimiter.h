#pragma once
// Keeps a log readable under a flood: one line per key (a peer's address, a
// kind of failure) per interval, and the lines held back are counted into the
// next one that is written.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>

namespace pv::server {

inline constexpr std::chrono::seconds kLogInterval{10};

class LogLimiter {
public:
    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;

    explicit LogLimiter(Clock::duration interval = kLogInterval, Now now = &Clock::now)
        : m_interval(interval), m_now(std::move(now)) {}

    // The number of lines held back for key since its last line, when this line
    // is to be written; nothing when it is to be held back too.
    std::optional<long> Pass(std::uint64_t key);

private:
    struct Entry {
        Clock::time_point written;
        long held = 0;
    };
    Clock::duration m_interval;
    Now m_now;
    std::unordered_map<std::uint64_t, Entry> m_entries;
};

}  // namespace pv::server
