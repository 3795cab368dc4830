#pragma once
// What to set on the handheld: printed at start so that the user need not work
// out which of the desktop's addresses the handheld reaches it at.

#include <cstdint>
#include <string>
#include <vector>

#include "server/AllowList.h"

namespace pv::server {

// The addresses a handheld may connect to: the listening address if one was
// given, else every address of this machine but loopback (which a handheld
// cannot reach), each only if the allowed ranges admit it.
std::vector<std::uint32_t> HandheldAddresses(std::uint32_t listenAddress, const AllowList& allow,
                                             const std::vector<std::uint32_t>& localAddresses);

// One line per address the handheld may connect to: the listening address if
// one was given, else every address of this machine but loopback (which a
// handheld cannot reach), each only if the allowed ranges admit it.
std::vector<std::string> ConnectHints(std::uint32_t listenAddress, std::uint16_t port, const AllowList& allow,
                                      const std::vector<std::uint32_t>& localAddresses);

// This machine's IPv4 addresses (host byte order), in interface order.
std::vector<std::uint32_t> LocalIpv4Addresses();

}  // namespace pv::server
