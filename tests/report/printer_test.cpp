#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include "report/bands/basepanel.h"
#include "report/expr/expr.h"
#include "report/output/printer.h"
#include "report/pages/frame.h"
#include "report/pages/units.h"

using namespace strandel;

namespace {

// ---- poppler's view of a PDF

struct PdfInfo {
    int pages = 0;
    double width = 0, height = 0;
};

PdfInfo ReadPdfInfo(const QString &file)
{
    QProcess tool;
    tool.start(QStringLiteral("pdfinfo"), {file});
    tool.waitForFinished(30000);
    const QString out = QString::fromUtf8(tool.readAllStandardOutput());
    PdfInfo info;
    const auto pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(out);
    if (pages.hasMatch())
        info.pages = pages.captured(1).toInt();
    const auto size = QRegularExpression(QStringLiteral("Page size:\\s+([0-9.]+) x ([0-9.]+) pts")).match(out);
    if (size.hasMatch()) {
        info.width = size.captured(1).toDouble();
        info.height = size.captured(2).toDouble();
    }
    return info;
}

struct PdfWord {
    int page;
    double xMin, yMin;
    QString text;
};

std::vector<PdfWord> ReadPdfWords(const QString &file)
{
    QProcess tool;
    tool.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), file, QStringLiteral("-")});
    tool.waitForFinished(30000);
    const QString out = QString::fromUtf8(tool.readAllStandardOutput());
    std::vector<PdfWord> words;
    int page = 0;
    static const QRegularExpression wordRe(
        QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>([^<]*)</word>"));
    for (const QString &line : out.split(QLatin1Char('\n'))) {
        if (line.contains(QLatin1String("<page ")))
            ++page;
        const auto m = wordRe.match(line);
        if (m.hasMatch())
            words.push_back({page, m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3)});
    }
    return words;
}

// "Page" and the page's number, 20 mm from the left and 30 mm from the top of every page.
void GenerateDoc(TPgxPrinter &p, int pages)
{
    p.BeginDoc();
    for (int i = 1; i <= pages; ++i) {
        p.NewPage();
        PgxFont f;
        f.family = QStringLiteral("DejaVu Sans");
        f.height = p.YSize(50);
        p.Canvas()->SetFont(f);
        p.Canvas()->TextOut(p.XPos(200), p.YPos(300), QStringLiteral("Page%1").arg(i));
        p.AddHyperlink({0, 0, 10, 10}, QStringLiteral("EXT:https://example.invalid/%1").arg(i));
    }
    p.EndDoc();
}

std::vector<QString> PageTexts(const std::vector<PdfWord> &words)
{
    std::vector<QString> texts;
    for (const PdfWord &w : words)
        texts.push_back(QStringLiteral("%1:%2").arg(w.page).arg(w.text));
    return texts;
}

// A printer whose device mode lacks some fields, with chosen paper codes.
class FakeDevice : public TPgxPrintDevice
{
public:
    TPgxDeviceMode mode;
    std::vector<int32_t> codes{1, 9, 11};
    PgxDeviceMetrics metrics;
    QStringList Printers() const override { return {QStringLiteral("A printer whose name is longer than eighty characters, as network printers' names often are")}; }
    int PrinterIndex() const override { return 0; }
    void SetPrinterIndex(int) override {}
    QString DeviceName() const override { return Printers().front(); }
    bool GetDeviceMode(TPgxDeviceMode &m) const override { m = mode; return true; }
    bool DocumentProperties(TPgxDeviceMode &) const override { return true; }
    void SetDeviceMode(const TPgxDeviceMode &m) override { mode = m; }
    std::vector<int32_t> PaperCodes() const override { return codes; }
    PgxDeviceMetrics Metrics() const override { return metrics; }
    bool BeginDoc(const QString &) override { return false; }
    bool NewPage() override { return false; }
    bool EndDoc() override { return false; }
    void Abort() override {}
    bool Printing() const override { return false; }
    QPainter *Painter() override { return nullptr; }
};

// A printer that takes the document but gives nothing to draw on.
class NoPainterPdf : public TPgxPdfDevice
{
public:
    using TPgxPdfDevice::TPgxPdfDevice;
    QPainter *Painter() override { return nullptr; }
};

} // namespace

// ---- units

TEST(ReportUnits, RoundsHalvesToEven)
{
    const std::pair<double, int32_t> cases[] = {
        {0.5, 0}, {1.5, 2}, {2.5, 2}, {3.5, 4}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {2.4999, 2}, {2.5001, 3},
        {std::nan(""), 0}, {1e20, std::numeric_limits<int32_t>::max()}, {-1e20, std::numeric_limits<int32_t>::min()},
    };
    for (const auto &[v, want] : cases)
        EXPECT_EQ(PgxRound(v), want) << v;
}

