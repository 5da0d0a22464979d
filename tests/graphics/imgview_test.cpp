#include <QApplication>
#include <QKeyEvent>
#include <QStyle>
#include <QWheelEvent>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include "graphics/widgets/rx32_image.h"

using namespace strandel;

namespace {

// A 300 x 200 view with 16-pixel bars: a 284 x 184 viewport.
void ViewOf300x200(TImgView32 &view)
{
    view.ScrollBars().SetSize(16);
    view.resize(300, 200);
}

void Wheel(QWidget *w, int delta)
{
    QWheelEvent e(QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

class KeyRecorder : public QWidget
{
public:
    std::vector<int> keys;

protected:
    void keyPressEvent(QKeyEvent *e) override { keys.push_back(e->key()); }
};

} // namespace

TEST(ImgView, SmallBitmapIsCentred)
{
    TImgView32 view;
    ViewOf300x200(view);
    view.show();
    EXPECT_EQ(view.GetViewportRect(), (TRect{0, 0, 284, 184}));
    EXPECT_EQ(view.HScroll()->geometry(), QRect(0, 184, 284, 16));
    EXPECT_EQ(view.VScroll()->geometry(), QRect(284, 0, 16, 184));
    view.Bitmap().SetSize(100, 50);
    view.Bitmap().Clear(0xFFFF0000);
    EXPECT_FLOAT_EQ(view.OffsetHorz(), 92);
    EXPECT_FLOAT_EQ(view.OffsetVert(), 67);
    EXPECT_EQ(view.GetBitmapRect(), (TRect{92, 67, 192, 117}));
    EXPECT_FALSE(view.HScroll()->DrawEnabled()); // nothing to scroll
    const QImage shot = view.grab().toImage();
    EXPECT_EQ(shot.pixel(92, 67), qRgb(255, 0, 0));
    EXPECT_EQ(shot.pixel(191, 116), qRgb(255, 0, 0));
    EXPECT_NE(shot.pixel(91, 67), qRgb(255, 0, 0));
    EXPECT_NE(shot.pixel(192, 117), qRgb(255, 0, 0));
}

TEST(ImgView, LargeBitmapScrolls)
{
    TImgView32 view;
    ViewOf300x200(view);
    view.show();
    view.Bitmap().SetSize(600, 400);
    // Centred on the bitmap's middle: positions 300 - 142 and 200 - 92.
    EXPECT_FLOAT_EQ(view.HScroll()->Position(), 158);
    EXPECT_FLOAT_EQ(view.VScroll()->Position(), 108);
    EXPECT_FLOAT_EQ(view.OffsetHorz(), -158);
    EXPECT_FLOAT_EQ(view.OffsetVert(), -108);
    int scrolls = 0;
    view.OnScroll = [&](TCustomImgView32 *) { ++scrolls; };
    view.Scroll(-8, 1000); // the bars clamp
    EXPECT_FLOAT_EQ(view.OffsetHorz(), -150);
    EXPECT_FLOAT_EQ(view.OffsetVert(), -(400 - 184));
    EXPECT_EQ(scrolls, 0); // only user scrolls are reported

    // The wheel over a bar is the user's: the picture follows and OnScroll is told.
    Wheel(view.HScroll(), -120);
    EXPECT_FLOAT_EQ(view.HScroll()->Position(), 150 - 8);
    EXPECT_FLOAT_EQ(view.OffsetHorz(), -(150 - 8));
    EXPECT_EQ(scrolls, 1);
    // So is a press on a bar's arrow button.
    QTest::mousePress(view.VScroll(), Qt::LeftButton, {}, QPoint(8, 4));
    QTest::mouseRelease(view.VScroll(), Qt::LeftButton, {}, QPoint(8, 4));
    EXPECT_FLOAT_EQ(view.OffsetVert(), -(400 - 184 - 8));
    EXPECT_EQ(scrolls, 2);

    view.SetScale(2);
    EXPECT_EQ(view.HScroll()->Range(), 1200);
    EXPECT_EQ(view.VScroll()->Range(), 800);
}

TEST(ImgView, NotCentredFollowsTheBars)
{
    TImgView32 view;
    ViewOf300x200(view);
    view.show();
    view.SetCentered(false);
    EXPECT_FALSE(view.HScroll()->KeepCenter);
    view.Bitmap().SetSize(100, 50);
    EXPECT_FLOAT_EQ(view.OffsetHorz(), 0); // small, but not centred
    view.Bitmap().SetSize(600, 400);
    view.ScrollToCenter(300, 200);
    EXPECT_FLOAT_EQ(view.OffsetHorz(), -158);
    view.Bitmap().SetSize(700, 500); // a new size starts at the top left
    EXPECT_FLOAT_EQ(view.HScroll()->Position(), 0);
    EXPECT_FLOAT_EQ(view.OffsetHorz(), 0);
    EXPECT_FLOAT_EQ(view.OffsetVert(), 0);
}

TEST(ImgView, ScrollProperties)
{
    TImgView32 view;
    ViewOf300x200(view);
    view.ScrollBars().SetIncrement(70000);
    EXPECT_EQ(view.HScroll()->Increment(), 4464);
    EXPECT_EQ(view.VScroll()->Increment(), 4464);
    view.ScrollBars().SetSize(0);
    const int system = view.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &view);
    EXPECT_EQ(view.GetScrollBarSize(), system);
    EXPECT_EQ(view.HScroll()->height(), system);
    view.ScrollBars().SetStyle(rbsMac);
    EXPECT_EQ(view.VScroll()->Style(), rbsMac);

    TImgView32 other;
    other.SetScrollBars(view.ScrollBars());
    EXPECT_EQ(other.HScroll()->Increment(), 4464);
    EXPECT_EQ(other.VScroll()->Style(), rbsMac);
}

TEST(ImgView, SizeGripRules)
{
    QWidget form;
    form.resize(400, 300);
    QWidget panel(&form);
    panel.resize(400, 300);
    TImgView32 view(&panel);
    EXPECT_FALSE(view.IsSizeGripVisible()); // not client-aligned
    view.SetAlign(alClient);
    EXPECT_FALSE(view.IsSizeGripVisible()); // the panel in between is not
    SetControlAlign(&panel, alClient);
    EXPECT_TRUE(view.IsSizeGripVisible());
    view.SetSizeGrip(sgNone);
    EXPECT_FALSE(view.IsSizeGripVisible());
    view.SetSizeGrip(sgAlways);
    SetControlAlign(&panel, alTop);
    EXPECT_TRUE(view.IsSizeGripVisible());
    TImgView32 alone; // no parent at all
    alone.SetAlign(alClient);
    EXPECT_FALSE(alone.IsSizeGripVisible());

    // A press on the grip goes to the window system, not to the image.
    view.ScrollBars().SetSize(16);
    view.resize(200, 100);
    form.show();
    int downs = 0;
    view.OnMouseDown = [&](TCustomImage32 *, TMouseButton, TShiftState, int32_t, int32_t, TCustomLayer *) { ++downs; };
    EXPECT_EQ(view.GetSizeGripRect(), (TRect{184, 84, 200, 100}));
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(190, 90));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(190, 90));
    EXPECT_EQ(downs, 0);
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(50, 50));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_EQ(downs, 1);
}

