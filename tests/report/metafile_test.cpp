#include <gtest/gtest.h>

#include <cstring>

#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "platform/endian.h"
#include "report/pages/metafile.h"
#include "tests/report/pagefixtures.h"

using namespace strandel;
using strandel::test::SamplePage;

namespace {

QImage Blank(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(0xff808080);
    return img;
}

} // namespace

TEST(Metafile, SaveLoadIsByteIdentical)
{
    TPgxMetafile mf = SamplePage(QStringLiteral("Total 1234"));
    std::vector<uint8_t> bytes = mf.Save();
    EXPECT_EQ(bytes.size(), mf.SavedSize());
    EXPECT_EQ(TPgxMetafile::SavedLength(bytes.data(), bytes.size()), bytes.size());
    // Recording the same page again gives the same bytes.
    EXPECT_EQ(SamplePage(QStringLiteral("Total 1234")).Save(), bytes);

    // Trailing bytes are not part of it: the form delimits itself.
    std::vector<uint8_t> more = bytes;
    more.insert(more.end(), {1, 2, 3});
    TPgxMetafile back;
    ASSERT_TRUE(back.Load(more.data(), more.size()));
    EXPECT_EQ(back.Save(), bytes);
    EXPECT_TRUE(back == mf);
    EXPECT_EQ(back.Width(), 200);
    EXPECT_EQ(back.DpiX(), 96);
}

TEST(Metafile, ReplayEqualsDirectPainting)
{
    QImage direct = Blank(200, 150);
    {
        QPainter p(&direct);
        TPgxPainterCanvas c(p);
        test::DrawSamplePage(c, QStringLiteral("Direct"));
    }
    std::vector<uint8_t> bytes = SamplePage(QStringLiteral("Direct")).Save();
    TPgxMetafile loaded;
    ASSERT_TRUE(loaded.Load(bytes.data(), bytes.size()));
    QImage replayed = Blank(200, 150);
    {
        QPainter p(&replayed);
        loaded.Replay(p, QRectF(0, 0, 200, 150));
    }
    EXPECT_TRUE(replayed == direct);
    // Something was drawn at all: the rectangle's fill.
    EXPECT_EQ(replayed.pixel(50, 30), 0xffc0e0ffu);
}

TEST(Metafile, ReplaysAtAnyScaleAndNested)
{
    TPgxMetafile inner(100, 100, 96, 96);
    {
        TPgxMetafileCanvas c(inner);
        c.SetBrush({0xffff0000, PgxBrushStyle::Solid});
        c.FillRect({0, 0, 50, 100});
        c.SetBrush({0xff0000ff, PgxBrushStyle::Solid});
        c.FillRect({50, 0, 100, 100});
    }
    // Twice the size: the halves stay halves.
    QImage big = Blank(200, 200);
    {
        QPainter p(&big);
        inner.Replay(p, QRectF(0, 0, 200, 200));
    }
    EXPECT_EQ(big.pixel(90, 100), 0xffff0000u);
    EXPECT_EQ(big.pixel(110, 100), 0xff0000ffu);

    TPgxMetafile outer(40, 40, 96, 96);
    {
        TPgxMetafileCanvas c(outer);
        c.DrawMetafile({20, 20, 40, 40}, inner);
    }
    std::vector<uint8_t> bytes = outer.Save();
    TPgxMetafile back;
    ASSERT_TRUE(back.Load(bytes.data(), bytes.size()));
    QImage img = Blank(40, 40);
    {
        QPainter p(&img);
        back.Replay(p, QRectF(0, 0, 40, 40));
    }
    EXPECT_EQ(img.pixel(5, 5), 0xff808080u);
    EXPECT_EQ(img.pixel(24, 30), 0xffff0000u);
    EXPECT_EQ(img.pixel(36, 30), 0xff0000ffu);
}

