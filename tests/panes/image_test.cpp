#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QImage>
#include <QPixmap>
#include <QTest>

#include "graphics/rx32_system.h"
#include "graphics/widgets/rx32_image.h"

using namespace strandel;

namespace {

constexpr QRgb kMaroon = 0x800000;
constexpr QRgb kRed = 0xFF0000;

QRgb At(const QImage &image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

QImage Grab(QWidget &w)
{
    w.show();
    QCoreApplication::processEvents();
    return w.grab().toImage();
}

void FillBitmap(TBitmap32 &b, int w, int h, TColor32 c)
{
    b.SetSize(w, h);
    b.Clear(c);
}

} // namespace

TEST(Image32, DefaultStagesPaintBackgroundBitmapAndLayers)
{
    TImage32 img;
    img.resize(100, 80);
    img.SetColor(clMaroonColor);
    FillBitmap(img.Bitmap(), 40, 30, Color32(255, 0, 0));
    // A layer on top of the bitmap's lower right corner.
    auto *layer = img.Layers().Add<TCustomLayer>();
    layer->OnPaint = [](TCustomLayer *, TBitmap32 *buffer) { buffer->FillRectS(30, 20, 50, 40, Color32(0, 0, 255)); };

    QImage shot = Grab(img);
    EXPECT_EQ(At(shot, 0, 0), kRed);
    EXPECT_EQ(At(shot, 29, 19), kRed);
    EXPECT_EQ(At(shot, 35, 25), 0x0000FFu);
    EXPECT_EQ(At(shot, 45, 35), 0x0000FFu);
    EXPECT_EQ(At(shot, 60, 10), kMaroon);
    EXPECT_EQ(At(shot, 10, 60), kMaroon);
    EXPECT_EQ(At(shot, 99, 79), kMaroon);
    EXPECT_EQ(At(shot, 60, 79), kMaroon); // no frame at run time

    // At design time the control frame (every other pixel inverted) and the bitmap frame appear.
    img.DesignMode = true;
    img.Invalidate();
    shot = Grab(img);
    EXPECT_EQ(At(shot, 60, 79), kMaroon ^ 0xFFFFFF);
    EXPECT_EQ(At(shot, 61, 79), kMaroon);
    EXPECT_EQ(At(shot, 10, 29), kRed ^ 0xFFFFFF);
}

TEST(Image32, EmptyBitmapShowsOnlyTheColourAndCustomStagesRun)
{
    TImage32 img;
    img.resize(50, 40);
    img.SetColor(clMaroonColor);
    QImage shot = Grab(img);
    EXPECT_EQ(At(shot, 0, 0), kMaroon);
    EXPECT_EQ(At(shot, 49, 39), kMaroon);

    std::vector<uint32_t> stages;
    PPaintStage s = img.PaintStages().Insert(0);
    s->StageCode = StageCustom;
    img.PaintStages().Add()->StageCode = StageCustom;
    img.OnPaintStage = [&](TCustomImage32 *, TBitmap32 *buffer, uint32_t num) {
        stages.push_back(num);
        buffer->FillRectS(0, 0, 5, 5, Color32(0, 255, 0));
    };
    img.Invalidate();
    shot = Grab(img);
    EXPECT_EQ(stages, (std::vector<uint32_t>{0, 6}));
    EXPECT_EQ(At(shot, 2, 2), 0x00FF00u); // the last stage painted over the background
}

TEST(Image32, ScaleAndAlignmentVectors)
{
    struct Case {
        TScaleMode mode;
        TBitmapAlign align;
        int bw, bh, cw, ch;
        TRect rect;
    } cases[] = {
        {smStretch, baTopLeft, 352, 240, 267, 154, {0, 0, 267, 154}},
        {smResize, baCenter, 100, 50, 300, 300, {0, 75, 300, 225}},
        {smResize, baTopLeft, 50, 100, 300, 300, {0, 0, 150, 300}},
        {smNormal, baCenter, 103, 20, 100, 100, {-1, 40, 102, 60}}, // (-3) div 2 = -1
        {smNormal, baTile, 10, 10, 100, 100, {0, 0, 10, 10}},
        {smScale, baTopLeft, 10, 10, 100, 100, {0, 0, 25, 25}},    // 2.5 x 10 = 25
    };
    for (const Case &c : cases) {
        TImage32 img;
        img.resize(c.cw, c.ch);
        img.SetScaleMode(c.mode);
        img.SetBitmapAlign(c.align);
        if (c.mode == smScale)
            img.SetScale(2.5f);
        img.Bitmap().SetSize(c.bw, c.bh);
        EXPECT_EQ(img.GetBitmapRect(), c.rect) << int(c.mode) << " " << c.bw << "x" << c.bh;
    }

    TImage32 img;
    img.resize(267, 154);
    img.SetScaleMode(smStretch);
    img.Bitmap().SetSize(352, 240);
    img.UpdateCache();
    EXPECT_EQ(img.CachedTransform().ScaleX, 49711);
    EXPECT_EQ(img.CachedTransform().RevScaleX, 86400);
    // The mappings truncate: 154 x 102133 / 65536 is just below 240.
    EXPECT_EQ(img.ControlToBitmap({267, 154}), (TPoint{352, 239}));
    EXPECT_EQ(img.BitmapToControl({352, 240}), (TPoint{267, 153}));

    img.SetScale(0);
    EXPECT_FLOAT_EQ(img.Scale(), 0.001f);
}

TEST(Image32, EmptyControlAndLargeProductsAreSafe)
{
    TImage32 img;
    img.resize(0, 0);
    img.SetScaleMode(smStretch);
    img.Bitmap().SetSize(10, 10);
    EXPECT_NO_THROW(img.UpdateCache()); // an empty target maps with the identity
    EXPECT_EQ(img.CachedTransform().ScaleX, FixedOne);

    // 2 bitmap pixels over 20000 control pixels: 4 x ScaleX needs more than 32 bits.
    TImage32 big;
    big.resize(20000, 20000);
    big.SetScaleMode(smStretch);
    big.Bitmap().SetSize(2, 2);
    EXPECT_EQ(big.BitmapToControl({4, 4}), (TPoint{40000, 40000}));
    EXPECT_EQ(big.ControlToBitmap({40000, 40000}), (TPoint{4, 4}));
}

TEST(Image32, BufferOversizeSparesShrinkingOnly)
{
    TPaintBox32 box;
    box.resize(200, 100);
    box.ResizeBuffer();
    EXPECT_EQ(box.Buffer().Width(), 200);
    box.resize(161, 61);
    box.ResizeBuffer();
    EXPECT_EQ(box.Buffer().Width(), 200); // within 40 pixels: kept
    EXPECT_EQ(box.Buffer().Height(), 100);
    box.resize(201, 61);
    box.ResizeBuffer();
    EXPECT_EQ(box.Buffer().Width(), 201); // grown: exactly the new size
    EXPECT_EQ(box.Buffer().Height(), 61);
    box.SetBufferOversize(-5);
    EXPECT_EQ(box.BufferOversize(), 0);
}

TEST(Image32, PaintBoxPaintsItsBufferOnEveryPaint)
{
    TPaintBox32 box;
    box.resize(30, 20);
    int paints = 0;
    box.OnPaintBuffer = [&](TPaintBox32 *b) {
        ++paints;
        b->Buffer().Clear(Color32(0, 0, 255));
        b->Buffer().FillRectS(0, 0, 10, 10, Color32(255, 255, 0));
    };
    QImage shot = Grab(box);
    const int first = paints;
    EXPECT_GE(first, 1);
    EXPECT_EQ(At(shot, 5, 5), 0xFFFF00u);
    EXPECT_EQ(At(shot, 20, 15), 0x0000FFu);
    box.grab();
    EXPECT_GT(paints, first);
}

TEST(Image32, ErrorsAndUpdateNesting)
{
    TImage32 img;
    TPaintStages &stages = img.PaintStages();
    const int count = stages.Count();
    EXPECT_EQ(count, 5);
    try {
        stages.Delete(count);
        FAIL();
    } catch (const EListError &e) {
        EXPECT_STREQ(e.what(), "Invalid stage index");
    }
    EXPECT_EQ(stages.Count(), count);
    EXPECT_EQ(stages.Items(4)->StageParam, LayerOptVisible);

    // An unpaired EndUpdate is reported and leaves the count at 0: changes still repaint.
    EXPECT_THROW(img.EndUpdate(), EAssertionFailed);
    int changes = 0;
    img.OnChange = [&](TCustomImage32 *) { ++changes; };
    img.Changed();
    EXPECT_EQ(changes, 1);
    img.BeginUpdate();
    img.Changed();
    EXPECT_EQ(changes, 1);
    img.EndUpdate();
    img.Changed();
    EXPECT_EQ(changes, 2);
    img.OnChange = nullptr;

    int resized = 0;
    img.OnBitmapResize = [&](TCustomImage32 *) { ++resized; };
    img.Bitmap().SetSize(5, 5);
    EXPECT_EQ(resized, 0);
    img.BeginUpdate();
    img.Bitmap().SetSize(6, 6);
    img.EndUpdate();
    EXPECT_EQ(resized, 1);
}

// The first image control makes the program's theme nexus; a style change reaches it.
TEST(Image32, TheFirstControlMakesTheThemeNexus)
{
    TImage32 img;
    ASSERT_NE(TCustomPaintBox32::ThemeNexus(), nullptr);
    SetThemeQuery([] { return true; }); // as a themed style would answer
    QEvent change(QEvent::StyleChange);
    QApplication::sendEvent(&img, &change);
    EXPECT_TRUE(USE_THEMES);
    EXPECT_STREQ(ThemeClassName(SCROLLBAR_THEME), "SCROLLBAR");
    SetThemeQuery([] { return false; });
    QApplication::sendEvent(&img, &change);
    EXPECT_FALSE(USE_THEMES);
}

TEST(Image32, MouseReachesTheLayerUnderIt)
{
    TImage32 img;
    img.resize(100, 100);
    auto *layer = img.Layers().Add<TPositionedLayer>();
    layer->SetLocation({10, 10, 50, 50});
    layer->SetMouseEvents(true);
    std::vector<std::pair<TPoint, TCustomLayer *>> downs;
    int layerDowns = 0;
    layer->OnMouseDown = [&](TCustomLayer *, TMouseButton, TShiftState, int32_t, int32_t) { ++layerDowns; };
    img.OnMouseDown = [&](TCustomImage32 *, TMouseButton b, TShiftState s, int32_t x, int32_t y, TCustomLayer *l) {
        EXPECT_EQ(b, mbLeft);
        EXPECT_TRUE(s & ssLeft);
        downs.push_back({{x, y}, l});
    };
    img.show();
    QTest::mouseClick(&img, Qt::LeftButton, {}, QPoint(20, 30));
    QTest::mouseClick(&img, Qt::LeftButton, {}, QPoint(80, 80));
    ASSERT_EQ(downs.size(), 2u);
    EXPECT_EQ(downs[0].first, (TPoint{20, 30}));
    EXPECT_EQ(downs[0].second, layer);
    EXPECT_EQ(downs[1].second, nullptr);
    EXPECT_EQ(layerDowns, 1);
}

TEST(Image32, AControlFarLargerThanItsParentKeepsASmallBuffer)
{
    QWidget parent;
    parent.resize(100, 100);
    auto *img = new TImage32(&parent);
    img->SetScaleMode(smStretch);
    img->Bitmap().SetSize(4, 1);
    const TColor32 colours[4] = {Color32(255, 0, 0), Color32(0, 255, 0), Color32(0, 0, 255), Color32(255, 255, 0)};
    for (int x = 0; x < 4; ++x)
        img->Bitmap().SetPixel(x, 0, colours[x]);
    img->setGeometry(-5200, -100, 20000, 20000); // seen: columns 5200..5299, the second bitmap pixel
    const QImage shot = Grab(parent);
    EXPECT_EQ(At(shot, 0, 0), 0x00FF00u);
    EXPECT_EQ(At(shot, 99, 99), 0x00FF00u);
    EXPECT_LE(img->Buffer().Width(), 100);
    EXPECT_LE(img->Buffer().Height(), 100);

    // Moved so that the boundary between the first two pixels is in sight.
    img->setGeometry(-4950, -100, 20000, 20000);
    const QImage moved = Grab(parent);
    EXPECT_EQ(At(moved, 49, 50), 0xFF0000u);
    EXPECT_EQ(At(moved, 52, 50), 0x00FF00u);
}

// With its top clipped the control keeps only the seen part in its buffer; every kind of
// layer must still be drawn where hit testing finds it.
TEST(Image32, LayersOfAClippedControlPaintWhereTheyAreHit)
{
    constexpr QRgb kBlue = 0x0000FF, kGreen = 0x00FF00;
    struct Case
    {
        bool band, scaled, cropped;
    } cases[] = {{false, false, false}, {false, true, false}, {false, false, true}, {false, true, true},
                 {true, false, false}, {true, true, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "band " << c.band << " scaled " << c.scaled << " cropped " << c.cropped);
        QWidget parent;
        parent.resize(100, 100);
        auto *img = new TImage32(&parent);
        img->SetColor(clMaroonColor);
        FillBitmap(img->Bitmap(), 100, 100, Color32(255, 0, 0)); // control rows 0..99 of 150
        img->setGeometry(0, -50, 100, 150);                      // seen: control rows 50..149
        TPositionedLayer *layer;
        if (c.band) {
            auto *band = img->Layers().Add<TRubberbandLayer>();
            band->SetHandles((1u << rhCenter) | (1u << rhCorners));
            band->SetHandleFill(Color32(0, 255, 0));
            band->SetHandleFrame(Color32(0, 255, 0));
            layer = band;
        } else {
            auto *bl = img->Layers().Add<TBitmapLayer>();
            FillBitmap(bl->Bitmap(), 30, 40, Color32(0, 0, 255));
            bl->SetCropped(c.cropped);
            layer = bl;
        }
        layer->SetScaled(c.scaled);
        layer->SetLocation({10, 80, 40, 120}); // crosses the bitmap's lower edge
        const QImage shot = Grab(parent);
        if (c.band) {
            // Corner handles are 7 x 7 pixels round the corners; the top ones are in sight.
            for (const TPoint p : {TPoint{10, 80}, TPoint{39, 80}}) {
                EXPECT_EQ(At(shot, p.X, p.Y - 50), kGreen) << p.X << "," << p.Y;
                EXPECT_EQ(img->Layers().FindLayerAtPos(p.X, p.Y, LayerOptMouseEvents), layer);
            }
            EXPECT_EQ(At(shot, 25, 20), kRed); // the band has no body
            continue;
        }
        std::string wrong;
        for (int y = 0; y < 100; y += 3)
            for (int x = 0; x < 100; x += 3) {
                const bool hit = img->Layers().FindLayerAtPos(x, y + 50, LayerOptMouseEvents) == layer;
                const bool onBitmap = y + 50 < 100;
                const QRgb want = hit && !(c.cropped && !onBitmap) ? kBlue : onBitmap ? kRed : kMaroon;
                if (At(shot, x, y) != want && wrong.empty())
                    wrong = std::to_string(x) + "," + std::to_string(y);
            }
        EXPECT_EQ(wrong, "") << "first wrong pixel";
    }
}

TEST(Bitmap32List, ItemsAndAssignmentCopy)
{
    TBitmap32List list;
    TBitmap32 red;
    FillBitmap(red, 3, 2, Color32(255, 0, 0));
    list.Bitmaps().Add();
    list.SetBitmap(0, red);
    red.Clear(Color32(0, 0, 255));
    EXPECT_EQ(list.Bitmap(0).GetPixel(1, 1), Color32(255, 0, 0)); // a copy, not the caller's bitmap

    TBitmap32List other;
    other.SetBitmaps(list.Bitmaps());
    list.Bitmap(0).Clear(Color32(0, 255, 0));
    ASSERT_EQ(other.Bitmaps().Count(), 1);
    EXPECT_EQ(other.Bitmap(0).Width(), 3);
    EXPECT_EQ(other.Bitmap(0).GetPixel(0, 0), Color32(255, 0, 0));
    EXPECT_THROW(other.Bitmap(1), std::out_of_range);
}
