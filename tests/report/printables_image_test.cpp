#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>

#include "printables_fixture.h"
#include "report/output/printer.h"
#include "report/printables/printables_image.h"

using namespace strandel;
using namespace strandel::test;

namespace {

QImage Solid(int w, int h, QRgb c = 0xff3080c0)
{
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(c);
    return img;
}

QByteArray Png(const QImage &img)
{
    QByteArray bytes;
    QBuffer b(&bytes);
    b.open(QIODevice::WriteOnly);
    img.save(&b, "PNG");
    return bytes;
}

} // namespace

TEST(ImagePrintables, UnstretchedPicturesPrintAtTheirScreenSize)
{
    const int ppi = PgxScreenPpi();
    struct Case {
        QSize picture;
        double width, height; // of the printable, tenths of a millimetre
        bool center;
        double naturalW, naturalH; // expected printed size, tenths of a millimetre
    };
    const Case cases[] = {
        // A screen inch of pixels prints one inch, 254 tenths of a millimetre, at the top left.
        {{ppi, ppi / 2}, 600, 600, false, 254, 127},
        // Larger than the printable: same size, cut by the clip at the printable's edges.
        {{ppi * 4, ppi * 4}, 300, 200, false, 1016, 1016},
        // Centred in the printable.
        {{ppi, ppi}, 600, 400, true, 254, 254},
    };
    for (const Case &c : cases) {
        OneBandReport r(1, 1000);
        auto *img = r.detail->AddPrintable<TPgxImage>();
        img->Left = 100;
        img->Top = 50;
        img->Width = c.width;
        img->Height = c.height;
        img->SetCenter(c.center);
        img->SetPicture(Solid(c.picture.width(), c.picture.height()));
        ASSERT_TRUE(r.rep.Prepare());
        TPgxPrinter &p = *r.rep.Printer();
        RecordingCanvas rc = RecordPage(p, 1);
        const auto draws = rc.Of("Image");
        ASSERT_EQ(draws.size(), 1u);
        const PgxRect dest{p.XPos(100 + 100), p.YPos(100 + 50), p.XPos(100 + 100 + c.width),
                           p.YPos(100 + 50 + c.height)};
        const auto clips = rc.Of("Clip");
        ASSERT_EQ(clips.size(), 1u);
        EXPECT_EQ(clips[0].rect, dest);
        const PgxRect &d = draws[0].rect;
        EXPECT_EQ(d.right - d.left, PgxRound(c.naturalW * p.XFactor()));
        EXPECT_EQ(d.bottom - d.top, PgxRound(c.naturalH * p.YFactor()));
        const int32_t dx = c.center ? (p.XSize(c.width) - (d.right - d.left)) / 2 : 0;
        const int32_t dy = c.center ? (p.YSize(c.height) - (d.bottom - d.top)) / 2 : 0;
        EXPECT_EQ(d.left, dest.left + dx);
        EXPECT_EQ(d.top, dest.top + dy);
        EXPECT_EQ(draws[0].imageSize, c.picture);
    }
}

TEST(ImagePrintables, StretchFillsThePrintableAndAutoSizeTakesThePictureSize)
{
    OneBandReport r(1, 1000);
    auto *img = r.detail->AddPrintable<TPgxImage>();
    img->Left = 0;
    img->Top = 0;
    img->Width = 700;
    img->Height = 300;
    img->SetStretch(true);
    img->SetPicture(Solid(10, 40));
    ASSERT_TRUE(r.rep.Prepare());
    TPgxPrinter &p = *r.rep.Printer();
    const auto draws = RecordPage(p, 1).Of("Image");
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].rect, (PgxRect{p.XPos(100), p.YPos(100), p.XPos(800), p.YPos(400)}));

    TPgxImage sized;
    sized.SetAutoSize(true);
    sized.SetPicture(Solid(640, 480));
    EXPECT_NEAR(sized.Width, 640 * 254.0 / PgxScreenPpi(), 1e-9);
    EXPECT_NEAR(sized.Height, 480 * 254.0 / PgxScreenPpi(), 1e-9);
    sized.SetPicture(QImage());
    EXPECT_NEAR(sized.Width, 640 * 254.0 / PgxScreenPpi(), 1e-9);
    EXPECT_FALSE(sized.LoadPicture("not a picture"));
    EXPECT_TRUE(sized.Picture()->isNull()); // unchanged: it was empty
}

