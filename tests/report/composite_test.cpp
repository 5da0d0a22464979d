#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <QCoreApplication>
#include <QPointer>
#include <QToolButton>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "recordingfilter.h"
#include "report/bands/composite.h"
#include "report/bands/labels.h"
#include "report/data/dataset.h"
#include "report/forms/standardpreview.h"
#include "report/output/exportfilter.h"
#include "report/output/printdevice.h"

using namespace strandel;
using report::PgxFieldKind;
using report::PgxMemoryDataSet;

namespace {

// Writes a text at its place on the band and remembers where it went (page, 0.1 mm).
class TextPrintable : public TPgxPrintable
{
public:
    std::function<QString()> text;
    struct Placed {
        int page;
        int32_t x, y;
    };
    std::vector<Placed> placed;

    void Print(int32_t ofsX, int32_t ofsY) override
    {
        TPgxPrintable::Print(ofsX, ofsY);
        placed.push_back({ParentReport()->PageNumber(), ofsX, ofsY});
        TPgxPrinter *p = Printer();
        if (!ParentReport()->CanvasOutput() || !p || !p->Canvas())
            return;
        PgxFont f;
        f.family = QStringLiteral("DejaVu Sans");
        f.height = p->YSize(30);
        p->Canvas()->SetFont(f);
        p->Canvas()->TextOut(p->XPos(ofsX + Left), p->YPos(ofsY + Top), text());
    }
};

QString PageNumberOf(TCustomPagorra &rep)
{
    return QString::number(rep.Functions.Value("PAGENUMBER").IntResult);
}

// A4 with 10 mm margins: a 15 mm page header, a 12 mm page footer "F<name> P<page>" and one
// detail of 10 mm "<name><n>" per record, so 25 details fit a page.
struct NamedReport {
    TPagorra rep;
    PgxMemoryDataSet ds{"T"};
    QString name;

    NamedReport(const QString &n, int rows) : name(n)
    {
        ds.AddField({"N", PgxFieldKind::Integer});
        for (int i = 0; i < rows; ++i)
            ds.AppendRecord({i});
        ds.Open();
        rep.SetDataSet(&ds);
        Band(TPgxBandType::rbPageHeader, 150, [this] { return "H" + name; });
        Band(TPgxBandType::rbPageFooter, 120, [this] { return "F" + name + " P" + PageNumberOf(rep); });
        Band(TPgxBandType::rbDetail, 100, [this] { return name + QString::number(ds.FieldValue(0).toInt()); });
    }

    TextPrintable *Band(TPgxBandType type, double height, std::function<QString()> text)
    {
        TPgxCustomBand *b = rep.CreateBand(type);
        b->SetHeight(height);
        auto *t = b->AddPrintable<TextPrintable>();
        t->Left = 0;
        t->Top = 0;
        t->text = std::move(text);
        return t;
    }
};

// The texts of every stored page, in drawing order.
std::vector<std::vector<std::string>> PageTexts(TPgxPrinter &printer)
{
    std::vector<std::vector<std::string>> pages;
    for (int i = 1; i <= printer.PageCount(); ++i) {
        std::unique_ptr<TPgxMetafile> page = printer.GetPage(i);
        pages.emplace_back();
        if (!page)
            continue;
        page->ForEachText([&](const QString &t) {
            pages.back().push_back(t.toStdString());
            return true;
        });
    }
    return pages;
}

std::vector<std::string> Seq(const std::string &prefix, int from, int to)
{
    std::vector<std::string> v;
    for (int i = from; i <= to; ++i)
        v.push_back(prefix + std::to_string(i));
    return v;
}

std::vector<std::string> Cat(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> v;
    for (const auto &p : parts)
        v.insert(v.end(), p.begin(), p.end());
    return v;
}

QString RunTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000))
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The words of each page of a PDF, in reading order.
std::vector<std::vector<std::string>> PdfPageWords(const QString &pdf)
{
    std::vector<std::vector<std::string>> pages;
    const QStringList texts = RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")})
                                  .split(QChar('\f'));
    for (const QString &page : texts) {
        static const QRegularExpression space(QStringLiteral("\\s+"));
        std::vector<std::string> words;
        for (const QString &w : page.split(space, Qt::SkipEmptyParts))
            words.push_back(w.toStdString());
        pages.push_back(words);
    }
    while (!pages.empty() && pages.back().empty())
        pages.pop_back(); // after the last form feed
    return pages;
}

} // namespace

// ---- composite reports

