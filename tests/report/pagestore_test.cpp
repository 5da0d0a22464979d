#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/endian.h"
#include "report/pages/pagestore.h"
#include "tests/report/pagefixtures.h"

using namespace strandel;

namespace {

QString Caption(int page) { return QStringLiteral("Page %1 of the test report").arg(page); }

// A page whose caption names its number, with a picture of noise that does not compress.
TPgxMetafile NumberedPage(int page)
{
    TPgxMetafile mf = test::SamplePage(Caption(page));
    QImage noise(16, 16, QImage::Format_ARGB32);
    uint32_t x = uint32_t(page) * 2654435761u;
    for (int y = 0; y < 16; ++y)
        for (int i = 0; i < 16; ++i)
            noise.setPixel(i, y, (x = x * 1664525u + 1013904223u));
    TPgxMetafileCanvas c(mf);
    c.StretchDraw({0, 0, 16, 16}, noise);
    return mf;
}

bool PageSays(TPgxMetafile *mf, int page) { return mf && mf->ContainsText(Caption(page), true); }

QByteArray ReadAll(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString &name, const QByteArray &data)
{
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

void Fill(TPgxPageList &list, int pages, bool compression, int64_t limit)
{
    list.SetStream(std::make_unique<TPgxStream>(limit));
    list.SetCompression(compression);
    for (int i = 1; i <= pages; ++i)
        ASSERT_TRUE(list.AddPage(NumberedPage(i)));
    ASSERT_TRUE(list.Finish());
}

} // namespace

TEST(PageStream, SpillsOnlyPastTheLimit)
{
    TPgxStream s(100);
    std::vector<uint8_t> data(101);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7);
    EXPECT_EQ(s.Write(data.data(), 100), 100);
    EXPECT_TRUE(s.InMemory());
    EXPECT_TRUE(s.TempFileName().isEmpty());
    EXPECT_EQ(s.Write(data.data() + 100, 1), 1);
    ASSERT_FALSE(s.InMemory());
    QString name = s.TempFileName();
    EXPECT_TRUE(QFileInfo(name).fileName().startsWith(QLatin1String("Pgx")));
    EXPECT_EQ(QFileInfo(name).absolutePath(), QFileInfo(QDir::tempPath()).absoluteFilePath());
    EXPECT_EQ(s.Position(), 101);
    EXPECT_EQ(ReadAll(name), QByteArray(reinterpret_cast<const char *>(data.data()), 101));
    // Later writes and reads go to the file.
    uint8_t more = 0xee, back = 0;
    EXPECT_EQ(s.Write(&more, 1), 1);
    ASSERT_TRUE(s.Seek(101));
    EXPECT_EQ(s.Read(&back, 1), 1);
    EXPECT_EQ(back, 0xee);
    {
        TPgxStream gone(0);
        gone.Write(&more, 1);
        name = gone.TempFileName();
        EXPECT_TRUE(QFile::exists(name));
    }
    EXPECT_FALSE(QFile::exists(name));
}

TEST(PageList, FetchesPagesBackwardAndForward)
{
    for (bool compression : {false, true}) {
        for (int64_t limit : {int64_t(1) << 30, int64_t(2000)}) {
            SCOPED_TRACE(testing::Message() << "compression " << compression << " limit " << limit);
            TPgxPageList list;
            Fill(list, 5, compression, limit);
            EXPECT_EQ(list.Stream()->InMemory(), limit > 2000);
            for (int n : {3, 1, 5, 4, 2, 2, 5}) {
                auto page = list.GetPage(n);
                EXPECT_TRUE(PageSays(page.get(), n)) << n;
            }
            EXPECT_EQ(list.GetPage(6), nullptr);
            EXPECT_EQ(list.GetPage(0), nullptr);
        }
    }
}

TEST(PageList, OnePageFile)
{
    QTemporaryDir dir;
    TPgxPageList list;
    Fill(list, 1, false, PgxDefaultMemoryLimit);
    QString name = dir.filePath("one.Pgx");
    ASSERT_TRUE(list.SaveToFile(name));
    QByteArray file = ReadAll(name);
    auto *p = reinterpret_cast<const uint8_t *>(file.constData());
    EXPECT_EQ(GetLe16(p), PgxFileFormat);
    EXPECT_EQ(GetLe32(p + 8), 1u);
    EXPECT_EQ(GetLe32(p + 128), 1u);
    EXPECT_EQ(GetLe32(p + 132), uint32_t(file.size()));
    EXPECT_EQ(GetLe32(p + file.size() - 4), 128u);
}