// Pages drawn into pages nest at most MaxNesting deep: deeper nesting is not recorded, and a
// stored page that nests deeper (made by hand) is refused when it is loaded.
TEST(Metafile, NestingIsBounded)
{
    // Level n writes its number and draws the level below it.
    auto level = [](int n, const TPgxMetafile *inner) {
        TPgxMetafile mf(10, 10, 96, 96);
        {
            TPgxMetafileCanvas c(mf);
            c.TextOut(0, 0, QString::number(n));
            if (inner)
                c.DrawMetafile({0, 0, 10, 10}, *inner);
        }
        return mf;
    };
    auto texts = [](const TPgxMetafile &mf) {
        QStringList t;
        mf.ForEachText([&](const QString &s) {
            t << s;
            return true;
        });
        return t;
    };
    std::vector<TPgxMetafile> chain{level(0, nullptr)}; // chain[d] nests d deep
    for (int n = 1; n <= TPgxMetafile::MaxNesting; ++n)
        chain.push_back(level(n, &chain.back()));
    const TPgxMetafile &deepest = chain.back();
    EXPECT_EQ(texts(deepest).size(), TPgxMetafile::MaxNesting + 1); // every level is there
    EXPECT_EQ(texts(level(99, &deepest)), QStringList{QStringLiteral("99")}); // one more is not recorded

    // A page holding nothing but a nested one, whose nested bytes are then swapped for another
    // page's: d + 1 deep.
    const TPgxMetafile leaf(1, 1, 96, 96);
    TPgxMetafile holder(10, 10, 96, 96);
    {
        TPgxMetafileCanvas c(holder);
        c.DrawMetafile({0, 0, 10, 10}, leaf);
    }
    const std::vector<uint8_t> shell = holder.Save(), leafBytes = leaf.Save();
    auto nestedIn = [&](const TPgxMetafile &inner) {
        std::vector<uint8_t> b(shell.begin(), shell.end() - std::ptrdiff_t(leafBytes.size()));
        const std::vector<uint8_t> innerBytes = inner.Save();
        b.insert(b.end(), innerBytes.begin(), innerBytes.end());
        PutLe32(b.data() + 8, uint32_t(b.size()));                                     // the page's length
        PutLe32(b.data() + TPgxMetafile::HeaderSize + 4, uint32_t(b.size() - TPgxMetafile::HeaderSize)); // the record's
        return b;
    };
    std::vector<uint8_t> atLimit = nestedIn(chain[TPgxMetafile::MaxNesting - 1]);
    TPgxMetafile back;
    ASSERT_TRUE(back.Load(atLimit.data(), atLimit.size()));
    EXPECT_EQ(texts(back).size(), TPgxMetafile::MaxNesting);
    std::vector<uint8_t> tooDeep = nestedIn(deepest);
    QString error;
    EXPECT_FALSE(back.Load(tooDeep.data(), tooDeep.size(), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("nests too deep"))) << error.toStdString();
}

TEST(Metafile, TextsAreEnumeratedAndSearched)
{
    TPgxMetafile page = SamplePage(QStringLiteral("GRAND TOTAL"));
    TPgxMetafile outer(200, 150, 96, 96);
    {
        TPgxMetafileCanvas c(outer);
        c.TextOut(0, 0, QStringLiteral("Header"));
        c.DrawMetafile({0, 0, 200, 150}, page);
    }
    QStringList texts;
    outer.ForEachText([&](const QString &t) {
        texts << t;
        return true;
    });
    EXPECT_EQ(texts, QStringList({"Header", "GRAND TOTAL", "Clipped centred text, too long"}));
    EXPECT_TRUE(outer.ContainsText(QStringLiteral("total"), false));
    EXPECT_FALSE(outer.ContainsText(QStringLiteral("total"), true));
    EXPECT_TRUE(outer.ContainsText(QStringLiteral("TOTAL"), true));
    EXPECT_FALSE(outer.ContainsText(QStringLiteral("missing"), false));
}

TEST(Metafile, DamagedFormsAreRefused)
{
    std::vector<uint8_t> good = SamplePage(QStringLiteral("x")).Save();
    struct Case {
        const char *name;
        std::function<void(std::vector<uint8_t> &)> damage;
    } cases[] = {
        {"short", [](auto &b) { b.resize(20); }},
        {"magic", [](auto &b) { b[0] = 'X'; }},
        {"version", [](auto &b) { b[4] = 9; }},
        {"length past end", [](auto &b) { PutLe32(b.data() + 8, uint32_t(b.size() + 1)); }},
        {"length short", [](auto &b) { PutLe32(b.data() + 8, uint32_t(b.size() - 1)); }},
        {"record count", [](auto &b) { PutLe32(b.data() + 28, GetLe32(b.data() + 28) + 1); }},
        {"record type", [](auto &b) { PutLe16(b.data() + 32, 99); }},
        {"record length", [](auto &b) { PutLe32(b.data() + 36, 4); }},
        {"brush style", [](auto &b) { b[32 + 8 + 4] = 77; }}, // the first record is a brush
        {"dpi", [](auto &b) { PutLe32(b.data() + 20, 0); }},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> bad = good;
        c.damage(bad);
        TPgxMetafile mf;
        QString why;
        EXPECT_FALSE(mf.Load(bad.data(), bad.size(), &why)) << c.name;
        EXPECT_FALSE(why.isEmpty()) << c.name;
        EXPECT_EQ(mf.RecordCount(), 0u) << c.name;
    }
}