TEST(ReportUnits, ConvertsTenthsOfAMillimetre)
{
    TPgxBandSize u(nullptr, 96);
    EXPECT_DOUBLE_EQ(u.LoadUnit(254, TPgxUnit::MM, true), 25.4);
    EXPECT_DOUBLE_EQ(u.LoadUnit(254, TPgxUnit::Inches, true), 1.0);
    EXPECT_DOUBLE_EQ(u.SaveUnit(1.0, TPgxUnit::Inches, true), 254.0);
    EXPECT_DOUBLE_EQ(u.LoadUnit(254, TPgxUnit::Pixels, true), 96.0);
    EXPECT_DOUBLE_EQ(u.SaveUnit(96, TPgxUnit::Pixels, true), 254.0);
    EXPECT_DOUBLE_EQ(u.LoadUnit(1234.5, TPgxUnit::Native, false), 1234.5);
    // A character of a 10-point font: 80 / 10 / 2.54 mm wide, 145.3 / 10 / 2.54 mm high.
    EXPECT_NEAR(u.LoadUnit(800 / 2.54, TPgxUnit::Characters, true), 10.0, 1e-9);
    EXPECT_NEAR(u.SaveUnit(1, TPgxUnit::Characters, false), 145.3 / 2.54, 1e-9);
    u.SetZoom(200);
    EXPECT_DOUBLE_EQ(u.LoadUnit(254, TPgxUnit::Pixels, false), 192.0);
    u.SetZoom(0);
    EXPECT_EQ(u.Zoom(), 200);
}

TEST(ReportUnits, BandSizeResizesItsBandInPixels)
{
    struct Band : TPgxUnitParent {
        int w = 0, h = 0;
        void SetPixelSize(int32_t width, int32_t height) override { w = width; h = height; }
    } band;
    TPgxBandSize size(&band, 96);
    size.SetUnits(TPgxUnit::Inches);
    size.SetValue(0, 1.0);
    size.SetValue(1, 2.0);
    EXPECT_DOUBLE_EQ(size.Height(), 254);
    EXPECT_EQ(band.w, 192);
    EXPECT_EQ(band.h, 96);
    size.SetZoom(200);
    EXPECT_EQ(band.h, 192);
    size.SetUnits(TPgxUnit::MM);
    EXPECT_DOUBLE_EQ(size.GetValue(0), 25.4);
}

TEST(ReportPaper, TableKeepsItsOwnMillimetres)
{
    const struct { TPgxPaperSize s; double w, l; } cases[] = {
        {TPgxPaperSize::Letter, 215.9, 279.4}, {TPgxPaperSize::A3, 297, 420}, {TPgxPaperSize::A4, 210, 297},
        {TPgxPaperSize::A5, 148, 210}, {TPgxPaperSize::B4, 250, 354}, {TPgxPaperSize::B5, 182, 257},
        {TPgxPaperSize::Note, 215.9, 279.0}, {TPgxPaperSize::Env9, 98.43, 225.4}, {TPgxPaperSize::ESheet, 100, 100},
    };
    for (const auto &c : cases) {
        double w, l;
        ASSERT_TRUE(PgxPaperDims(c.s, w, l));
        EXPECT_DOUBLE_EQ(w, c.w);
        EXPECT_DOUBLE_EQ(l, c.l);
    }
    double w, l;
    EXPECT_FALSE(PgxPaperDims(TPgxPaperSize::Default, w, l));
    EXPECT_FALSE(PgxPaperDims(TPgxPaperSize::Custom, w, l));
    EXPECT_EQ(PgxPaperName(TPgxPaperSize::Letter), QStringLiteral("Letter 8 1/2 x 11 in"));
    EXPECT_EQ(PgxPaperName(TPgxPaperSize::Custom), QStringLiteral("Custom Size"));
}

TEST(ReportPage, PaperSidesFollowSizeAndOrientation)
{
    TPgxPage page(nullptr, 96);
    page.SetUnits(TPgxUnit::MM);
    page.SetPaperSize(TPgxPaperSize::A4);
    page.SetValue(TPgxPage::Width, 100); // not Custom: ignored
    EXPECT_DOUBLE_EQ(page.GetValue(TPgxPage::Width), 210);
    page.SetOrientation(TPgxOrientation::Landscape);
    EXPECT_DOUBLE_EQ(page.GetValue(TPgxPage::Width), 297);
    EXPECT_DOUBLE_EQ(page.GetValue(TPgxPage::Length), 210);
    page.SetPaperSize(TPgxPaperSize::Custom);
    page.SetValue(TPgxPage::Width, 100);
    page.SetValue(TPgxPage::Length, 150);
    page.SetOrientation(TPgxOrientation::Portrait);
    EXPECT_DOUBLE_EQ(page.Stored(TPgxPage::Width), 1000);
    EXPECT_DOUBLE_EQ(page.Stored(TPgxPage::Length), 1500);
    page.SetUnits(TPgxUnit::Inches);
    page.SetValue(TPgxPage::TopMargin, 1);
    page.SetUnits(TPgxUnit::MM);
    EXPECT_DOUBLE_EQ(page.GetValue(TPgxPage::TopMargin), 25.4);
    EXPECT_DOUBLE_EQ(page.GetValue(9), page.GetValue(TPgxPage::ColumnSpace));
    page.SetColumns(3);
    page.SetColumns(0);
    page.SetColumns(-2);
    EXPECT_EQ(page.Columns(), 3);
    const std::vector<double> values = page.ReadValues();
    ASSERT_EQ(values.size(), 7u);
    EXPECT_DOUBLE_EQ(values[1], 1500);
    EXPECT_DOUBLE_EQ(values[2], 254);
}

