// The program's images: the cursor crosshair and the orientation icons are drawn
// here, the toolbar buttons are decoded from their XPM pictures. A browser build
// and the Qt shell show the same pixels.
#include "surface/Images.h"

#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <string_view>
#include <vector>

#include "surface/Commands.h"

namespace xpm {
#include "surface/images/clear.xpm"
#include "surface/images/doubleclick.xpm"
#include "surface/images/help.xpm"
#include "surface/images/leftclick.xpm"
#include "surface/images/rightclick.xpm"
#include "surface/images/rotate.xpm"
}  // namespace xpm

namespace {

// The standard 16-colour palette in its usual order.
constexpr std::array<PvColor, 16> kPalette = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

enum Index : unsigned {
    kBlack = 0,
    kSilver = 7,
    kRed = 9,
    kYellow = 11,
    kBlue = 12,
    kNavy = 4,
    kCyan = 14,
    kWhite = 15,
};

// A picture in palette indices, every pixel opaque.
template <int W, int H>
struct CIndexed {
    std::array<std::array<unsigned, W>, H> at{};

    CPvImage ToImage() const {
        CPvImage image(W, H, kPvBlack);
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                image.SetPixel(x, y, kPalette[at[y][x]]);
            }
        }
        return image;
    }
};

CPvImage DrawCursor() {
    CIndexed<20, 20> cursor;
    auto white = [&cursor](int x0, int x1, int y0, int y1) {
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                cursor.at[y][x] = kWhite;
            }
        }
    };
    // The two bars, leaving a 2 x 2 hole in the middle.
    white(9, 10, 0, 8);
    white(9, 10, 11, 19);
    white(0, 8, 9, 10);
    white(11, 19, 9, 10);
    // The bars widen near the centre.
    white(8, 11, 7, 7);
    white(8, 11, 12, 12);
    white(7, 12, 8, 8);
    white(7, 12, 11, 11);
    return cursor.ToImage();
}

// The upright picture: grid, then the pen from its point (lower left) to its back end.
CIndexed<32, 32> DrawNorth() {
    CIndexed<32, 32> image;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            image.at[y][x] = (x % 4 == 0 || y % 4 == 0) ? kSilver : kCyan;
        }
    }
    const double tipX = 4.0, tipY = 28.0, endX = 28.5, endY = 3.5;
    const double length = std::hypot(endX - tipX, endY - tipY);
    const double ux = (endX - tipX) / length, uy = (endY - tipY) / length;
    constexpr double kHalfWidth = 3.0;
    constexpr double kCone = 8.0;  // length of the sharpened end
    constexpr double kCap = 4.5;   // length of the cap at the back end
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const double px = x + 0.5 - tipX, py = y + 0.5 - tipY;
            const double along = px * ux + py * uy;
            const double across = std::abs(px * -uy + py * ux);
            if (along < 0.0 || along > length) {
                continue;
            }
            const double half = along < kCone ? kHalfWidth * along / kCone : kHalfWidth;
            if (across > half + 0.8) {
                continue;
            }
            unsigned colour;
            if (across > half) {
                colour = kBlack;  // outline
            } else if (along < kCone * 0.35) {
                colour = kBlack;  // the lead
            } else if (along < kCone) {
                colour = kYellow;
            } else if (along > length - kCap) {
                colour = kRed;
            } else {
                colour = across > half - 1.2 ? kNavy : kBlue;
            }
            image.at[y][x] = colour;
        }
    }
    return image;
}

// North turned a number of quarter turns clockwise on the screen (y grows downward).
CPvImage DrawOrientationIcon(int quarterTurnsClockwise) {
    const CIndexed<32, 32> north = DrawNorth();
    CIndexed<32, 32> turned = north;
    for (int turn = 0; turn < quarterTurnsClockwise; ++turn) {
        const CIndexed<32, 32> from = turned;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                turned.at[x][31 - y] = from.at[y][x];
            }
        }
    }
    return turned.ToImage();
}

const CPvImage& Null() {
    static const CPvImage null;
    return null;
}

// Reads a whole non-negative decimal number at text; false at anything else.
bool ReadNumber(std::string_view& text, int& value) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() < '0' || text.front() > '9') {
        return false;
    }
    long long number = 0;
    while (!text.empty() && text.front() >= '0' && text.front() <= '9') {
        number = number * 10 + (text.front() - '0');
        if (number > 1'000'000) {
            return false;
        }
        text.remove_prefix(1);
    }
    value = static_cast<int>(number);
    return true;
}