TEST(CompositeReport, SecondReportGoesOnOnTheFirstOnesLastPage)
{
    NamedReport a(QStringLiteral("A"), 30), b(QStringLiteral("B"), 30);
    // B's column header opens B on the page A left, and again on each new page.
    b.Band(TPgxBandType::rbColumnHeader, 100, [] { return QStringLiteral("CB"); });
    a.rep.Tag = 5;
    b.rep.Tag = 7;
    TPgxCompositeReport c;
    c.OnAddReports = [&](TPgxCompositeReport *self) { self->Reports = {&a.rep, &b.rep}; };
    std::vector<QObject *> finished;
    c.OnFinished = [&](QObject *sender) { finished.push_back(sender); };
    ASSERT_TRUE(c.Prepare());
    ASSERT_NE(c.Printer(), nullptr);
    EXPECT_EQ(c.Printer()->Status(), TPgxPrinterStatus::mpFinished);
    // Page 2 keeps A's header and gets no footer of A: B ends it with its own, numbered on.
    // Page 2 room: 2970 - 100 - 120 - 750 = 2000, less B's column header: 19 details.
    const std::vector<std::vector<std::string>> want{
        Cat({{"HA"}, Seq("A", 0, 24), {"FA P1"}}),
        Cat({{"HA"}, Seq("A", 25, 29), {"CB"}, Seq("B", 0, 18), {"FB P2"}}),
        Cat({{"HB", "CB"}, Seq("B", 19, 29), {"FB P3"}}),
    };
    EXPECT_EQ(PageTexts(*c.Printer()), want);
    EXPECT_EQ(finished, (std::vector<QObject *>{&a.rep, &b.rep, &c}));
    EXPECT_EQ(a.rep.Tag, 5);
    EXPECT_EQ(b.rep.Tag, 7);
    EXPECT_FALSE(c.Busy());
    EXPECT_EQ(c.CurrentReport(), nullptr);
    EXPECT_TRUE(a.rep.Available() && b.rep.Available());
    // The members' own printers are untouched by the composite.
    EXPECT_EQ(a.rep.Printer(), nullptr);
    EXPECT_FALSE(a.rep.CompositeRun());

    // Without LastPageFooter only the very last page lacks B's footer.
    b.rep.Options = FirstPageHeader;
    ASSERT_TRUE(c.Prepare());
    std::vector<std::vector<std::string>> got = PageTexts(*c.Printer());
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[1].back(), "FB P2");
    EXPECT_EQ(got[2].back(), "B29");
}

TEST(CompositeReport, SingleMemberEndsItsLastPageAndKeepsItsTag)
{
    NamedReport a(QStringLiteral("A"), 30);
    a.rep.Tag = 42;
    int tagDuringRun = 0;
    a.rep.OnStartPage = [&](TCustomPagorra *r) { tagDuringRun = r->Tag; };
    TPgxCompositeReport c;
    c.OnAddReports = [&](TPgxCompositeReport *self) { self->Reports.push_back(&a.rep); };
    ASSERT_TRUE(c.Prepare());
    const std::vector<std::vector<std::string>> want{
        Cat({{"HA"}, Seq("A", 0, 24), {"FA P1"}}),
        Cat({{"HA"}, Seq("A", 25, 29), {"FA P2"}}),
    };
    EXPECT_EQ(PageTexts(*c.Printer()), want);
    EXPECT_EQ(tagDuringRun, 999);
    EXPECT_EQ(a.rep.Tag, 42);
    // Alone, the report gives the same pages.
    ASSERT_TRUE(a.rep.Prepare());
    EXPECT_EQ(PageTexts(*a.rep.Printer()), want);
}