TEST(Metafile, ReplaysOntoAPdfPrinter)
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    // An A4 page at screen resolution, printed at 300 dpi: the word keeps its place on paper.
    TPgxMetafile mf(794, 1123, 96, 96);
    {
        TPgxMetafileCanvas c(mf);
        PgxFont f;
        f.family = QStringLiteral("DejaVu Sans");
        f.height = 24;
        c.SetFont(f);
        c.TextOut(100, 200, QStringLiteral("Strandel"));
        c.Rectangle({80, 180, 400, 260});
    }
    QTemporaryDir dir;
    const QString pdf = dir.filePath("page.pdf"), html = dir.filePath("page.html");
    {
        QPdfWriter writer(pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(300);
        QPainter p(&writer);
        mf.Replay(p, QRectF(0, 0, writer.width(), writer.height()));
    }
    QProcess tool;
    tool.start(pdftotext, {QStringLiteral("-bbox"), pdf, html});
    ASSERT_TRUE(tool.waitForFinished(30000));
    ASSERT_EQ(tool.exitCode(), 0);
    QFile f(html);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    QRegularExpression word(QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>Strandel</word>"));
    QRegularExpressionMatch m = word.match(text);
    ASSERT_TRUE(m.hasMatch()) << text.toStdString();
    // 100 and 200 pixels of 96 dpi are 75 and 150 points; the glyphs start a little below the top.
    EXPECT_NEAR(m.captured(1).toDouble(), 75.0, 3.0);
    EXPECT_NEAR(m.captured(2).toDouble(), 153.0, 6.0);
}

TEST(Metafile, NestedRecordWithoutItsMetafileIsRefused)
{
    // A nested-metafile record that ends right after its rectangle.
    std::vector<uint8_t> b(32 + 8 + 16, 0);
    std::memcpy(b.data(), "SPMF", 4);
    PutLe16(b.data() + 4, 1);
    PutLe16(b.data() + 6, 32);
    PutLe32(b.data() + 8, uint32_t(b.size()));
    PutLe32(b.data() + 12, 10);
    PutLe32(b.data() + 16, 10);
    PutLe32(b.data() + 20, 96);
    PutLe32(b.data() + 24, 96);
    PutLe32(b.data() + 28, 1);
    PutLe16(b.data() + 32, 13);
    PutLe32(b.data() + 36, 8 + 16);
    TPgxMetafile mf;
    QString why;
    EXPECT_FALSE(mf.Load(b.data(), b.size(), &why));
    EXPECT_FALSE(why.isEmpty());
}

TEST(Metafile, TextOutOfAllShapeIsLeftOut)
{
    // Squeezed to a sliver, text is not handed to the font engine (which cannot rasterise such
    // glyphs safely); a page at a sane scale still shows it.
    TPgxMetafile mf(100, 100, 96, 96);
    {
        TPgxMetafileCanvas c(mf);
        PgxFont f;
        f.height = 16;
        c.SetFont(f);
        c.TextOut(10, 10, QStringLiteral("\u2588\u2588")); // full blocks: ink over the whole line
    }
    auto drawn = [&](const QRectF &target) {
        QImage img = Blank(400, 400);
        QPainter p(&img);
        mf.Replay(p, target);
        p.end();
        return img != Blank(400, 400);
    };
    EXPECT_TRUE(drawn(QRectF(0, 0, 100, 100)));
    EXPECT_FALSE(drawn(QRectF(0, 0, 400, 2)));       // 4 x wide, 1/50 tall
}

TEST(Metafile, GiantFontShrunkToTheTargetIsLeftOut)
{
    // A font far taller than any page, replayed small and unevenly scaled: the engine would
    // rasterise each glyph at full size (gigabytes) before shrinking it.
    TPgxMetafile mf(794, 1123, 96, 96);
    {
        TPgxMetafileCanvas c(mf);
        PgxFont f;
        f.height = 59408;
        c.SetFont(f);
        c.TextOut(40, 40, QStringLiteral("Page 1"));
    }
    QImage img = Blank(48, 64);
    QPainter p(&img);
    mf.Replay(p, QRectF(0, 0, 48, 64));
    p.end();
    EXPECT_EQ(img, Blank(48, 64));
}
