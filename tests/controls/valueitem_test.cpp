#include "viewer/controls/myitemedit.h"
#include "viewer/controls/myvalueedit.h"

#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

using namespace strandel;

namespace {

void Wheel(QWidget *w, int delta)
{
    const QPointF pos(w->width() / 2.0, w->height() / 2.0);
    QWheelEvent e(pos, w->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

QString Items5[5] = {"a", "b", "c", "d", "e"};

} // namespace

TEST(MyItemEdit, CyclesThroughItemsWithKeysDigitsAndWheel)
{
    TMyItemEdit e;
    EXPECT_TRUE(e.isReadOnly());
    EXPECT_EQ(e.text(), "NO");
    QTest::keyClick(&e, Qt::Key_Right);
    EXPECT_EQ(e.text(), "YES");
    QTest::keyClick(&e, Qt::Key_Right);
    EXPECT_EQ(e.text(), "NO");
    QTest::keyClick(&e, Qt::Key_Left);
    EXPECT_EQ(e.text(), "YES");
    QTest::keyClick(&e, Qt::Key_0);
    EXPECT_EQ(e.GetValue(), 0);
    QTest::keyClick(&e, Qt::Key_7); // beyond the last item: the last one
    EXPECT_EQ(e.text(), "YES");
    EXPECT_EQ(e.GetValue(), 1);

    e.SetItem(5, Items5);
    EXPECT_EQ(e.text(), "a");
    Wheel(&e, 120); // up steps like Left, wrapping to the last item
    EXPECT_EQ(e.GetValue(), 4);
    EXPECT_EQ(e.text(), "e");
    Wheel(&e, -120);
    EXPECT_EQ(e.text(), "a");
    QTest::keyClick(&e, Qt::Key_3);
    EXPECT_EQ(e.text(), "d");
}

TEST(MyItemEdit, ClampsIndexesAndCounts)
{
    TMyItemEdit e;
    e.SetItem(5, Items5);
    const struct { int set, want; } cases[] = {{2, 2}, {-1, 0}, {5, 4}, {1000, 4}};
    for (const auto &c : cases) {
        e.SetValue(c.set);
        EXPECT_EQ(e.GetValue(), c.want) << c.set;
        EXPECT_EQ(e.text(), Items5[c.want]) << c.set;
    }
    QString many[25];
    for (int i = 0; i < 25; ++i)
        many[i] = QString::number(i);
    e.SetItem(25, many);
    EXPECT_EQ(e.ItemCount(), TMyItemEdit::kMaxItems);
    QTest::keyClick(&e, Qt::Key_Left);
    EXPECT_EQ(e.text(), "19");
    e.SetItem(0, nullptr); // no items: keys change nothing and nothing is shown
    QTest::keyClick(&e, Qt::Key_Right);
    EXPECT_EQ(e.text(), "");
    EXPECT_EQ(e.GetValue(), 0);
}

TEST(MyValueEdit, KeepsValueInRange)
{
    TMyValueEdit e;
    EXPECT_EQ(e.text(), "0");
    EXPECT_EQ(e.GetMinValue(), 0);
    EXPECT_EQ(e.GetMaxValue(), 30);

    e.clear();
    QTest::keyClicks(&e, "4");
    EXPECT_EQ(e.GetValue(), 4);
    QTest::keyClicks(&e, "5"); // 45 is above the maximum
    EXPECT_EQ(e.GetValue(), 30);
    EXPECT_EQ(e.text(), "30");
    QTest::keyClick(&e, Qt::Key_Right);
    EXPECT_EQ(e.text(), "30");
    Wheel(&e, 120); // up writes value - 1
    EXPECT_EQ(e.GetValue(), 29);
    Wheel(&e, -120);
    EXPECT_EQ(e.GetValue(), 30);

    e.SetValue(0);
    QTest::keyClick(&e, Qt::Key_Left); // -1 is refused
    EXPECT_EQ(e.GetValue(), 0);
    EXPECT_EQ(e.text(), "0");
    e.SetValue(7);
    QTest::keyClicks(&e, "x-");
    EXPECT_EQ(e.text(), "7");
    e.clear();
    EXPECT_EQ(e.GetValue(), 0);
    EXPECT_EQ(e.text(), "0");
}

TEST(MyValueEdit, TextAndSetValueCases)
{
    TMyValueEdit e;
    e.SetMinValue(1);
    e.SetMaxValue(12);
    const struct {
        const char *text;
        int want;
        const char *shown;
    } texts[] = {
        {"5", 5, "5"},
        {"0", 1, "1"},
        {"013", 12, "12"},
        {"99999999999", 12, "12"}, // too long for 32 bits: the value stays
        {"", 1, "1"},              // empty becomes 0, which the minimum then lifts
    };
    for (const auto &c : texts) {
        e.setText(c.text);
        EXPECT_EQ(e.GetValue(), c.want) << c.text;
        EXPECT_EQ(e.text(), c.shown) << c.text;
    }
    const struct { int set, want; } values[] = {{6, 6}, {-5, 1}, {40, 12}};
    for (const auto &c : values) {
        e.SetValue(c.set);
        EXPECT_EQ(e.GetValue(), c.want) << c.set;
        EXPECT_EQ(e.text(), QString::number(c.want)) << c.set;
    }
}
