#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <map>
#include <thread>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QSignalSpy>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "recordingfilter.h"
#include "report/bands/controllerband.h"
#include "report/bands/pagorra.h"
#include "report/base/message.h"
#include "report/base/format.h"
#include "report/data/dataset.h"
#include "report/data/dataset_sql.h"
#include "report/output/exportfilter.h"
#include "report/output/printdevice.h"

using namespace strandel;
using report::PgxFieldKind;
using report::PgxMemoryDataSet;

namespace {

// Pages of a PDF as pdfinfo counts them; -1 when it cannot tell.
int PdfPageCount(const QString &pdf)
{
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {pdf});
    if (!info.waitForFinished(30000))
        return -1;
    static const QRegularExpression pages(QStringLiteral("Pages:\\s+(\\d+)"));
    const QRegularExpressionMatch m = pages.match(QString::fromUtf8(info.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// A report on A4 with 10 mm margins whose bands write what they print into a log.
struct LoggedReport {
    TPagorra rep;
    PgxMemoryDataSet ds{"T"};
    std::vector<std::string> log;
    // Page of every detail printed, in order.
    std::vector<int> detailPages;

    explicit LoggedReport(int rows)
    {
        ds.AddField({"G", PgxFieldKind::String});
        ds.AddField({"H", PgxFieldKind::Integer});
        ds.AddField({"N", PgxFieldKind::Integer});
        for (int i = 0; i < rows; ++i)
            ds.AppendRecord({QString(QChar('A' + i / 4)), i / 2, i});
        ds.Open();
        rep.SetDataSet(&ds);
    }

    TPgxCustomBand *Band(TPgxBandType t, double height, const std::string &name)
    {
        TPgxCustomBand *b = rep.CreateBand(t);
        b->SetHeight(height);
        Watch(b, name);
        return b;
    }

    void Watch(TPgxCustomBand *b, const std::string &name)
    {
        b->AfterPrint = [this, name](TPgxCustomBand *band, bool printed) {
            if (!printed)
                return;
            std::string entry = name;
            if (band->BandType() == TPgxBandType::rbDetail) {
                entry += std::to_string(ds.FieldValue(2).toInt());
                detailPages.push_back(rep.PageNumber());
            }
            log.push_back(entry);
        };
    }

    std::map<int, int> DetailsPerPage() const
    {
        std::map<int, int> m;
        for (int p : detailPages)
            ++m[p];
        return m;
    }
};

} // namespace

// ---- pages and columns

TEST(ReportPageBreaks, DetailsPerPageTable)
{
    struct Case {
        double header, footer, detail;
        int rows;
        uint8_t options;
        std::vector<int> perPage; // details on pages 1, 2, ...
    };
    const uint8_t both = FirstPageHeader | LastPageFooter;
    const Case cases[] = {
        // A4 297 mm less 2 x 10 mm margins: 277 mm; less 15 and 12 mm: 250 mm, 25 details of 10 mm.
        {150, 120, 100, 60, both, {25, 25, 10}},
        {150, 120, 100, 50, both, {25, 25}},
        {0, 0, 100, 30, both, {27, 3}},
        // Without the header on page 1, page 1 has 15 mm more.
        {150, 120, 100, 60, LastPageFooter, {26, 25, 9}},
        {150, 120, 130, 20, both, {19, 1}},
    };
    for (const Case &c : cases) {
        LoggedReport r(c.rows);
        r.rep.Options = c.options;
        if (c.header > 0)
            r.Band(TPgxBandType::rbPageHeader, c.header, "PH");
        if (c.footer > 0)
            r.Band(TPgxBandType::rbPageFooter, c.footer, "PF");
        r.Band(TPgxBandType::rbDetail, c.detail, "D");
        ASSERT_TRUE(r.rep.Prepare());
        std::vector<int> perPage;
        for (auto [page, n] : r.DetailsPerPage())
            perPage.push_back(n);
        EXPECT_EQ(perPage, c.perPage) << c.header << "/" << c.footer << "/" << c.detail;
        EXPECT_EQ(r.rep.Printer()->PageList().PageCount(), int(c.perPage.size()));
        EXPECT_EQ(r.rep.Printer()->Status(), TPgxPrinterStatus::mpFinished);
        EXPECT_TRUE(r.rep.Available());
    }
}

TEST(ReportPageBreaks, PageHeaderAndFooterOnEveryPageWithThePageNumber)
{
    LoggedReport r(60);
    r.Band(TPgxBandType::rbPageHeader, 150, "PH");
    TPgxCustomBand *footer = r.Band(TPgxBandType::rbPageFooter, 120, "PF");
    r.Band(TPgxBandType::rbDetail, 100, "D");
    std::vector<std::pair<int, int>> footerPages; // PAGENUMBER, footer's top in 0.1 mm
    footer->BeforePrint = [&](TPgxCustomBand *, bool &) {
        footerPages.push_back({r.rep.Functions.Value("PAGENUMBER").IntResult, r.rep.CurrentY()});
    };
    r.rep.ReportTitle = QStringLiteral("Cameras");
    std::string title;
    r.rep.OnStartPage = [&](TCustomPagorra *rep) { title = rep->Functions.Value("REPORTTITLE").StringResult; };
    ASSERT_TRUE(r.rep.Prepare());
    const std::vector<std::pair<int, int>> want{{1, 2750}, {2, 2750}, {3, 2750}};
    EXPECT_EQ(footerPages, want);
    EXPECT_EQ(title, "Cameras");
    EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "PH"), 3);
}

TEST(ReportPageBreaks, MarginsRoundHalvesToEven)
{
    // Margins in tenths of a millimetre; halves go to the even neighbour.
    for (auto [margin, top] : {std::pair{100.5, 100}, std::pair{101.5, 102}, std::pair{102.5, 102}, std::pair{102.6, 103}}) {
        LoggedReport r(1);
        r.rep.Page.SetUnits(TPgxUnit::Native);
        r.rep.Page.SetValue(TPgxPage::TopMargin, margin);
        r.rep.Page.SetValue(TPgxPage::BottomMargin, margin);
        TPgxCustomBand *d = r.Band(TPgxBandType::rbDetail, 100, "D");
        int y = -1, space = -1;
        d->AfterPrint = [&](TPgxCustomBand *, bool) {
            y = r.rep.CurrentY() - 100;
            space = r.rep.AvailableSpace();
        };
        ASSERT_TRUE(r.rep.Prepare());
        EXPECT_EQ(y, top) << margin;
        EXPECT_EQ(space, PgxRound(2970 - margin - (top + 100))) << margin;
    }
}

