#include "server/Output.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace pv::server {

namespace {

// How often a wait for a full fd looks at the stop flag, should the signal that
// set it have come just before the wait began.
constexpr int kStopCheckMs = 100;

}  // namespace

int WriteAll(int fd, std::string_view text, const std::atomic<bool>& stop) {
    while (!text.empty()) {
        pollfd p{fd, POLLOUT, 0};
        int ready = poll(&p, 1, stop.load() ? 0 : kStopCheckMs);
        if (ready < 0) {
            // The stop signal itself interrupts the wait: look again, since the fd
            // may have room by now (a reader that caught up while we were stopped).
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (ready == 0) {
            if (stop.load()) {
                return ECANCELED;
            }
            continue;
        }
        // Writable: a pipe has room for at least one page, more than a line, so
        // this write does not block.
        ssize_t n = write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            return errno;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

}  // namespace pv::server
