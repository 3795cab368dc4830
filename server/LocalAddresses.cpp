#include "LocalAddresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <algorithm>

namespace pv::server {

std::vector<std::uint32_t> LocalAddresses(std::uint32_t listen, const AllowList& allow) {
    std::vector<std::uint32_t> found;
    if (listen != 0) {
        if (allow.Allows(listen)) {
            found.push_back(listen);
        }
        return found;
    }
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return found;
    }
    for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        std::uint32_t address = ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr);
        if (allow.Allows(address) && std::find(found.begin(), found.end(), address) == found.end()) {
            found.push_back(address);
        }
    }
    freeifaddrs(list);
    // A handheld is elsewhere: loopback addresses last.
    std::stable_partition(found.begin(), found.end(), [](std::uint32_t a) { return (a >> 24) != 127; });
    return found;
}

}  // namespace pv::server
