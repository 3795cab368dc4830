#pragma once
// Writing to standard output and error without ever blocking past a stop: a
// reader that stops reading (a full pipe) must not keep the server from ending
// when it is told to, with its held button released.

#include <atomic>
#include <string_view>

namespace pv::server {

// Writes all of text to fd, waiting while fd is full; once stop is set, a fd
// that is still full is given up at once. Returns 0, ECANCELED when given up,
// or the errno of the failed write (EPIPE when the reader has gone: SIGPIPE
// must be ignored).
int WriteAll(int fd, std::string_view text, const std::atomic<bool>& stop);

}  // namespace pv::server