TEST(ReportPageBreaks, ColumnsFillSideBySideUnderTheHeaders)
{
    LoggedReport r(60);
    r.rep.Page.SetColumns(2);
    r.rep.Page.SetValue(TPgxPage::ColumnSpace, 10); // mm
    r.Band(TPgxBandType::rbPageHeader, 150, "PH");
    r.Band(TPgxBandType::rbColumnHeader, 50, "CH");
    r.Band(TPgxBandType::rbPageFooter, 120, "PF");
    TPgxCustomBand *d = r.Band(TPgxBandType::rbDetail, 100, "D");
    // Column width: (1900 - 100) / 2.
    EXPECT_DOUBLE_EQ(d->Width(), 900);
    std::vector<std::pair<int, int>> cols; // column, x of each detail
    d->BeforePrint = [&](TPgxCustomBand *, bool &) {};
    auto after = d->AfterPrint;
    d->AfterPrint = [&, after](TPgxCustomBand *b, bool p) {
        after(b, p);
        cols.push_back({r.rep.CurrentColumn(), r.rep.CurrentX()});
    };
    ASSERT_TRUE(r.rep.Prepare());
    // 250 mm less the column header (on page 1 printed by the controller): 24 per column.
    std::map<std::pair<int, int>, int> perColumn;
    for (size_t i = 0; i < cols.size(); ++i)
        ++perColumn[{r.detailPages[i], cols[i].first}];
    EXPECT_EQ(perColumn[std::make_pair(1, 1)], 24);
    EXPECT_EQ(perColumn[std::make_pair(1, 2)], 24);
    EXPECT_EQ(perColumn[std::make_pair(2, 1)], 12);
    for (auto [col, x] : cols)
        EXPECT_EQ(x, col == 1 ? 100 : 100 + 900 + 100);
    // A column header above every column.
    EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "CH"), 3);
}

TEST(ReportPageBreaks, ForceNewPageAndChildBands)
{
    LoggedReport r(3);
    TPgxCustomBand *d = r.Band(TPgxBandType::rbDetail, 100, "D");
    d->ForceNewPage = true;
    d->SetHasChild(true);
    ASSERT_TRUE(d->HasChild());
    d->GetChild()->SetHeight(50);
    r.Watch(d->GetChild(), "C");
    ASSERT_TRUE(r.rep.Prepare());
    EXPECT_EQ(r.log, (std::vector<std::string>{"D0", "C", "D1", "C", "D2", "C"}));
    EXPECT_EQ(r.detailPages, (std::vector<int>{1, 2, 3}));

    // A disabled band does not print but its child does.
    LoggedReport r2(2);
    TPgxCustomBand *d2 = r2.Band(TPgxBandType::rbDetail, 100, "D");
    d2->SetHasChild(true);
    r2.Watch(d2->GetChild(), "C");
    d2->Enabled = false;
    ASSERT_TRUE(r2.rep.Prepare());
    EXPECT_EQ(r2.log, (std::vector<std::string>{"C", "C"}));

    // A grandchild follows the band when its child goes.
    TPgxCustomBand *child = d2->GetChild();
    child->SetHasChild(true);
    TPgxCustomBand *grandChild = child->GetChild();
    d2->SetHasChild(false);
    EXPECT_EQ(d2->GetChild(), grandChild);
}

// A band takes only the types its kind can be: a child band is rbChild and nothing else, and
// no other band becomes one (its child lookups would treat it as a child band).
TEST(ReportBands, SetBandTypeRefusesWhatTheKindCannotBe)
{
    TPagorra rep;
    TPgxCustomBand *detail = rep.CreateBand(TPgxBandType::rbDetail);
    TPgxCustomBand *title = rep.CreateBand(TPgxBandType::rbTitle);
    title->SetHasChild(true);
    TPgxCustomBand *child = title->GetChild();
    ASSERT_TRUE(child);
    TPgxGroup *group = rep.CreateGroup();
    auto *sub = rep.AddBand(std::make_unique<TPgxSubDetail>());
    const struct { TPgxCustomBand *band; TPgxBandType type; bool taken; } cases[] = {
        {detail, TPgxBandType::rbChild, false},
        {detail, TPgxBandType::rbSubDetail, false},
        {child, TPgxBandType::rbDetail, false},
        {group, TPgxBandType::rbDetail, false},
        {group, TPgxBandType::rbChild, false},
        {sub, TPgxBandType::rbDetail, false},
        {child, TPgxBandType::rbChild, true},
        {detail, TPgxBandType::rbSummary, true},
    };
    for (const auto &c : cases) {
        const TPgxBandType before = c.band->BandType();
        EXPECT_EQ(c.band->SetBandType(c.type), c.taken) << c.band->Name().toStdString() << " " << int(c.type);
        EXPECT_EQ(c.band->BandType(), c.taken ? c.type : before) << c.band->Name().toStdString();
    }
    // Lookups of children still find only the real child.
    EXPECT_EQ(title->GetChild(), child);
    EXPECT_EQ(detail->GetChild(), nullptr);
    detail->SetHasChild(true);
    ASSERT_TRUE(detail->GetChild());
    EXPECT_EQ(detail->GetChild()->AsChildBand()->ParentBand(), detail);
    detail->SetHasChild(false);
    EXPECT_FALSE(detail->HasChild());
    EXPECT_EQ(title->GetChild(), child);
}

// The report's unit reaches its bands and printables, also those added later: a caller reads
// and sets their sizes in it, while what they hold stays in tenths of a millimetre.
TEST(ReportUnits, ReachBandsAndPrintables)
{
    TPagorra rep;
    rep.Font.setPointSize(20); // a character is the report font's
    rep.SetZoom(150);          // a pixel is the zoomed screen's
    TPgxCustomBand *band = rep.CreateBand(TPgxBandType::rbDetail);
    band->SetHeight(125);
    TPgxPrintable *onBand = band->AddPrintable<TPgxPrintable>();
    TPgxPrintable *onReport = rep.AddPrintable<TPgxPrintable>();
    for (TPgxPrintable *p : {onBand, onReport}) {
        p->Left = 30;
        p->Top = 40;
        p->Width = 254;
        p->Height = 127;
    }
    const double bandWidth = band->Width();
    for (TPgxUnit unit : {TPgxUnit::MM, TPgxUnit::Inches, TPgxUnit::Pixels, TPgxUnit::Characters, TPgxUnit::Native}) {
        rep.SetUnits(unit);
        auto shown = [&](double stored, bool horizontal) { return rep.Page.LoadUnit(stored, unit, horizontal); };
        const int u = int(unit);
        EXPECT_EQ(band->GetUnits(), unit) << u;
        EXPECT_DOUBLE_EQ(band->Size.GetValue(0), shown(125, false)) << u;
        EXPECT_DOUBLE_EQ(band->Size.GetValue(1), shown(bandWidth, true)) << u;
        for (TPgxPrintable *p : {onBand, onReport}) {
            EXPECT_EQ(p->GetUnits(), unit) << u;
            EXPECT_DOUBLE_EQ(p->GetSizeValue(TPgxPrintable::SizeHeight), shown(127, false)) << u;
            EXPECT_DOUBLE_EQ(p->GetSizeValue(TPgxPrintable::SizeLeft), shown(30, true)) << u;
            EXPECT_DOUBLE_EQ(p->GetSizeValue(TPgxPrintable::SizeTop), shown(40, false)) << u;
            EXPECT_DOUBLE_EQ(p->GetSizeValue(TPgxPrintable::SizeWidth), shown(254, true)) << u;
        }
        // Held values never change with the unit.
        EXPECT_DOUBLE_EQ(band->Height(), 125) << u;
        EXPECT_DOUBLE_EQ(onBand->Width, 254) << u;
    }
    // Set in the unit, held in tenths of a millimetre; what comes later takes the unit too.
    rep.SetUnits(TPgxUnit::Inches);
    band->Size.SetValue(0, 0.5);
    EXPECT_DOUBLE_EQ(band->Height(), 127);
    onBand->SetSizeValue(TPgxPrintable::SizeWidth, 2);
    EXPECT_DOUBLE_EQ(onBand->Width, 508);
    TPgxCustomBand *later = rep.CreateBand(TPgxBandType::rbSummary);
    EXPECT_EQ(later->GetUnits(), TPgxUnit::Inches);
    EXPECT_EQ(later->AddPrintable<TPgxPrintable>()->GetUnits(), TPgxUnit::Inches);
    // A run works in tenths of a millimetre whatever is shown.
    band->SetHeight(100);
    ASSERT_TRUE(rep.Prepare());
    EXPECT_EQ(rep.Units(), TPgxUnit::Inches);
    EXPECT_DOUBLE_EQ(band->Height(), 100);
}

