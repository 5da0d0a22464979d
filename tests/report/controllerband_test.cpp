#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include "report/bands/composite.h"
#include "report/bands/controllerband.h"
#include "report/bands/exportshape.h"
#include "report/bands/pagorra.h"
#include "report/base/message.h"
#include "report/data/dataset.h"
#include "report/forms/standardpreview.h"
#include "report/output/exportfilter.h"
#include "report/stored/extra.h"
#include "report_testutil.h"

using namespace strandel;
using report::PgxFieldKind;
using report::PgxMemoryDataSet;
using report::test::Show;

namespace {

// A report over a master table whose bands log what they print; sub-bands log the values of
// their own table or variable.
struct Fixture {
    TPagorra rep;
    PgxMemoryDataSet master{"M"}, items{"I"};
    std::vector<std::string> log;

    explicit Fixture(int masters, int itemRows = 3)
    {
        master.AddField({"N", PgxFieldKind::Integer});
        for (int i = 1; i <= masters; ++i)
            master.AppendRecord({i});
        master.Open();
        items.AddField({"K", PgxFieldKind::String});
        items.AddField({"V", PgxFieldKind::Integer});
        for (int i = 0; i < itemRows; ++i)
            items.AppendRecord({QString(i < 2 ? "x" : "y"), i});
        items.Open();
        rep.SetDataSet(&master);
        rep.RegisterDataSet(&items);
    }

    // The band logs name, then what text(band) answers when it prints.
    template <class B> void Watch(B *b, const std::string &name, std::function<std::string()> text = {})
    {
        b->SetHeight(50);
        b->AfterPrint = [this, name, text](TPgxCustomBand *, bool printed) {
            if (printed)
                log.push_back(text ? name + text() : name);
        };
    }

    TPgxCustomBand *Band(TPgxBandType t, const std::string &name, std::function<std::string()> text = {})
    {
        TPgxCustomBand *b = rep.CreateBand(t);
        Watch(b, name, std::move(text));
        return b;
    }

    std::string Master() const { return std::to_string(master.FieldValue(0).toInt()); }
    std::string Item() const { return std::to_string(items.FieldValue(1).toInt()); }
    std::string Var(const char *name) { return Show(rep.Functions.Value(name)); }
};

std::vector<std::string> Split(const std::string &s)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= s.size()) {
        const size_t end = s.find(' ', start);
        out.push_back(s.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return out;
}

} // namespace

// ---- sub-detail

TEST(ControllerBands, SubDetailRunsItsTableInsideEachMasterRecord)
{
    struct Case {
        bool printBefore, header, footer;
        const char *want;
    };
    const Case cases[] = {
        {false, true, true, "T D1 SH S0 S1 S2 SF D2 SH S0 S1 S2 SF Sum"},
        {true, false, false, "T S0 S1 S2 D1 S0 S1 S2 D2 Sum"},
        {false, false, true, "T D1 S0 S1 S2 SF D2 S0 S1 S2 SF Sum"},
    };
    for (const Case &c : cases) {
        Fixture f(2);
        f.Band(TPgxBandType::rbTitle, "T");
        f.Band(TPgxBandType::rbDetail, "D", [&] { return f.Master(); });
        f.Band(TPgxBandType::rbSummary, "Sum");
        auto *sd = f.rep.AddBand(std::make_unique<TPgxSubDetail>());
        ASSERT_NE(sd, nullptr);
        f.Watch(sd, "S", [&] { return f.Item(); });
        sd->SetDataSet(&f.items);
        sd->SetPrintBefore(c.printBefore);
        sd->SetHasHeader(c.header);
        sd->SetHasFooter(c.footer);
        if (c.header)
            f.Watch(sd->HeaderBand(), "SH");
        if (c.footer)
            f.Watch(sd->FooterBand(), "SF");
        EXPECT_EQ(sd->Master(), static_cast<TPgxComponent *>(&f.rep));
        ASSERT_TRUE(f.rep.Prepare());
        EXPECT_EQ(f.log, Split(c.want)) << c.want;
    }
}

