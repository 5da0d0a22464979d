#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "printables_fixture.h"
#include "report/printables/printables_image.h"
#include "report/printables/printables_paint.h"
#include "report/printables/printables_shape.h"
#include "report/printables/printables_text.h"

using namespace strandel;
using namespace strandel::test;

namespace {

QImage Paint(TPgxPrintable &p, int zoom = 100)
{
    const PgxRect r = PgxDesignRect(p, zoom);
    QImage img(r.right + 20, r.bottom + 20, QImage::Format_ARGB32);
    img.fill(0xff808080);
    QPainter painter(&img);
    TPgxPainterCanvas c(painter);
    PgxPaintPrintable(p, c, zoom);
    return img;
}

// Columns holding pixels darker than mid grey, inside (0,0)-(w,h).
std::pair<int, int> InkColumns(const QImage &img, int w, int h)
{
    int lo = w, hi = -1;
    for (int y = 4; y < h - 4; ++y)
        for (int x = 4; x < w - 4; ++x)
            if (qGray(img.pixel(x, y)) < 100) {
                lo = std::min(lo, x);
                hi = std::max(hi, x);
            }
    return {lo, hi};
}

} // namespace

TEST(PrintablePainting, ShapesLabelsAndImagesOnTheDesignSurface)
{
    const double tenths = 254.0 / PgxScreenPpi(); // one screen pixel

    TPgxShape shape;
    shape.Shape = TPgxShapeType::pgxsCircle;
    shape.Width = shape.Height = 100 * tenths;
    shape.Brush = {0xff00c000, PgxBrushStyle::Solid};
    QImage img = Paint(shape);
    EXPECT_EQ(img.pixel(50, 50), 0xff00c000u);
    EXPECT_EQ(img.pixel(6, 6), 0xffffffffu);  // outside the curve: the printable's white ground
    EXPECT_EQ(img.pixel(0, 0), 0xff000000u);  // a corner mark
    EXPECT_EQ(img.pixel(110, 50), 0xff808080u); // nothing outside the control
    // Zoomed to 200 %, the control doubles.
    EXPECT_EQ(PgxDesignRect(shape, 200).right, 200);

    OneBandReport r;
    for (TPgxAlignment a : {TPgxAlignment::taLeftJustify, TPgxAlignment::taRightJustify}) {
        auto *l = r.detail->AddPrintable<TPgxLabel>();
        l->SetAutoSize(false);
        l->Width = 300 * tenths;
        l->Height = 40 * tenths;
        l->SetAlignment(a);
        l->SetCaption("ii");
        img = Paint(*l);
        const auto [lo, hi] = InkColumns(img, 300, 40);
        ASSERT_LE(lo, hi) << "no text drawn";
        if (a == TPgxAlignment::taLeftJustify)
            EXPECT_LT(hi, 100);
        else
            EXPECT_GT(lo, 200);
    }

    TPgxImage picture;
    picture.Width = 100 * tenths;
    picture.Height = 80 * tenths;
    picture.SetCenter(true);
    QImage blue(20, 10, QImage::Format_ARGB32);
    blue.fill(0xff0000ff);
    picture.SetPicture(blue);
    img = Paint(picture);
    EXPECT_EQ(img.pixel(50, 40), 0xff0000ffu);
    EXPECT_EQ(img.pixel(40 + 1, 35 + 1), 0xff0000ffu);
    EXPECT_NE(img.pixel(35, 40), 0xff0000ffu);

    // While a report prints them, printables draw nothing on the design surface.
    shape.Prepare();
    img = Paint(shape);
    EXPECT_EQ(img.pixel(50, 50), 0xff808080u);
    shape.UnPrepare();
}