TEST(ReportPageBreaks, LinkedBandCountsOnceAndCircularLinksAreRefused)
{
    TPagorra rep;
    TPgxCustomBand *a = rep.CreateBand(TPgxBandType::rbDetail);
    TPgxCustomBand *b = rep.CreateBand(TPgxBandType::rbSummary);
    a->SetHeight(100);
    b->SetHeight(300);
    EXPECT_TRUE(a->SetLinkBand(b));
    EXPECT_DOUBLE_EQ(a->StretchHeight(true), 400);
    EXPECT_DOUBLE_EQ(a->StretchHeight(false), 100);
    EXPECT_FALSE(b->SetLinkBand(a));
    EXPECT_EQ(b->LinkBand(), nullptr);
}

// ---- content carried over and bands that can never fit

namespace {

// Lines of 10 mm, as many as the page has room for; the rest waits for the next column.
class LinesPrintable : public TPgxPrintable
{
public:
    int lines = 0, placed = 0;
    std::vector<int> pages;
    bool neverFits = false;
    void Print(int32_t ofsX, int32_t ofsY) override
    {
        TPgxPrintable::Print(ofsX, ofsY);
        if (neverFits) {
            PrintFinished = false;
            PrintProgress = false;
            return;
        }
        // Room below the band's top on this page.
        const int room = (ParentReport()->AvailableSpace()) / 100;
        const int n = std::min(room, lines - placed);
        for (int i = 0; i < n; ++i)
            pages.push_back(ParentReport()->PageNumber());
        placed += n;
        PrintProgress = n > 0;
        PrintFinished = placed == lines;
        if (n > 0) {
            double top = 0;
            bool expanded = false;
            Band()->ExpandBand(n * 100.0 - Band()->Height(), top, expanded);
        }
    }
    void ForceFinish() override
    {
        placed = lines;
        PrintFinished = true;
    }
};

} // namespace

TEST(ReportUnfinished, ContentCarriesToTheNextPages)
{
    LoggedReport r(1);
    r.Band(TPgxBandType::rbPageHeader, 150, "PH");
    r.Band(TPgxBandType::rbPageFooter, 120, "PF");
    TPgxCustomBand *d = r.Band(TPgxBandType::rbDetail, 100, "D");
    auto *lines = d->AddPrintable<LinesPrintable>();
    lines->lines = 60;
    ASSERT_TRUE(r.rep.Prepare());
    std::map<int, int> perPage;
    for (int p : lines->pages)
        ++perPage[p];
    EXPECT_EQ(perPage, (std::map<int, int>{{1, 25}, {2, 25}, {3, 10}}));
    EXPECT_EQ(r.rep.Printer()->PageList().PageCount(), 3);
}

TEST(ReportUnfinished, ContentThatNeverFitsGoesOutClipped)
{
    LoggedReport r(2);
    r.Band(TPgxBandType::rbPageHeader, 150, "PH");
    TPgxCustomBand *d = r.Band(TPgxBandType::rbDetail, 100, "D");
    d->AddPrintable<LinesPrintable>()->neverFits = true;
    // A page header that cannot fit either: it never breaks the page it is setting up.
    r.rep.BandOfType(TPgxBandType::rbPageHeader)->AddPrintable<LinesPrintable>()->neverFits = true;
    ASSERT_TRUE(r.rep.Prepare());
    EXPECT_EQ(r.detailPages, (std::vector<int>{2, 3}));
    EXPECT_EQ(r.rep.Printer()->PageList().PageCount(), 3);
}

TEST(ReportUnfinished, BandTallerThanAPageOverrunsWithoutLooping)
{
    LoggedReport r(3);
    r.Band(TPgxBandType::rbPageHeader, 150, "PH");
    r.Band(TPgxBandType::rbPageFooter, 120, "PF");
    // Fits a bare page (2770) but never the room between header and footer (2500).
    r.Band(TPgxBandType::rbDetail, 2600, "D");
    ASSERT_TRUE(r.rep.Prepare());
    EXPECT_EQ(r.detailPages, (std::vector<int>{1, 2, 3}));
    LoggedReport r2(2);
    r2.Band(TPgxBandType::rbDetail, 5000, "D");
    ASSERT_TRUE(r2.rep.Prepare());
    EXPECT_EQ(r2.detailPages, (std::vector<int>{1, 1}));
}

TEST(ReportPrintable, AlignsToItsBand)
{
    TPagorra rep;
    TPgxCustomBand *b = rep.CreateBand(TPgxBandType::rbDetail);
    auto *p = b->AddPrintable<TPgxPrintable>();
    EXPECT_DOUBLE_EQ(p->Left, 50); // its own right edge + 10 on an empty band
    p->Width = 500;
    p->SetAlignment(TPgxAlignment::taCenter);
    p->SetAlignToBand(true);
    EXPECT_DOUBLE_EQ(p->Left, std::trunc((b->Width() - 500) / 2));
    p->SetAlignment(TPgxAlignment::taRightJustify);
    EXPECT_DOUBLE_EQ(p->Left, b->Width() - 500);
    p->SetAlignment(TPgxAlignment::taLeftJustify);
    EXPECT_DOUBLE_EQ(p->Left, 0);

    // A band whose width follows the paper takes its aligned printables along.
    p->SetAlignment(TPgxAlignment::taRightJustify);
    for (TPgxPaperSize paper : {TPgxPaperSize::A5, TPgxPaperSize::A3}) {
        const double before = b->Width();
        rep.Page.SetPaperSize(paper);
        ASSERT_NE(b->Width(), before);
        EXPECT_DOUBLE_EQ(p->Left, b->Width() - 500) << int(paper);
    }
}

// ---- groups

