#include <gtest/gtest.h>

#include <QPainter>

#include "report/bands/pagorra.h"
#include "report/bands/pagorrabands.h"
#include "report/forms/designpaint.h"
#include "report/forms/designsurface.h"
#include "report/printables/printables_shape.h"
#include "tests/report/designforms_testutil.h"

using namespace strandel;

namespace {

constexpr QRgb White = 0xffffffff;
constexpr QRgb Minor = 0xfff9f9f9, Major = 0xfff0f0f0; // the high-colour scheme
constexpr QRgb Guide = 0xff8080ff, BandPen = 0xff606060, Silver = 0xffc0c0c0;

QImage Ruler(TPgxUnit unit, int zoom, bool reportPanel, QSize size = {200, 100})
{
    SetPgxHiColor();
    QImage img(size, QImage::Format_ARGB32);
    img.fill(White);
    QPainter p(&img);
    PgxPaintRuler(p, unit, size.width(), size.height(), zoom, 96, reportPanel, 10);
    return img;
}

// The darkest grey level in a rectangle.
int Darkest(const QImage &img, const QRect &r)
{
    int darkest = 255;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            darkest = std::min(darkest, qGray(img.pixel(x, y)));
    return darkest;
}

bool ColumnHas(const QImage &img, int x, int y0, int y1, QRgb c)
{
    for (int y = y0; y <= y1; ++y)
        if (img.pixel(x, y) == c)
            return true;
    return false;
}

// A report at 96 pixels an inch without a ruler, with a title band an inch high.
struct TitleReport {
    TCustomPagorra report;
    TPagorraBands bands{&report};
    TPgxCustomBand *title = nullptr;
    TitleReport()
    {
        SetPgxHiColor();
        report.Page.SetScreenPpi(96);
        report.Page.SetRuler(false);
        bands.SetHasTitle(true);
        title = report.BandOfType(TPgxBandType::rbTitle);
        title->SetHeight(254);
    }
};

} // namespace

TEST(DesignRuler, GridLinesByUnitAndZoom)
{
    struct Case { TPgxUnit unit; int zoom; int x; QRgb expected; };
    const Case cases[] = {
        // Half centimetres are 18.9 pixels apart at 96 ppi.
        {TPgxUnit::MM, 100, 19, Minor}, {TPgxUnit::MM, 100, 38, Major}, {TPgxUnit::MM, 100, 25, White},
        {TPgxUnit::MM, 100, 57, Minor},
        // At 59 % and below only whole centimetres.
        {TPgxUnit::MM, 50, 9, White}, {TPgxUnit::MM, 50, 19, Major},
        // Quarter inches are 24 pixels apart; minor lines from 50 %.
        {TPgxUnit::Inches, 100, 24, Minor}, {TPgxUnit::Inches, 100, 96, Major}, {TPgxUnit::Inches, 50, 12, Minor},
        {TPgxUnit::Inches, 40, 10, White}, {TPgxUnit::Inches, 40, 38, Major},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.unit) << " zoom " << c.zoom << " x " << c.x);
        const QImage img = Ruler(c.unit, c.zoom, false);
        EXPECT_EQ(img.pixel(c.x, 70), c.expected);
    }
    // Horizontal lines as well.
    EXPECT_EQ(Ruler(TPgxUnit::MM, 100, false).pixel(5, 38), Major);
}

TEST(DesignRuler, PixelsAndNativeHaveNone)
{
    for (TPgxUnit u : {TPgxUnit::Pixels, TPgxUnit::Native}) {
        const QImage img = Ruler(u, 100, true);
        EXPECT_EQ(Darkest(img, img.rect()), 255);
    }
}

TEST(DesignRuler, ReportPanelLabelsWholeCentimetres)
{
    // Labels only on the report panel and above 59 %: a band's ruler and a small zoom have none.
    EXPECT_LT(Darkest(Ruler(TPgxUnit::MM, 100, true), QRect(40, 2, 10, 10)), 0xc0);
    EXPECT_GE(Darkest(Ruler(TPgxUnit::MM, 100, false), QRect(40, 2, 10, 10)), 0xf0);
    EXPECT_GE(Darkest(Ruler(TPgxUnit::MM, 59, true), QRect(24, 2, 10, 10)), 0xf0);
    // Inches are labelled at any zoom.
    EXPECT_LT(Darkest(Ruler(TPgxUnit::Inches, 40, true), QRect(40, 2, 10, 10)), 0xc0);
}

TEST(DesignRuler, CharactersAreDottedAndLabelled)
{
    const QImage img = Ruler(TPgxUnit::Characters, 100, false, {400, 100});
    // A 10-point character is 80 / 10 / 2.54 mm wide: ten of them are 119 pixels at 96 ppi.
    EXPECT_TRUE(ColumnHas(img, 119, 0, 99, Major));
    EXPECT_FALSE(ColumnHas(img, 110, 30, 99, Major));
    EXPECT_LT(Darkest(img, QRect(121, 2, 14, 10)), 0xc0); // "10"
}

