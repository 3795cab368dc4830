#pragma once
// What the server keeps across restarts: the handheld's last Extent, so that the
// first stroke after a restart moves the pointer instead of waiting for the
// handheld's next pen-down or pen-up to send one.

#include <optional>
#include <string>
#include <utility>

namespace pv::server {

// The folder: given if not empty, else the user's own (DefaultStateDirectory).
// Empty when none can be named.
std::string StateDirectory(const std::string& given);

// The Extent kept in dir; nothing when none is kept or the file holds no
// usable one.
std::optional<std::pair<int, int>> LoadExtent(const std::string& dir);

// Keeps the Extent in dir, making the folder if needed; the file is replaced
// whole, never left half-written. Returns an empty string, or the error.
std::string SaveExtent(const std::string& dir, int a, int b);

}  // namespace pv::server
