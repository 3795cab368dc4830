#pragma once
// The command line of penvale-server.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "server/AllowList.h"
#include "server/Mapping.h"
#include "link/Protocol.h"

namespace pv::server {

struct Options {
    std::uint32_t listenAddress = 0;              // host byte order; 0 is every IPv4 address
    std::uint16_t port = protocol::kDefaultPort;  // 0 picks a free port (tests use it)
    std::vector<Ipv4Range> allow;                 // empty: AllowList::Default()
    std::string stateDir;                         // empty: StateDirectory() names it
    std::optional<std::pair<int, int>> extent;    // given with --extent A B
    MappingOptions mapping;
    bool print = false;
    bool pen = true;                              // take the pen's samples (--no-pen: skip them)
    std::optional<std::uint16_t> webPort;         // --web: serve the browser handheld there
    std::string webRoot;                          // empty: the installed page
    bool newToken = false;                        // replace the web page's token
    bool help = false;
    bool version = false;
};

struct ParsedOptions {
    Options options;
    std::string error;  // empty when the command line parsed
};

// args excludes the program name. Takes "--name value" and "--name=value".
ParsedOptions ParseOptions(const std::vector<std::string>& args);

std::string UsageText();

}  // namespace pv::server