TEST(PageList, GoldenTwoPageFile)
{
    // Two pages of one filled rectangle each, stored as saved by this program at a fixed time.
    TPgxPageList list;
    list.SetClock([] { return 46000.5; }); // 9 December 2025, noon
    list.SetStream(std::make_unique<TPgxStream>(PgxDefaultMemoryLimit));
    for (int i = 0; i < 2; ++i) {
        TPgxMetafile mf(827, 1169, 100, 100);
        TPgxMetafileCanvas c(mf);
        c.FillRect({i, 2, 30, 40});
        ASSERT_TRUE(list.AddPage(mf));
    }
    ASSERT_TRUE(list.Finish());
    QTemporaryDir dir;
    QString name = dir.filePath("two.Pgx");
    ASSERT_TRUE(list.SaveToFile(name));

    QByteArray metafileHead = "53504d46" "0100" "2000" "38000000" // "SPMF", version 1, 32-byte head, 56 bytes
                              "3b030000" "91040000"                // 827 x 1169 pixels
                              "64000000" "64000000" "01000000";    // 100 dpi both ways, one record
    QByteArray expected = QByteArray::fromHex(
        // header: format "SP", version 403, 2 pages, time 46000.5, not compressed, zeros
        "5350" "9301" "00000000" "02000000" "00000000" "000000001076e640" "00" "00" + QByteArray(102 * 2, '0')
        // page 1 at 128, next record at 196, a fill of (0, 2, 30, 40), record start 128
        + "01000000" "c4000000" + metafileHead + "0500" "0000" "18000000" "00000000" "02000000" "1e000000"
        + "28000000" "80000000"
        // page 2 at 196, next record at 264 (the end), a fill of (1, 2, 30, 40), record start 196
        + "02000000" "08010000" + metafileHead + "0500" "0000" "18000000" "01000000" "02000000" "1e000000"
        + "28000000" "c4000000");
    ASSERT_EQ(expected.size(), 264);
    EXPECT_EQ(ReadAll(name).toHex(), expected.toHex());
}

TEST(PageList, LinksStayWithThePageCompressedOrNot)
{
    std::vector<THyperlink> links = {{{1, 2, 30, 40}, QStringLiteral("EXT:https://example.com/a")},
                                     {{5, 6, 7, 8}, QStringLiteral("INT:page 3 \u00e9")}};
    for (bool compression : {false, true}) {
        TPgxPageList list;
        list.SetStream(std::make_unique<TPgxStream>(PgxDefaultMemoryLimit));
        list.SetCompression(compression);
        ASSERT_TRUE(list.AddPageEx(NumberedPage(1), &links));
        ASSERT_TRUE(list.AddPageEx(NumberedPage(2), nullptr));
        ASSERT_TRUE(list.AddPage(NumberedPage(3)));
        std::unique_ptr<TPgxMetafile> page;
        std::unique_ptr<std::vector<THyperlink>> got;
        ASSERT_TRUE(list.GetPageEx(1, page, got));
        EXPECT_TRUE(PageSays(page.get(), 1));
        ASSERT_TRUE(got);
        EXPECT_EQ(*got, links);
        for (int n : {2, 3}) {
            ASSERT_TRUE(list.GetPageEx(n, page, got));
            EXPECT_TRUE(PageSays(page.get(), n));
            EXPECT_FALSE(got);
        }
        // A plain read of a page with links still finds the pages after it.
        EXPECT_TRUE(PageSays(list.GetPage(1).get(), 1));
        EXPECT_TRUE(PageSays(list.GetPage(3).get(), 3));
    }
}

TEST(PageList, SaveAndLoadKeepsEveryPage)
{
    QTemporaryDir dir;
    for (bool compression : {false, true}) {
        TPgxPageList list;
        Fill(list, 4, compression, 3000);
        QString name = dir.filePath(compression ? "c.Pgx" : "u.Pgx");
        ASSERT_TRUE(list.SaveToFile(name));

        TPgxPageList loaded;
        QString error;
        ASSERT_TRUE(loaded.LoadFromFile(name, &error)) << error.toStdString();
        EXPECT_EQ(loaded.PageCount(), 4);
        EXPECT_EQ(loaded.Compression(), compression);
        for (int n : {2, 4, 1, 3})
            EXPECT_TRUE(*loaded.GetPage(n) == *list.GetPage(n)) << n;
        // A loaded report takes no pages.
        EXPECT_FALSE(loaded.AddPage(NumberedPage(5)));

        // Saving over the file it was loaded from leaves both the file and the open pages whole.
        ASSERT_TRUE(loaded.SaveToFile(name, &error)) << error.toStdString();
        EXPECT_TRUE(PageSays(loaded.GetPage(3).get(), 3));
        TPgxPageList again;
        ASSERT_TRUE(again.LoadFromFile(name));
        EXPECT_TRUE(PageSays(again.GetPage(4).get(), 4));
        EXPECT_EQ(ReadAll(name), ReadAll(dir.filePath(compression ? "c.Pgx" : "u.Pgx")));
    }
}

