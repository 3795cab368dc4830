#include "server/LogLimiter.h"

namespace pv::server {

namespace {

// Many addresses at once is itself a flood: entries older than the interval go
// when there are this many, and all of them go if that is not enough.
constexpr std::size_t kMaxEntries = 4096;

}  // namespace

std::optional<long> LogLimiter::Pass(std::uint64_t key) {
    Clock::time_point now = m_now();
    auto found = m_entries.find(key);
    if (found != m_entries.end() && now - found->second.written < m_interval) {
        ++found->second.held;
        return std::nullopt;
    }
    long held = found != m_entries.end() ? found->second.held : 0;
    if (found == m_entries.end() && m_entries.size() >= kMaxEntries) {
        std::erase_if(m_entries, [&](const auto& entry) { return now - entry.second.written >= m_interval; });
        if (m_entries.size() >= kMaxEntries) {
            m_entries.clear();
        }
    }
    m_entries[key] = Entry{now, 0};
    return held;
}

}  // namespace pv::server