TEST(CompositeReport, PreviewShowsThePagesPrintGives)
{
    QTemporaryDir dir;
    // The first member is on A5 landscape; the composite's own settings say Letter portrait.
    NamedReport a(QStringLiteral("A"), 12), b(QStringLiteral("B"), 20);
    a.rep.Page.SetPaperSize(TPgxPaperSize::A5);
    a.rep.Page.SetOrientation(TPgxOrientation::Landscape);
    b.rep.Page.SetPaperSize(TPgxPaperSize::Letter);
    TPgxCompositeReport c;
    int added = 0;
    c.OnAddReports = [&](TPgxCompositeReport *self) {
        ++added;
        self->Reports = {&a.rep, &b.rep};
    };
    c.PrinterSettings.PaperSize = TPgxPaperSize::Letter;
    c.PrinterSettings.Orientation = TPgxOrientation::Portrait;

    // A preview window that only takes the printer; the test looks at its pages instead.
    struct TakesThePrinter : TPgxPreviewInterface {
        QObject *Show(TPgxPrinter *) override { return nullptr; }
        void ShowModal(TPgxPrinter *) override {}
    };
    RegisterPreviewClass([] { return std::make_unique<TakesThePrinter>(); });
    const bool shown = c.Preview();
    RegisterPreviewClass(nullptr);
    ASSERT_TRUE(shown);
    EXPECT_EQ(added, 1);
    ASSERT_NE(c.Printer(), nullptr);
    const std::vector<std::vector<std::string>> previewed = PageTexts(*c.Printer());
    // A5 landscape: 148 mm high, 148 - 20 - 15 - 12 = 101 mm: 10 details a page; B goes on
    // below A's last two with room for 8.
    ASSERT_EQ(previewed.size(), 4u);
    EXPECT_EQ(previewed[0], Cat({{"HA"}, Seq("A", 0, 9), {"FA P1"}}));
    EXPECT_EQ(previewed[1], Cat({{"HA"}, Seq("A", 10, 11), Seq("B", 0, 7), {"FB P2"}}));
    std::unique_ptr<TPgxMetafile> first = c.Printer()->GetPage(1);
    ASSERT_TRUE(first);
    EXPECT_GT(first->Width(), first->Height()); // landscape
    // B printed on the composite's paper, and has its own page back afterwards.
    EXPECT_EQ(b.rep.Page.GetPaperSize(), TPgxPaperSize::Letter);
    EXPECT_EQ(b.rep.Page.Orientation(), TPgxOrientation::Portrait);
    EXPECT_NEAR(b.rep.Page.Stored(TPgxPage::Length), 2794, 1);

    // The preview's own print button prints its stored pages.
    const QString fromPreview = dir.filePath(QStringLiteral("preview.pdf"));
    ASSERT_TRUE(c.Printer()->SetPrintDevice(std::make_unique<TPgxPdfDevice>(fromPreview, 300)));
    // A device put in afterwards brings its own paper; the preview's printer had the composite's.
    c.Printer()->Settings().SetPaperSize(TPgxPaperSize::A5);
    c.Printer()->Settings().SetOrientation(TPgxOrientation::Landscape);
    ASSERT_TRUE(c.Printer()->Print());

    // Print generates anew onto the printer.
    const QString printed = dir.filePath(QStringLiteral("print.pdf"));
    c.PrintDeviceFactory = [&] { return std::make_unique<TPgxPdfDevice>(printed, 300); };
    TPgxPrinter *previewPrinter = c.Printer();
    ASSERT_TRUE(c.Print());
    EXPECT_EQ(added, 2);
    EXPECT_EQ(c.Printer(), previewPrinter); // the preview's pages stay

    std::vector<std::vector<std::string>> want;
    for (const auto &page : previewed) {
        want.emplace_back();
        for (const std::string &t : page) {
            const QStringList words = QString::fromStdString(t).split(QChar(' '));
            for (const QString &w : words)
                want.back().push_back(w.toStdString());
        }
    }
    // pdftotext reads the header line and the details in page order, as they were drawn.
    EXPECT_EQ(PdfPageWords(printed), want);
    EXPECT_EQ(PdfPageWords(fromPreview), want);
    for (const QString &pdf : {printed, fromPreview}) {
        const QString info = RunTool(QStringLiteral("pdfinfo"), {pdf});
        EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+4\\b")))) << info.toStdString();
        // A5 landscape: 595 x 420 points.
        static const QRegularExpression size(QStringLiteral("Page size:\\s+([0-9.]+) x ([0-9.]+) pts"));
        const auto m = size.match(info);
        ASSERT_TRUE(m.hasMatch()) << info.toStdString();
        EXPECT_NEAR(m.captured(1).toDouble(), 595.3, 1.5);
        EXPECT_NEAR(m.captured(2).toDouble(), 419.5, 1.5);
    }
}

