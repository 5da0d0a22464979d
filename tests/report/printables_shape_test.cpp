#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "printables_fixture.h"
#include "report/bands/exportshape.h"
#include "report/output/exportfilter.h"
#include "report/output/printer.h"
#include "report/printables/printables_shape.h"

using namespace strandel;
using namespace strandel::test;

namespace {

struct Placed {
    TPgxShapeType type;
    std::vector<std::string> ops; // drawing operations in order
};

// A shape at (200, 100) of 400 x 300 in the band of the first page (band at the 10 mm margins).
TPgxShape *AddShape(OneBandReport &r, TPgxShapeType type)
{
    auto *s = r.detail->AddPrintable<TPgxShape>();
    s->Shape = type;
    s->Left = 200;
    s->Top = 100;
    s->Width = 400;
    s->Height = 300;
    s->Pen = {0xffa00000, 3, PgxPenStyle::Dash};
    s->Brush = {0xff00c000, PgxBrushStyle::Solid};
    return s;
}

class GraphicLog : public TPgxExportFilter
{
public:
    GraphicLog() : TPgxExportFilter("log") {}
    std::vector<std::pair<double, double>> seen;
    void AcceptGraphic(double x, double y, TPgxPrintable *control) override
    {
        if (dynamic_cast<TPgxShape *>(control))
            seen.push_back({x, y});
    }
};

} // namespace

TEST(ShapePrintable, EveryFigureOnTheMetafile)
{
    using T = TPgxShapeType;
    for (T type : {T::pgxsRectangle, T::pgxsCircle, T::pgxsVertLine, T::pgxsHorLine, T::pgxsTopAndBottom,
                   T::pgxsRightAndLeft, T::pgxsRoundRect}) {
        OneBandReport r(1, 500);
        TPgxShape *s = AddShape(r, type);
        s->RoundFactor = 0.25f;
        ASSERT_TRUE(r.rep.Prepare());
        TPgxPrinter &p = *r.rep.Printer();
        RecordingCanvas c = RecordPage(p, 1);
        // Everything after the band's background.
        std::vector<DrawOp> ops;
        for (const DrawOp &o : c.ops)
            if (o.kind != "FillRect" && o.kind != "Text")
                ops.push_back(o);
        const int32_t l = p.XPos(300), t = p.YPos(200), rr = p.XPos(700), b = p.YPos(500);
        const int32_t mx = p.XPos(500), my = p.YPos(350);
        std::vector<std::pair<std::string, PgxRect>> want;
        switch (type) {
        case T::pgxsRectangle: want = {{"Rectangle", {l, t, rr, b}}}; break;
        case T::pgxsCircle: want = {{"Ellipse", {l, t, rr, b}}}; break;
        case T::pgxsVertLine: want = {{"Line", {mx, t, mx, b}}}; break;
        case T::pgxsHorLine: want = {{"Line", {l, my, rr, my}}}; break;
        case T::pgxsTopAndBottom: want = {{"Line", {l, t, rr, t}}, {"Line", {l, b, rr, b}}}; break;
        case T::pgxsRightAndLeft: want = {{"Line", {l, t, l, b}}, {"Line", {rr, t, rr, b}}}; break;
        case T::pgxsRoundRect: want = {{"RoundRect", {l, t, rr, b}}}; break;
        }
        ASSERT_EQ(ops.size(), want.size()) << int(type);
        for (size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(ops[i].kind, want[i].first) << int(type);
            EXPECT_EQ(ops[i].rect, want[i].second) << int(type);
            EXPECT_EQ(ops[i].pen.color, 0xffa00000u);
            EXPECT_EQ(ops[i].pen.width, 3);
            EXPECT_EQ(ops[i].brush.color, 0xff00c000u);
        }
        if (type == T::pgxsRoundRect) {
            // A quarter of the 40 mm width, on the printer's own scale in both directions.
            EXPECT_EQ(ops[0].a, p.XSize(100));
            EXPECT_EQ(ops[0].b, p.YSize(100));
        }
    }
}

TEST(ShapePrintable, SquareCornersAndPixels)
{
    OneBandReport r(1, 500);
    TPgxShape *s = AddShape(r, TPgxShapeType::pgxsRoundRect);
    s->RoundFactor = 0;
    auto *circle = AddShape(r, TPgxShapeType::pgxsCircle);
    circle->Left = 700;
    circle->Pen.style = PgxPenStyle::Clear;
    ASSERT_TRUE(r.rep.Prepare());
    TPgxPrinter &p = *r.rep.Printer();
    const auto rounds = RecordPage(p, 1).Of("RoundRect");
    ASSERT_EQ(rounds.size(), 1u);
    EXPECT_EQ(rounds[0].a, 0);
    EXPECT_EQ(rounds[0].b, 0);
    // On the page's pixels: the square corner is the pen's, the circle's corner is paper.
    auto mf = p.GetPage(1);
    QImage img(mf->Width(), mf->Height(), QImage::Format_ARGB32);
    img.fill(0xffffffff);
    {
        QPainter painter(&img);
        mf->Replay(painter, QRectF(0, 0, img.width(), img.height()));
    }
    EXPECT_EQ(img.pixel(p.XPos(300), p.YPos(200)), 0xffa00000u);
    EXPECT_EQ(img.pixel(p.XPos(500), p.YPos(350)), 0xff00c000u);
    EXPECT_EQ(img.pixel(p.XPos(1000), p.YPos(350)), 0xff00c000u); // the circle's centre
    EXPECT_EQ(img.pixel(p.XPos(802), p.YPos(202)), 0xffffffffu);   // outside its curve
}

TEST(ShapePrintable, OfferedToAnExportFilter)
{
    OneBandReport r(2, 500);
    AddShape(r, TPgxShapeType::pgxsHorLine);
    GraphicLog log;
    ASSERT_TRUE(r.rep.ExportToFilter(&log));
    ASSERT_EQ(log.seen.size(), 2u);
    EXPECT_LT(log.seen[0].second, log.seen[1].second);
}

TEST(ShapePrintable, BandBackgroundsReachFiltersAsShapes)
{
    struct Filter : TPgxExportFilter {
        Filter() : TPgxExportFilter("x") {}
        std::vector<TPgxShape> shapes;
        void AcceptGraphic(double, double, TPgxPrintable *control) override
        {
            if (auto *s = dynamic_cast<TPgxShape *>(control))
                shapes.push_back(*s);
        }
    };
    OneBandReport r(2, 150);
    r.detail->Color = 0xffe0e0ff;
    PgxRegisterShapeExports();
    Filter filter;
    const bool ok = r.rep.ExportToFilter(&filter);
    RegisterExportShapeMaker(nullptr);
    ASSERT_TRUE(ok);
    ASSERT_EQ(filter.shapes.size(), 2u); // one background per detail
    const TPgxShape &s = filter.shapes[0];
    EXPECT_EQ(s.Shape, TPgxShapeType::pgxsRectangle);
    EXPECT_EQ(s.Brush.color, 0xffe0e0ffu);
    EXPECT_NEAR(s.Height, 150, 254.0 / PgxScreenPpi() * 2);
    EXPECT_NEAR(s.Width, r.detail->Width(), 254.0 / PgxScreenPpi() * 2);
    EXPECT_NEAR(filter.shapes[1].Top - s.Top, 150, 254.0 / PgxScreenPpi() * 2);
}