TEST(ControllerBands, BandListPutsSubBandsAroundTheDetail)
{
    Fixture f(1);
    TPgxCustomBand *title = f.rep.CreateBand(TPgxBandType::rbTitle);
    TPgxCustomBand *detail = f.rep.CreateBand(TPgxBandType::rbDetail);
    auto *after = f.rep.AddBand(std::make_unique<TPgxSubDetail>());
    after->SetHasHeader(true);
    after->SetHasFooter(true);
    auto *before = f.rep.AddBand(std::make_unique<TPgxLoopBand>());
    before->SetPrintBefore(true);
    TPgxCustomBand *footer = f.rep.CreateBand(TPgxBandType::rbPageFooter);
    const std::vector<TPgxCustomBand *> want{title, before, detail, after->HeaderBand(), after, after->FooterBand(),
                                             footer};
    EXPECT_EQ(f.rep.BandList(), want);
    EXPECT_EQ(after->HeaderBand()->BandType(), TPgxBandType::rbGroupHeader);
    EXPECT_EQ(after->FooterBand()->BandType(), TPgxBandType::rbGroupFooter);
}

TEST(ControllerBands, GroupsBreakInsideASubDetail)
{
    Fixture f(2, 4); // item keys x x y y
    f.Band(TPgxBandType::rbDetail, "D", [&] { return f.Master(); });
    auto *sd = f.rep.AddBand(std::make_unique<TPgxSubDetail>());
    f.Watch(sd, "S", [&] { return f.Item(); });
    sd->SetDataSet(&f.items);
    TPgxGroup *g = f.rep.CreateGroup();
    ASSERT_TRUE(g->SetMaster(sd));
    g->Expression = "I.K";
    f.Watch(g, "G");
    TPgxCustomBand *gf = f.rep.CreateBand(TPgxBandType::rbDetail);
    g->SetFooterBand(gf);
    f.Watch(gf, "GF");
    ASSERT_TRUE(f.rep.Prepare());
    EXPECT_EQ(f.log, Split("D1 G S0 S1 GF G S2 S3 GF D2 G S0 S1 GF G S2 S3 GF"));
}

namespace {

struct CountingPrintable : TPgxPrintable {
    int advances = 0;
    void PgxNotification(TPgxCustomBand *, TPgxNotifyOperation op) override
    {
        advances += op == TPgxNotifyOperation::pgxMasterDataAdvance;
    }
};

} // namespace

TEST(ControllerBands, SubDetailNotifiesItsClientsPerRecord)
{
    Fixture f(2);
    f.Band(TPgxBandType::rbDetail, "D");
    auto *sd = f.rep.AddBand(std::make_unique<TPgxSubDetail>());
    sd->SetDataSet(&f.items);
    auto *client = sd->AddPrintable<CountingPrintable>();
    sd->AddNotifyClient(client);
    ASSERT_TRUE(f.rep.Prepare());
    EXPECT_EQ(client->advances, 6);
}

TEST(ControllerBands, EmptySubDetailPrintsItsEmptyFormOnlyWhenAsked)
{
    for (bool printIfEmpty : {true, false}) {
        Fixture f(1, 0);
        f.Band(TPgxBandType::rbDetail, "D", [&] { return f.Master(); });
        auto *sd = f.rep.AddBand(std::make_unique<TPgxSubDetail>());
        f.Watch(sd, "S");
        sd->SetDataSet(&f.items);
        sd->SetPrintIfEmpty(printIfEmpty);
        sd->SetHasHeader(true);
        f.Watch(sd->HeaderBand(), "SH");
        ASSERT_TRUE(f.rep.Prepare());
        EXPECT_EQ(f.log, Split(printIfEmpty ? "D1 SH S" : "D1")) << printIfEmpty;
    }
}

TEST(ControllerBands, MastersThatComeBackAreRefused)
{
    Fixture f(1);
    auto *a = f.rep.AddBand(std::make_unique<TPgxSubDetail>());
    auto *b = f.rep.AddBand(std::make_unique<TPgxLoopBand>());
    auto *c = f.rep.AddBand(std::make_unique<TPgxStringsBand>());
    EXPECT_FALSE(a->SetMaster(a));
    ASSERT_TRUE(b->SetMaster(a));
    ASSERT_TRUE(c->SetMaster(b));
    EXPECT_FALSE(a->SetMaster(c));
    EXPECT_EQ(a->Master(), static_cast<TPgxComponent *>(&f.rep));
    // A group hangs only under a report or a controller band.
    TPgxGroup *g = f.rep.CreateGroup();
    EXPECT_FALSE(g->SetMaster(f.rep.Controller()));
    EXPECT_EQ(g->Master(), static_cast<TPgxComponent *>(&f.rep));
    // A freed master leaves what hung under it masterless.
    f.rep.RemoveBand(a);
    EXPECT_EQ(b->Master(), nullptr);
}