TEST(CompositeReport, StandardPreviewTakesTheFirstMembersWindowAndTheCompositesChoice)
{
    PgxRegisterStandardPreview();
    NamedReport a(QStringLiteral("A"), 30), b(QStringLiteral("B"), 30);
    a.rep.PreviewWidth = 700;
    a.rep.PreviewHeight = 450;
    a.rep.PrevShowSearch = false;
    TPgxCompositeReport c;
    c.OnAddReports = [&](TPgxCompositeReport *self) { self->Reports = {&a.rep, &b.rep}; };
    c.PrinterSettings.Copies = 3;
    ASSERT_TRUE(c.Preview());
    QPointer<QObject> shown = c.Printer()->PreviewForm();
    auto *form = qobject_cast<TPgxStandardPreview *>(shown.data());
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->size(), QSize(700, 450));
    EXPECT_EQ(form->Tabs->indexOf(form->TabSearchResult), -1);
    // The preview's set-up button asks the composite, and the printer takes its choice.
    RegisterPrinterSetupHook([](TPgxPrinterSetupChoice &ch) {
        ch.PrintRange = TPgxPrinterSetupChoice::PageNums;
        ch.FromPage = 2;
        ch.ToPage = 3;
        return true;
    });
    form->PrintSetup->trigger();
    RegisterPrinterSetupHook(nullptr);
    EXPECT_EQ(c.Printer()->FirstPage, 2);
    EXPECT_EQ(c.Printer()->LastPage, 3);
    EXPECT_EQ(c.PrinterSettings.FirstPage, 2);
    // Closing the window lets the pages go.
    form->ExitButton->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    EXPECT_TRUE(shown.isNull());
    EXPECT_EQ(c.Printer(), nullptr);
    RegisterPreviewClass(nullptr);
}

TEST(CompositeReport, CustomPaperOfTheFirstMemberIsEveryMembersPaper)
{
    NamedReport a(QStringLiteral("A"), 3), b(QStringLiteral("B"), 20);
    for (auto [r, w, l] : {std::tuple{&a.rep, 1000.0, 1500.0}, std::tuple{&b.rep, 2000.0, 1000.0}}) {
        r->Page.SetPaperSize(TPgxPaperSize::Custom);
        r->Page.SetUnits(TPgxUnit::Native);
        r->Page.SetValue(TPgxPage::Width, w);
        r->Page.SetValue(TPgxPage::Length, l);
        r->Page.SetUnits(TPgxUnit::MM);
    }
    TPgxCompositeReport c;
    c.OnAddReports = [&](TPgxCompositeReport *self) { self->Reports = {&a.rep, &b.rep}; };
    ASSERT_TRUE(c.Prepare());
    // 150 - 20 - 15 - 12 = 103 mm: 10 details a page; A's 3 leave room for 7 of B.
    const std::vector<std::vector<std::string>> got = PageTexts(*c.Printer());
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], Cat({{"HA"}, Seq("A", 0, 2), Seq("B", 0, 6), {"FB P1"}}));
    EXPECT_EQ(got[2], Cat({{"HB"}, Seq("B", 17, 19), {"FB P3"}}));
    for (int i = 1; i <= 3; ++i) {
        std::unique_ptr<TPgxMetafile> page = c.Printer()->GetPage(i);
        ASSERT_TRUE(page);
        EXPECT_NEAR(double(page->Height()) / page->Width(), 1.5, 0.01) << i;
    }
    EXPECT_EQ(b.rep.Page.GetPaperSize(), TPgxPaperSize::Custom);
    EXPECT_DOUBLE_EQ(b.rep.Page.Stored(TPgxPage::Width), 2000);
    EXPECT_DOUBLE_EQ(b.rep.Page.Stored(TPgxPage::Length), 1000);
}

TEST(CompositeReport, NothingToPrint)
{
    TPgxCompositeReport c;
    int finished = 0;
    c.OnFinished = [&](QObject *sender) {
        EXPECT_EQ(sender, &c);
        ++finished;
    };
    c.PrintDeviceFactory = [] { return std::make_unique<TPgxPdfDevice>(QStringLiteral("/nonexistent/x.pdf"), 300); };
    EXPECT_FALSE(c.Print());
    EXPECT_FALSE(c.Preview());
    EXPECT_EQ(finished, 0);
    EXPECT_EQ(c.Printer(), nullptr);
    class NullFilter : public TPgxExportFilter
    {
    public:
        NullFilter() : TPgxExportFilter(QStringLiteral("n")) {}
    } filter;
    EXPECT_FALSE(c.Prepare());
    EXPECT_FALSE(c.ExportToFilter(&filter));
    EXPECT_EQ(finished, 2);
    // The list is filled afresh for every output: members of an earlier one never linger.
    NamedReport a(QStringLiteral("A"), 3);
    c.OnFinished = nullptr;
    c.OnAddReports = [&](TPgxCompositeReport *self) { self->Reports.push_back(&a.rep); };
    ASSERT_TRUE(c.Prepare());
    ASSERT_TRUE(c.Prepare());
    EXPECT_EQ(c.Reports.size(), 1u);
    EXPECT_EQ(PageTexts(*c.Printer()).size(), 1u);
}

