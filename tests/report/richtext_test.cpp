// Rich text: the reader's subset (text and formats it gives), the page formatting, and the rich
// text printables in running reports: spanning pages, stretching exactly as far as needed, cut
// without stretching, and bound to a memo field.
#include <gtest/gtest.h>

#include <cmath>

#include <QPainter>
#include <QRegularExpression>

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "report/bands/exportshape.h"
#include "report/bands/pagorra.h"
#include "report/data/dataset.h"
#include "report/output/exportfilter.h"
#include "report/output/printer.h"
#include "report/pages/richtext.h"
#include "report/printables/printables_richtext.h"

using namespace strandel;
using report::PgxFieldKind;
using report::PgxMemoryDataSet;

namespace {

// Paragraphs joined by "\n"; line breaks inside a paragraph stay U+2028.
QString Text(const QTextDocument &doc)
{
    QStringList blocks;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        blocks << b.text();
    return blocks.join('\n');
}

// The format of the character at pos: "b", "i", "u", "s" when set, the point size, the colour,
// the family, and the paragraph's alignment.
std::string Format(const QTextDocument &doc, int pos)
{
    QTextCursor c(const_cast<QTextDocument *>(&doc));
    c.setPosition(pos + 1); // the format of the character before the cursor
    const QTextCharFormat f = c.charFormat();
    const QFont font = f.font();
    std::string s;
    s += font.bold() ? "b" : "";
    s += font.italic() ? "i" : "";
    s += font.underline() ? "u" : "";
    s += font.strikeOut() ? "s" : "";
    s += " " + QString::number(font.pointSizeF()).toStdString();
    s += " " + f.foreground().color().name().toStdString();
    s += " " + font.family().toStdString();
    const Qt::Alignment a = c.blockFormat().alignment();
    s += a & Qt::AlignHCenter ? " C" : a & Qt::AlignRight ? " R" : a & Qt::AlignJustify ? " J" : " L";
    return s;
}

PgxRichTextDefaults Defaults()
{
    PgxRichTextDefaults d;
    d.font = QFont("Arial", 10);
    d.color = 0xff000000;
    return d;
}

} // namespace

