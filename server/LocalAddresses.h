#pragma once
// The addresses of this machine that a handheld can reach the server on.

#include <cstdint>
#include <vector>

#include "AllowList.h"

namespace pv::server {

// This machine's IPv4 addresses (host byte order, in interface order, each
// once) that the allow-list admits; only listen itself unless it is 0 (all).
std::vector<std::uint32_t> LocalAddresses(std::uint32_t listen, const AllowList& allow);

}  // namespace pv::server