TEST(PageList, EmptyReportIsABareHeader)
{
    QTemporaryDir dir;
    TPgxPageList list;
    list.SetStream(std::make_unique<TPgxStream>(PgxDefaultMemoryLimit));
    ASSERT_TRUE(list.Finish());
    QString name = dir.filePath("empty.Pgx");
    ASSERT_TRUE(list.SaveToFile(name));
    EXPECT_EQ(ReadAll(name).size(), PgxFileHeaderSize);
    TPgxPageList loaded;
    ASSERT_TRUE(loaded.LoadFromFile(name));
    EXPECT_EQ(loaded.PageCount(), 0);
    EXPECT_EQ(loaded.GetPage(1), nullptr);
}

TEST(PageList, HeaderKindsOfOtherProgramsAreRefused)
{
    QTemporaryDir dir;
    // A file of the Windows-metafile kind: format word 3, first page an enhanced metafile whose
    // signature " EMF" lies 40 bytes into it.
    auto foreign = [](int headerSize) {
        QByteArray f(headerSize, '\0');
        PutLe16(reinterpret_cast<uint8_t *>(f.data()), 3);
        PutLe16(reinterpret_cast<uint8_t *>(f.data()) + 2, 403);
        f[headerSize == 128 ? 8 : 8] = 1;
        QByteArray rec(8 + 100 + 4, '\0');
        auto *r = reinterpret_cast<uint8_t *>(rec.data());
        PutLe32(r, 1);
        PutLe32(r + 4, uint32_t(headerSize + rec.size()));
        std::memcpy(r + 8 + 40, " EMF", 4);
        PutLe32(r + rec.size() - 4, uint32_t(headerSize));
        return f + rec;
    };
    struct Case {
        const char *name;
        QByteArray bytes;
        const char *message;
    } cases[] = {
        {"old 124-byte header", foreign(124), "124-byte header"},
        {"128-byte header of Windows metafiles", foreign(128), "Windows metafiles"},
        {"not a report", QByteArray(300, 'x'), "not a saved report"},
        {"too short", QByteArray(10, '\0'), "too short"},
    };
    for (const Case &c : cases) {
        QString name = dir.filePath("f.Pgx");
        WriteAll(name, c.bytes);
        TPgxPageList list;
        QString error;
        EXPECT_FALSE(list.LoadFromFile(name, &error)) << c.name;
        EXPECT_TRUE(error.contains(QLatin1String(c.message))) << c.name << ": " << error.toStdString();
    }
}

TEST(PageList, DamagedFilesAreRefusedAndThePagesStay)
{
    QTemporaryDir dir;
    for (bool compression : {false, true}) {
        TPgxPageList source;
        Fill(source, 3, compression, PgxDefaultMemoryLimit);
        QString goodName = dir.filePath("good.Pgx");
        ASSERT_TRUE(source.SaveToFile(goodName));
        const QByteArray good = ReadAll(goodName);
        auto *g = reinterpret_cast<const uint8_t *>(good.constData());
        const uint32_t second = GetLe32(g + 132); // start of page 2
        const uint32_t third = GetLe32(g + second + 4);

        using Damage = std::function<void(QByteArray &)>;
        auto put32 = [](QByteArray &b, uint32_t at, uint32_t v) { PutLe32(reinterpret_cast<uint8_t *>(b.data()) + at, v); };
        struct Case {
            const char *name;
            Damage damage;
        } cases[] = {
            {"cut in the last page", [&](QByteArray &b) { b.chop(7); }},
            {"cut in the header", [&](QByteArray &b) { b.truncate(100); }},
            {"page count too large", [&](QByteArray &b) { put32(b, 8, 4); }},
            {"page count huge", [&](QByteArray &b) { put32(b, 8, 0x7fffffff); }},
            {"page count negative", [&](QByteArray &b) { put32(b, 8, 0xffffffff); }},
            {"compressed flag 2", [&](QByteArray &b) { b[25] = 2; }},
            {"compressed flag flipped", [&](QByteArray &b) { b[25] = char(compression ? 0 : 1); }},
            {"page number wrong", [&](QByteArray &b) { put32(b, second, 3); }},
            {"next offset backwards", [&](QByteArray &b) { put32(b, second + 4, 100); }},
            {"next offset past the end", [&](QByteArray &b) { put32(b, second + 4, uint32_t(b.size() + 9)); }},
            {"record start wrong", [&](QByteArray &b) { put32(b, third - 4, 128); }},
            {"bytes after the last page", [&](QByteArray &b) { b.append("junk"); }},
            {"last page body damaged", [&](QByteArray &b) {
                 for (uint32_t i = third + 8; i < uint32_t(b.size()) - 4; ++i)
                     b[i] = char(0xa5);
             }},
        };
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << (compression ? " compressed" : ""));
            QByteArray bad = good;
            c.damage(bad);
            QString name = dir.filePath("bad.Pgx");
            WriteAll(name, bad);
            TPgxPageList list;
            ASSERT_TRUE(list.LoadFromFile(goodName));
            QString error;
            EXPECT_FALSE(list.LoadFromFile(name, &error));
            EXPECT_TRUE(error.contains(QLatin1String("cannot be loaded"))) << error.toStdString();
            // Nothing is lost: the report loaded before is still there.
            EXPECT_EQ(list.PageCount(), 3);
            EXPECT_TRUE(PageSays(list.GetPage(2).get(), 2));
        }
        // A page in the middle damaged after a sound chain loads, and reading that page fails
        // with a message while its neighbours still read.
        QByteArray bad = good;
        for (uint32_t i = second + 8 + 8; i < third - 4; ++i)
            bad[i] = char(0x5a);
        QString name = dir.filePath("mid.Pgx");
        WriteAll(name, bad);
        TPgxPageList list;
        ASSERT_TRUE(list.LoadFromFile(name));
        QString error;
        EXPECT_EQ(list.GetPage(2, &error), nullptr);
        EXPECT_TRUE(error.contains(QLatin1String("Page 2"))) << error.toStdString();
        EXPECT_TRUE(PageSays(list.GetPage(3).get(), 3));
        EXPECT_TRUE(PageSays(list.GetPage(1).get(), 1));
    }
}