TEST(ImageAutoSize, CanAutoSizeFollowsTheAlignment)
{
    struct Case
    {
        TAlign align;
        int w, h;
    } cases[] = {
        {alNone, 40, 30}, {alLeft, 40, 77}, {alRight, 40, 77}, {alTop, 99, 30}, {alBottom, 99, 30}, {alClient, 99, 77},
    };
    for (const Case &c : cases) {
        TImage32 image;
        image.resize(99, 77);
        image.Bitmap().SetSize(40, 30);
        image.SetAlign(c.align);
        int32_t w = image.width(), h = image.height();
        EXPECT_TRUE(image.CanAutoSize(w, h));
        EXPECT_EQ(w, c.w) << int(c.align);
        EXPECT_EQ(h, c.h) << int(c.align);
    }
    TImage32 scaled;
    scaled.Bitmap().SetSize(40, 30);
    scaled.SetScaleMode(smScale);
    scaled.SetScale(1.5f);
    scaled.SetAutoSize(true);
    EXPECT_EQ(scaled.size(), QSize(60, 45));

    TImage32 empty; // an empty bitmap keeps the control's size
    empty.resize(99, 77);
    int32_t w = 99, h = 77;
    EXPECT_TRUE(empty.CanAutoSize(w, h));
    EXPECT_EQ(w, 99);
    EXPECT_EQ(h, 77);
    empty.SetAutoSize(true);
    EXPECT_EQ(empty.size(), QSize(99, 77));
}

TEST(PaintBoxKeys, ArrowKeysOnlyWhenWanted)
{
    KeyRecorder parent;
    TPaintBox32 box(&parent);
    box.setFocusPolicy(Qt::StrongFocus);
    parent.show();
    std::vector<int> got;
    box.OnKeyDown = [&](TCustomPaintBox32 *, int key, TShiftState) { got.push_back(key); };

    QTest::keyClick(&box, Qt::Key_Left);
    QTest::keyClick(&box, Qt::Key_A);
    EXPECT_EQ(got, std::vector<int>{Qt::Key_A});
    EXPECT_EQ(parent.keys, std::vector<int>{Qt::Key_Left}); // navigation's business

    got.clear();
    parent.keys.clear();
    box.Options = 1 << pboWantArrowKeys;
    QTest::keyClick(&box, Qt::Key_Left);
    QTest::keyClick(&box, Qt::Key_Down);
    EXPECT_EQ(got, (std::vector<int>{Qt::Key_Left, Qt::Key_Down}));
    EXPECT_TRUE(parent.keys.empty());
}

TEST(ImgView, ResizeKeepsTheCentre)
{
    TImgView32 view;
    ViewOf300x200(view);
    view.show();
    view.Bitmap().SetSize(600, 400);
    ASSERT_FLOAT_EQ(view.HScroll()->Position(), 158);
    view.resize(400, 300); // viewport 384 x 284: still centred on (300, 200)
    EXPECT_FLOAT_EQ(view.HScroll()->Position(), 300 - 192);
    EXPECT_FLOAT_EQ(view.VScroll()->Position(), 200 - 142);
    EXPECT_FLOAT_EQ(view.OffsetHorz(), -(300 - 192));
    EXPECT_FLOAT_EQ(view.OffsetVert(), -(200 - 142));
}
