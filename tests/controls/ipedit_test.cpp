#include "viewer/controls/ipedit.h"

#include "focus.h"

#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

using namespace strandel;

namespace {

class IpEditTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ShowActive(edit)); }
    QLineEdit *F(int i) { return edit.Field(i); }
    void Type(int i, const char *keys)
    {
        FocusOn(F(i));
        F(i)->selectAll();
        QTest::keyClicks(F(i), keys);
    }
    TIpEdit edit;
};

} // namespace

TEST_F(IpEditTest, TypingFillsOctetsAndMovesOn)
{
    Type(0, "192");
    EXPECT_EQ(edit.GetIp(0), 192);
    EXPECT_TRUE(F(1)->hasFocus());
    EXPECT_EQ(F(1)->selectedText(), "0");

    Type(1, "300");
    EXPECT_EQ(F(1)->text(), "255");
    EXPECT_EQ(edit.GetIp(1), 255);
    EXPECT_TRUE(F(2)->hasFocus());

    Type(2, "7.");
    EXPECT_EQ(edit.GetIp(2), 7);
    EXPECT_TRUE(F(3)->hasFocus());
    Type(3, "1a.");
    EXPECT_EQ(F(3)->text(), "1");
    EXPECT_TRUE(F(3)->hasFocus()); // '.' in the last octet stays

    uint8_t ip[4];
    edit.GetIp(ip);
    const uint8_t want[4] = {192, 255, 7, 1};
    EXPECT_EQ(0, memcmp(ip, want, 4));
}

TEST_F(IpEditTest, ArrowsWrapRoundTheOctets)
{
    FocusOn(F(0));
    F(0)->setCursorPosition(0);
    QTest::keyClick(F(0), Qt::Key_Left);
    EXPECT_TRUE(F(3)->hasFocus());
    F(3)->setCursorPosition(F(3)->text().size());
    QTest::keyClick(F(3), Qt::Key_Right);
    EXPECT_TRUE(F(0)->hasFocus());
}

TEST_F(IpEditTest, SetIpAndEmptiedOctet)
{
    const uint8_t ip[4] = {10, 0, 0, 1};
    edit.SetIp(ip);
    EXPECT_EQ(edit.GetIp(2), 0);
    EXPECT_EQ(F(0)->text(), "10");
    EXPECT_EQ(F(3)->text(), "1");

    FocusOn(F(0));
    F(0)->clear();
    FocusOn(F(1));
    EXPECT_EQ(F(0)->text(), "10"); // shows again what it holds
    EXPECT_EQ(edit.GetIp(0), 10);

    edit.SetEnable(false);
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(F(i)->isEnabled());
}

TEST_F(IpEditTest, ResizeLaysOutFieldsAndDots)
{
    edit.resize(122, 22); // client 120 x 20 inside the 1-pixel border
    const int w = 30;
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(F(i)->geometry(), QRect(1 + w * i + 5, 1, w - 10, 20)) << i;
    const auto dots = edit.findChildren<QLabel *>();
    ASSERT_EQ(dots.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(dots[i]->text(), ".");
        EXPECT_EQ(dots[i]->geometry(), QRect(1 + w * i + (w - 10) + 5, 1, 10, 20)) << i;
    }
}
