#include "StateDir.h"

#include <cstdlib>

namespace pv::server {

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

std::string StateDirectory(const std::string& option) {
    if (!option.empty()) {
        return option;
    }
    if (std::string systemd = Environment("STATE_DIRECTORY"); !systemd.empty()) {
        return systemd.substr(0, systemd.find(':'));
    }
    // Relative values are invalid by the base directory rules and are ignored.
    if (std::string xdg = Environment("XDG_STATE_HOME"); !xdg.empty() && xdg.front() == '/') {
        return xdg + "/penvale";
    }
    if (std::string home = Environment("HOME"); !home.empty()) {
        return home + "/.local/state/penvale";
    }
    return {};
}

}  // namespace pv::server
