#include "viewer/controls/dtedit.h"

#include "focus.h"

#include <QLineEdit>

#include <gtest/gtest.h>

using namespace strandel;

namespace {

enum { kYear, kMonth, kDay, kHour, kMinute, kSecond };

class DateTimeEditTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ShowActive(edit)); }
    QLineEdit *F(int i) { return edit.Field(i); }
    void Type(int i, const char *keys)
    {
        FocusOn(F(i));
        QTest::keyClicks(F(i), keys);
        QApplication::processEvents();
    }
    void Key(int i, Qt::Key key)
    {
        FocusOn(F(i));
        QTest::keyClick(F(i), key);
        QApplication::processEvents();
    }
    TDateTimeEdit edit;
};

} // namespace

TEST_F(DateTimeEditTest, StartsAt2004_10_10)
{
    uint8_t rt[7];
    edit.GetDateTime(rt);
    const uint8_t want[7] = {20, 4, 10, 10, 0, 0, 0};
    EXPECT_EQ(0, memcmp(rt, want, 7));
    EXPECT_EQ(F(kYear)->text(), "2004");
    EXPECT_EQ(F(kMonth)->text(), "10");
    EXPECT_EQ(F(kSecond)->text(), "00");
}

TEST_F(DateTimeEditTest, TypingAFullFieldStoresItAndMovesOn)
{
    Type(kMonth, "12");
    EXPECT_EQ(edit.Value(kMonth), 12);
    EXPECT_TRUE(F(kDay)->hasFocus());

    Type(kYear, "1999");
    EXPECT_EQ(edit.Value(kYear), 1999);
    EXPECT_TRUE(F(kMonth)->hasFocus());

    Type(kMinute, "a7?5"); // only digits are taken
    EXPECT_EQ(edit.Value(kMinute), 0); // 75 is no minute
    EXPECT_EQ(F(kMinute)->text(), "00");
    F(kMinute)->selectAll();
    QTest::keyClicks(F(kMinute), "x45");
    EXPECT_EQ(edit.Value(kMinute), 45);
}

TEST_F(DateTimeEditTest, InvalidEntriesAreRefusedInPlace)
{
    const uint8_t april[7] = {20, 8, 4, 30, 12, 0, 0};
    edit.SetDateTime(april);
    Type(kDay, "31"); // 31 April
    EXPECT_EQ(edit.Value(kDay), 30);
    EXPECT_EQ(F(kDay)->text(), "30");
    EXPECT_TRUE(F(kDay)->hasFocus());
    Type(kHour, "24");
    EXPECT_EQ(F(kHour)->text(), "12");
    EXPECT_TRUE(F(kHour)->hasFocus());
}

TEST_F(DateTimeEditTest, LeavingAShortFieldPadsIt)
{
    FocusOn(F(kDay));
    F(kDay)->selectAll();
    QTest::keyClicks(F(kDay), "5");
    EXPECT_EQ(F(kDay)->text(), "5");
    FocusOn(F(kYear));
    EXPECT_EQ(F(kDay)->text(), "05");
    EXPECT_EQ(edit.Value(kDay), 5);
    EXPECT_TRUE(F(kYear)->hasFocus()); // the focus stays where the user put it

    FocusOn(F(kDay));
    F(kDay)->clear(); // day 00 is no date
    FocusOn(F(kYear));
    EXPECT_EQ(F(kDay)->text(), "05");
}

TEST_F(DateTimeEditTest, UpAndDownStepWithinValidValues)
{
    const uint8_t t[7] = {20, 4, 9, 10, 0, 0, 0};
    edit.SetDateTime(t);
    Key(kMonth, Qt::Key_Up);
    EXPECT_EQ(F(kMonth)->text(), "10");
    EXPECT_TRUE(F(kDay)->hasFocus());

    const uint8_t dec[7] = {20, 4, 12, 10, 0, 0, 0};
    edit.SetDateTime(dec);
    Key(kMonth, Qt::Key_Up);
    EXPECT_EQ(F(kMonth)->text(), "12");
    EXPECT_EQ(edit.Value(kMonth), 12);

    // 00 - 1 wraps to 65535, which no field can hold: the field keeps showing its value.
    Key(kHour, Qt::Key_Down);
    EXPECT_EQ(F(kHour)->text(), "00");
    EXPECT_EQ(edit.Value(kHour), 0);
}

TEST_F(DateTimeEditTest, ArrowsWalkRoundTheFields)
{
    FocusOn(F(kYear));
    F(kYear)->setCursorPosition(0);
    QTest::keyClick(F(kYear), Qt::Key_Left);
    EXPECT_TRUE(F(kSecond)->hasFocus());
    F(kSecond)->setCursorPosition(2);
    QTest::keyClick(F(kSecond), Qt::Key_Right);
    EXPECT_TRUE(F(kYear)->hasFocus());
    F(kYear)->setCursorPosition(2);
    QTest::keyClick(F(kYear), Qt::Key_Left); // inside the text: the caret moves
    EXPECT_TRUE(F(kYear)->hasFocus());
    EXPECT_EQ(F(kYear)->cursorPosition(), 1);
}

TEST_F(DateTimeEditTest, SetAndGetAgree)
{
    const uint8_t t[7] = {20, 26, 2, 28, 23, 59, 58};
    edit.SetDateTime(t);
    uint8_t back[7];
    edit.GetDateTime(back);
    EXPECT_EQ(0, memcmp(t, back, 7));
    EXPECT_EQ(F(kYear)->text(), "2026");
    EXPECT_EQ(F(kHour)->text(), "23");

    edit.SetDateTime(QDateTime(QDate(1999, 12, 31), QTime(1, 2, 3)));
    edit.GetDateTime(back);
    const uint8_t want[7] = {19, 99, 12, 31, 1, 2, 3};
    EXPECT_EQ(0, memcmp(want, back, 7));
    EXPECT_EQ(edit.DateTime(), QDateTime(QDate(1999, 12, 31), QTime(1, 2, 3)));
}
