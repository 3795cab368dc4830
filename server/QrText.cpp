#include "server/QrText.h"

#include <qrencode.h>

#include <memory>

namespace pv::server {

namespace {

constexpr int kQuietZone = 4;  // light modules around the code, as scanners expect

}  // namespace

std::string QrText(const std::string& text) {
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_L, QR_MODE_8, 1), &QRcode_free);
    if (!code) {
        return {};
    }
    int width = code->width;
    int side = width + 2 * kQuietZone;
    auto light = [&](int row, int column) {
        int x = column - kQuietZone;
        int y = row - kQuietZone;
        if (x < 0 || y < 0 || x >= width || y >= width) {
            return true;
        }
        return (code->data[y * width + x] & 1) == 0;
    };
    std::string out;
    for (int row = 0; row < side; row += 2) {
        for (int column = 0; column < side; ++column) {
            bool top = light(row, column);
            bool bottom = row + 1 < side ? light(row + 1, column) : false;
            out += top && bottom ? "\u2588" : top ? "\u2580" : bottom ? "\u2584" : " ";
        }
        out += '\n';
    }
    return out;
}

}  // namespace pv::server