TEST(PageList, PreviewReadsWhileARunAppends)
{
    // The run appends on its own thread (and spills to a file on the way) while a reader fetches
    // every page that already exists.
    TPgxPageList list;
    list.SetStream(std::make_unique<TPgxStream>(20000));
    list.SetCompression(true);
    constexpr int Pages = 60;
    std::atomic<int> available{0};
    std::atomic<int> wrong{0};
    std::thread run([&] {
        for (int i = 1; i <= Pages; ++i) {
            list.AddPage(NumberedPage(i));
            available = i;
        }
        list.Finish();
    });
    int reads = 0;
    while (available < Pages || reads < 200) {
        int have = available;
        if (have == 0)
            continue;
        int n = 1 + (reads * 7) % have;
        if (!PageSays(list.GetPage(n).get(), n))
            ++wrong;
        ++reads;
    }
    run.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_FALSE(list.Stream()->InMemory());
    EXPECT_EQ(list.PageCount(), Pages);
}

TEST(PageList, FilesOfTheSeedScriptLoad)
{
    // scripts/make-report-seeds.py writes these with its own layout code and compressor.
    const QString dir = QStringLiteral(STRANDEL_TEST_DATA "/corpus/report_file_fuzz/");
    TPgxPageList plain;
    QString error;
    ASSERT_TRUE(plain.LoadFromFile(dir + "three_pages.Pgx", &error)) << error.toStdString();
    EXPECT_EQ(plain.PageCount(), 3);
    for (int n : {2, 3, 1}) {
        auto page = plain.GetPage(n);
        ASSERT_TRUE(page) << n;
        EXPECT_TRUE(page->ContainsText(QStringLiteral("Page %1").arg(n), true));
        EXPECT_EQ(page->Width(), 794);
    }

    TPgxPageList packed;
    ASSERT_TRUE(packed.LoadFromFile(dir + "compressed_links.Pgx", &error)) << error.toStdString();
    EXPECT_TRUE(packed.Compression());
    std::unique_ptr<TPgxMetafile> page;
    std::unique_ptr<std::vector<THyperlink>> links;
    ASSERT_TRUE(packed.GetPageEx(1, page, links));
    ASSERT_TRUE(links);
    EXPECT_EQ(*links, std::vector<THyperlink>({{{40, 40, 300, 120}, QStringLiteral("EXT:https://example.com/")}}));
    EXPECT_TRUE(*page == *plain.GetPage(1));
    ASSERT_TRUE(packed.GetPageEx(2, page, links));
    EXPECT_FALSE(links);

    TPgxPageList empty;
    ASSERT_TRUE(empty.LoadFromFile(dir + "empty.Pgx"));
    EXPECT_EQ(empty.PageCount(), 0);

    TPgxPageList old;
    EXPECT_FALSE(old.LoadFromFile(dir + "old_header.Pgx", &error));
    EXPECT_TRUE(error.contains(QLatin1String("124-byte header"))) << error.toStdString();
}