TEST(ControllerBands, HasHeaderCreatesOneBandAndFalseFreesIt)
{
    Fixture f(1);
    auto *sd = f.rep.AddBand(std::make_unique<TPgxSubDetail>());
    const size_t bands = f.rep.AllBands().size();
    sd->Bands().SetHasHeader(true);
    TPgxCustomBand *header = sd->HeaderBand();
    sd->Bands().SetHasHeader(true);
    EXPECT_EQ(sd->HeaderBand(), header);
    EXPECT_EQ(f.rep.AllBands().size(), bands + 1);
    sd->Bands().SetHasHeader(false);
    EXPECT_FALSE(sd->Bands().HasHeader());
    EXPECT_EQ(f.rep.AllBands().size(), bands);
    // A header freed from outside is forgotten too.
    sd->SetHasFooter(true);
    f.rep.RemoveBand(sd->FooterBand());
    EXPECT_FALSE(sd->HasFooter());
}

// ---- loop and strings

TEST(ControllerBands, LoopBandCountsFromZero)
{
    for (int count : {0, 1, 3}) {
        Fixture f(2);
        f.Band(TPgxBandType::rbDetail, "D", [&] { return f.Master(); });
        auto *loop = f.rep.AddBand(std::make_unique<TPgxLoopBand>());
        EXPECT_EQ(loop->Name(), "LoopBand1");
        loop->SetPrintCount(count);
        f.Watch(loop, "L", [&] { return f.Var("LoopBand1") + "/" + std::to_string(loop->GetCount()); });
        ASSERT_TRUE(f.rep.Prepare());
        std::string want;
        for (int m = 1; m <= 2; ++m) {
            want += (want.empty() ? "D" : " D") + std::to_string(m);
            for (int i = 0; i < count; ++i)
                want += " LI:" + std::to_string(i) + "/" + std::to_string(i);
        }
        EXPECT_EQ(f.log, Split(want)) << count;
        EXPECT_EQ(loop->GetCount(), 0);
        EXPECT_EQ(loop->BandTypeName(), "LoopBand");
    }
}

TEST(ControllerBands, StringsBandPrintsOncePerLine)
{
    const QString longLine(300, QChar('z'));
    struct Case {
        QStringList items;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {{}, {"D1"}},
        {{"a", "", "c"}, {"D1", "S:a|a", "S:|", "S:c|c"}},
        {{longLine}, {"D1", "S:" + std::string(255, 'z') + "|" + std::string(300, 'z')}},
    };
    for (const Case &c : cases) {
        Fixture f(1);
        f.Band(TPgxBandType::rbDetail, "D", [&] { return f.Master(); });
        auto *s = f.rep.AddBand(std::make_unique<TPgxStringsBand>());
        s->SetItems(c.items);
        f.Watch(s, "", [&] { return f.Var("StringsBand1") + "|" + s->GetItem().toStdString(); });
        EXPECT_EQ(s->GetItem(), QString());
        ASSERT_TRUE(f.rep.Prepare());
        EXPECT_EQ(f.log, c.want);
        EXPECT_EQ(s->GetIndex(), -1);
        EXPECT_EQ(s->GetItem(), QString());
    }
}

TEST(ControllerBands, RenamingABandRenamesItsVariable)
{
    Fixture f(1);
    auto *loop = f.rep.AddBand(std::make_unique<TPgxLoopBand>());
    auto *sd = f.rep.AddBand(std::make_unique<TPgxSubDetail>());
    auto has = [&](const char *name) {
        for (int i = 0; i < f.rep.Functions.Count(); ++i)
            if (f.rep.Functions.Name(i) == name)
                return true;
        return false;
    };
    EXPECT_TRUE(has("LOOPBAND1"));
    loop->SetName("Counter");
    EXPECT_FALSE(has("LOOPBAND1"));
    EXPECT_TRUE(has("COUNTER"));
    // A sub-detail publishes no variable.
    EXPECT_FALSE(has(report::PgxUpperAscii(sd->Name().toStdString()).c_str()));
    f.rep.RemoveBand(loop);
    EXPECT_FALSE(has("COUNTER"));
}

