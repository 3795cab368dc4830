#include "server/ConnectHints.h"

#include <algorithm>

namespace pv::server {

std::vector<std::uint32_t> HandheldAddresses(std::uint32_t listenAddress, const AllowList& allow,
                                             const std::vector<std::uint32_t>& localAddresses) {
    std::vector<std::uint32_t> candidates;
    if (listenAddress != 0) {
        candidates.push_back(listenAddress);
    } else {
        for (std::uint32_t address : localAddresses) {
            if ((address >> 24) != 127 &&
                std::find(candidates.begin(), candidates.end(), address) == candidates.end()) {
                candidates.push_back(address);
            }
        }
    }
    std::erase_if(candidates, [&](std::uint32_t address) { return !allow.Allows(address); });
    return candidates;
}

std::vector<std::string> ConnectHints(std::uint32_t listenAddress, std::uint16_t port, const AllowList& allow,
                                      const std::vector<std::uint32_t>& localAddresses) {
    std::vector<std::string> lines;
    for (std::uint32_t address : HandheldAddresses(listenAddress, allow, localAddresses)) {
        lines.push_back("handheld: set IP Address to " + FormatIpv4Address(address) + " and Port to " +
                        std::to_string(port));
    }
    if (lines.empty()) {
        lines.push_back(
            "handheld: no address of this machine that a handheld could use is in the allowed ranges; "
            "connect the handheld's link (ip -4 addr lists the addresses) or widen --allow");
    }
    return lines;
}

}  // namespace pv::server