TEST(ReportGroups, HeaderDetailFooterOrderAndNesting)
{
    // G changes every 4 rows, H every 2.
    LoggedReport r(8);
    r.Band(TPgxBandType::rbTitle, 100, "T");
    TPgxGroup *outer = r.rep.CreateGroup();
    outer->Expression = "G";
    outer->SetHeight(50);
    r.Watch(outer, "GH");
    TPgxGroup *inner = r.rep.CreateGroup();
    inner->Expression = "H";
    inner->SetHeight(50);
    r.Watch(inner, "hh");
    TPgxCustomBand *of = r.Band(TPgxBandType::rbGroupFooter, 50, "GF");
    outer->SetFooterBand(of);
    TPgxCustomBand *inf = r.Band(TPgxBandType::rbGroupFooter, 50, "hf");
    inner->SetFooterBand(inf);
    r.Band(TPgxBandType::rbDetail, 100, "D");
    r.Band(TPgxBandType::rbSummary, 100, "S");
    ASSERT_TRUE(r.rep.Prepare());
    const std::vector<std::string> want{
        "T", "GH", "hh", "D0", "D1", "hf", "hh", "D2", "D3", "hf", "GF",
        "GH", "hh", "D4", "D5", "hf", "hh", "D6", "D7", "hf", "GF", "S"};
    EXPECT_EQ(r.log, want);
    // The band list holds the controller's bands in print order, footers innermost first.
    std::vector<TPgxCustomBand *> list = r.rep.BandList();
    auto pos = [&](TPgxCustomBand *b) { return std::find(list.begin(), list.end(), b) - list.begin(); };
    EXPECT_LT(pos(outer), pos(inner));
    EXPECT_LT(pos(inf), pos(of));
}

TEST(ReportGroups, FootersSeeTheGroupsLastRecord)
{
    LoggedReport r(8);
    TPgxGroup *g = r.rep.CreateGroup();
    g->Expression = "G";
    TPgxCustomBand *f = r.rep.CreateBand(TPgxBandType::rbGroupFooter);
    g->SetFooterBand(f);
    std::vector<int> last;
    f->AfterPrint = [&](TPgxCustomBand *, bool) { last.push_back(r.ds.FieldValue(2).toInt()); };
    r.Band(TPgxBandType::rbDetail, 100, "D");
    ASSERT_TRUE(r.rep.Prepare());
    EXPECT_EQ(last, (std::vector<int>{3, 7}));
}

TEST(ReportGroups, PrintIfEmpty)
{
    for (bool ifEmpty : {true, false}) {
        LoggedReport r(0);
        r.rep.SetPrintIfEmpty(ifEmpty);
        r.Band(TPgxBandType::rbTitle, 100, "T");
        r.Band(TPgxBandType::rbDetail, 100, "D");
        r.Band(TPgxBandType::rbSummary, 100, "S");
        ASSERT_TRUE(r.rep.Prepare());
        if (ifEmpty)
            EXPECT_EQ(r.log, (std::vector<std::string>{"T", "D0", "S"}));
        else
            EXPECT_TRUE(r.log.empty());
    }
}

TEST(ReportGroups, ReprintOnNewPageRepeatsTheOpenHeader)
{
    LoggedReport r(8); // G: A A A A B B B B
    TPgxGroup *g = r.rep.CreateGroup();
    g->Expression = "G";
    g->ReprintOnNewPage = true;
    g->SetHeight(100);
    r.Watch(g, "GH");
    // Eleven details of 25 mm fill a page of 277 mm: the fourth detail starts page 2... with
    // a group header of 10 mm, three details fit after it.
    r.Band(TPgxBandType::rbDetail, 800, "D");
    ASSERT_TRUE(r.rep.Prepare());
    const std::vector<std::string> want{"GH", "D0", "D1", "D2", "GH", "D3", "GH", "D4", "D5", "GH", "D6", "D7"};
    EXPECT_EQ(r.log, want);
}

TEST(ReportGroups, ControllerWithoutDataSetRunsOnNeedDataOrOnce)
{
    // A count: OnNeedData grants three turns.
    TPagorra rep;
    TPgxCustomBand *d = rep.CreateBand(TPgxBandType::rbDetail);
    int printed = 0, turns = 0;
    d->AfterPrint = [&](TPgxCustomBand *, bool) { ++printed; };
    rep.OnNeedData = [&](bool &more) { more = ++turns <= 3; };
    ASSERT_TRUE(rep.Prepare());
    EXPECT_EQ(printed, 3);

    // Nothing: the plain report prints its empty form once.
    TCustomPagorra plain;
    auto *title = plain.CreateBand(TPgxBandType::rbDetail);
    (void)title;
    ASSERT_TRUE(plain.Prepare());
    EXPECT_EQ(plain.Printer()->PageList().PageCount(), 0);
}

// ---- runs

using test::RecordingFilter;

TEST(ReportRuns, ExportCallSequence)
{
    LoggedReport r(27);
    r.Band(TPgxBandType::rbPageHeader, 150, "PH");
    r.Band(TPgxBandType::rbPageFooter, 120, "PF");
    r.Band(TPgxBandType::rbDetail, 100, "D");
    RecordingFilter f;
    ASSERT_TRUE(r.rep.ExportToFilter(&f));
    std::vector<std::string> want{"Start 2100x2970", "NewPage", "Page Header@100"};
    for (int i = 0; i < 25; ++i)
        want.push_back("Detail@" + std::to_string(250 + 100 * i));
    want.insert(want.end(), {"Page Footer@2750", "EndPage", "NewPage", "Page Header@100", "Detail@250", "Detail@350",
                             "Page Footer@2750", "EndPage", "Finish"});
    EXPECT_EQ(f.calls, want);
    EXPECT_TRUE(r.rep.Available());
    EXPECT_FALSE(r.rep.Exporting());
}

TEST(ReportRuns, NoSecondRunWhileOneIsInProgressAndReportsKeepTheirOwnState)
{
    LoggedReport a(30);
    LoggedReport b(30);
    a.Band(TPgxBandType::rbDetail, 100, "D");
    b.Band(TPgxBandType::rbDetail, 1000, "D");
    b.Band(TPgxBandType::rbPageHeader, 150, "PH");
    RecordingFilter f;
    bool exportRefused = false, prepareRefused = false;
    TPgxCustomBand *detail = a.rep.BandOfType(TPgxBandType::rbDetail);
    auto log = detail->AfterPrint;
    detail->AfterPrint = [&, log](TPgxCustomBand *band, bool p) {
        log(band, p);
        if (a.log.size() == 5) {
            exportRefused = !a.rep.ExportToFilter(&f);
            prepareRefused = !a.rep.Prepare();
            // Another report runs in the middle of this one.
            EXPECT_TRUE(b.rep.Prepare());
        }
    };
    ASSERT_TRUE(a.rep.Prepare());
    EXPECT_TRUE(exportRefused);
    EXPECT_TRUE(prepareRefused);
    EXPECT_TRUE(f.calls.empty());
    EXPECT_EQ(a.DetailsPerPage(), (std::map<int, int>{{1, 27}, {2, 3}}));
    EXPECT_EQ(b.DetailsPerPage(), (std::map<int, int>{{1, 2}, {2, 2}, {3, 2}, {4, 2}, {5, 2}, {6, 2}, {7, 2}, {8, 2},
                                                      {9, 2}, {10, 2}, {11, 2}, {12, 2}, {13, 2}, {14, 2}, {15, 2}}));
}

