#include "server/QrText.h"

#include <qrencode.h>

#include <memory>

namespace pv::server {

namespace {

constexpr int kQuietZone = 4;  // light modules around the code, as scanners expect

// Black text on bright white: an explicit pair, not the terminal's own colours.
constexpr char kDarkOnLight[] = "\x1b[30;107m";
constexpr char kReset[] = "\x1b[0m";

using Code = std::unique_ptr<QRcode, decltype(&QRcode_free)>;

Code Encode(const std::string& text) {
    return Code(QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_L, QR_MODE_8, 1), &QRcode_free);
}

// Whether the module at (row, column) of the code with its quiet zone is dark.
bool Dark(const QRcode& code, int row, int column) {
    int x = column - kQuietZone;
    int y = row - kQuietZone;
    if (x < 0 || y < 0 || x >= code.width || y >= code.width) {
        return false;
    }
    return (code.data[y * code.width + x] & 1) != 0;
}

}  // namespace

std::string QrText(const std::string& text, bool colours) {
    Code code = Encode(text);
    if (!code) {
        return {};
    }
    int side = code->width + 2 * kQuietZone;
    std::string out;
    for (int row = 0; row < side; row += 2) {
        if (colours) {
            out += kDarkOnLight;
        }
        for (int column = 0; column < side; ++column) {
            // Drawn: dark modules on a light ground, or light ones on a dark ground.
            bool top = Dark(*code, row, column) == colours;
            bool bottom = row + 1 < side ? Dark(*code, row + 1, column) == colours : false;
            out += top && bottom ? "\u2588" : top ? "\u2580" : bottom ? "\u2584" : " ";
        }
        if (colours) {
            out += kReset;
        }
        out += '\n';
    }
    return out;
}

std::string QrSvg(const std::string& text, int moduleSize) {
    Code code = Encode(text);
    if (!code) {
        return {};
    }
    std::string side = std::to_string(code->width + 2 * kQuietZone);
    std::string pixels = std::to_string((code->width + 2 * kQuietZone) * moduleSize);
    std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + side + " " + side + "\" width=\"" +
                      pixels + "\" height=\"" + pixels + "\" shape-rendering=\"crispEdges\">\n<rect width=\"" +
                      side + "\" height=\"" + side + "\" fill=\"#fff\"/>\n<path fill=\"#000\" d=\"";
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            if ((code->data[y * code->width + x] & 1) != 0) {
                out += 'M';
                out += std::to_string(x + kQuietZone);
                out += ' ';
                out += std::to_string(y + kQuietZone);
                out += "h1v1h-1z";
            }
        }
    }
    return out + "\"/>\n</svg>\n";
}

std::string ConnectPageHtml(const std::vector<std::string>& urls) {
    std::string out =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"referrer\" content=\"no-referrer\">\n<title>Penvale: connect a handheld</title>\n"
        "<style>body { font: 18px system-ui, sans-serif; margin: 24px; background: #fff; color: #000; }\n"
        "figure { margin: 24px 0; } svg { width: min(80vmin, 640px); height: auto; display: block; }\n"
        "a { word-break: break-all; }</style>\n</head>\n<body>\n<h1>Connect a handheld</h1>\n"
        "<p>Scan the code with the phone's or tablet's camera, or open the address in its browser. The handheld "
        "must be on the same network as this desktop.</p>\n";
    for (const std::string& url : urls) {
        // The addresses are the server's own (digits, dots, a colon and a hex token): nothing to escape.
        out += "<figure>\n" + QrSvg(url) + "<figcaption><a href=\"" + url + "\">" + url + "</a></figcaption>\n</figure>\n";
    }
    return out + "</body>\n</html>\n";
}

}  // namespace pv::server