TEST(RichTextReader, SubsetCases)
{
    struct Check {
        int pos;
        const char *format;
    };
    struct Case {
        const char *what;
        QByteArray input;
        QString text;
        std::vector<Check> checks;
    } cases[] = {
        {"plain text, one paragraph a line", "Hello\nWorld\r\n", "Hello\nWorld\n", {{0, " 10 #000000 Arial L"}}},
        {"rich text", "{\\rtf1\\ansi Hello}", "Hello", {{4, " 10 #000000 Arial L"}}},
        {"switches on and off", "{\\rtf1 a\\b b\\b0 c\\i d\\i0\\ul e\\ulnone\\strike f\\strike0 g}", "abcdefg",
         {{0, " 10 #000000 Arial L"}, {1, "b 10 #000000 Arial L"}, {2, " 10 #000000 Arial L"},
          {3, "i 10 #000000 Arial L"}, {4, "u 10 #000000 Arial L"}, {5, "s 10 #000000 Arial L"},
          {6, " 10 #000000 Arial L"}}},
        {"groups scope formats", "{\\rtf1 a{\\i\\b b}c}", "abc", {{1, "bi 10 #000000 Arial L"}, {2, " 10 #000000 Arial L"}}},
        {"half points", "{\\rtf1\\fs24 a\\fs17 b}", "ab", {{0, " 12 #000000 Arial L"}, {1, " 8.5 #000000 Arial L"}}},
        {"font table", "{\\rtf1{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fmodern{\\*\\panose 0}Courier New;}}\\f1 x\\f7 y}",
         "xy", {{0, " 10 #000000 Courier New L"}, {1, " 10 #000000 Arial L"}}},
        {"colour table with its auto entry",
         "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\\cf1 r\\cf2 b\\cf0 d\\cf9 x}", "rbdx",
         {{0, " 10 #ff0000 Arial L"}, {1, " 10 #0000ff Arial L"}, {2, " 10 #000000 Arial L"}, {3, " 10 #000000 Arial L"}}},
        {"plain resets characters, not paragraphs", "{\\rtf1\\qr\\b\\fs30 a\\plain b}", "ab",
         {{0, "b 15 #000000 Arial R"}, {1, " 10 #000000 Arial R"}}},
        {"paragraphs and their alignment", "{\\rtf1\\qc a\\par b\\par\\pard c\\par\\qj d}", "a\nb\nc\nd",
         {{0, " 10 #000000 Arial C"}, {2, " 10 #000000 Arial C"}, {4, " 10 #000000 Arial L"},
          {6, " 10 #000000 Arial J"}}},
        {"escapes and code page", "{\\rtf1 \\\\\\{\\}\\'e9\\'80\\~x}", QString("\\{}\u00e9\u20ac\u00a0x"), {}},
        {"unicode with its stand-in skipped", "{\\rtf1\\u8364?a\\uc2\\u233 xyb\\uc0\\u-3913 c}",
         QString("\u20aca\u00e9b\uf0b7c"), {}},
        {"line break and tab", "{\\rtf1 a\\line b\\tab c}", QString("a\u2028b\tc"), {}},
        {"named punctuation", "{\\rtf1\\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote}",
         QString("\u2014\u2013\u2022\u2018\u2019\u201c\u201d"), {}},
        {"destinations skipped", "{\\rtf1{\\*\\generator W;}{\\info{\\title T}}{\\stylesheet{\\s0 N;}}"
                                 "{\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt link}}{\\pict 0123}.}",
         "link.", {}},
        {"unknown words ignored, their delimiter eaten", "{\\rtf1\\nosuchword123 a\\deff0 b}", "ab", {}},
        {"unbalanced groups keep the text", "{\\rtf1 a}}} b{\\b c", "a bc", {{3, "b 10 #000000 Arial L"}}},
        {"control characters dropped", QByteArray("{\\rtf1 a\x01\x02" "b}"), "ab", {}},
        {"sizes and indents clamped", "{\\rtf1\\fs99999999999\\li-40\\fi-999999 a}", "a", {{0, " 1638 #000000 Arial L"}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QTextDocument doc;
        PgxReadRichText(doc, c.input, Defaults());
        EXPECT_EQ(Text(doc), c.text);
        for (const Check &k : c.checks)
            EXPECT_EQ(Format(doc, k.pos), k.format) << "at " << k.pos;
    }
    EXPECT_TRUE(PgxIsRichText("  \r\n{\\rtf1}"));
    EXPECT_FALSE(PgxIsRichText("{\\rt"));
}

namespace {

// Paragraphs of numbered words: "w1 w2 ... wN".
QString Words(int n, int perParagraph = 0)
{
    QStringList words;
    for (int i = 1; i <= n; ++i)
        words << QString("w%1").arg(i) + (perParagraph && i % perParagraph == 0 && i < n ? "\n" : "");
    return words.join(' ').replace("\n ", "\n");
}

QStringList Texts(const TPgxMetafile &mf)
{
    QStringList out;
    mf.ForEachText([&](const QString &t) {
        out << t;
        return true;
    });
    return out;
}

QStringList SplitWords(const QStringList &texts)
{
    return texts.join(' ').split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
}

} // namespace

TEST(RichTextLayout, WholeLinesPerRectangleAndTheRestFromWhereItStopped)
{
    QTextDocument doc;
    PgxReadRichText(doc, Words(200).toLatin1(), Defaults());
    TPgxRichLayout layout(doc, 300, 300);
    const int32_t length = layout.TextLength();
    const int32_t lineHeight = layout.HeightFrom(600, 0) / 1; // the whole text first
    ASSERT_GT(lineHeight, 0);
    // A rectangle too low for a single line places nothing and says so.
    EXPECT_EQ(layout.FormatRange(nullptr, {0, 0, 600, 3}, 0), 0);
    // Page by page: every word exactly once, in order, and each page within its rectangle.
    QStringList all;
    int32_t start = 0;
    int pages = 0;
    while (start < length) {
        TPgxMetafile mf(700, 400, 300, 300);
        TPgxMetafileCanvas canvas(mf);
        const int32_t end = layout.FormatRange(&canvas, {50, 40, 650, 340}, start);
        ASSERT_GT(end, start);
        // The measure gives the same answer as the drawing.
        EXPECT_EQ(layout.FormatRange(nullptr, {0, 0, 600, 300}, start), end);
        all << Texts(mf);
        start = end;
        ++pages;
    }
    EXPECT_GE(pages, 2);
    EXPECT_EQ(SplitWords(all), Words(200).split(' '));
    EXPECT_EQ(layout.FormatRange(nullptr, {0, 0, 600, 300}, length), length);
}

TEST(RichTextLayout, FormatsReachTheCanvas)
{
    QTextDocument doc;
    PgxReadRichText(doc, "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}\\qc plain {\\b\\cf1 bold} \\fs40 big}", Defaults());
    TPgxRichLayout layout(doc, 254, 254);
    TPgxMetafile mf(2000, 400, 254, 254);
    TPgxMetafileCanvas canvas(mf);
    layout.FormatRange(&canvas, {0, 0, 2000, 400}, 0);
    // Replayed, the bold run is red and the centred line sits in the middle.
    QImage img(2000, 400, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        mf.Replay(p, QRectF(0, 0, 2000, 400));
    }
    int red = 0, left = 2000, right = 0;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 2000; ++x) {
            const QRgb px = img.pixel(x, y);
            if (px == qRgb(255, 255, 255))
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            red += qRed(px) > 200 && qGreen(px) < 80 ? 1 : 0;
        }
    EXPECT_GT(red, 50);
    EXPECT_NEAR((left + right) / 2.0, 1000, 40);
    EXPECT_EQ(Texts(mf).join('|'), "plain |bold| |big");
}

namespace {

// A report on A4 (10 mm margins) with one detail band per record holding a rich text.
struct RichReport {
    TPagorra rep;
    PgxMemoryDataSet ds{"T"};
    TPgxCustomBand *band = nullptr;
    std::vector<double> expansions; // of the band, per print
    explicit RichReport(int rows, double bandHeight = 100)
    {
        ds.AddField({"Memo", PgxFieldKind::Memo});
        ds.AddField({"Name", PgxFieldKind::String});
        for (int i = 0; i < rows; ++i)
            ds.AppendRecord({QString(), QString("row %1").arg(i)});
        ds.Open();
        rep.SetDataSet(&ds);
        band = rep.CreateBand(TPgxBandType::rbDetail);
        band->SetHeight(bandHeight);
        band->AfterPrint = [this](TPgxCustomBand *b, bool printed) {
            if (printed)
                expansions.push_back(b->Expansion());
        };
    }
    // A rich text on the detail band at the given place, in tenths of a millimetre.
    template <class T = TPgxRichText> T *Add(double left, double top, double width, double height)
    {
        T *rich = band->AddPrintable<T>();
        rich->Left = left;
        rich->Top = top;
        rich->Width = width;
        rich->Height = height;
        return rich;
    }
    // One bound to a field of the report's data set.
    TPgxDBRichText *AddBound(const std::string &field, double left, double top, double width, double height)
    {
        TPgxDBRichText *rich = Add<TPgxDBRichText>(left, top, width, height);
        rich->SetDataSet(&ds);
        rich->DataField = field;
        return rich;
    }
    QStringList PageWords(int page)
    {
        std::unique_ptr<TPgxMetafile> mf = rep.Printer()->GetPage(page);
        return mf ? SplitWords(Texts(*mf)) : QStringList();
    }
};

} // namespace

TEST(RichTextPrintable, LongTextSpansPagesFromTheFirstUnprintedCharacter)
{
    RichReport r(1);
    auto *rich = r.Add(0, 0, 1800, 100);
    rich->AutoStretch = true;
    rich->SetLines("{\\rtf1{\\colortbl;\\red200\\green0\\blue0;}\\qc\\b\\fs32 Heading\\par\\pard\\qj " +
                   Words(1500, 50).replace("\n", "\\par\n").replace("w7 ", "{\\cf1\\i w7} ") + "}");
    ASSERT_TRUE(r.rep.Prepare());
    const int pages = r.rep.Printer()->PageList().PageCount();
    ASSERT_GE(pages, 2);
    QStringList all;
    for (int p = 1; p <= pages; ++p) {
        const QStringList words = r.PageWords(p);
        EXPECT_FALSE(words.isEmpty()) << p;
        all << words;
    }
    EXPECT_EQ(all, QStringList{"Heading"} + Words(1500).split(' '));
    EXPECT_TRUE(rich->PrintFinished);
    // For review: the pages as pictures when STRANDEL_SCREENSHOTS names a folder.
    const QString dir = qEnvironmentVariable("STRANDEL_SCREENSHOTS");
    for (int p = 1; !dir.isEmpty() && p <= pages; ++p) {
        std::unique_ptr<TPgxMetafile> mf = r.rep.Printer()->GetPage(p);
        QImage img(mf->Width() / 3, mf->Height() / 3, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter painter(&img);
        mf->Replay(painter, QRectF(0, 0, img.width(), img.height()));
        painter.end();
        img.save(QString("%1/richtext-page%2.png").arg(dir).arg(p));
    }
}

TEST(RichTextPrintable, TextThatFitsStopsTheBandGrowing)
{
    // Text fitting the printable as it is: no growth. Text needing a few steps: exactly as many
    // steps as it needs, never on to the bottom of the page.
    for (int words : {3, 60, 200}) {
        SCOPED_TRACE(words);
        RichReport r(2);
        auto *rich = r.band->AddPrintable<TPgxRichText>();
        rich->Top = 0;
        rich->Width = 900;
        rich->Height = 100;
        rich->AutoStretch = true;
        rich->SetLines(Words(words));
        ASSERT_TRUE(r.rep.Prepare());
        ASSERT_EQ(r.expansions.size(), 2u);
        const double grown = r.expansions[0];
        EXPECT_EQ(r.expansions[1], grown);
        EXPECT_EQ(std::fmod(grown, 50.0), 0.0);
        // It fits the band as grown, and did not fit one step less.
        TPgxPrinter *pr = r.rep.Printer();
        const int dpiX = int(std::lround(pr->XFactor() * 254)), dpiY = int(std::lround(pr->YFactor() * 254));
        TPgxRichEdit &edit = rich->InnerRichEdit();
        const int32_t length = edit.GetTextLen();
        const int32_t w = pr->XSize(900);
        EXPECT_EQ(edit.FormatRange(nullptr, {0, 0, w, pr->YSize(100 + grown)}, 0, dpiX, dpiY), length);
        if (grown > 0)
            EXPECT_LT(edit.FormatRange(nullptr, {0, 0, w, pr->YSize(100 + grown - 50)}, 0, dpiX, dpiY), length);
        else
            EXPECT_LE(words, 3);
        EXPECT_LT(grown, 1000);
        EXPECT_EQ(pr->PageList().PageCount(), 1);
        EXPECT_EQ(SplitWords(Texts(*pr->GetPage(1))).size(), 2 * words);
    }
}

TEST(RichTextPrintable, WithoutStretchTheRestIsCutAndEmptyTextIsDone)
{
    RichReport r(1);
    auto *cut = r.Add(0, 0, 900, 60);
    cut->SetLines(Words(300));
    auto *empty = r.band->AddPrintable<TPgxRichText>();
    empty->AutoStretch = true;
    ASSERT_TRUE(r.rep.Prepare());
    EXPECT_EQ(r.rep.Printer()->PageList().PageCount(), 1);
    EXPECT_EQ(r.expansions, std::vector<double>{0});
    EXPECT_TRUE(cut->PrintFinished);
    EXPECT_TRUE(empty->PrintFinished);
    const QStringList words = r.PageWords(1);
    ASSERT_FALSE(words.isEmpty());
    EXPECT_LT(words.size(), 300);
    EXPECT_EQ(words, Words(300).split(' ').mid(0, words.size()));
}

TEST(RichTextPrintable, DataBoundTextComesFromTheMemoField)
{
    RichReport r(0);
    r.ds.Close();
    r.ds.AppendRecord({QByteArray("{\\rtf1 first {\\b record}}"), "a"});
    r.ds.AppendRecord({QByteArray("second record"), "b"});
    r.ds.Open();
    auto *rich = r.AddBound("memo", 0, 0, 900, 60);
    // A string field prints nothing of its own: what the edit holds is printed.
    auto *name = r.band->AddPrintable<TPgxDBRichText>();
    name->SetDataSet(&r.ds);
    name->DataField = "Name";
    name->Left = 1000;
    name->Top = 0;
    name->Width = 300;
    name->SetLines("kept");
    ASSERT_TRUE(r.rep.Prepare());
    EXPECT_EQ(r.PageWords(1), (QStringList{"first", "record", "kept", "second", "record", "kept"}));
    EXPECT_EQ(rich->Field(), nullptr); // bound only while the report runs
}

TEST(RichTextPrintable, DataBoundExpandedHeightGrowsInWholeSteps)
{
    RichReport r(0);
    r.ds.Close();
    r.ds.AppendRecord({QByteArray("short"), "a"});
    r.ds.AppendRecord({Words(400).toLatin1(), "b"});
    r.ds.Open();
    auto *rich = r.AddBound("Memo", 0, 0, 900, 60);
    auto *name = r.band->AddPrintable<TPgxDBRichText>();
    name->SetDataSet(&r.ds);
    name->DataField = "Name";
    std::vector<double> heights;
    std::vector<QString> names;
    r.band->BeforePrint = [&](TPgxCustomBand *, bool &) {
        double h = rich->Height;
        rich->GetExpandedHeight(h);
        heights.push_back(h);
        QString value = "unchanged";
        name->GetFieldString(value);
        names.push_back(value);
    };
    rich->AutoStretch = true;
    ASSERT_TRUE(r.rep.Prepare());
    ASSERT_EQ(heights.size(), 2u);
    EXPECT_EQ(heights[0], 60);
    EXPECT_GT(heights[1], 60);
    EXPECT_EQ(std::fmod(heights[1] - 60, 50.0), 0.0);
    // The band grew as far as the expanded height says.
    ASSERT_EQ(r.expansions.size(), 2u);
    EXPECT_EQ(r.expansions[1], heights[1] - 60);
    EXPECT_EQ(names, (std::vector<QString>{"a", "b"}));
}

namespace {

class GraphicFilter : public TPgxExportFilter
{
public:
    GraphicFilter() : TPgxExportFilter(QStringLiteral("graphics")) {}
    void Start(double, double, const PgxFont &) override { Active = true; }
    void Finish() override { Active = false; }
    void AcceptGraphic(double x, double y, TPgxPrintable *control) override
    {
        // Band backgrounds come as shapes; only the rich text's own picture counts here.
        if (dynamic_cast<TPgxExportShape *>(control))
            return;
        auto *rich = dynamic_cast<TPgxCustomRichText *>(control);
        ASSERT_NE(rich, nullptr);
        ASSERT_NE(rich->ExportPicture(), nullptr);
        offered.push_back({x, y, Texts(*rich->ExportPicture()).join(QString())});
    }
    struct Offer {
        double x, y;
        QString text;
    };
    std::vector<Offer> offered;
};

} // namespace

TEST(RichTextPrintable, ExportingOffersTheRenderedAreaAsAPicture)
{
    RichReport r(2);
    auto *rich = r.Add(100, 0, 900, 100);
    rich->SetLines("{\\rtf1 exported {\\b words}}");
    GraphicFilter f;
    ASSERT_TRUE(r.rep.ExportToFilter(&f));
    ASSERT_EQ(f.offered.size(), 2u);
    EXPECT_EQ(f.offered[0].text, "exported words");
    EXPECT_LT(f.offered[0].y, f.offered[1].y);
    EXPECT_EQ(f.offered[0].x, f.offered[1].x);
    EXPECT_GT(f.offered[0].x, 0);
}

TEST(RichTextPrintable, AParentRichEditIsPrintedInsteadOfTheOwnText)
{
    RichReport r(1);
    auto *rich = r.band->AddPrintable<TPgxRichText>();
    rich->Left = 0;
    rich->Top = 0;
    rich->Width = 900;
    rich->SetLines("own text");
    TPgxRichEdit parent;
    parent.SetLines("{\\rtf1 parent {\\i text}}");
    rich->SetParentRichEdit(&parent);
    EXPECT_EQ(rich->InnerRichEdit().Lines(), parent.Lines()); // the inner one takes the parent's lines
    parent.SetLines("parent only");
    ASSERT_TRUE(r.rep.Prepare());
    EXPECT_EQ(r.PageWords(1), (QStringList{"parent", "only"}));
    // Lines set through the printable reach both.
    rich->SetLines("both");
    EXPECT_EQ(parent.Lines(), "both");
    EXPECT_EQ(rich->InnerRichEdit().Lines(), "both");
}