TEST(ControllerBands, NestedLoopsUnderEachOther)
{
    Fixture f(1);
    f.Band(TPgxBandType::rbDetail, "D", [&] { return f.Master(); });
    auto *outer = f.rep.AddBand(std::make_unique<TPgxLoopBand>());
    auto *inner = f.rep.AddBand(std::make_unique<TPgxLoopBand>());
    outer->SetPrintCount(2);
    inner->SetPrintCount(2);
    ASSERT_TRUE(inner->SetMaster(outer));
    f.Watch(outer, "O", [&] { return std::to_string(outer->GetCount()); });
    f.Watch(inner, "I", [&] { return std::to_string(outer->GetCount()) + std::to_string(inner->GetCount()); });
    ASSERT_TRUE(f.rep.Prepare());
    EXPECT_EQ(f.log, Split("D1 O0 I00 I01 O1 I10 I11"));
}

// ---- the report component

TEST(ReportComponent, BandsStayPutWhileARunIsInProgress)
{
    Fixture f(2);
    TPgxCustomBand *d = f.Band(TPgxBandType::rbDetail, "D");
    std::vector<bool> created;
    size_t during = 0;
    d->BeforePrint = [&](TPgxCustomBand *, bool &) {
        created.push_back(f.rep.CreateBand(TPgxBandType::rbDetail) != nullptr);
        created.push_back(f.rep.AddBand(std::make_unique<TPgxLoopBand>()) != nullptr);
        f.rep.RemoveBand(d);
        during = f.rep.AllBands().size();
    };
    ASSERT_TRUE(f.rep.Prepare());
    EXPECT_EQ(created, std::vector<bool>(4, false));
    EXPECT_EQ(during, 1u);
    EXPECT_NE(f.rep.CreateBand(TPgxBandType::rbSummary), nullptr);
}

TEST(ReportComponent, WorkerRunRefusesNewBands)
{
    Fixture f(1);
    TPgxCustomBand *d = f.Band(TPgxBandType::rbDetail, "D");
    auto *loop = f.rep.AddBand(std::make_unique<TPgxLoopBand>());
    std::atomic<bool> inRun{false}, release{false};
    d->BeforePrint = [&](TPgxCustomBand *, bool &) {
        inRun = true;
        while (!release)
            std::this_thread::yield();
    };
    ASSERT_TRUE(f.rep.PrepareInBackground());
    while (!inRun)
        std::this_thread::yield();
    const std::vector<TPgxCustomBand *> list = f.rep.BandList();
    EXPECT_EQ(f.rep.CreateBand(TPgxBandType::rbSummary), nullptr);
    f.rep.RemoveBand(d);
    loop->SetPrintBefore(true); // stored, laid out by the next run
    EXPECT_EQ(f.rep.AllBands().size(), 2u);
    EXPECT_EQ(f.rep.BandList(), list);
    release = true;
    f.rep.WaitForRun();
    QCoreApplication::processEvents();
    EXPECT_NE(f.rep.CreateBand(TPgxBandType::rbSummary), nullptr);
    EXPECT_EQ(f.rep.BandList().front(), loop);
}

TEST(ReportComponent, UnitsZoomAndDescription)
{
    TPagorra rep;
    rep.SetUnits(TPgxUnit::Inches);
    EXPECT_EQ(rep.Units(), TPgxUnit::Inches);
    EXPECT_NEAR(rep.Page.GetValue(TPgxPage::Width), 210.0 / 25.4, 1e-9);
    for (int z : {0, 301, -5})
        rep.SetZoom(z);
    EXPECT_EQ(rep.Zoom(), 100);
    rep.SetZoom(200);
    EXPECT_EQ(rep.Zoom(), 200);
    EXPECT_EQ(rep.Page.Zoom(), 200);
    // A run works in tenths of a millimetre and gives the shown units back.
    TPgxCustomBand *d = rep.CreateBand(TPgxBandType::rbTitle);
    TPgxUnit during = TPgxUnit::MM;
    d->AfterPrint = [&](TPgxCustomBand *, bool) { during = rep.Units(); };
    rep.Description = QStringList{"first", "second"};
    ASSERT_TRUE(rep.Prepare());
    EXPECT_EQ(during, TPgxUnit::Native);
    EXPECT_EQ(rep.Units(), TPgxUnit::Inches);
    EXPECT_EQ(rep.Description.size(), 2);
}

