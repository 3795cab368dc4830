// The Extent kept across restarts, the lines that tell the user what to set on
// the handheld, and the rate limit of the log.

#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "server/ConnectHints.h"
#include "server/LogLimiter.h"
#include "server/StateStore.h"

namespace pv::server {
namespace {

using Lines = std::vector<std::string>;

TEST(StateStore, TheExtentSurvivesARestartAndABadFileIsNoExtent) {
    std::filesystem::path root = std::filesystem::temp_directory_path() /
                                 ("penvale-state-" + std::to_string(std::random_device()()));
    std::filesystem::create_directory(root);
    std::string dir = (root / "nested" / "penvale").string();  // made on the first save
    EXPECT_EQ(LoadExtent(dir), std::nullopt);
    EXPECT_EQ(SaveExtent(dir, 960, 1072), "");
    EXPECT_EQ(LoadExtent(dir), std::pair(960, 1072));
    // Replaced whole, on Windows too (where a rename does not replace by itself).
    EXPECT_EQ(SaveExtent(dir, 240, 320), "");
    EXPECT_EQ(LoadExtent(dir), std::pair(240, 320));
    EXPECT_FALSE(std::filesystem::exists(dir + "/extent.new"));
#ifndef _WIN32
    EXPECT_EQ(std::filesystem::status(dir).permissions() & std::filesystem::perms::group_all,
              std::filesystem::perms::none);
    EXPECT_EQ(std::filesystem::status(dir + "/extent").permissions() & std::filesystem::perms::others_all,
              std::filesystem::perms::none);
#endif
    for (const char* bad : {"", "960", "0 1072", "-5 9", "x y", "99999 1"}) {
        std::ofstream(dir + "/extent") << bad;
        EXPECT_EQ(LoadExtent(dir), std::nullopt) << bad;
    }
    // A folder that cannot be made is an error to report, not a crash.
    std::ofstream(root / "file") << "x";
    EXPECT_NE(SaveExtent((root / "file" / "penvale").string(), 1, 1), "");
    std::filesystem::remove_all(root);
}

#ifdef _WIN32
TEST(StateStore, TheFolderIsTheUsersLocalApplicationData) {
    std::string saved = getenv("LOCALAPPDATA") != nullptr ? getenv("LOCALAPPDATA") : "";
    _putenv_s("LOCALAPPDATA", "C:\\Users\\u\\AppData\\Local");
    EXPECT_EQ(StateDirectory(""), "C:\\Users\\u\\AppData\\Local\\Penvale");
    EXPECT_EQ(StateDirectory("D:\\given"), "D:\\given");
    _putenv_s("LOCALAPPDATA", saved.c_str());
}
#else
TEST(StateStore, TheFolderComesFromTheOptionOrTheEnvironment) {
    struct Row {
        const char* given;
        const char* state;
        const char* xdg;
        const char* home;
        const char* expected;
    };
    const Row rows[] = {
        {"/given", "/run/state", "/xdg", "/home/u", "/given"},
        {"", "/var/lib/penvale:/var/lib/other", "/xdg", "/home/u", "/var/lib/penvale"},
        {"", nullptr, "/xdg", "/home/u", "/xdg/penvale"},
        {"", nullptr, "relative", "/home/u", "/home/u/.local/state/penvale"},
        {"", nullptr, nullptr, "/home/u", "/home/u/.local/state/penvale"},
        {"", nullptr, nullptr, nullptr, ""},
    };
    auto set = [](const char* name, const char* value) {
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    };
    std::string savedHome = getenv("HOME") != nullptr ? getenv("HOME") : "";
    for (const Row& row : rows) {
        set("STATE_DIRECTORY", row.state);
        set("XDG_STATE_HOME", row.xdg);
        set("HOME", row.home);
        EXPECT_EQ(StateDirectory(row.given), row.expected);
    }
    unsetenv("STATE_DIRECTORY");
    unsetenv("XDG_STATE_HOME");
    set("HOME", savedHome.empty() ? nullptr : savedHome.c_str());
}
#endif

TEST(ConnectHints, EveryReachableAllowedAddressAndNothingElse) {
    // Parsing cases only: nothing is sent to these addresses.
    std::vector<std::uint32_t> local;
    for (const char* text : {"127.0.0.1", "192.168.55.1", "10.1.2.3", "203.0.113.9", "192.168.55.1"}) {
        local.push_back(*ParseIpv4Address(text));
    }
    EXPECT_EQ(ConnectHints(0, 55, AllowList::Default(), local),
              (Lines{"handheld: set IP Address to 192.168.55.1 and Port to 55",
                     "handheld: set IP Address to 10.1.2.3 and Port to 55"}));
    EXPECT_EQ(ConnectHints(0, 5555, AllowList({*ParseIpv4Range("192.168.55.0/24")}), local),
              (Lines{"handheld: set IP Address to 192.168.55.1 and Port to 5555"}));
    EXPECT_EQ(ConnectHints(*ParseIpv4Address("127.0.0.2"), 4000, AllowList::Default(), local),
              (Lines{"handheld: set IP Address to 127.0.0.2 and Port to 4000"}));
    Lines none = ConnectHints(0, 55, AllowList::Default(), {*ParseIpv4Address("127.0.0.1")});
    ASSERT_EQ(none.size(), 1u);
    EXPECT_NE(none[0].find("no address of this machine"), std::string::npos);
}

TEST(LogLimiter, OneLinePerKeyPerIntervalWithTheCountOfTheOthers) {
    long seconds = 0;
    LogLimiter limiter(std::chrono::seconds(10), [&] {
        return LogLimiter::Clock::time_point(std::chrono::seconds(1000 + seconds));
    });
    EXPECT_EQ(limiter.Pass(1), 0);
    EXPECT_EQ(limiter.Pass(2), 0);  // another key has its own line
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(limiter.Pass(1), std::nullopt);
    }
    seconds = 9;
    EXPECT_EQ(limiter.Pass(1), std::nullopt);
    seconds = 10;
    EXPECT_EQ(limiter.Pass(1), 6);  // the six held back since the last line
    EXPECT_EQ(limiter.Pass(1), std::nullopt);
    seconds = 100;
    EXPECT_EQ(limiter.Pass(1), 1);
    EXPECT_EQ(limiter.Pass(2), 0);
    // A flood from many addresses keeps the table bounded and still logs.
    for (std::uint64_t key = 10; key < 20000; ++key) {
        limiter.Pass(key);
    }
    seconds = 200;
    EXPECT_EQ(limiter.Pass(5), 0);
}

}  // namespace
}  // namespace pv::server
