#include "server/StateStore.h"

#include <cerrno>
#include <cstdio>

#include "server/Platform.h"

namespace pv::server {

namespace {

constexpr char kExtentFile[] = "extent";

}  // namespace

std::string StateDirectory(const std::string& given) {
    return given.empty() ? DefaultStateDirectory() : given;
}

std::optional<std::pair<int, int>> LoadExtent(const std::string& dir) {
    std::string text;
    if (!ReadFileStart(dir + kPathSeparator + kExtentFile, 64, text)) {
        return std::nullopt;
    }
    int a = 0;
    int b = 0;
    if (std::sscanf(text.c_str(), "%d %d", &a, &b) != 2 || a <= 0 || b <= 0 || a > 9999 || b > 9999) {
        return std::nullopt;
    }
    return std::pair(a, b);
}

std::string SaveExtent(const std::string& dir, int a, int b) {
    if (!MakePrivateFolder(dir)) {
        return "cannot make " + dir + ": " + ErrorText(errno);
    }
    return WriteFileAtomically(dir + kPathSeparator + kExtentFile,
                               std::to_string(a) + " " + std::to_string(b) + "\n");
}

}  // namespace pv::server