// The colour of one colour line after its key: "c None" or "c #RRGGBB".
bool ReadColour(std::string_view text, uint32_t& word) {
    std::vector<std::string_view> tokens;
    while (!text.empty()) {
        const std::size_t start = text.find_first_not_of(" \t");
        if (start == std::string_view::npos) {
            break;
        }
        text.remove_prefix(start);
        const std::size_t end = text.find_first_of(" \t");
        tokens.push_back(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end);
    }
    for (std::size_t i = 0; i + 1 < tokens.size(); i += 2) {
        if (tokens[i] != "c") {
            continue;
        }
        const std::string_view value = tokens[i + 1];
        if (value == "None" || value == "none") {
            word = PvPixelWord(kPvBlack, 0);
            return true;
        }
        if (value.size() != 7 || value.front() != '#') {
            return false;
        }
        PvColor colour = 0;
        for (char digit : value.substr(1)) {
            int nibble;
            if (digit >= '0' && digit <= '9') {
                nibble = digit - '0';
            } else if (digit >= 'a' && digit <= 'f') {
                nibble = digit - 'a' + 10;
            } else if (digit >= 'A' && digit <= 'F') {
                nibble = digit - 'A' + 10;
            } else {
                return false;
            }
            colour = (colour << 4) | static_cast<PvColor>(nibble);
        }
        word = PvPixelWord(colour);
        return true;
    }
    return false;
}

}  // namespace

CPvImage PvImageFromXpm(const char* const* lines, std::size_t count) {
    constexpr int kMaxSide = 4096;
    if (lines == nullptr || count == 0 || lines[0] == nullptr) {
        return {};
    }
    std::string_view header = lines[0];
    int width = 0, height = 0, colours = 0, charsPerPixel = 0;
    if (!ReadNumber(header, width) || !ReadNumber(header, height) || !ReadNumber(header, colours) ||
        !ReadNumber(header, charsPerPixel) || width < 1 || height < 1 || width > kMaxSide ||
        height > kMaxSide || colours < 1 || charsPerPixel < 1 || charsPerPixel > 4 ||
        count < 1 + static_cast<std::size_t>(colours) + static_cast<std::size_t>(height)) {
        return {};
    }
    const auto cpp = static_cast<std::size_t>(charsPerPixel);
    std::map<std::string_view, uint32_t> table;
    for (int i = 0; i < colours; ++i) {
        const char* line = lines[1 + i];
        if (line == nullptr) {
            return {};
        }
        const std::string_view text = line;
        uint32_t word = 0;
        if (text.size() < cpp || !ReadColour(text.substr(cpp), word) ||
            !table.emplace(text.substr(0, cpp), word).second) {
            return {};
        }
    }
    std::vector<uint8_t> rgba;
    rgba.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    for (int y = 0; y < height; ++y) {
        const char* line = lines[1 + colours + y];
        if (line == nullptr) {
            return {};
        }
        const std::string_view row = line;
        if (row.size() != static_cast<std::size_t>(width) * cpp) {
            return {};
        }
        for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x) {
            const auto found = table.find(row.substr(x * cpp, cpp));
            if (found == table.end()) {
                return {};
            }
            uint8_t bytes[4];
            std::memcpy(bytes, &found->second, sizeof bytes);
            rgba.insert(rgba.end(), bytes, bytes + 4);
        }
    }
    return CPvImage(width, height, rgba);
}

const CPvImage& PvIconImage(int id) {
    static const std::array<CPvImage, 4> icons = {DrawOrientationIcon(0), DrawOrientationIcon(1),
                                                  DrawOrientationIcon(2), DrawOrientationIcon(3)};
    switch (id) {
        case pv::res::kIconNorth:
            return icons[0];
        case pv::res::kIconWest:
            return icons[1];
        case pv::res::kIconSouth:
            return icons[2];
        case pv::res::kIconEast:
            return icons[3];
        default:
            return Null();
    }
}

const CPvImage& PvBitmapImage(int id) {
    static const CPvImage cursor = DrawCursor();
    return id == pv::res::kCursorBitmap ? cursor : Null();
}

const CPvImage& PvButtonImage(int commandId) {
    static const std::map<int, CPvImage> buttons = {
        {pv::cmd::kRotateOrientation, PvImageFromXpm(xpm::rotate)},
        {pv::cmd::kLeftClick, PvImageFromXpm(xpm::leftclick)},
        {pv::cmd::kRightClick, PvImageFromXpm(xpm::rightclick)},
        {pv::cmd::kDoubleClick, PvImageFromXpm(xpm::doubleclick)},
        {pv::cmd::kClearScreen, PvImageFromXpm(xpm::clear)},
        {pv::cmd::kHelp, PvImageFromXpm(xpm::help)},
    };
    const auto found = buttons.find(commandId);
    return found == buttons.end() ? Null() : found->second;
}