// ---- frames

TEST(ReportFrame, DrawsStripsOfItsWidthInPoints)
{
    QImage img(200, 100, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter painter(&img);
        TPgxPainterCanvas canvas(painter);
        TPgxFrame frame;
        frame.SetValue(0, true); // top
        frame.SetValue(2, true); // left
        frame.PaintIt(canvas, {10, 10, 190, 90}, 300 / 254.0, 300 / 254.0); // 1 pt at 300 dpi: 4 px
    }
    EXPECT_EQ(img.pixel(100, 13), qRgb(0, 0, 0));
    EXPECT_EQ(img.pixel(100, 14), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(13, 50), qRgb(0, 0, 0));
    EXPECT_EQ(img.pixel(14, 50), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(186, 50), qRgb(255, 255, 255)); // no right side
    EXPECT_EQ(img.pixel(100, 88), qRgb(255, 255, 255)); // no bottom side

    TPgxFrame f;
    f.SetWidth(0);
    EXPECT_EQ(f.ThicknessX(300 / 254.0), 0);
    f.SetWidth(-1);
    EXPECT_EQ(f.ThicknessX(1200 / 254.0), 1);
    f.SetWidth(1);
    EXPECT_EQ(f.ThicknessY(20 / 254.0), 1); // a low-resolution device still shows the line
}

TEST(ReportFrame, ExportsAsOneRectangleOrAsLines)
{
    struct Sink : TPgxFrameShapeSink {
        std::vector<PgxFrameShape> shapes;
        void AcceptShape(const PgxFrameShape &s) override { shapes.push_back(s); }
    };
    QImage img(50, 50, QImage::Format_RGB32);
    QPainter painter(&img);
    TPgxPainterCanvas canvas(painter);
    TPgxFrame frame;
    for (int i = 0; i < 4; ++i)
        frame.SetValue(i, true);
    Sink all;
    frame.PaintIt(canvas, {0, 0, 40, 30}, 72 / 254.0, 72 / 254.0, &all);
    ASSERT_EQ(all.shapes.size(), 1u);
    EXPECT_EQ(all.shapes[0].kind, PgxFrameShapeKind::Rectangle);
    EXPECT_EQ(all.shapes[0].pen.width, 1);
    frame.SetValue(0, false);
    frame.SetValue(2, false);
    Sink two;
    const QRgb fill = 0xffffff00;
    frame.PaintIt(canvas, {0, 0, 40, 30}, 72 / 254.0, 72 / 254.0, &two, &fill);
    ASSERT_EQ(two.shapes.size(), 3u);
    EXPECT_EQ(two.shapes[0].brush.color, fill);
    EXPECT_EQ(two.shapes[1].kind, PgxFrameShapeKind::HorLine);
    EXPECT_EQ(two.shapes[1].top, 29);
    EXPECT_EQ(two.shapes[2].kind, PgxFrameShapeKind::VertLine);
    EXPECT_EQ(two.shapes[2].left, 39);
}

// ---- printer settings

