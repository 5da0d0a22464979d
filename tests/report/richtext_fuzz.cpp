// Fuzz entry for the rich-text reader and its page formatting: any bytes read into a document,
// then laid out page after page into a small rectangle and drawn into a page metafile. Built as a
// libFuzzer target with clang; in the unit tests a fixed-seed mutation run of the committed seeds
// feeds it the same way.
#include <cstddef>
#include <cstdint>

#include <QByteArray>
#include <QGuiApplication>
#include <QString>
#include <QTextDocument>

#include "report/pages/metafile.h"
#include "report/pages/richtext.h"

namespace {

using namespace strandel;

QString Visible(const QString &s)
{
    QString out;
    for (QChar c : s)
        if (!c.isSpace() && c != QChar::LineSeparator && c != QChar::ParagraphSeparator)
            out += c;
    return out;
}

} // namespace

extern "C" int StrandelRichTextFuzz(const uint8_t *data, size_t size)
{
    // Fonts need an application; the fuzzer has none of its own (kept for the whole run).
    static QGuiApplication *app = nullptr;
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "richtext_fuzz";
        static char *argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = new QGuiApplication(argc, argv);
    }
    (void)app;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QTextDocument doc;
    PgxReadRichText(doc, bytes, PgxRichTextDefaults{});
    TPgxRichLayout layout(doc, 150, 150);
    const int32_t length = layout.TextLength();
    // Every character comes from at least one byte.
    if (length < 0 || size_t(length) > size)
        __builtin_trap();
    // Page after page: each ends inside the text and after the one before, unless a line is
    // taller than the page; what was drawn is the text itself, nothing lost, nothing twice.
    TPgxMetafile mf(300, 200, 150, 150);
    TPgxMetafileCanvas canvas(mf);
    int32_t start = 0;
    bool whole = true;
    for (int page = 0; start < length; ++page) {
        const int32_t end = layout.FormatRange(&canvas, {10, 10, 290, 190}, start);
        if (end < start || end > length || page > length)
            __builtin_trap();
        if (end == start) {
            whole = false;
            break;
        }
        start = end;
    }
    if (whole) {
        QString drawn;
        mf.ForEachText([&](const QString &t) {
            drawn += t;
            return true;
        });
        if (Visible(drawn) != Visible(doc.toRawText()))
            __builtin_trap();
    }
    return 0;
}

#ifdef STRANDEL_LIBFUZZER
// Font configuration keeps what it loads for the life of the process.
extern "C" const char *__lsan_default_suppressions() { return "leak:libfontconfig\n"; }
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) { return StrandelRichTextFuzz(data, size); }
#else
#include <gtest/gtest.h>

#include "seedmutation.h"

TEST(RichTextFuzz, MutatedSeedsNeverMisbehave)
{
    const std::vector<std::string> seeds = strandel::test::ReadSeeds(STRANDEL_TEST_DATA "/corpus/richtext_fuzz");
    ASSERT_FALSE(seeds.empty());
    const char *pieces[] = {"{", "}", "\\", "\\par ", "\\b", "\\b0", "\\fs999999999", "\\f1", "\\cf2", "\\u-1",
                            "\\uc9", "\\'", "\\'zz", "\\*", "{\\fonttbl", "{\\colortbl;", "\\red300", "\\line",
                            "\\tab", "\\qj ", "\\li-5", "\\fi-99999", "\\sb9000", "\n", "\r", "\t", " ", "\xff", "x"};
    strandel::test::RunSeedsAndMutations(seeds, pieces, {31, 600, 5, 3}, StrandelRichTextFuzz);
}
#endif
