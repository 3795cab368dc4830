#include "server/WebToken.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace pv::server {

namespace {

constexpr std::size_t kBytes = 16;

bool IsToken(const std::string& text) {
    if (text.size() != kBytes * 2) {
        return false;
    }
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

// mkdir -p, the last level private.
bool MakeFolder(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string Failure(const std::string& what, const std::string& path) {
    return "cannot " + what + " " + path + ": " + std::strerror(errno) +
           " (choose a writable folder with --state-dir)";
}

}  // namespace

WebToken LoadWebToken(const std::string& stateDir, bool renew) {
    std::string path = stateDir + "/" + kWebTokenFile;
    std::string warning;
    if (!renew) {
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        struct stat info {};
        if (fd >= 0 && fstat(fd, &info) == 0 && (!S_ISREG(info.st_mode) || info.st_uid != geteuid() ||
                                                  (info.st_mode & 077) != 0)) {
            // Others may have read it, or may have chosen it: a secret no longer.
            close(fd);
            fd = -1;
            errno = ENOENT;
            warning = path + (info.st_uid != geteuid() ? " was not this user's" : " was readable by others") +
                      ": replaced with a new token (open the new address on the handheld)";
        }
        if (fd >= 0) {
            char buffer[kBytes * 2 + 2] = {};
            ssize_t n = read(fd, buffer, sizeof buffer - 1);
            close(fd);
            std::string text(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
                text.pop_back();
            }
            if (IsToken(text)) {
                return {text, {}, {}};
            }
            // Anything else is replaced: a half-written or edited file must not
            // become a short, guessable secret.
        } else if (errno == ELOOP) {
            warning = path + " was a link: replaced with a new token (open the new address on the handheld)";
        } else if (errno != ENOENT) {
            return {{}, Failure("read", path), {}};
        }
    }

    unsigned char random[kBytes];
    if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        return {{}, std::string("cannot get random bytes: ") + std::strerror(errno), {}};
    }
    std::string token;
    for (unsigned char byte : random) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", byte);
        token += hex;
    }
    if (!MakeFolder(stateDir)) {
        return {{}, Failure("create the folder", stateDir), {}};
    }
    // Written aside and renamed, so that a crash leaves the old token or the new one.
    std::string temporary = path + ".new";
    unlink(temporary.c_str());
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return {{}, Failure("write", temporary), {}};
    }
    std::string line = token + "\n";
    bool written = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()) && fsync(fd) == 0;
    close(fd);
    if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return {{}, Failure("write", path), {}};
    }
    return {token, {}, warning};
}

}  // namespace pv::server