TEST(ReportRuns, VetoedAndCancelledRuns)
{
    LoggedReport r(100);
    r.Band(TPgxBandType::rbDetail, 100, "D");
    r.rep.BeforePrint = [](TCustomPagorra *, bool &go) { go = false; };
    EXPECT_FALSE(r.rep.Prepare());
    EXPECT_TRUE(r.log.empty());
    EXPECT_TRUE(r.rep.Available());

    r.rep.BeforePrint = nullptr;
    TPgxCustomBand *d = r.rep.BandOfType(TPgxBandType::rbDetail);
    auto log = d->AfterPrint;
    d->AfterPrint = [&, log](TPgxCustomBand *b, bool p) {
        log(b, p);
        if (r.log.size() == 30)
            r.rep.Cancel();
    };
    EXPECT_FALSE(r.rep.Prepare());
    EXPECT_EQ(r.log.size(), 30u);
    EXPECT_TRUE(r.rep.Cancelled());
    EXPECT_TRUE(r.rep.Available());
}

TEST(ReportRuns, OnPreviewTakesThePagesInsteadOfAPreviewWindow)
{
    LoggedReport r(60);
    r.Band(TPgxBandType::rbDetail, 100, "D");
    std::vector<TPgxPrinter *> shown;
    r.rep.OnPreview = [&](TCustomPagorra *rep) { shown.push_back(rep->Printer()); };
    ASSERT_TRUE(r.rep.Preview());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], r.rep.Printer());
    ASSERT_NE(r.rep.Printer(), nullptr);
    EXPECT_EQ(r.rep.Printer()->PageList().PageCount(), int(r.DetailsPerPage().size()));
}

TEST(ReportRuns, PreparedPagesSaveAndLoad)
{
    LoggedReport r(60);
    r.Band(TPgxBandType::rbPageHeader, 150, "PH");
    r.Band(TPgxBandType::rbPageFooter, 120, "PF");
    r.Band(TPgxBandType::rbDetail, 100, "D");
    ASSERT_TRUE(r.rep.Prepare());
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("r.qrp"));
    ASSERT_TRUE(r.rep.Printer()->Save(file));
    TPgxPrinter back;
    ASSERT_TRUE(back.Load(file));
    EXPECT_EQ(back.PageList().PageCount(), 3);
    // The page is A4 at the screen's resolution.
    std::unique_ptr<TPgxMetafile> page = back.GetPage(1);
    ASSERT_TRUE(page);
}

// ---- page footer room, forced columns, query parameters, printing

TEST(ReportPageBreaks, SummaryAlignedToBottomSitsOnTheFooter)
{
    for (uint8_t options : {uint8_t(FirstPageHeader | LastPageFooter), uint8_t(FirstPageHeader)}) {
        LoggedReport r(3);
        r.Band(TPgxBandType::rbPageFooter, 120, "PF");
        r.Band(TPgxBandType::rbDetail, 100, "D");
        TPgxCustomBand *s = r.Band(TPgxBandType::rbSummary, 200, "S");
        s->AlignToBottom = true;
        r.rep.Options = options;
        int top = -1;
        s->AfterPrint = [&](TPgxCustomBand *, bool) { top = r.rep.CurrentY() - 200; };
        ASSERT_TRUE(r.rep.Prepare());
        // Without the footer on the last page the summary takes the footer's room.
        EXPECT_EQ(top, (options & LastPageFooter) ? 2970 - 100 - 120 - 200 : 2970 - 100 - 200);
    }
}

// A custom paper holds the sides the page is laid out with, in landscape too; a named paper
// turns. The page, its metafile and every check of room follow the same extent.
TEST(ReportPageBreaks, LandscapeCustomPaperKeepsItsSides)
{
    const struct {
        TPgxPaperSize paper;
        TPgxOrientation o;
        int width, length;  // the laid-out page, 0.1 mm
    } cases[] = {
        {TPgxPaperSize::Custom, TPgxOrientation::Landscape, 2000, 1000},
        {TPgxPaperSize::Custom, TPgxOrientation::Portrait, 2000, 1000},
        {TPgxPaperSize::A4, TPgxOrientation::Landscape, 2970, 2100},
    };
    for (const auto &c : cases) {
        LoggedReport r(30);
        r.rep.Page.SetPaperSize(c.paper);
        r.rep.Page.SetOrientation(c.o);
        if (c.paper == TPgxPaperSize::Custom) {
            r.rep.Page.SetUnits(TPgxUnit::Native);
            r.rep.Page.SetValue(TPgxPage::Width, c.width);
            r.rep.Page.SetValue(TPgxPage::Length, c.length);
        }
        r.Band(TPgxBandType::rbDetail, 100, "D");
        TPgxCustomBand *s = r.Band(TPgxBandType::rbSummary, 150, "S");
        s->AlignToBottom = true;
        int summaryTop = -1;
        s->AfterPrint = [&](TPgxCustomBand *, bool) { summaryTop = r.rep.CurrentY() - 150; };
        ASSERT_TRUE(r.rep.Prepare());
        const std::string what = std::to_string(int(c.paper)) + "/" + std::to_string(int(c.o));
        // 10 mm margins: (length - 200) / 100 details a page.
        const int perPage = (c.length - 200) / 100;
        EXPECT_EQ(r.DetailsPerPage().begin()->second, perPage) << what;
        EXPECT_EQ(summaryTop, c.length - 100 - 150) << what;
        std::unique_ptr<TPgxMetafile> page = r.rep.Printer()->GetPage(1);
        ASSERT_TRUE(page) << what;
        EXPECT_NEAR(page->Width() * 254.0 / page->DpiX(), c.width, 3) << what;
        EXPECT_NEAR(page->Height() * 254.0 / page->DpiY(), c.length, 3) << what;
        // The bands are as wide as the page less its margins.
        EXPECT_EQ(PgxRound(r.rep.BandOfType(TPgxBandType::rbDetail)->Width()), c.width - 200) << what;
    }
}

namespace {

// A PDF "printer" that knows A4 alone, so it refuses a Letter page and keeps its A4 paper.
class A4OnlyPdf : public TPgxPdfDevice
{
public:
    using TPgxPdfDevice::TPgxPdfDevice;
    std::vector<int32_t> PaperCodes() const override { return {PgxPaperCode(TPgxPaperSize::A4), PgxPaperCodeCustom}; }
};

} // namespace