TEST(CompositeReport, CancelledMemberStopsTheDocument)
{
    NamedReport a(QStringLiteral("A"), 30), b(QStringLiteral("B"), 100), d(QStringLiteral("D"), 5);
    int bDetails = 0;
    b.rep.BandOfType(TPgxBandType::rbDetail)->AfterPrint = [&](TPgxCustomBand *, bool) {
        if (++bDetails == 10)
            b.rep.Cancel();
    };
    TPgxCompositeReport c;
    c.OnAddReports = [&](TPgxCompositeReport *self) { self->Reports = {&a.rep, &b.rep, &d.rep}; };
    std::vector<QObject *> finished;
    c.OnFinished = [&](QObject *sender) { finished.push_back(sender); };
    EXPECT_FALSE(c.Prepare());
    EXPECT_EQ(c.Printer(), nullptr);
    EXPECT_EQ(finished, (std::vector<QObject *>{&a.rep, &c}));
    EXPECT_EQ(bDetails, 10);
    EXPECT_TRUE(b.rep.Available());
    EXPECT_FALSE(c.Busy());
    // The preview closing during a run cancels the member being generated.
    int aDetails = 0;
    a.rep.BandOfType(TPgxBandType::rbDetail)->AfterPrint = [&](TPgxCustomBand *, bool) {
        if (++aDetails == 3) {
            TPgxPrinter *p = c.Printer();
            QMetaObject::invokeMethod(&c, "OnPreviewClosed", Q_ARG(TPgxPrinter *, p));
        }
    };
    b.rep.BandOfType(TPgxBandType::rbDetail)->AfterPrint = nullptr;
    finished.clear();
    EXPECT_FALSE(c.Prepare());
    EXPECT_EQ(aDetails, 3);
    EXPECT_EQ(finished, (std::vector<QObject *>{&c}));
}

TEST(CompositeReport, PrinterSetupAndPreviewClosed)
{
    NamedReport a(QStringLiteral("A"), 30), b(QStringLiteral("B"), 30);
    TPgxCompositeReport c;
    c.OnAddReports = [&](TPgxCompositeReport *self) { self->Reports = {&a.rep, &b.rep}; };
    ASSERT_TRUE(c.Prepare());
    TPgxPrinterSetupChoice shown;
    RegisterPrinterSetupHook([&](TPgxPrinterSetupChoice &ch) {
        shown = ch;
        ch.Copies = 2;
        ch.Orientation = TPgxOrientation::Landscape;
        ch.PrintRange = TPgxPrinterSetupChoice::PageNums;
        ch.FromPage = 2;
        ch.ToPage = 3;
        return true;
    });
    // The printer's own set-up button reaches the composite.
    c.Printer()->PrintSetup();
    EXPECT_EQ(shown.MinPage, 1);
    EXPECT_EQ(shown.MaxPage, 3);
    EXPECT_EQ(c.PrinterSettings.Copies, 2);
    EXPECT_EQ(c.PrinterSettings.FirstPage, 2);
    EXPECT_EQ(c.PrinterSettings.LastPage, 3);
    // The orientation stays the first member's.
    EXPECT_EQ(c.PrinterSettings.Orientation, TPgxOrientation::Portrait);
    EXPECT_EQ(c.Tag, 0);
    RegisterPrinterSetupHook([](TPgxPrinterSetupChoice &) { return false; });
    EXPECT_FALSE(c.PrinterSetup());
    EXPECT_EQ(c.Tag, 1);
    EXPECT_EQ(c.PrinterSettings.Copies, 2);
    RegisterPrinterSetupHook(nullptr);

    // The preview closed while idle: the pages go with their printer, queued.
    TPgxPrinter *printer = c.Printer();
    printer->ClosePreview();
    EXPECT_EQ(c.Printer(), printer);
    QCoreApplication::processEvents();
    EXPECT_EQ(c.Printer(), nullptr);
}

using test::RecordingFilter;

