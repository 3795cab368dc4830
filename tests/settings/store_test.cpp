// The settings store over a profile held in memory: names, types and defaults as
// the program reads and writes them.
#include <gtest/gtest.h>

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