TEST(ImagePrintables, DataBoundPicturesFollowTheRecord)
{
    OneBandReport r(0, 500);
    report::PgxMemoryDataSet ds("P");
    ds.AddField({"Pic", report::PgxFieldKind::Blob});
    ds.AddField({"Name", report::PgxFieldKind::String});
    const QByteArray png = Png(Solid(20, 30));
    QByteArray truncated = png.left(png.size() / 2);
    ds.AppendRecord({png, "a"});
    ds.AppendRecord({QByteArray(), "empty"});
    ds.AppendRecord({truncated, "damaged"});
    ds.AppendRecord({QByteArray("\x89PNG\r\n\x1a\n garbage", 17), "garbage"});
    ds.Open();
    r.rep.SetDataSet(&ds);
    auto *img = r.detail->AddPrintable<TPgxDBImage>();
    img->SetDataSet(&ds);
    img->SetDataField("PIC");
    img->SetStretch(true);
    img->Color = 0xff00ff00;
    img->Left = 0;
    img->Top = 0;
    img->Width = 200;
    img->Height = 100;
    auto *wrong = r.detail->AddPrintable<TPgxDBImage>();
    wrong->SetDataSet(&ds);
    wrong->SetDataField("Name"); // not a blob: prints nothing
    std::vector<double> heights;
    r.detail->AfterPrint = [&](TPgxCustomBand *, bool) {
        double h = 0;
        img->GetExpandedHeight(h);
        heights.push_back(h);
    };
    ASSERT_TRUE(r.rep.Prepare());
    TPgxPrinter &p = *r.rep.Printer();
    RecordingCanvas rc = RecordPage(p, 1);
    // One picture, then three blank boxes in the printable's colour for what is not a picture.
    const auto draws = rc.Of("Image");
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].imageSize, QSize(20, 30));
    int blanks = 0;
    for (const DrawOp &o : rc.Of("FillRect"))
        blanks += o.brush.color == 0xff00ff00;
    EXPECT_EQ(blanks, 3);
    ASSERT_EQ(heights.size(), 4u);
    EXPECT_NEAR(heights[0], 30 * 254.0 / PgxScreenPpi(), 1e-9);
    EXPECT_EQ(heights[1], 0);
    EXPECT_EQ(img->Field(), nullptr); // released after the run
}

TEST(ImagePrintables, HostileBytesAreNoPicture)
{
    QImage img;
    EXPECT_FALSE(PgxDecodePicture(QByteArray(), img));
    QRandomGenerator rng(31);
    const QByteArray png = Png(Solid(64, 64));
    for (int i = 0; i < 200; ++i) {
        QByteArray b = png;
        // Damage the picture in a few places, or cut it short.
        for (int k = 0; k < 4; ++k)
            b[int(rng.bounded(b.size()))] = char(rng.bounded(256));
        if (i % 3 == 0)
            b.truncate(int(rng.bounded(b.size())));
        if (PgxDecodePicture(b, img))
            EXPECT_FALSE(img.isNull());
        else
            EXPECT_TRUE(img.isNull());
    }
    // A header that claims a picture far beyond the reader's limit is refused before allocating.
    QByteArray huge = Png(Solid(1, 1));
    const char dims[8] = {0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00}; // 65536 x 65536
    huge.replace(16, 8, QByteArray(dims, 8));
    EXPECT_FALSE(PgxDecodePicture(huge, img));
}