TEST(CompositeReport, ExportFeedsOneFilterAndLeavesTheMembersAsTheyWere)
{
    NamedReport a(QStringLiteral("A"), 26), b(QStringLiteral("B"), 2);
    TPgxCompositeReport c;
    c.OnAddReports = [&](TPgxCompositeReport *self) { self->Reports = {&a.rep, &b.rep}; };
    int finished = 0;
    c.OnFinished = [&](QObject *) { ++finished; };
    RecordingFilter f;
    ASSERT_TRUE(c.ExportToFilter(&f));
    std::vector<std::string> want{"Start 2100x2970", "NewPage", "Page Header@100"};
    for (int i = 0; i < 25; ++i)
        want.push_back("Detail@" + std::to_string(250 + 100 * i));
    // A's last detail opens page 2; B goes on below it and ends the page.
    want.insert(want.end(), {"Page Footer@2750", "EndPage", "NewPage", "Page Header@100", "Detail@250",
                             "Detail@350", "Detail@450", "Page Footer@2750", "EndPage", "Finish"});
    EXPECT_EQ(f.calls, want);
    EXPECT_EQ(finished, 3);
    EXPECT_EQ(c.Printer(), nullptr);
    // The members export no more: their own runs draw on their pages again.
    EXPECT_FALSE(a.rep.Exporting());
    EXPECT_TRUE(b.rep.CanvasOutput());
    ASSERT_TRUE(b.rep.Prepare());
    EXPECT_EQ(PageTexts(*b.rep.Printer()), (std::vector<std::vector<std::string>>{{"HB", "B0", "B1", "FB P1"}}));
}

TEST(CompositeReport, MultiColumnFirstMemberBeginsItsFirstPage)
{
    NamedReport a(QStringLiteral("A"), 60), b(QStringLiteral("B"), 3);
    a.rep.Page.SetColumns(3);
    TextPrintable *detail = nullptr;
    for (auto &p : a.rep.BandOfType(TPgxBandType::rbDetail)->Printables())
        detail = static_cast<TextPrintable *>(p.get());
    TPgxCompositeReport c;
    c.OnAddReports = [&](TPgxCompositeReport *self) { self->Reports = {&a.rep, &b.rep}; };
    ASSERT_TRUE(c.Prepare());
    // All 60 in the three columns of page 1, from the top below the header.
    ASSERT_EQ(detail->placed.size(), 60u);
    std::map<int32_t, int> perColumn;
    for (const auto &p : detail->placed) {
        EXPECT_EQ(p.page, 1);
        ++perColumn[p.x];
    }
    EXPECT_EQ(perColumn.size(), 3u);
    EXPECT_EQ(perColumn.begin()->second, 25);
    EXPECT_EQ(detail->placed.front().y, 250);
    std::vector<std::vector<std::string>> got = PageTexts(*c.Printer());
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].front(), "HA");
    EXPECT_EQ(got[0].back(), "FB P1");
}

TEST(CompositeReport, MemberInColumnsGoesOnBelowThePreviousReport)
{
    NamedReport a(QStringLiteral("A"), 30), b(QStringLiteral("B"), 60);
    b.rep.Page.SetColumns(2);
    TextPrintable *detail = nullptr;
    for (auto &p : b.rep.BandOfType(TPgxBandType::rbDetail)->Printables())
        detail = static_cast<TextPrintable *>(p.get());
    TPgxCompositeReport c;
    c.OnAddReports = [&](TPgxCompositeReport *self) { self->Reports = {&a.rep, &b.rep}; };
    ASSERT_TRUE(c.Prepare());
    // Page 2: A ends at 750; both of B's columns start there, 20 rows each (room to 2750).
    // Page 3: below B's header, 10 in the first column.
    ASSERT_EQ(detail->placed.size(), 60u);
    for (int i = 0; i < 60; ++i) {
        const auto &p = detail->placed[i];
        const int page = i < 40 ? 2 : 3, column = i < 40 ? i / 20 : 0, row = i < 40 ? i % 20 : i - 40;
        EXPECT_EQ(p.page, page) << i;
        EXPECT_EQ(p.x, 100 + column * 950) << i;
        EXPECT_EQ(p.y, (page == 2 ? 750 : 250) + row * 100) << i;
    }
}

TEST(CompositeReport, MemberBusyWithARunOfItsOwnRefusesTheDocument)
{
    NamedReport a(QStringLiteral("A"), 3), b(QStringLiteral("B"), 200);
    std::promise<void> started, release;
    std::shared_future<void> released = release.get_future().share();
    int bDetails = 0;
    b.rep.BandOfType(TPgxBandType::rbDetail)->AfterPrint = [&](TPgxCustomBand *, bool) {
        if (++bDetails == 1) {
            started.set_value();
            released.wait();
        }
    };
    ASSERT_TRUE(b.rep.PrepareInBackground());
    started.get_future().wait();
    TPgxCompositeReport c;
    c.OnAddReports = [&](TPgxCompositeReport *self) { self->Reports = {&a.rep, &b.rep}; };
    int finished = 0;
    c.OnFinished = [&](QObject *) { ++finished; };
    EXPECT_FALSE(c.Prepare());
    EXPECT_EQ(c.Printer() ? c.Printer()->PageCount() : 0, 0);
    EXPECT_EQ(finished, 0); // A was not run either
    release.set_value();
    b.rep.WaitForRun();
    QCoreApplication::processEvents();
    EXPECT_TRUE(b.rep.Available());
    ASSERT_TRUE(c.Prepare());
    EXPECT_EQ(finished, 3);
}

