#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/QtProfile.h"
#include "settings/DesktopAddress.h"
#include "settings/SettingsStore.h"
#include "support/TempProfile.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(SettingsStore, EmptyProfileReadsDefaultsAndCreatesNothing) {
    CTempProfile temp;
    CQtProfile profile(temp.Path());
    CSettingsStore settings(profile);

    EXPECT_EQ(settings.Orientation(), 32774);
    EXPECT_EQ(settings.ExtendedDrawingTime(), 500);
    EXPECT_EQ(settings.IpAddress(), CSettingsStore::kDefaultIpAddress);
    EXPECT_EQ(settings.Port(), 55);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(temp.Path())));
}

TEST(SettingsStore, WritingAnIntegerCreatesThePathAndReadsBackAsANumber) {
    CTempProfile temp;
    {
        CQtProfile profile(temp.Path());
        CSettingsStore settings(profile);
        EXPECT_TRUE(settings.WriteOrientation(32776));
        EXPECT_TRUE(settings.WriteExtendedDrawingTime(200));
    }
    const std::string text = ReadFile(temp.Path());
    EXPECT_NE(text.find("[Settings]"), std::string::npos) << text;
    EXPECT_NE(text.find("Orientation=32776"), std::string::npos) << text;
    EXPECT_NE(text.find("ExtendedDrawingTime=200"), std::string::npos) << text;
    // The program never writes the address or the port.
    EXPECT_EQ(text.find("IP"), std::string::npos) << text;
    EXPECT_EQ(text.find("Port"), std::string::npos) << text;

    // A fresh reader sees text in the file and still gets numbers.
    CQtProfile again(temp.Path());
    CSettingsStore settings(again);
    EXPECT_EQ(settings.Orientation(), 32776);
    EXPECT_EQ(settings.ExtendedDrawingTime(), 200);
    EXPECT_EQ(settings.Port(), 55);
}

TEST(SettingsStore, ValuesSetByHandAreTakenUnchanged) {
    CTempProfile temp;
    temp.WriteSettings("IP%20Address=127.0.0.2\nPort=5555\nExtendedDrawingTime=1500\nOrientation=5\n");
    CQtProfile profile(temp.Path());
    CSettingsStore settings(profile);
    EXPECT_EQ(settings.IpAddress(), "127.0.0.2");
    EXPECT_EQ(settings.Port(), 5555);
    EXPECT_EQ(settings.ExtendedDrawingTime(), 1500);
    EXPECT_EQ(settings.Orientation(), 5);
}

TEST(SettingsStore, AValueChangedOutsideTheProgramIsSeenAtTheNextRead) {
    CTempProfile temp;
    temp.PointAt("127.0.0.2", 4000);
    CQtProfile profile(temp.Path());
    CSettingsStore settings(profile);
    EXPECT_EQ(settings.Port(), 4000);
    temp.PointAt("127.0.0.33", 40010);
    EXPECT_EQ(settings.IpAddress(), "127.0.0.33");
    EXPECT_EQ(settings.Port(), 40010);
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
        CTempProfile temp;
        temp.WriteSettings(row.stored == nullptr ? std::string() : "Port=" + std::string(row.stored) + "\n");
        CQtProfile profile(temp.Path());
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

TEST(SettingsStore, AddressIsWrittenAsAStringAndPortAsANumber) {
    CTempProfile temp;
    temp.WriteSettings("ExtendedDrawingTime=300\n");
    {
        CQtProfile profile(temp.Path());
        CSettingsStore settings(profile);
        EXPECT_TRUE(settings.WriteIpAddress("desktop.local"));
        EXPECT_TRUE(settings.WritePort(5556));
    }
    const std::string text = ReadFile(temp.Path());
    EXPECT_NE(text.find("IP%20Address=desktop.local\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Port=5556\n"), std::string::npos) << text;
    EXPECT_NE(text.find("ExtendedDrawingTime=300\n"), std::string::npos) << text;

    CQtProfile again(temp.Path());
    CSettingsStore settings(again);
    EXPECT_EQ(settings.IpAddress(), "desktop.local");
    EXPECT_EQ(settings.Port(), 5556);
    EXPECT_EQ(settings.PortText(), "5556");
}

TEST(SettingsStore, UserProfileLivesUnderPenvalePenvale) {
    // XDG_CONFIG_HOME was pointed at a temporary folder before Qt first looked at it (main below).
    CQtProfile profile;
    const std::string expected = std::getenv("XDG_CONFIG_HOME") + std::string("/Penvale/Penvale.conf");
    EXPECT_EQ(profile.FileName(), expected);
    CSettingsStore settings(profile);
    EXPECT_EQ(settings.Orientation(), 32774);
    EXPECT_FALSE(
        QDir(QString::fromStdString(std::getenv("XDG_CONFIG_HOME") + std::string("/Penvale"))).exists());
    settings.WriteOrientation(32775);
    EXPECT_NE(ReadFile(expected).find("[Settings]\nOrientation=32775"), std::string::npos);
}

int main(int argc, char** argv) {
    QTemporaryDir config;
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
