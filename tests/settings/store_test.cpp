// The settings store over a profile held in memory: names, types and defaults as
// the program reads and writes them.
#include <gtest/gtest.h>

#include "settings/DesktopAddress.h"
#include "settings/SettingsStore.h"
#include "tests/support/MemoryProfile.h"

TEST(SettingsStore, MissingValuesReadAsDefaultsAndReadingWritesNothing) {
    CMemoryProfile profile;
    const CSettingsStore store(profile);
    EXPECT_EQ(store.Orientation(), 32774);
    EXPECT_EQ(store.ExtendedDrawingTime(), 500);
    EXPECT_EQ(store.IpAddress(), "172.16.42.2");
    EXPECT_EQ(store.Port(), 55);
    EXPECT_TRUE(profile.values.empty());
    EXPECT_EQ(profile.writes, 0);
}

TEST(SettingsStore, StoredValuesAreReadUnderTheirOwnNamesAndWritesGoToTheSection) {
    CMemoryProfile profile;
    profile.Set("Orientation", "32776");
    profile.Set("ExtendedDrawingTime", "750");
    profile.Set("IP Address", "127.0.0.2");
    profile.Set("Port", "5555");
    const CSettingsStore store(profile);
    EXPECT_EQ(store.Orientation(), 32776);
    EXPECT_EQ(store.ExtendedDrawingTime(), 750);
    EXPECT_EQ(store.IpAddress(), "127.0.0.2");
    EXPECT_EQ(store.Port(), 5555);

    EXPECT_TRUE(store.WriteOrientation(32777));
    EXPECT_TRUE(store.WriteExtendedDrawingTime(0));
    EXPECT_EQ(profile.values.at({"Settings", "Orientation"}), "32777");
    EXPECT_EQ(profile.values.at({"Settings", "ExtendedDrawingTime"}), "0");
    EXPECT_EQ(profile.writes, 2);
}

TEST(SettingsStore, APortThatIsNoWholeNumberFrom1To65535IsNoPort) {
    struct Row {
        const char* stored;  // nullptr: no value
        int port;
    };
    const Row rows[] = {
        {nullptr, 55},          {"5555", 5555},       {"1", 1},
        {"65535", 65535},       {"05555", 5555},      {" 5555 ", 5555},
        {"5555x", 0},           {"x5555", 0},         {"", 0},
        {"99999999999", 0},     {"4294967351", 0},    {"65536", 0},
        {"0", 0},               {"-1", 0},            {"+55", 0},
        {"55.0", 0},            {"5 5", 0},           {"0x37", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored == nullptr ? "(none)" : row.stored);
        CMemoryProfile profile;
        if (row.stored != nullptr) {
            profile.Set("Port", row.stored);
        }
        EXPECT_EQ(CSettingsStore(profile).Port(), row.port);
    }
    EXPECT_EQ(pv::desktop::kNoPort, 0);
}

TEST(SettingsStore, AddressesAndHostNamesThatMayBeTyped) {
    for (const char* good : {"127.0.0.2", "0.0.0.0", "255.255.255.255", "desktop", "desktop.local",
                             "my-pc.example.org", "a1.b2", "x.y.z.123a"}) {
        EXPECT_TRUE(pv::desktop::IsValidAddress(good)) << good;
        EXPECT_TRUE(pv::desktop::CouldBecomeAddress(good)) << good;
    }
    for (const char* bad : {"", "256.1.1.1", "127.0.0", "127.0.0.2.", "127.000.000.002", "1.2.3.4.5",
                            "-desktop", "desktop-", "desk..top", ".desktop", "my_pc", "desk top", "10.0.0.1x:55",
                            "example.123"}) {
        EXPECT_FALSE(pv::desktop::IsValidAddress(bad)) << bad;
    }
    EXPECT_TRUE(pv::desktop::IsIpv4Address("172.16.42.2"));
    EXPECT_FALSE(pv::desktop::IsIpv4Address("desktop"));
    // While typing: a half-typed address may go on, a blank or a colon may not.
    EXPECT_TRUE(pv::desktop::CouldBecomeAddress("127.0."));
    EXPECT_TRUE(pv::desktop::CouldBecomeAddress(""));
    EXPECT_FALSE(pv::desktop::CouldBecomeAddress("desk top"));
    EXPECT_FALSE(pv::desktop::CouldBecomeAddress("127.0.0.2:55"));
    EXPECT_FALSE(pv::desktop::CouldBecomeAddress(std::string(254, 'a')));
    EXPECT_TRUE(pv::desktop::IsValidAddress(std::string(63, 'a') + "." + std::string(63, 'b')));
    EXPECT_FALSE(pv::desktop::IsValidAddress(std::string(64, 'a')));
}
