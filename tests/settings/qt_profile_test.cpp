#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/QtProfile.h"
#include "settings/SettingsStore.h"
#include "tests/support/TempProfile.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(QtProfileSettings, EmptyProfileReadsDefaultsAndCreatesNothing) {
    CTempProfile temp;
    CQtProfile profile(temp.Path());
    CSettingsStore settings(profile);

    EXPECT_EQ(settings.Orientation(), 32774);
    EXPECT_EQ(settings.ExtendedDrawingTime(), 500);
    EXPECT_EQ(settings.IpAddress(), CSettingsStore::kDefaultIpAddress);
    EXPECT_EQ(settings.Port(), 55);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(temp.Path())));
}

TEST(QtProfileSettings, WritingAnIntegerCreatesThePathAndReadsBackAsANumber) {
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

TEST(QtProfileSettings, ValuesSetByHandAreTakenUnchanged) {
    CTempProfile temp;
    temp.WriteSettings("IP%20Address=127.0.0.2\nPort=5555\nExtendedDrawingTime=1500\nOrientation=5\n");
    CQtProfile profile(temp.Path());
    CSettingsStore settings(profile);
    EXPECT_EQ(settings.IpAddress(), "127.0.0.2");
    EXPECT_EQ(settings.Port(), 5555);
    EXPECT_EQ(settings.ExtendedDrawingTime(), 1500);
    EXPECT_EQ(settings.Orientation(), 5);
}

TEST(QtProfileSettings, AValueChangedOutsideTheProgramIsSeenAtTheNextRead) {
    CTempProfile temp;
    temp.PointAt("127.0.0.2", 4000);
    CQtProfile profile(temp.Path());
    CSettingsStore settings(profile);
    EXPECT_EQ(settings.Port(), 4000);
    temp.PointAt("127.0.0.33", 40010);
    EXPECT_EQ(settings.IpAddress(), "127.0.0.33");
    EXPECT_EQ(settings.Port(), 40010);
}

TEST(QtProfileSettings, AddressIsWrittenAsAStringAndPortAsANumber) {
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

TEST(QtProfileSettings, UserProfileLivesUnderPenvalePenvale) {
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
