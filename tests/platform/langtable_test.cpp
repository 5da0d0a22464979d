#include "platform/langtable.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>

using namespace strandel;

namespace {

std::string WriteFile(const QTemporaryDir &dir, const std::string &text)
{
    std::string path = dir.filePath("Lang.txt").toStdString();
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

} // namespace

TEST(LangTable, LoadsLinesAndKeepsALastLineWithoutBreak)
{
    QTemporaryDir dir;
    struct Case {
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"Connecting \nWait\n", {"Connecting ", "Wait", ""}},
        {"one\r\ntwo", {"one", "two", ""}},
        {"", {""}},
    };
    for (const auto &c : cases) {
        LangTable t;
        ASSERT_TRUE(t.Load(WriteFile(dir, c.text)));
        for (size_t i = 0; i < c.lines.size(); ++i)
            EXPECT_EQ(t.Line(int(i)), c.lines[i]) << c.text << " line " << i;
    }
}

TEST(LangTable, KeepsTheFirstHundredLinesAndSplitsLongOnes)
{
    QTemporaryDir dir;
    std::string text;
    for (int i = 0; i < 150; ++i)
        text += "line" + std::to_string(i) + "\n";
    LangTable t;
    t.Load(WriteFile(dir, text));
    EXPECT_EQ(t.Count(), 100);
    EXPECT_EQ(t.Line(99), "line99");
    EXPECT_EQ(t.Line(100), "");
    EXPECT_EQ(t.Line(-1), "");

    t.Load(WriteFile(dir, std::string(1500, 'x') + "\nnext\n"));
    EXPECT_EQ(t.Line(0).size(), 1023u);
    EXPECT_EQ(t.Line(1).size(), 477u);
    EXPECT_EQ(t.Line(2), "next");
}

TEST(LangTable, MissingFileLeavesEveryLineEmpty)
{
    LangTable t;
    EXPECT_FALSE(t.Load("/nonexistent/Lang.txt"));
    EXPECT_EQ(t.Count(), 0);
    EXPECT_EQ(t.Line(0), "");
}