TEST(ReportPageBreaks, PageEndsWhereThePrintersPaperEnds)
{
    QTemporaryDir dir;
    LoggedReport r(60);
    r.rep.Page.SetPaperSize(TPgxPaperSize::Letter);
    ASSERT_EQ(PgxRound(r.rep.Page.Stored(TPgxPage::Length)), 2794);
    std::vector<int> footerTops, detailBottoms;
    TPgxCustomBand *f = r.Band(TPgxBandType::rbPageFooter, 120, "PF");
    f->AfterPrint = [&](TPgxCustomBand *, bool) { footerTops.push_back(r.rep.CurrentY() - 120); };
    TPgxCustomBand *d = r.Band(TPgxBandType::rbDetail, 100, "D");
    d->AfterPrint = [&](TPgxCustomBand *, bool) { detailBottoms.push_back(r.rep.CurrentY()); };
    r.rep.PrintDeviceFactory = [&] { return std::make_unique<A4OnlyPdf>(dir.filePath(QStringLiteral("r.pdf")), 300); };
    ASSERT_TRUE(r.rep.Print());
    // Details fill the A4 sheet and the footer sits at its foot, not at the Letter page's.
    ASSERT_FALSE(footerTops.empty());
    for (int top : footerTops)
        EXPECT_EQ(top, 2970 - 100 - 120);
    const int deepest = *std::max_element(detailBottoms.begin(), detailBottoms.end());
    EXPECT_LE(deepest, 2970 - 100 - 120);
    EXPECT_GT(deepest, 2970 - 100 - 120 - 100);
}

TEST(ReportRuns, PrintOntoADeviceThatCannotPaintFails)
{
    // A printer that takes the document but gives nothing to draw on.
    class NoPainterPdf : public TPgxPdfDevice
    {
    public:
        using TPgxPdfDevice::TPgxPdfDevice;
        QPainter *Painter() override { return nullptr; }
    };
    QTemporaryDir dir;
    LoggedReport r(60);
    r.Band(TPgxBandType::rbDetail, 100, "D");
    r.rep.PrintDeviceFactory = [&] { return std::make_unique<NoPainterPdf>(dir.filePath(QStringLiteral("r.pdf")), 300); };
    QStringList told;
    RegisterReportMessageHook([&](const QString &m) { told << m; });
    EXPECT_FALSE(r.rep.Print());
    RegisterReportMessageHook(nullptr);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("r.pdf"))));
    EXPECT_TRUE(r.rep.Available());
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains(QStringLiteral("nothing to draw"))) << told[0].toStdString();
}

TEST(ReportPageBreaks, FirstForcedColumnIsSwallowed)
{
    LoggedReport r(3);
    r.rep.Page.SetColumns(3);
    std::vector<int> columns;
    TPgxCustomBand *d = r.Band(TPgxBandType::rbDetail, 100, "D");
    d->ForceNewColumn = true;
    d->AfterPrint = [&](TPgxCustomBand *, bool) { columns.push_back(r.rep.CurrentColumn()); };
    ASSERT_TRUE(r.rep.Prepare());
    EXPECT_EQ(columns, (std::vector<int>{1, 1, 2}));
}

TEST(ReportRuns, QueryParametersTakeTheReportsVariablesOfTheirKind)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("band_test"));
    db.setDatabaseName(QStringLiteral(":memory:"));
    ASSERT_TRUE(db.open());
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE ev (id INTEGER, cam INTEGER, day TEXT)")));
    const QDate first(2026, 12, 1);
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO ev VALUES (%1, %2, '%3')")
                               .arg(i)
                               .arg(i % 3)
                               .arg(first.addDays(i % 3).toString(Qt::ISODate))));
    const std::string dayText = report::PgxFormatDateTime("ddddd", QDateTime(first.addDays(2), QTime(0, 0)));
    struct Case {
        const char *sql;
        const char *param;
        PgxFieldKind kind;
        QVariant initial;
        std::string variable;
        std::vector<int> ids;
    } cases[] = {
        {"SELECT id FROM ev WHERE cam = :cam", "cam", PgxFieldKind::Integer, 0, "1+1", {2, 5, 8, 11}},
        // A text for an integer parameter: the parameter keeps its value.
        {"SELECT id FROM ev WHERE cam = :cam", "cam", PgxFieldKind::Integer, 0, "'2'", {0, 3, 6, 9}},
        // A date parameter takes a date text, converted the way dates are written here...
        {"SELECT id FROM ev WHERE day = :day", "day", PgxFieldKind::Date, first, "'" + dayText + "'", {2, 5, 8, 11}},
        // ...but not a number, nor a text that is no date.
        {"SELECT id FROM ev WHERE day = :day", "day", PgxFieldKind::Date, first, "5", {0, 3, 6, 9}},
        {"SELECT id FROM ev WHERE day = :day", "day", PgxFieldKind::Date, first, "'soon'", {0, 3, 6, 9}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.variable);
        report::PgxSqlDataSet ds("EV", db, c.sql);
        ds.SetParam(c.param, c.kind, c.initial);
        ASSERT_TRUE(ds.Open());
        TPagorra rep;
        rep.SetDataSet(&ds);
        rep.Functions.AddFunction(report::PgxUpperAscii(c.param), c.variable);
        std::vector<int> ids;
        TPgxCustomBand *d = rep.CreateBand(TPgxBandType::rbDetail);
        d->AfterPrint = [&](TPgxCustomBand *, bool) { ids.push_back(ds.FieldValue(0).toInt()); };
        ASSERT_TRUE(rep.Prepare());
        EXPECT_EQ(ids, c.ids);
    }
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("band_test"));
}

namespace {

// "P" and the page number at the printable's place.
class PageNumberText : public TPgxPrintable
{
public:
    void Print(int32_t ofsX, int32_t ofsY) override
    {
        TPgxPrintable::Print(ofsX, ofsY);
        TPgxPrinter *p = Printer();
        PgxFont f;
        f.family = QStringLiteral("DejaVu Sans");
        f.height = p->YSize(40);
        p->Canvas()->SetFont(f);
        p->Canvas()->TextOut(p->XPos(ofsX + Left), p->YPos(ofsY + Top),
                             QStringLiteral("P%1").arg(ParentReport()->Functions.Value("PAGENUMBER").IntResult));
    }
};

} // namespace

TEST(ReportRuns, PrintSendsThePagesToTheDeviceAndFreesItsPrinter)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("r.pdf"));
    LoggedReport r(60);
    r.Band(TPgxBandType::rbPageHeader, 150, "PH");
    TPgxCustomBand *f = r.Band(TPgxBandType::rbPageFooter, 120, "PF");
    auto *t = f->AddPrintable<PageNumberText>();
    t->Left = 0;
    t->Top = 0;
    r.Band(TPgxBandType::rbDetail, 100, "D");
    r.rep.PrintDeviceFactory = [&] { return std::make_unique<TPgxPdfDevice>(pdf, 300); };
    ASSERT_TRUE(r.rep.Print());
    EXPECT_EQ(r.rep.Printer(), nullptr);
    EXPECT_EQ(PdfPageCount(pdf), 3);
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QString words = QString::fromUtf8(text.readAllStandardOutput());
    static const QRegularExpression wordRe(QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>(P\\d)</word>"));
    std::vector<std::string> found;
    for (auto it = wordRe.globalMatch(words); it.hasNext();) {
        const auto m = it.next();
        // 10 mm from the left, 275 mm from the top, in points.
        EXPECT_NEAR(m.captured(1).toDouble(), 100 / 254.0 * 72, 3);
        EXPECT_NEAR(m.captured(2).toDouble(), 2750 / 254.0 * 72, 4);
        found.push_back(m.captured(3).toStdString());
    }
    EXPECT_EQ(found, (std::vector<std::string>{"P1", "P2", "P3"}));
}

