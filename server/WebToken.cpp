#include "server/WebToken.h"

#include <cerrno>
#include <cstdio>

#include "server/Platform.h"

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

std::string Failure(const std::string& what, const std::string& path) {
    return "cannot " + what + " " + path + ": " + ErrorText(errno) +
           " (choose a writable folder with --state-dir)";
}

}  // namespace

WebToken LoadWebToken(const std::string& stateDir, bool renew) {
    std::string path = stateDir + kPathSeparator + kWebTokenFile;
    std::string warning;
    std::string why;
    if (!renew && !IsPrivateFile(path, why)) {
        // Others may have read it, or may have chosen it: a secret no longer.
        warning = path + " " + why + ": replaced with a new token (open the new address on the handheld)";
    } else if (!renew) {
        std::string text;
        if (ReadFileStart(path, kBytes * 2 + 2, text)) {
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
                text.pop_back();
            }
            if (IsToken(text)) {
                return {text, {}, {}};
            }
            // Anything else is replaced: a half-written or edited file must not
            // become a short, guessable secret.
        } else if (errno != ENOENT) {
            return {{}, Failure("read", path), {}};
        }
    }
    unsigned char random[kBytes];
    if (!RandomBytes(random, sizeof random)) {
        return {{}, "cannot get random bytes: " + ErrorText(errno), {}};
    }
    std::string token;
    for (unsigned char byte : random) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", byte);
        token += hex;
    }
    if (!MakePrivateFolder(stateDir)) {
        return {{}, Failure("create the folder", stateDir), {}};
    }
    // Written aside and renamed, so that a crash leaves the old token or the new one.
    if (std::string error = WriteFileAtomically(path, token + "\n"); !error.empty()) {
        return {{}, error + " (choose a writable folder with --state-dir)", {}};
    }
    return {token, {}, warning};
}

}  // namespace pv::server