TEST(ReportComponent, TextMeasuresInScreenPixels)
{
    TCustomPagorra rep;
    EXPECT_EQ(rep.Font.family(), "Arial");
    EXPECT_EQ(rep.Font.pointSize(), 10);
    EXPECT_EQ(rep.TextWidth(rep.Font, QString()), 1); // the extent plus one
    const int32_t w = rep.TextWidth(rep.Font, "W"), ww = rep.TextWidth(rep.Font, "WW");
    EXPECT_GT(w, 1);
    EXPECT_GT(ww, w);
    QFont big = rep.Font;
    big.setPointSize(40);
    EXPECT_GT(rep.TextHeight(big, "W"), rep.TextHeight(rep.Font, "W"));
    EXPECT_GT(rep.TextHeight(rep.Font, "W"), 0);
}

namespace {

// An image printable as far as the report needs one.
class PicturePrintable : public TPgxPrintable
{
public:
    explicit PicturePrintable(QImage img) : m_img(std::move(img)) {}
    const QImage *Picture() const override { return &m_img; }

private:
    QImage m_img;
};

struct GraphicsFilter : TPgxExportFilter {
    GraphicsFilter() : TPgxExportFilter("x") {}
    std::vector<std::string> calls;
    void NewPage() override { calls.push_back("NewPage"); }
    void AcceptGraphic(double x, double y, TPgxPrintable *control) override
    {
        std::string entry = std::to_string(int(x)) + "," + std::to_string(int(y)) + " ";
        if (auto *s = dynamic_cast<TPgxExportShape *>(control)) {
            const char *kinds[] = {"rect", "hline", "vline"};
            entry += kinds[int(s->Shape.kind)] + std::string(" ") + std::to_string(s->Shape.width) + "x"
                + std::to_string(s->Shape.height) + " #" + QString::number(s->Shape.brush.color & 0xffffff, 16).toStdString()
                + (s->Shape.brush.style == PgxBrushStyle::Solid ? " solid" : " clear");
        } else {
            entry += control->Name.toStdString();
        }
        calls.push_back(entry);
    }
};

// Device pixels per 0.1 mm of the printer an export run uses.
double ExportFactor()
{
    TPgxPrinter probe;
    probe.BeginDoc();
    const double f = probe.XFactor();
    probe.AbortDoc();
    return f;
}

QImage RenderPage(TPgxPrinter &printer, int n)
{
    std::unique_ptr<TPgxMetafile> page = printer.GetPage(n);
    QImage img(page->Width(), page->Height(), QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter painter(&img);
    page->Replay(painter, QRectF(0, 0, img.width(), img.height()));
    return img;
}

} // namespace

TEST(ReportComponent, BackgroundImageOnEveryPage)
{
    Fixture f(2);
    TPgxCustomBand *d = f.Band(TPgxBandType::rbDetail, "D");
    d->ForceNewPage = true;
    d->TransparentBand = true;
    QImage red(40, 30, QImage::Format_RGB32);
    red.fill(qRgb(255, 0, 0));
    auto *decoy = f.rep.AddPrintable<PicturePrintable>(red);
    decoy->Name = "Other";
    auto *img = f.rep.AddPrintable<PicturePrintable>(red);
    img->Name = "Back";
    img->Left = 1000;
    img->Top = 1500;
    EXPECT_EQ(img->ParentReport(), &f.rep);

    // Without the name no background is drawn.
    ASSERT_TRUE(f.rep.Prepare());
    EXPECT_EQ(f.rep.Printer()->PageCount(), 2);
    {
        const QImage page = RenderPage(*f.rep.Printer(), 1);
        const double px = double(page.width()) / 2100;
        EXPECT_EQ(page.pixel(int(1000 * px) + 5, int(1500 * px) + 5), qRgb(255, 255, 255));
    }
    f.rep.BackImageControl = "Back";
    ASSERT_TRUE(f.rep.Prepare());
    for (int n : {1, 2}) {
        const QImage page = RenderPage(*f.rep.Printer(), n);
        const double px = double(page.width()) / 2100;
        EXPECT_EQ(page.pixel(int(1000 * px) + 5, int(1500 * px) + 5), qRgb(255, 0, 0)) << n;
        EXPECT_EQ(page.pixel(int(1000 * px) - 3, int(1500 * px) + 5), qRgb(255, 255, 255)) << n;
    }
    EXPECT_EQ(f.rep.BackgroundImage(), nullptr); // looked up afresh by each run

    GraphicsFilter filter;
    ASSERT_TRUE(f.rep.ExportToFilter(&filter));
    const double xf = ExportFactor();
    const std::string at = std::to_string(PgxRound(1000 * xf)) + "," + std::to_string(PgxRound(1500 * xf)) + " Back";
    EXPECT_EQ(std::count(filter.calls.begin(), filter.calls.end(), at), 2);
}

TEST(ReportComponent, BandBackgroundAndFrameReachTheFilterAsShapes)
{
    Fixture f(1);
    TPgxCustomBand *d = f.rep.CreateBand(TPgxBandType::rbDetail);
    d->SetHeight(100);
    d->Color = 0xff00ff00;
    d->Frame().SetValue(0, true);
    d->Frame().SetValue(2, true);
    TPgxCustomBand *t = f.rep.CreateBand(TPgxBandType::rbTitle);
    t->SetHeight(50);
    t->TransparentBand = true;
    t->Frame().SetValue(0, true);
    t->Frame().SetValue(1, true);
    t->Frame().SetValue(2, true);
    t->Frame().SetValue(3, true);
    GraphicsFilter filter;
    ASSERT_TRUE(f.rep.ExportToFilter(&filter));
    // The title is transparent, so only its frame goes out (one rectangle for four sides); the
    // detail's background, then one line per side.
    const double k = ExportFactor();
    auto X = [k](double v) { return std::to_string(PgxRound(v * k)); };
    auto L = [k](double from, double to) { return std::to_string(PgxRound(to * k) - PgxRound(from * k)); };
    const std::string line = std::to_string(d->Frame().ThicknessX(k));
    const std::vector<std::string> want{
        "NewPage",
        X(100) + "," + X(100) + " rect " + L(100, 2000) + "x" + L(100, 151) + " #ffffff clear",
        X(100) + "," + X(150) + " rect " + L(100, 2000) + "x" + L(150, 250) + " #ff00 solid",
        X(100) + "," + X(150) + " hline " + L(100, 2000) + "x" + line + " #ffffff clear",
        X(100) + "," + X(150) + " vline " + line + "x" + L(150, 251) + " #ffffff clear",
    };
    EXPECT_EQ(filter.calls, want);
}

TEST(ReportComponent, ARegisteredShapeMakerSuppliesTheShapes)
{
    struct OwnShape : TPgxPrintable {
        PgxFrameShapeKind kind;
        explicit OwnShape(PgxFrameShapeKind k) : kind(k) {}
    };
    struct Filter : TPgxExportFilter {
        Filter() : TPgxExportFilter("x") {}
        int own = 0, other = 0;
        void AcceptGraphic(double, double, TPgxPrintable *control) override
        {
            ++(dynamic_cast<OwnShape *>(control) ? own : other);
        }
    };
    Fixture f(2);
    f.rep.CreateBand(TPgxBandType::rbDetail)->SetHeight(100);
    RegisterExportShapeMaker([](const PgxFrameShape &s) { return std::make_unique<OwnShape>(s.kind); });
    Filter filter;
    ASSERT_TRUE(f.rep.ExportToFilter(&filter));
    RegisterExportShapeMaker(nullptr);
    EXPECT_EQ(filter.own, 2); // one background per detail
    EXPECT_EQ(filter.other, 0);
}

// ---- preview

namespace {

// A preview window as far as the report sees one: it shows, and closes on request.
struct FakePreview : TPgxPreviewInterface {
    std::function<void(TPgxPrinter *)> modal;
    int closeAfterMs = 20;
    QObject *Show(TPgxPrinter *printer) override
    {
        printer->SetShowingPreview(true);
        QTimer::singleShot(closeAfterMs, printer, [printer] { printer->ClosePreview(); });
        return nullptr;
    }
    void ShowModal(TPgxPrinter *printer) override
    {
        printer->SetShowingPreview(true);
        if (modal)
            modal(printer);
    }
};

} // namespace

TEST(ReportPreview, PreviewWaitsUntilThePreviewCloses)
{
    Fixture f(3);
    f.Band(TPgxBandType::rbDetail, "D", [&] { return f.Master(); });
    RegisterPreviewClass([] { return std::make_unique<FakePreview>(); });
    ASSERT_TRUE(f.rep.Preview());
    // Returned only once the close message released the printer.
    EXPECT_EQ(f.rep.Printer(), nullptr);
    EXPECT_EQ(f.log, Split("D1 D2 D3"));
    RegisterPreviewClass(nullptr);
}

// A program that quits while a preview waits for its window ends: the wait returns, the window
// closes and the printer goes, instead of the program living on until someone closes it.
TEST(ReportPreview, QuittingTheProgramEndsAPreviewThatWaits)
{
    Fixture f(3);
    f.Band(TPgxBandType::rbDetail, "D", [&] { return f.Master(); });
    PgxRegisterStandardPreview();
    // As in the program, which ends when its main window closes, not its last window.
    QApplication::setQuitOnLastWindowClosed(false);
    auto shownPreview = [] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *p = qobject_cast<TPgxStandardPreview *>(w); p && p->isVisible())
                return p;
        return static_cast<TPgxStandardPreview *>(nullptr);
    };
    bool answered = false, watchdog = false;
    QTimer::singleShot(0, [&] {
        f.rep.Preview();
        answered = true;
    });
    // The user closes the program once the preview is up.
    QTimer quit;
    quit.setInterval(10);
    QObject::connect(&quit, &QTimer::timeout, [&] {
        if (shownPreview()) {
            quit.stop();
            QCoreApplication::exit(0);
        }
    });
    quit.start();
    // Should the wait not end, the window is closed for it, so the test fails instead of hanging.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        watchdog = true;
        if (TPgxStandardPreview *p = shownPreview())
            p->close();
    });
    guard.start(5000);
    QCoreApplication::exec();
    QApplication::setQuitOnLastWindowClosed(true);
    RegisterPreviewClass(nullptr);
    EXPECT_TRUE(answered);
    EXPECT_FALSE(watchdog);
    EXPECT_EQ(shownPreview(), nullptr);
    EXPECT_EQ(f.rep.Printer(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// With no preview window and no preview of its own, a preview shows nothing: it says so and
// answers false, and no pages are made for nobody.
TEST(ReportPreview, WithoutAPreviewWindowPreviewFailsAndSaysWhy)
{
    RegisterPreviewClass(nullptr);
    QStringList told;
    RegisterReportMessageHook([&](const QString &m) { told << m; });
    const std::function<bool(TCustomPagorra &)> entries[] = {
        [](TCustomPagorra &r) { return r.Preview(); },
        [](TCustomPagorra &r) { return r.PreviewModal(); },
        [](TCustomPagorra &r) { return r.PreviewModeless(); },
    };
    for (size_t i = 0; i < std::size(entries); ++i) {
        Fixture f(3);
        f.Band(TPgxBandType::rbDetail, "D", [&] { return f.Master(); });
        told.clear();
        EXPECT_FALSE(entries[i](f.rep)) << i;
        ASSERT_EQ(told.size(), 1) << i;
        EXPECT_TRUE(told[0].contains(QStringLiteral("no preview window"))) << told[0].toStdString();
        // A worker run that had begun is stopped and its printer goes.
        for (int n = 0; n < 500 && !(f.rep.Available() && !f.rep.Printer()); ++n)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_TRUE(f.rep.Available()) << i;
        EXPECT_EQ(f.rep.Printer(), nullptr) << i;
    }
    // The composite report and a print job go the same way.
    Fixture member(3);
    member.Band(TPgxBandType::rbDetail, "D", [&] { return member.Master(); });
    TPgxCompositeReport composite;
    composite.OnAddReports = [&](TPgxCompositeReport *c) { c->Reports = {&member.rep}; };
    struct Job : TPgxPrintJob {
        bool drawn = false;
        void CreateOutput(TPgxPrinter *) override { drawn = true; }
    } job;
    told.clear();
    EXPECT_FALSE(composite.Preview());
    EXPECT_FALSE(job.Preview());
    EXPECT_FALSE(job.drawn);
    EXPECT_EQ(told.size(), 2);
    RegisterReportMessageHook(nullptr);
}

TEST(ReportPreview, ClosingThePreviewWhileGeneratingCancelsTheRun)
{
    Fixture f(500);
    TPgxCustomBand *d = f.Band(TPgxBandType::rbDetail, "D", [&] { return f.Master(); });
    // Records that take a while: the run looks at its messages every few milliseconds.
    d->BeforePrint = [](TPgxCustomBand *, bool &) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
    RegisterPreviewClass([] {
        auto p = std::make_unique<FakePreview>();
        p->closeAfterMs = 0;
        return p;
    });
    // The run handles the window's messages once per record, so the close arrives while it
    // generates: the run stops, and the printer goes.
    EXPECT_FALSE(f.rep.Preview());
    RegisterPreviewClass(nullptr);
    EXPECT_TRUE(f.rep.Cancelled());
    EXPECT_EQ(f.rep.Printer(), nullptr);
    EXPECT_LT(f.log.size(), 100u);
    EXPECT_TRUE(f.rep.Available());
}

TEST(ReportPreview, ModalPreviewKeepsItsPrinterUntilItReturns)
{
    Fixture f(3);
    f.Band(TPgxBandType::rbDetail, "D", [&] { return f.Master(); });
    bool aliveAfterClose = false;
    int pagesSeen = 0;
    RegisterPreviewClass([&] {
        auto p = std::make_unique<FakePreview>();
        p->modal = [&](TPgxPrinter *printer) {
            // Wait for the worker's pages, then close while still inside the modal loop.
            while (!f.rep.Available() || printer->Status() != TPgxPrinterStatus::mpFinished)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            pagesSeen = printer->PageCount();
            printer->ClosePreview();
            for (int i = 0; i < 5; ++i)
                QCoreApplication::processEvents();
            aliveAfterClose = f.rep.Printer() == printer;
        };
        return p;
    });
    ASSERT_TRUE(f.rep.PreviewModal());
    RegisterPreviewClass(nullptr);
    EXPECT_EQ(pagesSeen, 1);
    EXPECT_TRUE(aliveAfterClose);
    EXPECT_EQ(f.rep.Printer(), nullptr);
    EXPECT_EQ(f.log, Split("D1 D2 D3"));
}

TEST(ReportPreview, PreviewReturnsWhenTheStandardPreviewCloses)
{
    for (bool modal : {false, true}) {
        Fixture f(40);
        f.Band(TPgxBandType::rbDetail, "D", [&] { return f.Master(); }); // 40 x 5 mm: one page
        PgxRegisterStandardPreview();
        int pagesShown = -1;
        // Closes the window as a user would, once the pages are there.
        std::function<void()> closeWhenDone = [&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *form = qobject_cast<TPgxStandardPreview *>(w);
                if (!form || !form->isVisible())
                    continue;
                if (!f.rep.Available() || !f.rep.Printer()
                    || f.rep.Printer()->Status() != TPgxPrinterStatus::mpFinished)
                    break;
                pagesShown = f.rep.Printer()->PageCount();
                form->close();
                return;
            }
            QTimer::singleShot(10, closeWhenDone);
        };
        QTimer::singleShot(10, closeWhenDone);
        ASSERT_TRUE(modal ? f.rep.PreviewModal() : f.rep.Preview()) << modal;
        RegisterPreviewClass(nullptr);
        EXPECT_EQ(pagesShown, 1) << modal;
        QCoreApplication::processEvents();
        EXPECT_EQ(f.rep.Printer(), nullptr) << modal;
        EXPECT_EQ(f.log.size(), 40u) << modal;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<TPgxStandardPreview *>(w))
                delete w;
    }
}
