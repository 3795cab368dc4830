#include "server/StateStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "server/UniqueFd.h"

namespace pv::server {

namespace {

constexpr char kExtentFile[] = "/extent";

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// mkdir -p, private to the user.
bool MakeFolders(const std::string& dir) {
    for (std::size_t at = 1; at <= dir.size(); ++at) {
        if (at == dir.size() || dir[at] == '/') {
            std::string part = dir.substr(0, at);
            if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

std::string StateDirectory(const std::string& given) {
    if (!given.empty()) {
        return given;
    }
    if (std::string state = Env("STATE_DIRECTORY"); !state.empty()) {
        return state.substr(0, state.find(':'));
    }
    if (std::string xdg = Env("XDG_STATE_HOME"); !xdg.empty() && xdg.front() == '/') {
        return xdg + "/penvale";
    }
    if (std::string home = Env("HOME"); !home.empty()) {
        return home + "/.local/state/penvale";
    }
    return {};
}

std::optional<std::pair<int, int>> LoadExtent(const std::string& dir) {
    std::FILE* file = std::fopen((dir + kExtentFile).c_str(), "re");
    if (file == nullptr) {
        return std::nullopt;
    }
    int a = 0;
    int b = 0;
    bool read = std::fscanf(file, "%d %d", &a, &b) == 2;
    std::fclose(file);
    if (!read || a <= 0 || b <= 0 || a > 9999 || b > 9999) {
        return std::nullopt;
    }
    return std::pair(a, b);
}

std::string SaveExtent(const std::string& dir, int a, int b) {
    if (!MakeFolders(dir)) {
        return "cannot make " + dir + ": " + std::strerror(errno);
    }
    std::string path = dir + kExtentFile;
    std::string temporary = path + ".new";
    std::string text = std::to_string(a) + " " + std::to_string(b) + "\n";
    UniqueFd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd || write(fd.Get(), text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        return "cannot write " + temporary + ": " + std::strerror(errno);
    }
    fd.Reset();
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        return "cannot replace " + path + ": " + std::strerror(errno);
    }
    return {};
}

}  // namespace pv::server
