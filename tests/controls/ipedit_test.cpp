#include "viewer/controls/ipedit.h"

#include "focus.h"

#include <QClipboard>
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

namespace {

struct TypingCase {
    const char *name;
    const char *start;   // address the box holds first
    int octet;           // octet the cursor is in
    int cursor;          // cursor place in it, -1 = its text selected
    const char *clip;    // clipboard text for '^' (Ctrl+V)
    const char *keys;    // typed as a person types, each key to the focused field
    const char *want;
};

const TypingCase kTyping[] = {
    {"fresh box, cursor behind the 0", "0.0.0.0", 0, 1, "", "192.168.1.10", "192.168.1.10"},
    {"fresh box, cursor before the 0", "0.0.0.0", 0, 0, "", "192.168.1.10", "192.168.1.10"},
    {"behind an existing 127", "127.0.0.1", 0, 3, "", "192.168.1.10", "192.168.1.10"},
    {"inside an existing 127", "127.0.0.1", 0, 1, "", "192.168.1.10", "192.168.1.10"},
    {"begun in the third octet", "127.0.0.1", 2, 0, "", "192.168.1.10", "192.168.1.10"},
    {"inside a short octet", "12.34.56.78", 0, 1, "", "10.1.2.3", "10.1.2.3"},
    {"dots after three digits", "0.0.0.0", 0, -1, "", "10.100.200.5", "10.100.200.5"},
    {"first octets only", "0.0.0.9", 0, 1, "", "192.168", "192.168.0.9"},
    {"dot without a move", "0.0.0.0", 0, -1, "", "1.2", "1.2.0.0"},
    {"octet above 255", "0.0.0.0", 0, -1, "", "300.1.1.1", "255.1.1.1"},
    {"leading zeros, no dots", "0.0.0.0", 0, 1, "", "192168001010", "192.168.1.10"},
    {"leading zeros with dots", "0.0.0.0", 0, 1, "", "192.168.001.010", "192.168.1.10"},
    {"zeros only", "0.0.0.0", 0, 1, "", "010000007009", "10.0.7.9"},
    {"two zeros then a dot", "0.0.0.0", 0, 1, "", "00.5", "0.5.0.0"},
    {"paste into another octet", "127.0.0.1", 2, 0, "192.168.1.10", "^", "192.168.1.10"},
    {"paste with blanks", "127.0.0.1", 0, 3, " 10.0.0.7\n", "^", "10.0.0.7"},
    {"paste of no address", "127.0.0.1", 0, 3, "abc", "^", "127.0.0.1"},
    {"paste of two octets", "127.0.0.1", 1, 0, "168.1", "^", "127.168.1.1"},
    {"paste of a number", "127.0.0.1", 3, 1, "55", "^", "127.0.0.55"},
};

QString Address(const TIpEdit &e)
{
    return QStringLiteral("%1.%2.%3.%4").arg(e.GetIp(0)).arg(e.GetIp(1)).arg(e.GetIp(2)).arg(e.GetIp(3));
}

} // namespace

TEST_F(IpEditTest, TypedOrPastedAddressIsStored)
{
    for (const TypingCase &c : kTyping) {
        SCOPED_TRACE(c.name);
        const QStringList start = QString::fromLatin1(c.start).split(u'.');
        for (int i = 0; i < 4; ++i)
            edit.SetIp(i, uint8_t(start[i].toInt()));
        FocusOn(F(3 - c.octet)); // the box is entered from another field, as a click does
        QTest::mouseClick(F(c.octet), Qt::LeftButton);
        if (c.cursor < 0)
            F(c.octet)->selectAll();
        else
            F(c.octet)->setCursorPosition(c.cursor);
        QGuiApplication::clipboard()->setText(QString::fromUtf8(c.clip));
        for (const char *k = c.keys; *k; ++k) {
            QWidget *focused = QApplication::focusWidget();
            ASSERT_NE(focused, nullptr);
            if (*k == '^')
                QTest::keyClick(focused, Qt::Key_V, Qt::ControlModifier);
            else
                QTest::keyClick(focused, *k);
        }
        EXPECT_EQ(Address(edit).toStdString(), c.want);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(F(i)->text().toStdString(), std::to_string(edit.GetIp(i))) << "octet " << i << " shows another value";
    }
}