TEST(DesignSurface, MarginsFrameAndColumns)
{
    SetPgxHiColor();
    TCustomPagorra report;
    report.Page.SetScreenPpi(96);
    report.Page.SetRuler(false);
    report.Page.SetValue(TPgxPage::ColumnSpace, 10);
    report.Page.SetColumns(2);
    report.Frame().SetValue(0, true); // top
    report.Frame().SetColor(qRgb(255, 0, 0));
    const QSize size = PgxReportPixelSize(report);
    EXPECT_EQ(size, QSize(794, 1123)); // A4 at 96 ppi
    QImage img(size, QImage::Format_ARGB32);
    img.fill(0);
    QPainter p(&img);
    PgxPaintReport(p, report);
    p.end();
    EXPECT_EQ(img.pixel(400, 200), White);
    EXPECT_TRUE(ColumnHas(img, 38, 100, 200, Guide));          // left margin, 10 mm
    EXPECT_TRUE(ColumnHas(img, 794 - 38 - 1, 100, 200, Guide)); // right margin
    EXPECT_EQ(img.pixel(400, 38), qRgb(255, 0, 0));             // the frame's top line
    EXPECT_NE(img.pixel(400, 1123 - 38 - 1), qRgb(255, 0, 0));  // no bottom line
    // Two columns: the guides end column 1 and start column 2, from the top edge to the margin.
    EXPECT_TRUE(ColumnHas(img, 378, 0, 37, Guide));
    EXPECT_TRUE(ColumnHas(img, 416, 0, 37, Guide));
    EXPECT_FALSE(ColumnHas(img, 400, 0, 37, Guide));
    EXPECT_FALSE(ColumnHas(img, 378, 60, 1000, Guide));
}

TEST(DesignSurface, BandsLaidOutAndPainted)
{
    TitleReport t;
    TCustomPagorra &report = t.report;
    t.bands.SetHasDetail(true);
    report.BandOfType(TPgxBandType::rbDetail)->Enabled = false;
    const auto layout = PgxLayOutBands(report);
    ASSERT_EQ(layout.size(), 2u);
    EXPECT_EQ(layout[0].second, QRect(38, 38, 718, 96));
    EXPECT_EQ(layout[1].second.top(), 38 + 96);

    TPgxDesignSurface surface(&report);
    EXPECT_EQ(surface.size(), QSize(794, 1123));
    const QImage img = GrabForm(surface, "designsurface").convertToFormat(QImage::Format_ARGB32);
    const QRect title = layout[0].second, detail = layout[1].second;
    EXPECT_EQ(img.pixel(title.center()), White);
    EXPECT_EQ(img.pixel(detail.center()), Silver); // a disabled band
    bool outline = false;
    for (int x = title.left(); x <= title.right(); ++x)
        outline = outline || img.pixel(x, title.top()) == BandPen;
    EXPECT_TRUE(outline);
}

TEST(DesignSurface, BandShowsItsFrameTypeNameAndPrintables)
{
    TitleReport t;
    TCustomPagorra &report = t.report;
    TPgxCustomBand *title = t.title;
    title->Frame().SetColor(qRgb(255, 0, 0));
    title->Frame().SetValue(2, true); // left
    auto *box = title->AddPrintable<TPgxShape>();
    box->Left = 254; // an inch in, a quarter inch down
    box->Top = 63.5;
    box->Width = box->Height = 127;
    box->Brush = {qRgb(0, 0, 255), PgxBrushStyle::Solid};
    const QRect band = PgxLayOutBands(report)[0].second;

    TPgxDesignSurface surface(&report);
    const QImage img = GrabForm(surface, "designsurface_band").convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(img.pixel(band.left(), band.center().y()), qRgb(255, 0, 0)) << "the band's frame";
    EXPECT_EQ(img.pixel(band.left() + 96 + 24, band.top() + 24 + 24), qRgb(0, 0, 255)) << "the shape";
    EXPECT_EQ(img.pixel(band.left() + 96 + 24, band.top() + 4), White) << "nothing above it";
    EXPECT_LT(Darkest(img, QRect(band.left() + 2, band.bottom() - 24, 60, 20)), 128) << "the type name";
    EXPECT_EQ(Darkest(img, QRect(band.left() + 2, band.top() + 2, 60, 20)), 255);
}

TEST(DesignSurface, ZoomLimitsAndCustomSize)
{
    TCustomPagorra report;
    report.Page.SetScreenPpi(96);
    TPgxDesignSurface surface(&report);
    for (int z : {0, 301, -5}) {
        surface.SetZoom(z);
        EXPECT_EQ(surface.Zoom(), 100);
    }
    surface.SetZoom(300);
    EXPECT_EQ(surface.Zoom(), 300);
    EXPECT_EQ(surface.width(), PgxRound(210 / 25.4 * 96 * 3));
    surface.SetZoom(100);

    surface.SetReportSize(400, 500); // A4 keeps its size
    EXPECT_DOUBLE_EQ(report.Page.Stored(TPgxPage::Width), 2100);
    report.Page.SetPaperSize(TPgxPaperSize::Custom);
    surface.SetReportSize(480, 960); // five and ten inches
    EXPECT_NEAR(report.Page.Stored(TPgxPage::Width), 1270, 1e-9);
    EXPECT_NEAR(report.Page.Stored(TPgxPage::Length), 2540, 1e-9);
    EXPECT_EQ(surface.size(), QSize(480, 960));

    surface.SetFirstPagePicture(QImage(10, 10, QImage::Format_ARGB32));
    surface.Modify();
    EXPECT_TRUE(surface.FirstPagePicture().isNull());
}

TEST(DesignSurface, RotateAndHideBands)
{
    TCustomPagorra report;
    report.Page.SetScreenPpi(96);
    TPagorraBands bands(&report);
    bands.SetHasTitle(true);
    bands.SetHasPageHeader(true);
    bands.SetHasDetail(true);
    bands.SetHasSummary(true);
    bands.SetHasPageFooter(true);
    ASSERT_EQ(report.BandList().size(), 5u);
    std::vector<TPgxCustomBand *> list = report.BandList();
    const auto rotated = PgxLayOutBands(report, false, 2);
    ASSERT_EQ(rotated.size(), 5u);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(rotated[i].first, list[(i + 2) % 5]);
    EXPECT_EQ(rotated[0].second.top(), 38);
    for (const auto &[band, r] : PgxLayOutBands(report, true, 0))
        EXPECT_EQ(r.top(), 1123);
}
