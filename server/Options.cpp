#include "server/Options.h"

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
        if (name == "--extent") {
            // Two values: A and B as the handheld sends them.
            int numbers[2] = {0, 0};
            for (int& number : numbers) {
                std::string text = hasValue ? value : (i + 1 < args.size() ? args[++i] : std::string());
                hasValue = false;
                auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
                if (text.empty() || error != std::errc() || end != text.data() + text.size() || number <= 0 ||
                    number > 9999) {
                    parsed.error = "--extent needs two numbers from 1 to 9999, the handheld's Extent A B (got '" +
                                   text + "')";
                    return parsed;
                }
            }
            options.extent = std::pair(numbers[0], numbers[1]);
            continue;
        }
        bool takesValue = name == "--listen" || name == "--port" || name == "--allow" || name == "--state-dir" ||
                          name == "--desktop" || name == "--area" || name == "--web" || name == "--web-root";
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
        } else if (name == "--state-dir") {
            if (value.empty()) {
                parsed.error = "--state-dir needs a folder";
                return parsed;
            }
            options.stateDir = value;
        } else if (name == "--web") {
            std::uint16_t port = 0;
            if (!ParsePort(value, port)) {
                parsed.error = "--web: '" + value + "' is not a port number from 0 to 65535";
                return parsed;
            }
            options.webPort = port;
        } else if (name == "--web-root") {
            if (value.empty()) {
                parsed.error = "--web-root needs a folder";
                return parsed;
            }
            options.webRoot = value;
        } else if (name == "--new-token") {
            options.newToken = true;
        } else if (name == "--desktop") {
            options.mapping.desktop = ParsePixelSize(value);
            if (!options.mapping.desktop) {
                parsed.error = "--desktop: '" + value + "' is not a size in pixels such as 3840x1080";
                return parsed;
            }
        } else if (name == "--area") {
            options.mapping.area = ParsePixelRect(value);
            if (!options.mapping.area) {
                parsed.error = "--area: '" + value + "' is not a rectangle in pixels such as 1920x1080+1920+0";
                return parsed;
            }
        } else if (name == "--keep-aspect") {
            options.mapping.keepAspect = true;
        } else if (name == "--print") {
            options.print = true;
        } else if (name == "--no-pen") {
            options.pen = false;
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--version") {
            options.version = true;
        } else {
            parsed.error = "unknown option '" + args[i] + "'";
            return parsed;
        }
    }
    parsed.error = CheckMappingOptions(options.mapping);
    return parsed;
}

std::string UsageText() {
    return "Usage: penvale-server [--listen ADDRESS] [--port N] [--allow CIDR]... [--print] [--no-pen]\n"
           "                      [--desktop WxH [--area WxH+X+Y] [--keep-aspect]]\n"
           "                      [--extent A B] [--state-dir DIR]\n"
           "                      [--web PORT [--web-root DIR] [--new-token]] [--help] [--version]\n"
           "\n"
           "Receives the pen tablet stream from the Penvale handheld and moves a virtual\n"
           "pointer (\"Penvale tablet\") on this desktop.\n"
           "\n"
           "  --listen ADDRESS  IPv4 address to listen on (default: all)\n"
           "  --port N          TCP port (default: 55; below 1024 needs the privilege)\n"
           "  --allow CIDR      accept peers from this range only; may be repeated\n"
           "                    (default: loopback, private and link-local addresses)\n"
           "  --desktop WxH     the whole desktop's size in pixels: every Position lands\n"
           "                    on its exact pixel\n"
           "  --area WxH+X+Y    map onto this rectangle of the desktop (one monitor)\n"
           "  --keep-aspect     keep the handheld's shape inside the area, centred\n"
           "  --extent A B      the handheld's Extent until it sends one (default: the\n"
           "                    last one received, kept in the state folder)\n"
           "  --state-dir DIR   where the last Extent and the web page's token are kept\n"
#ifdef _WIN32
           "                    (default: %LOCALAPPDATA%\\Penvale)\n"
#else
           "                    (default: $STATE_DIRECTORY,\n"
           "                    else $XDG_STATE_HOME/penvale or ~/.local/state/penvale)\n"
#endif
           "  --print           print the decoded messages instead of moving the pointer\n"
           "  --no-pen          take no pen samples (no \"Penvale pen\" tablet device):\n"
           "                    they are skipped and a pen drives the pointer as a finger\n"
           "  --web PORT        also serve the browser handheld (page and WebSocket) on\n"
           "                    this TCP port; open the printed address on the phone\n"
           "  --web-root DIR    serve the page from DIR (default: the installed one)\n"
           "  --new-token       replace the page's secret token (old addresses stop working)\n"
           "  --help            show this text\n"
           "  --version         show the version\n";
}

}  // namespace pv::server
