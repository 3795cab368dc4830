#include "platform/HostLookup.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

// Each abandoned look-up keeps a thread until the resolver gives up by itself
// (about 10 s with a silent name server): a handful is plenty.
constexpr int kMaxAbandoned = 8;
std::atomic<int> g_nAbandoned{0};

struct CLookUpState {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    int result = 0;
    std::uint32_t address = 0;
};

}  // namespace

int PvSystemHostLookup(const std::string& host, std::uint32_t& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return EHOSTUNREACH;
    }
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(found);
    return 0;
}

int PvLookUpWithin(const PvHostLookup& lookup, const std::string& host, std::uint32_t& address, int timeoutMs) {
    if (g_nAbandoned.load() >= kMaxAbandoned) {
        return EAGAIN;
    }
    auto state = std::make_shared<CLookUpState>();
    try {
        // The thread owns copies of everything it uses: it may outlive this call.
        std::thread([state, lookup, host] {
            std::uint32_t found = 0;
            const int result = lookup(host, found);
            const std::lock_guard<std::mutex> lock(state->mutex);
            state->finished = true;
            state->result = result;
            state->address = found;
            if (state->abandoned) {
                --g_nAbandoned;
            }
            state->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return EAGAIN;
    }
    std::unique_lock<std::mutex> lock(state->mutex);
    if (!state->done.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return state->finished; })) {
        state->abandoned = true;
        ++g_nAbandoned;
        return ETIMEDOUT;
    }
    if (state->result == 0) {
        address = state->address;
    }
    return state->result;
}

int PvAbandonedLookUps() {
    return g_nAbandoned.load();
}
