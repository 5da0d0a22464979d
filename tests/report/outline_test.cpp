#include <gtest/gtest.h>

#include <QBuffer>
#include <QTreeWidget>

#include "platform/endian.h"
#include "report/forms/outlinetree.h"
#include "report/pages/outline.h"

using namespace strandel;

namespace {

// The tree as indented captions, depth first.
QStringList Shape(QTreeWidget &tree)
{
    QStringList out;
    std::function<void(QTreeWidgetItem *, int)> walk = [&](QTreeWidgetItem *item, int depth) {
        out << QString(depth, QLatin1Char('.')) + item->text(0);
        for (int i = 0; i < item->childCount(); ++i)
            walk(item->child(i), depth + 1);
    };
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        walk(tree.topLevelItem(i), 0);
    return out;
}

void AddSample(TPgxOutline &o)
{
    o.AddNode("Customers", 1, {0, 0, 10, 10}, 1);
    o.AddNode("Abbot", 2, {0, 10, 10, 20}, 1);
    o.AddNode("Orders", 3, {0, 20, 10, 30}, 2);
    o.AddNode("Baker", 2, {0, 30, 10, 40}, 3);
    o.AddNode("Totals", 1, {0, 40, 10, 50}, 4);
}

} // namespace

TEST(Outline, MirrorsIntoTheTreeWhileAddingAndOnRebuild)
{
    const QStringList expected = {"Customers", ".Abbot", "..Orders", ".Baker", "Totals"};
    QTreeWidget live;
    TPgxTreeWidgetOutline liveTree(&live);
    TPgxOutline o;
    o.SetTreeNodes(&liveTree);
    AddSample(o);
    EXPECT_EQ(Shape(live), expected);

    // Saved and loaded again, the outline rebuilds the same tree.
    QByteArray bytes = o.SaveToBytes();
    EXPECT_EQ(bytes.size(), 4 + 5 * 80);
    QTreeWidget rebuilt;
    TPgxTreeWidgetOutline rebuiltTree(&rebuilt);
    TPgxOutline back;
    back.SetTreeNodes(&rebuiltTree);
    ASSERT_TRUE(back.LoadFromBytes(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())));
    EXPECT_EQ(Shape(rebuilt), expected);
    EXPECT_EQ(back.SaveToBytes(), bytes);

    // The same through a device, followed by other data that stays unread.
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    ASSERT_TRUE(o.SaveToStream(buffer));
    buffer.write("tail");
    buffer.seek(0);
    TPgxOutline viaDevice;
    ASSERT_TRUE(viaDevice.LoadFromStream(buffer));
    EXPECT_EQ(viaDevice.SaveToBytes(), bytes);
    EXPECT_EQ(buffer.read(4), QByteArray("tail"));

    // The preview finds an entry's page and area by its tree node.
    PgxRect area;
    int32_t page = -1;
    back.FindPosition(rebuilt.topLevelItem(0)->child(1), area, page);
    EXPECT_EQ(page, 3);
    EXPECT_EQ(area, (PgxRect{0, 30, 10, 40}));
    back.FindPosition(&live, area, page);
    EXPECT_EQ(page, 0);
    EXPECT_EQ(area, PgxRect{});
}

TEST(Outline, CaptionsAreCutToFiftyCharacters)
{
    TPgxOutline o;
    QString sixty = QString(60, QLatin1Char('x'));
    o.AddNode(sixty, 1, {}, 1);
    EXPECT_EQ(TPgxOutline::CaptionText(o.Node(0)), sixty.left(50));
    // A character of two bytes is never split.
    o.AddNode(QString(49, QLatin1Char('a')) + QStringLiteral("\u00e9z"), 1, {}, 1);
    EXPECT_EQ(TPgxOutline::CaptionText(o.Node(1)), QString(49, QLatin1Char('a')));
}

TEST(Outline, StreamsWithBadFieldsAreRefused)
{
    TPgxOutline o;
    AddSample(o);
    const QByteArray good = o.SaveToBytes();
    struct Case {
        const char *name;
        std::function<void(QByteArray &)> damage;
    } cases[] = {
        {"count beyond the bytes", [](QByteArray &b) { PutLe32(reinterpret_cast<uint8_t *>(b.data()), 6); }},
        {"count huge", [](QByteArray &b) { PutLe32(reinterpret_cast<uint8_t *>(b.data()), 0xffffffff); }},
        {"caption length 51", [](QByteArray &b) { b[4 + 80] = char(51); }},
        {"level 0", [](QByteArray &b) { PutLe32(reinterpret_cast<uint8_t *>(b.data()) + 4 + 52, 0); }},
        {"level 32", [](QByteArray &b) { PutLe32(reinterpret_cast<uint8_t *>(b.data()) + 4 + 80 + 52, 32); }},
        {"cut short", [](QByteArray &b) { b.chop(1); }},
        {"no count", [](QByteArray &b) { b.truncate(3); }},
    };
    for (const Case &c : cases) {
        QByteArray bad = good;
        c.damage(bad);
        TPgxOutline back;
        QString error;
        EXPECT_FALSE(back.LoadFromBytes(reinterpret_cast<const uint8_t *>(bad.constData()), size_t(bad.size()),
                                        nullptr, &error))
            << c.name;
        EXPECT_FALSE(error.isEmpty()) << c.name;
        EXPECT_EQ(back.Count(), 0) << c.name;
    }
}