// ---- label reports

namespace {

// A label report over a data set of n records, each label "L<n>"; in millimetres.
struct LabelSheet {
    TPagorraLabelReport rep;
    PgxMemoryDataSet ds{"L"};
    TextPrintable *text = nullptr;

    explicit LabelSheet(int rows)
    {
        ds.AddField({"N", PgxFieldKind::Integer});
        for (int i = 0; i < rows; ++i)
            ds.AppendRecord({i});
        ds.Open();
        auto c = std::make_unique<TPgxController>(&rep);
        c->DataSet = &ds;
        c->DetailBand = rep.BandOfType(TPgxBandType::rbDetail);
        rep.SetController(std::move(c));
        rep.RegisterDataSet(&ds);
        text = rep.BandOfType(TPgxBandType::rbDetail)->AddPrintable<TextPrintable>();
        text->Left = 0;
        text->Top = 0;
        text->text = [this] { return "L" + QString::number(ds.FieldValue(0).toInt()); };
    }
};

} // namespace

TEST(LabelSetup, StartsWithADetailBandAndReadsThePage)
{
    TPagorraLabelReport rep;
    TPgxCustomBand *d = rep.BandOfType(TPgxBandType::rbDetail);
    ASSERT_NE(d, nullptr);
    TPgxLabelSetup &s = rep.LabelSetup;
    EXPECT_DOUBLE_EQ(s.GetTopMargin(), 10);
    EXPECT_DOUBLE_EQ(s.GetSideMargin(), 10);
    EXPECT_DOUBLE_EQ(s.GetLabelHeight(), d->Height() / 10);
    EXPECT_DOUBLE_EQ(s.GetVerticalPitch(), s.GetLabelHeight());
    EXPECT_DOUBLE_EQ(s.GetLabelWidth(), 190);
    EXPECT_EQ(s.GetNumberAcross(), 1);
    s.SetNumberDown(8);
    EXPECT_EQ(s.GetNumberDown(), 0);
    // Inches: the same lengths in the page's unit.
    rep.Page.SetUnits(TPgxUnit::Inches);
    EXPECT_NEAR(s.GetTopMargin(), 10 / 25.4, 1e-9);
    EXPECT_TRUE(s.SetLabelHeight(1));
    EXPECT_NEAR(d->Height(), 254, 1e-6);
}

TEST(LabelSetup, Writes)
{
    struct Case {
        const char *what;
        std::function<bool(TPgxLabelSetup &, TPagorraLabelReport &)> write;
        bool accepted;
        double side, space, labelHeight, pitch; // mm after the write
        bool child;
    };
    // Each case starts from 3 across, 60 x 30 labels with a 5 mm gap, 5 mm apart, margins 10.
    const Case cases[] = {
        {"label width centres the labels", [](auto &s, auto &) { return s.SetLabelWidth(60); }, true, 10, 5, 30, 35, true},
        {"narrower labels widen the margins", [](auto &s, auto &) { return s.SetLabelWidth(50); }, true, 25, 5, 30, 35, true},
        {"labels wider than the page are refused", [](auto &s, auto &) { return s.SetLabelWidth(70); }, false, 10, 5, 30, 35, true},
        // The labels widen with the page's columns, so the space between them stays.
        {"horizontal pitch keeps the room between labels",
         [](auto &s, auto &) { return s.SetSideMargin(7) && s.SetHorizontalPitch(123); }, true, 7, 5, 30, 35, true},
        {"horizontal pitch with one across drops the space",
         [](auto &s, auto &) { s.SetNumberAcross(1); return s.SetHorizontalPitch(99); }, true, 10, 0, 30, 35, true},
        {"pitch equal to the label drops the gap", [](auto &s, auto &) { return s.SetVerticalPitch(30); }, true, 10, 5, 30, 30, false},
        {"a longer pitch widens the gap", [](auto &s, auto &) { return s.SetVerticalPitch(42); }, true, 10, 5, 30, 42, true},
        {"a pitch below the label is refused", [](auto &s, auto &) { return s.SetVerticalPitch(25); }, false, 10, 5, 30, 35, true},
        {"a shorter label keeps the pitch", [](auto &s, auto &) { return s.SetLabelHeight(20); }, true, 10, 5, 20, 35, true},
        {"a label as high as the pitch drops the gap", [](auto &s, auto &) { return s.SetLabelHeight(35); }, true, 10, 5, 35, 35, false},
        {"a label above the pitch takes the pitch", [](auto &s, auto &) { return s.SetLabelHeight(50); }, true, 10, 5, 50, 50, false},
        {"a negative label height is refused", [](auto &s, auto &) { return s.SetLabelHeight(-5); }, false, 10, 5, 30, 35, true},
    };
    for (const Case &c : cases) {
        TPagorraLabelReport rep;
        TPgxLabelSetup &s = rep.LabelSetup;
        s.SetNumberAcross(3);
        rep.Page.SetValue(TPgxPage::ColumnSpace, 5);
        ASSERT_TRUE(s.SetLabelWidth(60));
        ASSERT_TRUE(s.SetLabelHeight(30));
        ASSERT_TRUE(s.SetVerticalPitch(35));
        EXPECT_EQ(c.write(s, rep), c.accepted) << c.what;
        EXPECT_NEAR(s.GetSideMargin(), c.side, 1e-9) << c.what;
        EXPECT_NEAR(rep.Page.GetValue(TPgxPage::RightMargin), c.side, 1e-9) << c.what;
        EXPECT_NEAR(rep.Page.GetValue(TPgxPage::ColumnSpace), c.space, 1e-9) << c.what;
        EXPECT_NEAR(s.GetLabelHeight(), c.labelHeight, 1e-9) << c.what;
        EXPECT_NEAR(s.GetVerticalPitch(), c.pitch, 1e-9) << c.what;
        TPgxCustomBand *gap = rep.BandOfType(TPgxBandType::rbDetail)->GetChild();
        EXPECT_EQ(gap != nullptr, c.child) << c.what;
        if (gap) {
            EXPECT_GT(gap->Height(), 0) << c.what;
        }
    }
}

