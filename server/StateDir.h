#pragma once
// Where the server keeps what must outlive it.

#include <string>

namespace pv::server {

// option (--state-dir) when given; else $STATE_DIRECTORY (set by systemd; the
// first of a colon-separated list), $XDG_STATE_HOME/penvale or
// ~/.local/state/penvale. Empty if none of them can be found.
std::string StateDirectory(const std::string& option);

}  // namespace pv::server