// ---- worker runs

TEST(ReportWorker, GeneratesOnAWorkerAndRefusesASecondRun)
{
    LoggedReport r(200);
    r.Band(TPgxBandType::rbPageHeader, 150, "PH");
    r.Band(TPgxBandType::rbPageFooter, 120, "PF");
    TPgxCustomBand *d = r.Band(TPgxBandType::rbDetail, 100, "D");
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> onWorker{false};
    const std::thread::id mainId = std::this_thread::get_id();
    auto log = d->AfterPrint;
    d->AfterPrint = [&, log](TPgxCustomBand *b, bool p) {
        log(b, p);
        if (r.detailPages.size() == 1) {
            onWorker = std::this_thread::get_id() != mainId;
            released.wait();
        }
    };
    QSignalSpy finished(&r.rep, &TCustomPagorra::RunFinished);
    ASSERT_TRUE(r.rep.PrepareInBackground());
    EXPECT_FALSE(r.rep.Prepare());
    EXPECT_FALSE(r.rep.PrepareInBackground());
    RecordingFilter f;
    EXPECT_FALSE(r.rep.ExportToFilter(&f));
    release.set_value();
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_TRUE(finished.front().front().toBool());
    EXPECT_TRUE(onWorker);
    EXPECT_TRUE(r.rep.Available());
    ASSERT_NE(r.rep.Printer(), nullptr);
    EXPECT_EQ(r.rep.Printer()->PageList().PageCount(), 8);
    EXPECT_EQ(r.DetailsPerPage().size(), 8u);
}

namespace {

// A print device with no printer installed.
class NoPrinter : public TPgxPdfDevice
{
public:
    using TPgxPdfDevice::TPgxPdfDevice;
    QStringList Printers() const override { return {}; }
};

} // namespace

TEST(ReportWorker, PrintsInTheBackgroundToThePrinter)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("bg.pdf"));
    LoggedReport r(60);
    r.Band(TPgxBandType::rbPageHeader, 150, "PH");
    TPgxCustomBand *d = r.Band(TPgxBandType::rbDetail, 100, "D");
    std::atomic<bool> onWorker{false};
    const std::thread::id mainId = std::this_thread::get_id();
    auto log = d->AfterPrint;
    d->AfterPrint = [&, log](TPgxCustomBand *b, bool p) {
        log(b, p);
        onWorker = std::this_thread::get_id() != mainId;
    };
    // No printer: nothing starts and the report keeps the printer it had.
    ASSERT_TRUE(r.rep.Prepare());
    TPgxPrinter *before = r.rep.Printer();
    r.rep.PrintDeviceFactory = [&] { return std::make_unique<NoPrinter>(pdf, 150); };
    EXPECT_FALSE(r.rep.PrintBackground());
    EXPECT_EQ(r.rep.Printer(), before);
    EXPECT_TRUE(r.rep.Available());

    r.detailPages.clear();
    r.rep.PrintDeviceFactory = [&] { return std::make_unique<TPgxPdfDevice>(pdf, 150); };
    QSignalSpy finished(&r.rep, &TCustomPagorra::RunFinished);
    ASSERT_TRUE(r.rep.PrintBackground());
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_TRUE(finished.front().front().toBool());
    EXPECT_TRUE(onWorker);
    EXPECT_TRUE(r.rep.Available());
    EXPECT_EQ(PdfPageCount(pdf), int(r.DetailsPerPage().size()));
}

TEST(ReportWorker, CancelKeepsThePrinterUntilTheWorkerIsDone)
{
    LoggedReport r(5000);
    TPgxCustomBand *d = r.Band(TPgxBandType::rbDetail, 100, "D");
    std::promise<void> started, release;
    std::shared_future<void> released = release.get_future().share();
    auto log = d->AfterPrint;
    d->AfterPrint = [&, log](TPgxCustomBand *b, bool p) {
        log(b, p);
        if (r.log.size() == 10) {
            started.set_value();
            released.wait();
        }
    };
    QSignalSpy finished(&r.rep, &TCustomPagorra::RunFinished);
    ASSERT_TRUE(r.rep.PrepareInBackground());
    started.get_future().wait();
    TPgxPrinter *printer = r.rep.Printer();
    r.rep.Cancel();
    // The worker still prints; its printer stays.
    QCoreApplication::processEvents();
    EXPECT_EQ(r.rep.Printer(), printer);
    release.set_value();
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_FALSE(finished.front().front().toBool());
    EXPECT_EQ(r.rep.Printer(), nullptr);
    EXPECT_LT(r.log.size(), 5000u);
    EXPECT_TRUE(r.rep.Available());
}

TEST(ReportRuns, PrinterMessagesArriveQueued)
{
    LoggedReport r(20); // one page: it becomes available only as the run ends
    r.Band(TPgxBandType::rbDetail, 100, "D");
    QSignalSpy first(&r.rep, &TCustomPagorra::FirstPageAvailable);
    ASSERT_TRUE(r.rep.Prepare());
    EXPECT_EQ(first.count(), 0); // queued: not while the run is still on the stack
    QCoreApplication::processEvents();
    EXPECT_EQ(first.count(), 1);
    // The preview closed while no run is in progress: the printer goes.
    TPgxPrinter *printer = r.rep.Printer();
    emit printer->ClosePreviewRequested(printer);
    EXPECT_EQ(r.rep.Printer(), printer);
    QCoreApplication::processEvents();
    EXPECT_EQ(r.rep.Printer(), nullptr);
}

namespace {

// Needs more room than its band's design height.
class TallPrintable : public TPgxPrintable
{
public:
    void GetExpandedHeight(double &height) override { height = 2000; }
};

} // namespace

TEST(ReportPageBreaks, KeepOnOnePageStartsAColumnWhenTheExpandedBandDoesNotFit)
{
    LoggedReport r(10);
    TPgxCustomBand *d = r.Band(TPgxBandType::rbDetail, 100, "D");
    auto *p = d->AddPrintable<TallPrintable>();
    p->Top = 0;
    p->Height = 100;
    EXPECT_DOUBLE_EQ(d->ExpandedHeight(), 2000);
    d->KeepOnOnePage = true;
    ASSERT_TRUE(r.rep.Prepare());
    // Room from 100 to 2870: the ninth band, at 900, would need 2000 of the 1970 left.
    EXPECT_EQ(r.DetailsPerPage(), (std::map<int, int>{{1, 8}, {2, 2}}));
}

