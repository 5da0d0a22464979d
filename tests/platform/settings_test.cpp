#include "platform/debuglog.h"
#include "platform/settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

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

// A string longer than what it can mean costs nothing further: the default is taken and said.
TEST_F(SettingsTest, StringsOverTheirBoundTakeTheDefault)
{
    std::vector<std::string> lines;
    SetDebugSink([&](const std::string &l) { lines.push_back(l); });
    struct Case {
        int length, bound;
        bool kept;
    } cases[] = {{255, kMaxNameLength, true},     {256, kMaxNameLength, false},
                 {kMaxPathLength, kMaxPathLength, true}, {kMaxPathLength + 1, kMaxPathLength, false},
                 {1000000, kMaxPathLength, false}};
    for (const Case &c : cases) {
        RegWriteString("S", QString(c.length, u'a'));
        lines.clear();
        EXPECT_EQ(RegReadString("S", "dflt", c.bound).size(), c.kept ? c.length : 4) << c.length;
        EXPECT_EQ(lines.size(), c.kept ? 0u : 1u) << c.length;
    }
    RegWriteString("S", QString(kMaxPathLength + 1, u'a'));
    EXPECT_EQ(RegReadString("S", "dflt"), "dflt"); // a path, unless the caller says otherwise
    SetDebugSink({});
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

// Start-up reads many values from one file: the file is opened once, not once a value. A
// large file, as the costly case is (small files may be cached by Qt).
TEST_F(SettingsTest, ManyReadsOpenTheFileOnce)
{
    QByteArray ini = "[General]\n";
    for (int i = 0; i < 20000; ++i)
        ini += "Filler" + QByteArray::number(i) + "=" + QByteArray(40, 'x') + "\n";
    ini += "MainPosX=17\n";
    WriteRaw(ini);
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, QFile::encodeName(SettingsFilePath()).constData(), IN_OPEN | IN_CLOSE), 0);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(RegReadInt("MainPosX", 0), 17);
        EXPECT_EQ(RegReadString("Filler7", ""), QString(40, u'x'));
    }
    // Closes are watched too: the kernel merges repeated events that follow each other.
    int opens = 0;
    alignas(inotify_event) char buf[4096];
    for (ssize_t n; (n = ::read(watch, buf, sizeof buf)) > 0;)
        for (char *p = buf; p < buf + n; p += sizeof(inotify_event) + reinterpret_cast<inotify_event *>(p)->len)
            opens += (reinterpret_cast<inotify_event *>(p)->mask & IN_OPEN) != 0;
    ::close(watch);
    EXPECT_LE(opens, 2);
}

// What one part of the program writes, another reads at once; a change made to the file
// directly (another process) is seen too.
TEST_F(SettingsTest, SharedStoreSeesWritesFromBothSides)
{
    RegWriteInt("A", 1);
    EXPECT_EQ(RegReadInt("A", 0), 1);
    {
        QSettings s(SettingsFilePath(), QSettings::IniFormat);
        EXPECT_EQ(s.value("A").toInt(), 1);
    }
    WriteRaw("[General]\nA=2\nB=long enough to change the size\n");
    EXPECT_EQ(RegReadInt("A", 0), 2);
    QFile::remove(SettingsFilePath());
    RegWriteInt("C", 3);
    QSettings s(SettingsFilePath(), QSettings::IniFormat);
    EXPECT_FALSE(s.contains("A"));
    EXPECT_EQ(s.value("C").toInt(), 3);
}
