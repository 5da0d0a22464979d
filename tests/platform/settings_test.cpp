#include "platform/settings.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace strandel;

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { SetSettingsFilePath(dir.filePath("Holvane/Strandel.ini")); }
    void TearDown() override { SetSettingsFilePath({}); }
    void WriteRaw(const QByteArray &ini)
    {
        QDir().mkpath(dir.filePath("Holvane"));
        QFile f(SettingsFilePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(ini);
    }
    QTemporaryDir dir;
};

TEST_F(SettingsTest, ReadsWithoutAStoreReturnTheDefaultAndCreateNothing)
{
    EXPECT_EQ(RegReadInt("MainPosX", 100), 100);
    EXPECT_EQ(RegReadString("IpServerName", "x"), "x");
    EXPECT_FALSE(QFile::exists(SettingsFilePath()));
}

TEST_F(SettingsTest, IntegerReadOfAMissingValueWritesTheDefault)
{
    RegWriteInt("Other", 1);
    EXPECT_EQ(RegReadInt("MainPosX", 100), 100);
    QSettings s(SettingsFilePath(), QSettings::IniFormat);
    EXPECT_EQ(s.value("MainPosX").toInt(), 100);
}

TEST_F(SettingsTest, StringReadOfAMissingValueReturnsTheDefaultAndWritesNothing)
{
    RegWriteInt("Other", 1);
    EXPECT_EQ(RegReadString("IpServerName", "dflt"), "dflt");
    QSettings s(SettingsFilePath(), QSettings::IniFormat);
    EXPECT_FALSE(s.contains("IpServerName"));
}

TEST_F(SettingsTest, WrongTypeFallsBackAndIsRepaired)
{
    WriteRaw("[General]\nMainPosX=abc\nFontName=Arial\nEmpty=\n");
    EXPECT_EQ(RegReadInt("MainPosX", 7), 7);
    EXPECT_EQ(RegReadInt("MainPosX", 9), 7);
    EXPECT_EQ(RegReadString("FontName", "x"), "Arial");
    EXPECT_EQ(RegReadString("Empty", "x"), "");
}

TEST_F(SettingsTest, WritesRoundTripIncludingNegativeAndUnsignedValues)
{
    RegWriteInt("A", -5);
    RegWriteInt("B", int(0xC4B094u));
    RegWriteString("S", QString::fromUtf8("192.0.2.1"));
    EXPECT_EQ(RegReadInt("A", 0), -5);
    EXPECT_EQ(RegReadInt("B", 0), int(0xC4B094u));
    EXPECT_EQ(RegReadString("S", ""), "192.0.2.1");
}

TEST_F(SettingsTest, UnwritableStoreIsSwallowed)
{
    SetSettingsFilePath("/proc/strandel-cannot-write/Strandel.ini");
    RegWriteInt("A", 1);
    EXPECT_EQ(RegReadInt("A", 3), 3);
}
