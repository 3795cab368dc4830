#pragma once
#include <string_view>

// What may be typed as the desktop's address and port.
namespace pv::desktop {

inline constexpr int kNoPort = 0;  // a port that cannot be used
inline constexpr int kMaxPort = 65535;

// A whole number 1..65535 written in decimal digits alone (blanks around it allowed):
// that number; anything else, kNoPort. "5555x", "", "99999999999" and "+55" are no ports.
int ParsePort(std::string_view text);

// Four numbers 0..255 in dotted decimal, without leading zeros.
bool IsIpv4Address(std::string_view text);

// An IPv4 address or a host name: labels of letters, digits and hyphens, 1..63
// characters each and none starting or ending with a hyphen, 253 characters in all,
// the last label not all digits (that would be a mistyped address).
bool IsValidAddress(std::string_view text);

// Whether text could still become a valid address by typing more: only the
// characters of addresses and host names.
bool CouldBecomeAddress(std::string_view text);

}  // namespace pv::desktop
