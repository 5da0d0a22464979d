#include <gtest/gtest.h>

#include <cmath>

#include <QRandomGenerator>

#include "printables_fixture.h"
#include "report/bands/exportshape.h"
#include "report/output/exportfilter.h"
#include "report/output/printer.h"
#include "report/printables/printables_text.h"

using namespace strandel;
using namespace strandel::test;

namespace {

// Every character 10 pixels wide.
int32_t Fixed10(const QString &s)
{
    return int32_t(s.size()) * 10;
}

QStringList Format(const QString &text, int32_t limit, bool wrap = true, bool autoSize = false)
{
    QStringList out;
    PgxFormatParagraph(text, Fixed10, {autoSize, wrap, limit}, out);
    return out;
}

// Characters 12 pixels wide and lines 24 pixels high at 96 pixels per inch.
const TPgxFixedTextMetrics kMetrics{0.5, 1.0};

TPgxFont BigFont()
{
    TPgxFont f;
    f.Size = 18;
    return f;
}

} // namespace

TEST(TextPrintables, ParagraphFormattingTable)
{
    struct Case {
        QString text;
        int32_t limit;
        bool wrap, autoSize;
        QStringList lines;
    };
    const Case cases[] = {
        // The first word and its blank just fit: the blank stays at the end of the first line.
        {"one two", 40, true, false, {"one ", "two"}},
        {"one two", 70, true, false, {"one two"}},
        // A hyphenated word wraps after the hyphen, which stays on the first line.
        {"well-known", 50, true, false, {"well-", "known"}},
        // A word wider than the printable is cut, and its rest continues on the next lines.
        {"abcdefghij", 35, true, false, {"abc", "def", "ghi", "j"}},
        {"ab cdefghij", 50, true, false, {"ab ", "cdef", "ghij"}},
        // The blank left over from a cut word is not a line of its own.
        {"abcde xy", 55, true, false, {"abcde", "xy"}},
        // Nothing fits: every line still takes one character.
        {"abc", 0, true, false, {"a", "b", "c"}},
        {"abc", -5, true, false, {"a", "b", "c"}},
        // Without word wrap a paragraph that fits is one line; one that overflows keeps the words
        // before the overflow, and nothing after it.
        {"aa bb", 100, false, false, {"aa bb"}},
        {"aa bb cc dd ee ff", 60, false, false, {"aa bb "}},
        {"abcdefgh xy", 35, false, false, {"abc"}},
        // AutoSize: one line per paragraph, nothing wrapped.
        {"aa bb cc", 10, true, true, {"aa bb cc"}},
        // CR LF and CR split paragraphs; a line feed alone is removed.
        {"ab\r\ncd", 100, true, false, {"ab", "cd"}},
        {"ab\ncd", 100, true, false, {"abcd"}},
        {"ab\r", 100, true, false, {"ab", ""}},
        {"ab\r\r\ncd", 100, true, true, {"ab", "", "cd"}},
        // An empty paragraph is one empty line.
        {"", 100, true, false, {""}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Format(c.text, c.limit, c.wrap, c.autoSize), c.lines)
            << c.text.toStdString() << " limit " << c.limit << " wrap " << c.wrap;
}

TEST(TextPrintables, LongHostileParagraphEnds)
{
    // A long word at a width of nothing, and one of zero-width characters, both end.
    const QString word(5000, QLatin1Char('x'));
    QStringList out;
    PgxFormatParagraph(word, Fixed10, {false, true, 0}, out);
    EXPECT_EQ(out.size(), 5000);
    out.clear();
    PgxFormatParagraph(word, [](const QString &) { return 0; }, {false, true, 0}, out);
    EXPECT_EQ(out.join(QString()), word);
    // A word of a million characters and as many line ends stay linear.
    const QString big(1000000, QLatin1Char('y'));
    out.clear();
    PgxFormatParagraph(big, Fixed10, {false, true, 10000}, out);
    ASSERT_EQ(out.size(), (1000000 + 998) / 999); // 999 characters stay below 10000
    EXPECT_EQ(out.front().size(), 999);
    EXPECT_EQ(out.join(QString()), big);
    out.clear();
    PgxFormatParagraph(QString(1000000, QLatin1Char('\r')), Fixed10, {false, true, 100}, out);
    EXPECT_EQ(out.size(), 1000001);
}

TEST(TextPrintables, RandomParagraphsKeepTheirTextAndFitTheirLines)
{
    // Wrapped lines fit the limit (or hold a single character), lose nothing but blanks, and
    // keep the order of the text.
    QRandomGenerator rng(145);
    const QString alphabet = QStringLiteral("ab -\u00e9");
    for (int i = 0; i < 2000; ++i) {
        QString text;
        const int n = int(rng.bounded(40));
        for (int k = 0; k < n; ++k)
            text += alphabet.at(int(rng.bounded(alphabet.size())));
        const int32_t limit = int32_t(rng.bounded(80)) - 5;
        QStringList out;
        PgxFormatParagraph(text, Fixed10, {false, true, limit}, out);
        ASSERT_FALSE(out.isEmpty());
        for (const QString &line : out)
            EXPECT_TRUE(Fixed10(line) <= limit || line.size() <= 1) << text.toStdString() << " / " << limit;
        QString joined = out.join(QString()), plain = text;
        joined.remove(QLatin1Char(' '));
        plain.remove(QLatin1Char(' '));
        EXPECT_EQ(joined, plain) << text.toStdString() << " / " << limit;
    }
}

TEST(TextPrintables, SplitLinesAsAMemoReadsText)
{
    EXPECT_EQ(PgxSplitLines("a\r\nb\rc\nd"), (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(PgxSplitLines("a\r\n"), (QStringList{"a"}));
    EXPECT_TRUE(PgxSplitLines("").isEmpty());
}

TEST(TextPrintables, AutoSizeKeepsTheEdgeItsAlignmentNames)
{
    OneBandReport r;
    const double k = PgxScreenPpi() / 254.0;
    struct Case {
        TPgxAlignment align;
        double anchor; // 0 left edge, 0.5 centre, 1 right edge
    };
    for (const Case c : {Case{TPgxAlignment::taLeftJustify, 0}, Case{TPgxAlignment::taRightJustify, 1},
                         Case{TPgxAlignment::taCenter, 0.5}}) {
        auto *l = r.detail->AddPrintable<TPgxLabel>();
        l->Metrics = &kMetrics;
        l->SetFont(BigFont());
        l->Left = 500;
        l->Width = 1000;
        l->SetAlignment(c.align);
        const double anchor = l->Left + l->Width * c.anchor;
        l->SetCaption("abcd");
        // Four characters plus the pixel the report adds to a measured width.
        const double px = 4 * std::round(18 * PgxScreenPpi() / 72.0) * 0.5 + 1;
        EXPECT_NEAR(l->Width, px / k, 1e-6);
        EXPECT_NEAR(l->Left + l->Width * c.anchor, anchor, 1.0 / k) << int(c.align);
        ASSERT_EQ(l->FormattedLines(), QStringList{"abcd"});
        // At least one line high.
        EXPECT_GE(l->Height * k, std::round(18 * PgxScreenPpi() / 72.0));
    }
}

namespace {

// Texts of every page, and where they went.
struct PrintedText {
    int page;
    QString text;
    PgxRect rect;
};

std::vector<PrintedText> Texts(TPgxPrinter &p)
{
    std::vector<PrintedText> out;
    for (int n = 1; n <= p.PageCount(); ++n)
        for (const DrawOp &o : RecordPage(p, n).Of("Text"))
            out.push_back({n, o.text, o.rect});
    return out;
}

} // namespace

TEST(TextPrintables, MemoStretchesAcrossPages)
{
    OneBandReport r(1, 100);
    auto *m = r.detail->AddPrintable<TPgxMemo>();
    m->Metrics = &kMetrics;
    m->SetFont(BigFont());
    m->SetAutoSize(false);
    m->SetAutoStretch(true);
    m->Left = 0;
    m->Top = 0;
    m->Width = 1500;
    m->Height = 100;
    QStringList lines;
    for (int i = 1; i <= 120; ++i)
        lines << QStringLiteral("Line %1").arg(i);
    m->SetLines(lines);
    ASSERT_TRUE(r.rep.Prepare());
    TPgxPrinter &p = *r.rep.Printer();
    const std::vector<PrintedText> texts = Texts(p);
    ASSERT_EQ(int(texts.size()), 120);
    for (int i = 0; i < 120; ++i)
        EXPECT_EQ(texts[size_t(i)].text, lines[i]);
    EXPECT_GE(p.PageCount(), 3);
    // Pages fill to the bottom margin and not beyond; lines follow one another at one line's height.
    const double lineHeight = m->PrintLineHeight();
    const int32_t marginBottom = p.YPos(2970 - 100);
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_LE(texts[i].rect.top + PgxRound(lineHeight * p.YFactor()), marginBottom + 1) << i;
        if (i == 0)
            continue;
        if (texts[i].page == texts[i - 1].page)
            EXPECT_NEAR(texts[i].rect.top - texts[i - 1].rect.top, lineHeight * p.YFactor(), 1.0);
        else
            EXPECT_GT(texts[i - 1].rect.top + 2 * lineHeight * p.YFactor(), marginBottom) << "page ended early";
    }
    // What the band asks for ahead is what the lines take when they print.
    double h = 0;
    m->GetExpandedHeight(h);
    EXPECT_NEAR(h, 120 * lineHeight, 1e-6);
}

TEST(TextPrintables, WithoutStretchLinesBelowTheBottomAreDropped)
{
    OneBandReport r(1, 300);
    auto *m = r.detail->AddPrintable<TPgxMemo>();
    m->Metrics = &kMetrics;
    m->SetFont(BigFont());
    m->SetAutoSize(false);
    m->Left = 0;
    m->Top = 0;
    m->Width = 1500;
    m->Height = 200;
    m->SetLines({"a", "b", "c", "d", "e", "f", "g", "h"});
    auto *empty = r.detail->AddPrintable<TPgxMemo>();
    empty->SetName("memo2");
    empty->Top = 0;
    ASSERT_TRUE(r.rep.Prepare());
    EXPECT_EQ(r.Pages(), 1);
    const auto texts = Texts(*r.rep.Printer());
    const int fit = int(std::floor((200 + 1.0) / m->PrintLineHeight()));
    ASSERT_EQ(int(texts.size()), fit); // the empty memo prints nothing, not even its name
    EXPECT_TRUE(m->PrintFinished);
}

TEST(TextPrintables, LabelPrintsAlignedWithItsBackgroundAndOnPrintText)
{
    OneBandReport r(2, 200);
    auto *l = r.detail->AddPrintable<TPgxLabel>();
    l->Metrics = &kMetrics;
    l->SetFont(BigFont());
    l->SetAutoSize(false);
    l->Left = 100;
    l->Top = 20;
    l->Width = 800;
    l->Height = 100;
    l->Color = 0xffffff00;
    l->SetAlignment(TPgxAlignment::taRightJustify);
    l->SetCaption("Total");
    int calls = 0;
    l->OnPrint = [&](TPgxCustomLabel *, QString &v) { v = QStringLiteral("Total %1").arg(++calls); };
    ASSERT_TRUE(r.rep.Prepare());
    EXPECT_EQ(l->Caption(), "Total");
    TPgxPrinter &p = *r.rep.Printer();
    RecordingCanvas c = RecordPage(p, 1);
    const auto texts = c.Of("Text");
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text, "Total 1");
    EXPECT_EQ(texts[1].text, "Total 2");
    // Right-justified at the printable's right edge, top at its top; in the report's font.
    const int32_t x = p.XPos(100 + 100 + 800);
    EXPECT_EQ(texts[0].rect, (PgxRect{x, p.YPos(100 + 20), x, p.YPos(100 + 20)}));
    EXPECT_TRUE(texts[0].flags & PgxTextRight);
    EXPECT_EQ(texts[0].font.height, PgxRound(18 * p.YFactor() * 254 / 72));
    // Its background first, in its colour.
    bool filled = false;
    for (const DrawOp &o : c.Of("FillRect"))
        filled = filled || (o.brush.color == 0xffffff00 && o.rect == PgxRect{p.XPos(200), p.YPos(120), p.XPos(1000), p.YPos(220)});
    EXPECT_TRUE(filled);
}

TEST(TextPrintables, LinesTallerThanAPageDoNotHoldTheReport)
{
    // Each line is taller than the whole page: the report gives up on them instead of looping.
    OneBandReport r(2, 100);
    auto *m = r.detail->AddPrintable<TPgxMemo>();
    m->Metrics = &kMetrics;
    TPgxFont huge;
    huge.Size = 1000;
    m->SetFont(huge);
    m->SetAutoSize(false);
    m->SetAutoStretch(true);
    m->Top = 0;
    m->Width = 1000;
    m->Height = 100;
    m->SetLines({"a", "b", "c"});
    ASSERT_GT(m->PrintLineHeight(), 2970);
    ASSERT_TRUE(r.rep.Prepare());
    EXPECT_LE(r.Pages(), 4);
    EXPECT_TRUE(m->PrintFinished);
}

namespace {

class TextLog : public TPgxExportFilter
{
public:
    TextLog() : TPgxExportFilter("log") {}
    struct Line {
        double x, y;
        PgxAlignment align;
        QString text;
    };
    std::vector<Line> lines;
    int shapes = 0;
    void TextOut(double x, double y, const PgxFont &, QRgb, PgxAlignment a, const QString &t) override
    {
        lines.push_back({x, y, a, t});
    }
    void AcceptGraphic(double, double, TPgxPrintable *p) override
    {
        auto *s = dynamic_cast<TPgxExportShape *>(p);
        shapes += s && s->Shape.kind != PgxFrameShapeKind::Rectangle; // frame lines, not backgrounds
    }
};

} // namespace

TEST(TextPrintables, ExportFiltersReceiveTheLinesAndTheFrame)
{
    OneBandReport r(1, 300);
    auto *m = r.detail->AddPrintable<TPgxMemo>();
    m->Metrics = &kMetrics;
    m->SetFont(BigFont());
    m->SetAutoSize(false);
    m->Left = 100;
    m->Top = 0;
    m->Width = 900;
    m->Height = 300;
    m->SetAlignment(TPgxAlignment::taCenter);
    m->SetLines({"one", "two"});
    m->Frame().SetValue(0, true); // top
    m->Frame().SetValue(2, true); // left
    TextLog log;
    ASSERT_TRUE(r.rep.ExportToFilter(&log));
    ASSERT_EQ(log.lines.size(), 2u);
    // Centred in the box, below and right of the frame's one-point lines.
    const double shift = PgxRound(254.0 / 72.0);
    EXPECT_DOUBLE_EQ(log.lines[0].x, 100 + 100 + shift + 450);
    EXPECT_DOUBLE_EQ(log.lines[0].y, 100 + shift);
    EXPECT_DOUBLE_EQ(log.lines[1].y - log.lines[0].y, m->PrintLineHeight());
    EXPECT_EQ(log.lines[1].text, "two");
    EXPECT_EQ(log.lines[0].align, PgxAlignment::Center);
    EXPECT_EQ(log.shapes, 2); // the frame's top and left lines
}
