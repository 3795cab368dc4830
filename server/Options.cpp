#include "Options.h"

#include <charconv>

namespace pv::server {

namespace {

bool ParsePort(const std::string& text, std::uint16_t& port) {
    unsigned int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > 65535) {
        return false;
    }
    port = static_cast<std::uint16_t>(value);
    return true;
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    Options& options = parsed.options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        if (std::size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
            hasValue = true;
        }
        bool takesValue = name == "--listen" || name == "--port" || name == "--allow" || name == "--web" ||
                          name == "--web-root" || name == "--state-dir";
        if (takesValue && !hasValue) {
            if (i + 1 == args.size()) {
                parsed.error = name + " needs a value";
                return parsed;
            }
            value = args[++i];
        } else if (!takesValue && hasValue) {
            parsed.error = name + " takes no value";
            return parsed;
        }

        if (name == "--listen") {
            auto address = ParseIpv4Address(value);
            if (!address) {
                parsed.error = "--listen: '" + value + "' is not an IPv4 address such as 192.168.1.10";
                return parsed;
            }
            options.listenAddress = *address;
        } else if (name == "--port") {
            if (!ParsePort(value, options.port)) {
                parsed.error = "--port: '" + value + "' is not a port number from 0 to 65535";
                return parsed;
            }
        } else if (name == "--allow") {
            auto range = ParseIpv4Range(value);
            if (!range) {
                parsed.error = "--allow: '" + value +
                               "' is not an IPv4 address or range such as 192.168.1.0/24 or 10.0.0.7";
                return parsed;
            }
            options.allow.push_back(*range);
        } else if (name == "--web") {
            std::uint16_t port = 0;
            if (!ParsePort(value, port)) {
                parsed.error = "--web: '" + value + "' is not a port number from 0 to 65535";
                return parsed;
            }
            options.webPort = port;
        } else if (name == "--web-root" || name == "--state-dir") {
            if (value.empty()) {
                parsed.error = name + " needs a folder";
                return parsed;
            }
            (name == "--web-root" ? options.webRoot : options.stateDir) = value;
        } else if (name == "--new-token") {
            options.newToken = true;
        } else if (name == "--print") {
            options.print = true;
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--version") {
            options.version = true;
        } else {
            parsed.error = "unknown option '" + args[i] + "'";
            return parsed;
        }
    }
    return parsed;
}

std::string UsageText() {
    return "Usage: penvale-server [--listen ADDRESS] [--port N] [--allow CIDR]... [--print]\n"
           "                      [--web PORT [--web-root DIR] [--new-token]] [--state-dir DIR]\n"
           "                      [--help] [--version]\n"
           "\n"
           "Receives the pen tablet stream from the Penvale handheld and moves a virtual\n"
           "pointer (\"Penvale tablet\") on this desktop.\n"
           "\n"
           "  --listen ADDRESS  IPv4 address to listen on (default: all)\n"
           "  --port N          TCP port (default: 55; below 1024 needs the privilege)\n"
           "  --allow CIDR      accept peers from this range only; may be repeated\n"
           "                    (default: loopback, private and link-local addresses)\n"
           "  --print           print the decoded messages instead of moving the pointer\n"
           "  --web PORT        also serve the browser handheld (page and WebSocket) on\n"
           "                    this TCP port; open the printed address on the phone\n"
           "  --web-root DIR    serve the page from DIR (default: the installed one)\n"
           "  --new-token       replace the page's secret token (old addresses stop working)\n"
           "  --state-dir DIR   where the server keeps its state (default: $STATE_DIRECTORY,\n"
           "                    else $XDG_STATE_HOME/penvale or ~/.local/state/penvale)\n"
           "  --help            show this text\n"
           "  --version         show the version\n";
}

}  // namespace pv::server
