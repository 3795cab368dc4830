#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// A blocking look-up of a host's IPv4 address, the way the system's resolver does
// it: 0 and the address in network byte order, or an errno value.
using PvHostLookup = std::function<int(const std::string& host, std::uint32_t& address)>;

// The system's resolver (getaddrinfo, IPv4 only). It may block for as long as the
// name servers keep it waiting.
int PvSystemHostLookup(const std::string& host, std::uint32_t& address);

// Runs lookup on a thread of its own and waits for it at most timeoutMs. A look-up
// still running then is abandoned: its thread ends whenever the resolver returns,
// and the answer is dropped. Returns 0 with the address, ETIMEDOUT when the time
// ran out, EAGAIN while too many abandoned look-ups are still running, or the
// look-up's own error.
int PvLookUpWithin(const PvHostLookup& lookup, const std::string& host, std::uint32_t& address, int timeoutMs);

// Abandoned look-ups whose resolver has not returned yet.
int PvAbandonedLookUps();