TEST(LabelSetup, LabelWidthSixtyThreeAcrossOnA4)
{
    TPagorraLabelReport rep;
    TPgxLabelSetup &s = rep.LabelSetup;
    s.SetNumberAcross(3);
    rep.Page.SetValue(TPgxPage::ColumnSpace, 5);
    ASSERT_TRUE(s.SetLabelWidth(60));
    EXPECT_DOUBLE_EQ(s.GetSideMargin(), 10); // (210 - 180 - 10) / 2
    // The column width that results is the label width.
    EXPECT_DOUBLE_EQ(s.GetLabelWidth(), 60);
    EXPECT_DOUBLE_EQ(s.GetHorizontalPitch(), 65);
}

TEST(LabelReport, LabelsFillTheSheetByPitch)
{
    // 297 - 10 - 7 = 280 mm: eight rows of 35 mm. With 10 mm the last row's gap has no room
    // left, and the next column still starts with a label, not with the gap.
    for (double bottom : {7.0, 10.0}) {
        LabelSheet sheet(30);
        TPgxLabelSetup &s = sheet.rep.LabelSetup;
        s.SetNumberAcross(3);
        sheet.rep.Page.SetValue(TPgxPage::ColumnSpace, 5);
        ASSERT_TRUE(s.SetTopMargin(10));
        ASSERT_TRUE(s.SetLabelWidth(60));
        ASSERT_TRUE(s.SetLabelHeight(30));
        ASSERT_TRUE(s.SetVerticalPitch(35));
        sheet.rep.Page.SetValue(TPgxPage::BottomMargin, bottom);
        ASSERT_TRUE(sheet.rep.Prepare());
        ASSERT_EQ(sheet.text->placed.size(), 30u);
        for (int i = 0; i < 30; ++i) {
            const int onSheet = i % 24, column = onSheet / 8, row = onSheet % 8;
            const auto &p = sheet.text->placed[i];
            EXPECT_EQ(p.page, 1 + i / 24) << bottom << " " << i;
            EXPECT_EQ(p.x, 100 + column * 650) << bottom << " " << i;
            EXPECT_EQ(p.y, 100 + row * 350) << bottom << " " << i;
        }
        const std::vector<std::vector<std::string>> pages = PageTexts(*sheet.rep.Printer());
        ASSERT_EQ(pages.size(), 2u);
        EXPECT_EQ(pages[0], Seq("L", 0, 23));
        EXPECT_EQ(pages[1], Seq("L", 24, 29));
        // The gap band is the sheet's own again after the run.
        EXPECT_FALSE(sheet.rep.BandOfType(TPgxBandType::rbDetail)->GetChild()->BeforePrint);
    }
}
