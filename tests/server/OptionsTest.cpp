#include "server/Options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/AllowList.h"

namespace pv::server {
namespace {

TEST(AllowList, RangesParseOrAreRefused) {
    struct Row {
        const char* text;
        const char* parsed;  // nullptr: refused
    };
    const Row rows[] = {
        {"127.0.0.3", "127.0.0.3/32"},
        {"192.168.1.0/24", "192.168.1.0/24"},
        {"192.168.1.77/24", "192.168.1.0/24"},  // host bits dropped
        {"10.0.0.0/8", "10.0.0.0/8"},
        {"0.0.0.0/0", "0.0.0.0/0"},
        {"1.2.3.4/33", nullptr},
        {"1.2.3.4/", nullptr},
        {"1.2.3.4/-1", nullptr},
        {"1.2.3.4/+8", nullptr},
        {"1.2.3.4/8x", nullptr},
        {"1.2.3/24", nullptr},
        {"256.1.1.1", nullptr},
        {"localhost", nullptr},
        {"", nullptr},
        {"::1", nullptr},
    };
    for (const Row& row : rows) {
        auto range = ParseIpv4Range(row.text);
        if (row.parsed == nullptr) {
            EXPECT_FALSE(range) << row.text;
        } else {
            ASSERT_TRUE(range) << row.text;
            EXPECT_EQ(range->ToString(), row.parsed) << row.text;
        }
    }
}

TEST(AllowList, DefaultTakesLoopbackPrivateAndLinkLocalOnly) {
    const std::pair<const char*, bool> rows[] = {
        {"127.0.0.1", true},      {"127.255.0.9", true},  {"10.1.2.3", true},    {"172.16.42.2", true},
        {"172.31.255.255", true}, {"192.168.0.5", true},  {"169.254.7.7", true}, {"172.15.0.1", false},
        {"172.32.0.1", false},    {"192.169.0.1", false}, {"8.8.8.8", false},    {"0.0.0.0", false},
        {"224.0.0.1", false},     {"100.64.0.1", false},
    };
    AllowList allow = AllowList::Default();
    for (const auto& [address, allowed] : rows) {
        EXPECT_EQ(allow.Allows(*ParseIpv4Address(address)), allowed) << address;
    }
}

TEST(Options, CommandLines) {
    struct Row {
        std::vector<std::string> args;
        const char* error;  // a part of the error, or "" for none
        const char* listen;
        int port;
        std::vector<std::string> allow;
        bool print;
    };
    const std::vector<Row> rows = {
        {{}, "", "0.0.0.0", 55, {}, false},
        {{"--listen", "127.0.0.2", "--port", "5555", "--print"}, "", "127.0.0.2", 5555, {}, true},
        {{"--listen=127.0.0.3", "--port=0"}, "", "127.0.0.3", 0, {}, false},
        {{"--allow", "10.0.0.0/8", "--allow=127.0.0.3"},
         "",
         "0.0.0.0",
         55,
         {"10.0.0.0/8", "127.0.0.3/32"},
         false},
        {{"--listen", "localhost"}, "--listen: 'localhost' is not an IPv4 address", "", 0, {}, false},
        {{"--port", "65536"}, "--port: '65536'", "", 0, {}, false},
        {{"--port", "-1"}, "--port: '-1'", "", 0, {}, false},
        {{"--port"}, "--port needs a value", "", 0, {}, false},
        {{"--allow", "10.0.0.0/40"}, "--allow: '10.0.0.0/40'", "", 0, {}, false},
        {{"--print=yes"}, "--print takes no value", "", 0, {}, false},
        {{"--verbose"}, "unknown option '--verbose'", "", 0, {}, false},
    };
    for (const Row& row : rows) {
        ParsedOptions parsed = ParseOptions(row.args);
        std::string name = row.args.empty() ? "(none)" : row.args.front();
        if (*row.error != '\0') {
            EXPECT_NE(parsed.error.find(row.error), std::string::npos) << name << ": " << parsed.error;
            continue;
        }
        ASSERT_EQ(parsed.error, "") << name;
        EXPECT_EQ(FormatIpv4Address(parsed.options.listenAddress), row.listen) << name;
        EXPECT_EQ(parsed.options.port, row.port) << name;
        std::vector<std::string> allow;
        for (const Ipv4Range& range : parsed.options.allow) {
            allow.push_back(range.ToString());
        }
        EXPECT_EQ(allow, row.allow) << name;
        EXPECT_EQ(parsed.options.print, row.print) << name;
    }
}

}  // namespace
}  // namespace pv::server