TEST(ReportPrinterSettings, ReadsAndWritesTheDeviceMode)
{
    FakeDevice dev;
    dev.mode.fields = DmOrientation | DmPaperSize | DmDefaultSource | DmDuplex; // no copies
    dev.mode.paperSize = 70; // no entry in our table
    dev.mode.defaultSource = 14;
    dev.mode.duplex = PgxDuplexSimplex;
    dev.metrics = {600, 600, 60, 120, 4961, 7016, 4841, 6776};
    TPrinterSettings s;
    s.SetPrinter(&dev);
    EXPECT_EQ(s.Copies(), 1);
    s.SetCopies(3);
    EXPECT_EQ(s.Copies(), 1);
    EXPECT_EQ(s.PaperSize(), TPgxPaperSize::Default);
    EXPECT_EQ(s.OutputBin(), TPgxBin::Cassette);
    EXPECT_EQ(s.LeftOffset(), 25);
    EXPECT_EQ(s.TopOffset(), 51);
    EXPECT_EQ(s.PaperWidth(), 2100);
    EXPECT_TRUE(s.GetPaperSizeSupported(TPgxPaperSize::Custom));
    EXPECT_TRUE(s.GetPaperSizeSupported(TPgxPaperSize::A5));
    EXPECT_FALSE(s.GetPaperSizeSupported(TPgxPaperSize::A3));
    s.SetPaperSize(TPgxPaperSize::A3);
    EXPECT_EQ(s.PaperSize(), TPgxPaperSize::Default);

    s.SetDuplex(true);
    s.SetPaperSize(TPgxPaperSize::Custom);
    s.SetPaperWidth(1000);
    s.SetPaperLength(1500);
    s.UseCustomBinCode = true;
    s.CustomBinCode = 260;
    ASSERT_TRUE(s.ApplySettings());
    EXPECT_EQ(dev.mode.duplex, PgxDuplexLongEdge);
    EXPECT_EQ(dev.mode.defaultSource, 260);
    EXPECT_EQ(dev.mode.paperSize, PgxPaperCodeCustom);
    EXPECT_EQ(dev.mode.paperWidth, 1000);
    EXPECT_EQ(dev.mode.paperLength, 1500);
    s.ExtendedDuplex = 2;
    s.SetDuplex(false);
    s.ExtendedDuplex = 3;
    ASSERT_TRUE(s.ApplySettings());
    EXPECT_EQ(dev.mode.duplex, 3);

    bool asked = false;
    s.OnApplyPrinterSettings = [&](TPrinterSettings &, bool &cancel, TPgxDeviceMode &) { asked = cancel = true; };
    s.SetOrientation(TPgxOrientation::Landscape);
    EXPECT_FALSE(s.ApplySettings());
    EXPECT_TRUE(asked);
    EXPECT_EQ(dev.mode.orientation, 1);
}

TEST(ReportPrinterSettings, WithoutAPrinterEveryPaperFits)
{
    TPrinterSettings s;
    for (int i = 1; i < PgxPaperSizeCount; ++i) {
        s.SetPaperSize(static_cast<TPgxPaperSize>(i));
        EXPECT_EQ(s.PaperSize(), static_cast<TPgxPaperSize>(i));
    }
    TPgxPdfDevice pdf(QStringLiteral("/nonexistent/x.pdf"));
    s.SetPrinter(&pdf);
    for (int i = 1; i < PgxPaperSizeCount; ++i)
        EXPECT_TRUE(s.GetPaperSizeSupported(static_cast<TPgxPaperSize>(i))) << i;
}

// ---- the printer

class ReportPrinter : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString Path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    std::unique_ptr<TPgxPrinter> MakePrinter(const QString &pdf = {})
    {
        auto p = std::make_unique<TPgxPrinter>();
        p->SetScreenPpi(96);
        if (!pdf.isEmpty())
            p->SetPrintDevice(std::make_unique<TPgxPdfDevice>(pdf, 300));
        p->Settings().SetPaperSize(TPgxPaperSize::A4);
        p->Settings().SetOrientation(TPgxOrientation::Portrait);
        return p;
    }
};

TEST_F(ReportPrinter, CoordinatesAtThePrintersResolution)
{
    auto p = MakePrinter(Path("c.pdf"));
    p->SetDestination(TPgxPrinterDestination::pgxdPrinter);
    p->BeginDoc();
    EXPECT_EQ(p->XSize(254), 300);
    EXPECT_EQ(p->YSize(254), 300);
    EXPECT_EQ(p->XPos(p->LeftWaste()), 0);
    EXPECT_EQ(p->PaperWidthValue(), 2100);
    EXPECT_EQ(p->PaperLengthValue(), 2970);
    p->AbortDoc();
}

TEST_F(ReportPrinter, CallsInTheWrongStateChangeNothing)
{
    auto p = MakePrinter();
    EXPECT_THROW(p->NewPage(), report::EPgxError);
    try {
        p->NewPage();
    } catch (const report::EPgxError &e) {
        EXPECT_STREQ(e.what(), "Illegal call to NewPage");
    }
    EXPECT_FALSE(p->Save(Path("early.pgx")));
    EXPECT_EQ(p->GetPage(1), nullptr);
    GenerateDoc(*p, 2);
    EXPECT_THROW(p->BeginDoc(), report::EPgxError);
    EXPECT_EQ(p->Status(), TPgxPrinterStatus::mpFinished);
    EXPECT_EQ(p->PageCount(), 2);
    ASSERT_NE(p->GetPage(2), nullptr);
    p->SetPageNumber(0);
    p->SetPageNumber(3);
    EXPECT_EQ(p->PageNumber(), 2);
    p->Cleanup();
    EXPECT_EQ(p->Status(), TPgxPrinterStatus::mpReady);
    EXPECT_EQ(p->GetPage(1), nullptr);
}