TEST(ReportPageBreaks, ColumnsStartBelowTheTitleOnPageOneOnly)
{
    LoggedReport r(200);
    r.rep.Page.SetColumns(3);
    r.Band(TPgxBandType::rbTitle, 200, "T");
    r.Band(TPgxBandType::rbPageHeader, 150, "PH");
    TPgxCustomBand *d = r.Band(TPgxBandType::rbDetail, 100, "D");
    std::map<std::pair<int, int>, int> firstTop;
    auto log = d->AfterPrint;
    d->AfterPrint = [&, log](TPgxCustomBand *b, bool p) {
        log(b, p);
        firstTop.emplace(std::make_pair(r.rep.PageNumber(), r.rep.CurrentColumn()), r.rep.CurrentY() - 100);
    };
    ASSERT_TRUE(r.rep.Prepare());
    EXPECT_EQ((firstTop[{1, 1}]), 450);
    EXPECT_EQ((firstTop[{1, 2}]), 450);
    EXPECT_EQ((firstTop[{1, 3}]), 450);
    EXPECT_EQ((firstTop[{2, 1}]), 250);
    EXPECT_EQ((firstTop[{2, 2}]), 250);
}

TEST(ReportPageBreaks, RowByRowColumnsStillBeginAPage)
{
    LoggedReport r(3);
    r.rep.Page.SetColumns(2);
    r.rep.Page.SetPrintOrder(TPgxPrintOrder::RowByRow);
    r.Band(TPgxBandType::rbDetail, 100, "D");
    ASSERT_TRUE(r.rep.Prepare());
    EXPECT_EQ(r.detailPages, (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(r.rep.Printer()->PageList().PageCount(), 1);
}

TEST(ReportRuns, PageFrameAndBandBackgroundsReachThePage)
{
    LoggedReport r(1);
    r.rep.Frame().SetValue(0, true); // top line at the top margin
    r.rep.Frame().SetWidth(2);
    r.rep.Frame().SetColor(0xffff0000);
    TPgxCustomBand *d = r.Band(TPgxBandType::rbDetail, 300, "D");
    d->Color = 0xff00ff00;
    ASSERT_TRUE(r.rep.Prepare());
    std::unique_ptr<TPgxMetafile> page = r.rep.Printer()->GetPage(1);
    ASSERT_TRUE(page);
    QImage img(page->Width(), page->Height(), QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter painter(&img);
        page->Replay(painter, QRectF(0, 0, img.width(), img.height()));
    }
    const double f = double(img.width()) / 2100; // pixels per 0.1 mm
    // The frame's top line at 10 mm, the band's background just below it, white further down.
    EXPECT_EQ(img.pixel(int(1000 * f), int(100 * f) + 1), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(int(1000 * f), int(250 * f)), qRgb(0, 255, 0));
    EXPECT_EQ(img.pixel(int(1000 * f), int(600 * f)), qRgb(255, 255, 255));
}

TEST(ReportRuns, PrinterSetupStoresTheChoice)
{
    LoggedReport r(60);
    r.Band(TPgxBandType::rbDetail, 100, "D");
    ASSERT_TRUE(r.rep.Prepare());
    TPgxPrinterSetupChoice shown;
    RegisterPrinterSetupHook([&](TPgxPrinterSetupChoice &c) {
        shown = c;
        c.Copies = 3;
        c.Orientation = TPgxOrientation::Landscape;
        c.PrintRange = TPgxPrinterSetupChoice::PageNums;
        c.FromPage = 2;
        c.ToPage = 3;
        return true;
    });
    EXPECT_TRUE(r.rep.PrinterSetup());
    // The finished run's pages bound the range.
    EXPECT_EQ(shown.MinPage, 1);
    EXPECT_EQ(shown.MaxPage, 3);
    EXPECT_EQ(r.rep.PrinterSettings.Copies, 3);
    EXPECT_EQ(r.rep.Page.Orientation(), TPgxOrientation::Landscape);
    EXPECT_EQ(r.rep.PrinterSettings.FirstPage, 2);
    EXPECT_EQ(r.rep.PrinterSettings.LastPage, 3);
    EXPECT_EQ(r.rep.Tag, 0);
    RegisterPrinterSetupHook([](TPgxPrinterSetupChoice &c) { c.Copies = 9; return false; });
    EXPECT_FALSE(r.rep.PrinterSetup());
    EXPECT_EQ(r.rep.PrinterSettings.Copies, 3);
    EXPECT_EQ(r.rep.Tag, 1);
    RegisterPrinterSetupHook(nullptr);
}

TEST(ReportWorker, TheWindowReadsFinishedPagesWhileTheWorkerGenerates)
{
    LoggedReport r(100);
    TPgxCustomBand *d = r.Band(TPgxBandType::rbDetail, 100, "D");
    std::promise<void> started, release;
    std::shared_future<void> released = release.get_future().share();
    auto log = d->AfterPrint;
    d->AfterPrint = [&, log](TPgxCustomBand *b, bool p) {
        log(b, p);
        if (r.detailPages.size() == 60) { // on page 3
            started.set_value();
            released.wait();
        }
    };
    QSignalSpy finished(&r.rep, &TCustomPagorra::RunFinished);
    ASSERT_TRUE(r.rep.PrepareInBackground());
    started.get_future().wait();
    TPgxPrinter *printer = r.rep.Printer();
    EXPECT_EQ(printer->Status(), TPgxPrinterStatus::mpBusy);
    EXPECT_EQ(printer->AvailablePages(), 2);
    EXPECT_TRUE(printer->GetPage(1));
    EXPECT_TRUE(printer->GetPage(2));
    release.set_value();
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_EQ(r.rep.Printer()->PageList().PageCount(), 4);
}

namespace {

// Grows its band twice, the second time by less than the band has grown already.
class GrowingPrintable : public TPgxPrintable
{
public:
    std::vector<std::string> seen;
    void Print(int32_t ofsX, int32_t ofsY) override
    {
        TPgxPrintable::Print(ofsX, ofsY);
        double top = 0;
        bool expanded = false;
        const bool first = Band()->ExpandBand(300, top, expanded);
        bool again = false;
        double top2 = 0;
        const bool second = Band()->ExpandBand(100, top2, again);
        bool tooMuch = false;
        double top3 = -1;
        const bool third = Band()->ExpandBand(1e6, top3, tooMuch);
        seen.push_back(std::to_string(first) + std::to_string(int(top)) + "/" + std::to_string(second)
                       + std::to_string(int(top2)) + "/" + std::to_string(third) + std::to_string(tooMuch)
                       + "/" + std::to_string(int(Band()->Expansion())));
    }
};

} // namespace

TEST(ReportUnfinished, ExpandBandGrowsOnceAndOnlyWithinTheRoomLeft)
{
    LoggedReport r(2);
    TPgxCustomBand *d = r.Band(TPgxBandType::rbDetail, 100, "D");
    auto *g = d->AddPrintable<GrowingPrintable>();
    std::vector<int> tops;
    auto log = d->AfterPrint;
    d->AfterPrint = [&, log](TPgxCustomBand *b, bool p) {
        log(b, p);
        tops.push_back(r.rep.CurrentY());
    };
    ASSERT_TRUE(r.rep.Prepare());
    // 300 grown; 100 asked next is less, so nothing more; a million does not fit and changes nothing.
    EXPECT_EQ(g->seen, (std::vector<std::string>{"0300/1300/00/300", "0300/1300/00/300"}));
    // Each band advanced by its design height plus what it grew.
    EXPECT_EQ(tops, (std::vector<int>{100 + 400, 100 + 800}));
}
