#pragma once
// Which peers may drive the pointer. The server injects input, so a peer must
// match one of the ranges before a single byte of it is read.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pv::server {

struct Ipv4Range {
    std::uint32_t network = 0;  // host byte order, host bits cleared
    std::uint32_t mask = 0;

    bool Contains(std::uint32_t address) const { return (address & mask) == network; }
    std::string ToString() const;
};

// "a.b.c.d" (one address) or "a.b.c.d/n"; nothing when it does not parse.
std::optional<Ipv4Range> ParseIpv4Range(std::string_view text);

// A dotted IPv4 address in host byte order; nothing when it does not parse.
std::optional<std::uint32_t> ParseIpv4Address(std::string_view text);

std::string FormatIpv4Address(std::uint32_t address);

class AllowList {
public:
    // Loopback, the private ranges and link-local addresses: where a handheld
    // cradled to this desktop can be.
    static AllowList Default();
    explicit AllowList(std::vector<Ipv4Range> ranges) : m_ranges(std::move(ranges)) {}

    bool Allows(std::uint32_t address) const;
    const std::vector<Ipv4Range>& Ranges() const { return m_ranges; }

private:
    std::vector<Ipv4Range> m_ranges;
};

}  // namespace pv::server
