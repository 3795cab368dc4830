#pragma once
// The secret that the page's address carries and the WebSocket upgrade must
// present. It is kept in the state folder, so that a phone's bookmark of the
// page keeps working across restarts, until --new-token replaces it.

#include <string>

namespace pv::server {

inline constexpr char kWebTokenFile[] = "web-token";

struct WebToken {
    std::string token;  // 32 lowercase hex digits (128 random bits)
    std::string error;  // empty on success; names the file and the fix
    std::string warning;  // not empty when a kept token was not trusted and replaced
};

// Reads stateDir/web-token, or makes a new one (also when renew is set, the
// file does not hold a token, or others than its owner may read it or it is
// not this user's: then with a warning), creating the folder (0700) and the
// file (0600).
WebToken LoadWebToken(const std::string& stateDir, bool renew);

}  // namespace pv::server