TEST_F(ReportPrinter, StoresPagesWithTheirLinksAndCounts)
{
    auto p = MakePrinter();
    std::vector<int> seen;
    QObject::connect(p.get(), &TPgxPrinter::AvailablePagesChanged, p.get(), [&](int n) { seen.push_back(n); },
                     Qt::QueuedConnection);
    GenerateDoc(*p, 3);
    EXPECT_TRUE(seen.empty()); // queued: nothing reaches the window inside the run
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3})); // the last page counts at the end
    std::unique_ptr<TPgxMetafile> page;
    std::unique_ptr<std::vector<THyperlink>> links;
    ASSERT_TRUE(p->GetPageEx(2, page, links));
    EXPECT_EQ(page->Width(), 794); // 210 mm at 96 dpi
    EXPECT_EQ(page->Height(), 1123);
    EXPECT_TRUE(page->ContainsText(QStringLiteral("Page2"), true));
    ASSERT_TRUE(links);
    EXPECT_EQ(links->at(0).Link, QStringLiteral("EXT:https://example.invalid/2"));
}

TEST_F(ReportPrinter, ProgressCrossesThreadsQueued)
{
    auto p = MakePrinter();
    std::vector<int> seen;
    QObject::connect(p.get(), &TPgxPrinter::ProgressChanged, p.get(), [&](int n) { seen.push_back(n); },
                     Qt::QueuedConnection);
    std::thread worker([&] { for (int i = 10; i <= 30; i += 10) p->SetProgress(i); });
    worker.join();
    EXPECT_TRUE(seen.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(p->Progress(), 30);
}

TEST_F(ReportPrinter, PrintsStoredPagesToPdfOneToOne)
{
    auto p = MakePrinter(Path("out.pdf"));
    GenerateDoc(*p, 3);
    ASSERT_TRUE(p->Print());
    const PdfInfo info = ReadPdfInfo(Path("out.pdf"));
    EXPECT_EQ(info.pages, 3);
    EXPECT_NEAR(info.width, 595, 0.5);
    EXPECT_NEAR(info.height, 842, 0.5);
    const std::vector<PdfWord> words = ReadPdfWords(Path("out.pdf"));
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(PageTexts(words), (std::vector<QString>{"1:Page1", "2:Page2", "3:Page3"}));
    // 20 mm and 30 mm from the paper's corner are 56.7 and 85.0 points.
    EXPECT_NEAR(words[1].xMin, 56.7, 2.5);
    EXPECT_NEAR(words[1].yMin, 85.0, 4);

    p->FirstPage = 2;
    p->LastPage = 2;
    ASSERT_TRUE(p->Print());
    EXPECT_EQ(PageTexts(ReadPdfWords(Path("out.pdf"))), (std::vector<QString>{"1:Page2"}));
}

TEST_F(ReportPrinter, DeviceThatCannotPaintFailsThePrintWithItsReason)
{
    // Stored pages: nothing is drawn, so nothing was printed.
    auto p = MakePrinter();
    GenerateDoc(*p, 2);
    p->SetPrintDevice(std::make_unique<NoPainterPdf>(Path("stored.pdf"), 300));
    QString error;
    EXPECT_FALSE(p->Print(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("nothing to draw"))) << error.toStdString();
    EXPECT_EQ(p->LastError(), error);
    EXPECT_FALSE(QFile::exists(Path("stored.pdf")));

    // Generated straight onto it: the run stops with the reason.
    auto g = MakePrinter();
    g->SetPrintDevice(std::make_unique<NoPainterPdf>(Path("direct.pdf"), 300));
    g->SetDestination(TPgxPrinterDestination::pgxdPrinter);
    GenerateDoc(*g, 2);
    EXPECT_TRUE(g->Cancelled());
    EXPECT_TRUE(g->LastError().contains(QStringLiteral("nothing to draw"))) << g->LastError().toStdString();
}

TEST_F(ReportPrinter, GeneratingToThePrinterSendsOnlyTheRange)
{
    auto p = MakePrinter(Path("range.pdf"));
    p->SetDestination(TPgxPrinterDestination::pgxdPrinter);
    p->FirstPage = 2;
    p->LastPage = 3;
    int afterPrint = 0;
    p->AfterPrint = [&](TPgxPrinter *) { ++afterPrint; };
    GenerateDoc(*p, 4);
    EXPECT_EQ(afterPrint, 1);
    EXPECT_EQ(ReadPdfInfo(Path("range.pdf")).pages, 2);
    const std::vector<PdfWord> words = ReadPdfWords(Path("range.pdf"));
    EXPECT_EQ(PageTexts(words), (std::vector<QString>{"1:Page2", "2:Page3"}));
    ASSERT_FALSE(words.empty());
    EXPECT_NEAR(words[0].xMin, 56.7, 2.5);
}

TEST_F(ReportPrinter, CancelledPrintThenPrintAgain)
{
    auto p = MakePrinter(Path("again.pdf"));
    GenerateDoc(*p, 3);
    p->Cancel(); // a cancel left over from the run does not stop the print
    QTimer::singleShot(0, p.get(), [&] { p->Cancel(); }); // the Cancel button, during page 1
    EXPECT_FALSE(p->Print());
    EXPECT_FALSE(QFile::exists(Path("again.pdf")));
    ASSERT_TRUE(p->Print());
    EXPECT_EQ(ReadPdfInfo(Path("again.pdf")).pages, 3);
}

TEST_F(ReportPrinter, PaperSizesReachThePdf)
{
    const struct { TPgxPaperSize size; TPgxOrientation o; double w, h; } cases[] = {
        {TPgxPaperSize::B4, TPgxOrientation::Portrait, 708.66, 1003.46},
        {TPgxPaperSize::A3, TPgxOrientation::Landscape, 1190.55, 841.89},
        {TPgxPaperSize::Custom, TPgxOrientation::Portrait, 283.46, 425.20},
        // A custom paper is laid out as given, in landscape too.
        {TPgxPaperSize::Custom, TPgxOrientation::Landscape, 283.46, 425.20},
    };
    for (const auto &c : cases) {
        auto p = MakePrinter(Path("paper.pdf"));
        p->Settings().SetPaperSize(c.size);
        p->Settings().SetPaperWidth(1000);
        p->Settings().SetPaperLength(1500);
        p->Settings().SetOrientation(c.o);
        p->SetDestination(TPgxPrinterDestination::pgxdPrinter);
        GenerateDoc(*p, 1);
        const PdfInfo info = ReadPdfInfo(Path("paper.pdf"));
        EXPECT_NEAR(info.width, c.w, 1.5) << int(c.size);
        EXPECT_NEAR(info.height, c.h, 1.5) << int(c.size);
    }
}

TEST_F(ReportPrinter, LoadFindsThePaperOfTheFirstPage)
{
    const struct { TPgxPaperSize size; TPgxOrientation o; } cases[] = {
        {TPgxPaperSize::A4, TPgxOrientation::Portrait}, {TPgxPaperSize::A3, TPgxOrientation::Portrait},
        {TPgxPaperSize::A5, TPgxOrientation::Portrait}, {TPgxPaperSize::Letter, TPgxOrientation::Portrait},
        {TPgxPaperSize::A4, TPgxOrientation::Landscape}, {TPgxPaperSize::B5, TPgxOrientation::Portrait},
    };
    for (const auto &c : cases) {
        auto gen = MakePrinter();
        gen->Settings().SetPaperSize(c.size);
        gen->Settings().SetOrientation(c.o);
        GenerateDoc(*gen, 2);
        ASSERT_TRUE(gen->Save(Path("r.pgx")));
        auto p = MakePrinter();
        p->Settings().SetPaperSize(TPgxPaperSize::Legal);
        QString error;
        ASSERT_TRUE(p->Load(Path("r.pgx"), &error)) << error.toStdString();
        EXPECT_EQ(p->Settings().PaperSize(), c.size) << int(c.size);
        EXPECT_EQ(p->Settings().Orientation(), c.o) << int(c.size);
        EXPECT_EQ(p->PageCount(), 2);
        EXPECT_TRUE(p->StoredPages());
        EXPECT_EQ(p->Status(), TPgxPrinterStatus::mpFinished);
    }

    // A paper of no table size comes back as its own custom size, which printing then uses.
    auto gen = MakePrinter();
    gen->Settings().SetPaperSize(TPgxPaperSize::Custom);
    gen->Settings().SetPaperWidth(1000);
    gen->Settings().SetPaperLength(1500);
    GenerateDoc(*gen, 1);
    ASSERT_TRUE(gen->Save(Path("custom.pgx")));
    auto p = MakePrinter(Path("custom.pdf"));
    ASSERT_TRUE(p->Load(Path("custom.pgx")));
    EXPECT_EQ(p->Settings().PaperSize(), TPgxPaperSize::Custom);
    EXPECT_NEAR(p->PaperWidthValue(), 1000, 1);
    EXPECT_NEAR(p->PaperLengthValue(), 1500, 1);
    ASSERT_TRUE(p->Print());
    const PdfInfo info = ReadPdfInfo(Path("custom.pdf"));
    EXPECT_NEAR(info.width, 283.46, 1.5);
    EXPECT_NEAR(info.height, 425.20, 1.5);
}

TEST_F(ReportPrinter, LoadKeepsWhatItHasOnFailureOrWhileBusy)
{
    auto p = MakePrinter();
    GenerateDoc(*p, 2);
    ASSERT_TRUE(p->Save(Path("good.pgx")));
    QFile bad(Path("bad.pgx"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a report");
    bad.close();
    QString error;
    EXPECT_FALSE(p->Load(Path("bad.pgx"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(p->PageCount(), 2);
    EXPECT_NE(p->GetPage(2), nullptr);

    auto busy = MakePrinter();
    busy->BeginDoc();
    busy->NewPage();
    EXPECT_FALSE(busy->Load(Path("good.pgx"), &error));
    busy->NewPage();
    busy->EndDoc();
    EXPECT_EQ(busy->PageCount(), 2);
    ASSERT_NE(busy->GetPage(2), nullptr);
}

TEST_F(ReportPrinter, AbortedDocumentKeepsItsPages)
{
    auto p = MakePrinter();
    p->BeginDoc();
    p->NewPage();
    p->NewPage();
    p->AbortDoc();
    EXPECT_EQ(p->Status(), TPgxPrinterStatus::mpFinished);
    ASSERT_TRUE(p->Save(Path("aborted.pgx")));
    auto q = MakePrinter();
    ASSERT_TRUE(q->Load(Path("aborted.pgx")));
    EXPECT_EQ(q->PageCount(), 2);
}

TEST_F(ReportPrinter, WithoutAPrinterNothingIsPrinted)
{
    auto p = MakePrinter();
    ASSERT_FALSE(p->PrintersAvailable());
    GenerateDoc(*p, 1);
    EXPECT_FALSE(p->Print());
    p->Cleanup();
    p->BeginDoc();
    p->SetDestination(TPgxPrinterDestination::pgxdPrinter); // busy: ignored
    EXPECT_EQ(p->Destination(), TPgxPrinterDestination::pgxdMetafile);
}

TEST_F(ReportPrinter, PrintAsksTheReportToRunAgainUnlessPagesWereLoaded)
{
    auto p = MakePrinter(Path("rerun.pdf"));
    int asked = 0;
    QObject::connect(p.get(), &TPgxPrinter::PrintRequested, p.get(), [&] { ++asked; }, Qt::QueuedConnection);
    GenerateDoc(*p, 1);
    ASSERT_TRUE(p->Save(Path("rerun.pgx")));
    EXPECT_TRUE(p->Print());
    QCoreApplication::processEvents();
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(QFile::exists(Path("rerun.pdf")));
    ASSERT_TRUE(p->Load(Path("rerun.pgx")));
    EXPECT_TRUE(p->Print());
    QCoreApplication::processEvents();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(ReadPdfInfo(Path("rerun.pdf")).pages, 1);
}

TEST(ReportBasePanel, ZoomAndPreparingReachEveryChild)
{
    struct Child : TPgxPanelChild {
        int zoom = 100, prepared = 0;
        void SetZoom(int z) override { zoom = z; }
        void Prepare() override { ++prepared; }
        void UnPrepare() override { --prepared; }
    };
    TPgxBasePanel report, band;
    Child a, b;
    report.AddChild(&band);
    report.AddChild(&a);
    band.AddChild(&b);
    report.SetZoom(150);
    EXPECT_EQ(band.Zoom(), 150);
    EXPECT_EQ(b.zoom, 150);
    report.SetZoom(0);
    EXPECT_EQ(report.Zoom(), 150);
    EXPECT_EQ(a.zoom, 150);
    report.PrepareComponents();
    EXPECT_EQ(a.prepared + b.prepared, 2);
    report.UnprepareComponents();
    EXPECT_EQ(a.prepared + b.prepared, 0);
}

TEST_F(ReportPrinter, ReportSettingsReachThePrinter)
{
    auto p = MakePrinter(Path("s.pdf"));
    TPgxPrinterSettings s;
    s.PaperSize = TPgxPaperSize::A5;
    s.Orientation = TPgxOrientation::Landscape;
    s.Copies = 2;
    s.Title = QStringLiteral("Camera 1");
    s.ApplySettings(*p);
    EXPECT_EQ(p->Settings().PaperSize(), TPgxPaperSize::A5);
    EXPECT_EQ(p->Settings().Copies(), 2);
    EXPECT_EQ(p->Title, QStringLiteral("Camera 1"));
    EXPECT_EQ(p->PaperWidthValue(), 2100);
    EXPECT_EQ(p->PaperLengthValue(), 1480);
}

TEST_F(ReportPrinter, AWorkerGeneratesWhileTheWindowReadsAndLoads)
{
    auto src = MakePrinter();
    GenerateDoc(*src, 1);
    ASSERT_TRUE(src->Save(Path("other.pgx")));
    auto p = MakePrinter();
    p->SetCompression(true);
    p->BeginDoc(); // the run's thread begins before the window looks
    std::atomic<bool> windowDone{false};
    std::thread worker([&] {
        for (int i = 1; i <= 30; ++i) {
            p->NewPage();
            p->Canvas()->TextOut(10, 10, QStringLiteral("Worker%1").arg(i));
        }
        while (!windowDone)
            std::this_thread::yield();
        p->EndDoc();
    });
    int loadsRefused = 0;
    for (int i = 0; i < 200; ++i) {
        if (!p->Load(Path("other.pgx")))
            ++loadsRefused;
        const int32_t ready = p->AvailablePages();
        if (ready > 0) {
            std::unique_ptr<TPgxMetafile> page = p->GetPage(ready);
            ASSERT_NE(page, nullptr);
            EXPECT_TRUE(page->ContainsText(QStringLiteral("Worker%1").arg(ready), true));
        }
    }
    windowDone = true;
    worker.join();
    EXPECT_EQ(loadsRefused, 200);
    EXPECT_EQ(p->PageCount(), 30);
    std::unique_ptr<TPgxMetafile> last = p->GetPage(30);
    ASSERT_NE(last, nullptr);
    EXPECT_TRUE(last->ContainsText(QStringLiteral("Worker30"), true));
}

// A printer with margins that draws into a picture of its printable area.
class ImageDevice : public FakeDevice
{
public:
    QImage image;
    std::unique_ptr<QPainter> painter;
    ImageDevice()
    {
        mode.fields = DmOrientation | DmPaperSize | DmCopies;
        mode.paperSize = 9;
        metrics = {96, 96, 20, 30, 794, 1123, 754, 1063};
    }
    bool BeginDoc(const QString &) override
    {
        image = QImage(metrics.pageWidth, metrics.pageHeight, QImage::Format_RGB32);
        image.fill(Qt::white);
        painter = std::make_unique<QPainter>(&image);
        return true;
    }
    bool EndDoc() override { painter.reset(); return true; }
    bool Printing() const override { return painter != nullptr; }
    QPainter *Painter() override { return painter.get(); }
};

TEST_F(ReportPrinter, StoredPagesKeepTheirScaleOnAPrinterWithMargins)
{
    auto p = MakePrinter();
    auto dev = std::make_unique<ImageDevice>();
    ImageDevice *image = dev.get();
    p->SetPrintDevice(std::move(dev));
    p->BeginDoc();
    p->NewPage();
    p->Canvas()->SetBrush({0xff000000, PgxBrushStyle::Solid});
    p->Canvas()->FillRect({100, 100, 110, 110});
    p->Canvas()->FillRect({700, 1000, 710, 1010});
    p->EndDoc();
    ASSERT_TRUE(p->Print());
    // The paper's pixel (100, 100) lies 20 and 30 pixels inside the printable area's corner.
    EXPECT_EQ(image->image.pixel(85, 75), qRgb(0, 0, 0));
    EXPECT_EQ(image->image.pixel(685, 975), qRgb(0, 0, 0));
    EXPECT_EQ(image->image.pixel(105, 105), qRgb(255, 255, 255));
}

TEST(ReportPrinterGlobals, PositionsAndFonts)
{
    EXPECT_EQ(AnsiPos(QStringLiteral("cd"), QStringLiteral("abcd")), 3);
    EXPECT_EQ(AnsiPos(QStringLiteral("x"), QStringLiteral("abcd")), 0);
    EXPECT_EQ(AnsiPos(QString(), QStringLiteral("abcd")), 0);
    EXPECT_TRUE(GetFonts().contains(QStringLiteral("DejaVu Sans")));
}

TEST_F(ReportPrinter, PreviewGoesToTheHandlerOrTheRegisteredWindow)
{
    struct Window : TPgxPreviewInterface {
        int *shown;
        explicit Window(int *s) : shown(s) {}
        QObject *Show(TPgxPrinter *) override { ++*shown; return nullptr; }
        void ShowModal(TPgxPrinter *) override { *shown += 10; }
    };
    int shown = 0, handled = 0, closed = 0;
    RegisterPreviewClass([&] { return std::make_unique<Window>(&shown); });
    auto p = MakePrinter();
    p->Preview();
    p->PreviewModal();
    EXPECT_EQ(shown, 11);
    p->OnPreview = [&] { ++handled; };
    p->Preview();
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(shown, 11);
    RegisterPreviewClass(nullptr);

    p->AfterPreview = [&](TPgxPrinter *) { ++closed; };
    p->SetShowingPreview(true);
    p->BeginDoc();
    p->SetShowingPreview(false); // closing the preview stops the run
    EXPECT_TRUE(p->Cancelled());
    EXPECT_EQ(closed, 1);
    p->SetShowingPreview(false);
    EXPECT_EQ(closed, 1);
    p->AbortDoc();
}
