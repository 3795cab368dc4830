// Writes the program's orientation icons as binary PPM files (<id>.ppm) into a folder,
// so that a test outside the process can look for them on the screen.
#include <cstdio>
#include <string>

#include "surface/Commands.h"
#include "surface/Images.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    for (const int id : {pv::res::kIconWest, pv::res::kIconSouth, pv::res::kIconEast, pv::res::kIconNorth}) {
        const CPvImage& icon = PvIconImage(id);
        const std::string path = std::string(argv[1]) + "/" + std::to_string(id) + ".ppm";
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr) {
            std::perror(path.c_str());
            return 1;
        }
        std::fprintf(out, "P6\n%d %d\n255\n", icon.Width(), icon.Height());
        for (int y = 0; y < icon.Height(); ++y) {
            for (int x = 0; x < icon.Width(); ++x) {
                const PvColor colour = icon.Pixel(x, y);
                const unsigned char rgb[3] = {static_cast<unsigned char>(colour >> 16),
                                              static_cast<unsigned char>(colour >> 8),
                                              static_cast<unsigned char>(colour)};
                std::fwrite(rgb, 1, 3, out);
            }
        }
        if (std::fclose(out) != 0) {
            std::perror(path.c_str());
            return 1;
        }
    }
    return 0;
}
