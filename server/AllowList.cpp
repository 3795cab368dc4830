#include "server/AllowList.h"

#include "server/Platform.h"

#include <charconv>

namespace pv::server {

std::optional<std::uint32_t> ParseIpv4Address(std::string_view text) {
    std::string copy(text);
    in_addr address{};
    // inet_pton takes only the four-part dotted form, never "10.1" or hex parts.
    if (inet_pton(AF_INET, copy.c_str(), &address) != 1) {
        return std::nullopt;
    }
    return ntohl(address.s_addr);
}

std::string FormatIpv4Address(std::uint32_t address) {
    // By member: on Windows in_addr is a union whose first member is four bytes.
    in_addr raw{};
    raw.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &raw, text, sizeof text);
    return text;
}

// The same text on every system, so it lives beside the formatter rather than in a seam.
std::string net::AddressText(const sockaddr_in& address) {
    return FormatIpv4Address(ntohl(address.sin_addr.s_addr)) + ":" + std::to_string(ntohs(address.sin_port));
}

std::optional<Ipv4Range> ParseIpv4Range(std::string_view text) {
    std::size_t slash = text.find('/');
    int bits = 32;
    if (slash != std::string_view::npos) {
        std::string_view prefix = text.substr(slash + 1);
        auto [end, error] = std::from_chars(prefix.data(), prefix.data() + prefix.size(), bits);
        if (prefix.empty() || error != std::errc() || end != prefix.data() + prefix.size() || bits < 0 ||
            bits > 32 || prefix.front() == '+') {
            return std::nullopt;
        }
    }
    std::optional<std::uint32_t> address = ParseIpv4Address(text.substr(0, slash));
    if (!address) {
        return std::nullopt;
    }
    std::uint32_t mask = bits == 0 ? 0 : ~std::uint32_t{0} << (32 - bits);
    return Ipv4Range{*address & mask, mask};
}

std::string Ipv4Range::ToString() const {
    int bits = 0;
    for (std::uint32_t m = mask; m != 0; m <<= 1) {
        ++bits;
    }
    return FormatIpv4Address(network) + "/" + std::to_string(bits);
}

AllowList AllowList::Default() {
    std::vector<Ipv4Range> ranges;
    for (const char* text :
         {"127.0.0.0/8", "10.0.0.0/8", "172.16.0.0/12", "192.168.0.0/16", "169.254.0.0/16"}) {
        ranges.push_back(*ParseIpv4Range(text));
    }
    return AllowList(std::move(ranges));
}

bool AllowList::Allows(std::uint32_t address) const {
    for (const Ipv4Range& range : m_ranges) {
        if (range.Contains(address)) {
            return true;
        }
    }
    return false;
}

}  // namespace pv::server
