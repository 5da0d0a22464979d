#include "platform/debuglog.h"

#include <gtest/gtest.h>

#include <vector>

using namespace strandel;

TEST(DebugPrint, SilentWithoutASink)
{
    SetDebugSink({});
    EXPECT_EQ(DebugPrint("%s", "x"), 0);
}

TEST(DebugPrint, StripsTrailingLineBreaksAndCutsLongLines)
{
    std::vector<std::string> lines;
    SetDebugSink([&](const std::string &l) { lines.push_back(l); });
    DebugPrint("DvrTcp End Thread %d\r\n\r\n", 7);
    DebugPrint("%s", std::string(20000, 'y').c_str());
    DebugPrint("%s", "");
    SetDebugSink({});
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "DvrTcp End Thread 7");
    EXPECT_EQ(lines[1].size(), 10239u);
    EXPECT_EQ(lines[2], "");
}
