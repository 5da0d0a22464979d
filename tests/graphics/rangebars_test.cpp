#include <QApplication>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOption>
#include <QElapsedTimer>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include "graphics/rx32_system.h"
#include "graphics/widgets/rx32_rangebars.h"

using namespace strandel;

namespace {

// Bars whose idea of the screen cursor the test sets.
template <typename Bar> class CursorBar : public Bar
{
public:
    QPoint Cursor{-100, -100};
    using Bar::Bar;
    using Bar::TimerHandler;

protected:
    QPoint CursorClientPos() const override { return Cursor; }
};
using RangeBar = CursorBar<TRangeBar>;
using GaugeBar = CursorBar<TGaugeBar>;

void Wheel(QWidget *w, int delta)
{
    QWheelEvent e(QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

QRgb Rgb(TColor c)
{
    const TColor rgb = ColorToRGB(c);
    return qRgb(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

// A 232 x 16 borderless bar: 16-pixel buttons around a 200-pixel track.
void TrackOf200(TArrowBar &bar)
{
    bar.SetBorderStyle(bsNone);
    bar.resize(232, 16);
}

} // namespace

TEST(ArrowBar, ButtonSizes)
{
    struct Case
    {
        int w, h;
        TScrollBarKind kind;
        TRBStyle style;
        int32_t buttonSize;
        bool arrows;
        int32_t expected;
    } cases[] = {
        {100, 16, sbHorizontal, rbsDefault, 0, true, 16}, // min(16, 32)
        {30, 16, sbHorizontal, rbsDefault, 0, true, 15},  // 2 * 16 >= 30
        {100, 16, sbHorizontal, rbsMac, 0, true, 15},
        {30, 16, sbHorizontal, rbsMac, 0, true, 14},
        {100, 40, sbHorizontal, rbsDefault, 0, true, 32},
        {16, 100, sbVertical, rbsDefault, 0, true, 16},
        {3, 16, sbHorizontal, rbsDefault, 0, true, 0}, // below 4 pixels: no buttons
        {60, 16, sbHorizontal, rbsDefault, 40, true, 30},
        {100, 16, sbHorizontal, rbsDefault, 0, false, 0},
    };
    for (const Case &c : cases) {
        TArrowBar bar;
        bar.SetBorderStyle(bsNone);
        bar.SetKind(c.kind);
        bar.SetStyle(c.style);
        bar.SetButtonSize(c.buttonSize);
        bar.SetShowArrows(c.arrows);
        bar.resize(c.w, c.h);
        EXPECT_EQ(bar.GetButtonSize(), c.expected) << c.w << "x" << c.h;
    }
    TArrowBar framed; // the default: 100 x 16 with a one-pixel border
    EXPECT_EQ(framed.width(), 100);
    EXPECT_EQ(framed.ClientRect(), (TRect{0, 0, 98, 14}));
    EXPECT_EQ(framed.GetButtonSize(), 14);
    EXPECT_EQ(framed.GetTrackBoundary(), (TRect{14, 0, 84, 14}));
}

TEST(RangeBar, HandleGeometryAndZones)
{
    TRangeBar bar;
    TrackOf200(bar);
    bar.SetParams(1000, 100);
    EXPECT_EQ(bar.GetHandleRect(), (TRect{16, 0, 36, 16}));
    bar.SetPosition(450);
    EXPECT_EQ(bar.GetHandleRect(), (TRect{106, 0, 126, 16}));
    EXPECT_EQ(bar.GetZone(110, 5), zHandle);
    EXPECT_EQ(bar.GetZone(50, 5), zTrackPrev);
    EXPECT_EQ(bar.GetZone(130, 5), zTrackNext);
    EXPECT_EQ(bar.GetZone(3, 5), zBtnPrev);
    EXPECT_EQ(bar.GetZone(220, 5), zBtnNext);
    EXPECT_EQ(bar.GetZone(300, 5), zNone);
    EXPECT_EQ(bar.GetZoneRect(zTrackPrev), (TRect{16, 0, 106, 16}));
    EXPECT_EQ(bar.GetZoneRect(zTrackNext), (TRect{126, 0, 216, 16}));

    // Window 50 would give 10 pixels: held at 17, positions mapped over 183.
    bar.SetWindow(50);
    bar.SetPosition(0);
    EXPECT_EQ(bar.GetHandleRect(), (TRect{16, 0, 33, 16}));
    bar.SetPosition(475); // 183 * 475 / 950 = 91.5, to even
    EXPECT_EQ(bar.GetHandleRect().Left, 16 + 92);
    bar.SetPosition(5000);
    EXPECT_EQ(bar.Position(), 950);
    EXPECT_EQ(bar.GetHandleRect().Right, 216);
    bar.SetPosition(-3);
    EXPECT_EQ(bar.Position(), 0);
}

TEST(RangeBar, WindowZeroAndShortTracks)
{
    RangeBar bar;
    TrackOf200(bar);
    bar.show();
    bar.SetParams(200, 0); // Window 0: the control's length
    EXPECT_EQ(bar.EffectiveWindow(), 232);
    EXPECT_FALSE(bar.DrawEnabled());
    QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(220, 5));
    EXPECT_EQ(bar.PressedZone(), zNone);
    EXPECT_EQ(bar.Position(), 0);
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(220, 5));

    bar.SetParams(1000, 100);
    bar.resize(16 + 17 + 16, 16); // a 17-pixel track: no handle
    EXPECT_TRUE(IsRectEmpty(bar.GetHandleRect()));
    QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(24, 5));
    EXPECT_NE(bar.PressedZone(), zHandle);
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(24, 5));
}

TEST(RangeBar, DragFollowsTheHandlesTrack)
{
    for (int32_t window : {100, 50}) {
        RangeBar bar;
        TrackOf200(bar);
        bar.show();
        bar.SetParams(1000, window);
        int user = 0, changes = 0;
        bar.OnUserChange = [&](TArrowBar *b) {
            EXPECT_TRUE(b->UserChanging());
            ++user;
        };
        bar.OnChange = [&](TArrowBar *) { ++changes; };
        QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(20, 5));
        EXPECT_EQ(bar.PressedZone(), zHandle);
        EXPECT_EQ(bar.TimerState(), 3); // hover watch while dragging
        QTest::mouseMove(&bar, QPoint(30, 5));
        // Window 100: 1000 * 10 / 200; window 50: round(950 * 10 / 183).
        EXPECT_FLOAT_EQ(bar.Position(), window == 100 ? 50.0f : 52.0f);
        EXPECT_EQ(user, 1);
        EXPECT_EQ(changes, 1);
        // The handle moved by the mouse's distance (up to rounding).
        EXPECT_NEAR(bar.GetHandleRect().Left, 26, 1);
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(30, 5));
        EXPECT_EQ(bar.PressedZone(), zNone);
    }
    // Tracks of 18 and 19 pixels: a 17-pixel handle and one or two pixels to move in.
    for (int track : {18, 19}) {
        RangeBar bar;
        bar.SetBorderStyle(bsNone);
        bar.resize(32 + track, 16);
        bar.show();
        bar.SetParams(1000, 100);
        QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(20, 5));
        ASSERT_EQ(bar.PressedZone(), zHandle) << track;
        QTest::mouseMove(&bar, QPoint(21, 5));
        EXPECT_FLOAT_EQ(bar.Position(), track == 18 ? 900.0f : 450.0f);
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(21, 5));
    }
}

TEST(RangeBar, WheelStepsCountAsTheUsers)
{
    TRangeBar bar;
    TrackOf200(bar);
    bar.SetParams(1000, 100);
    bar.SetIncrement(8);
    int user = 0;
    bar.OnUserChange = [&](TArrowBar *) { ++user; };
    Wheel(&bar, -120); // towards the user: forwards
    EXPECT_FLOAT_EQ(bar.Position(), 0); // clamped at 0
    Wheel(&bar, 120);
    EXPECT_FLOAT_EQ(bar.Position(), 8);
    Wheel(&bar, 60);
    EXPECT_FLOAT_EQ(bar.Position(), 12);
    EXPECT_EQ(user, 2);
}

TEST(GaugeBar, LimitsWheelAndLoading)
{
    TGaugeBar bar;
    bar.SetMax(5);
    bar.SetMin(10);
    EXPECT_EQ(bar.Min(), 4);
    bar.SetMin(0);
    bar.SetMax(-3);
    EXPECT_EQ(bar.Max(), 1);
    bar.SetMax(100);
    bar.SetPosition(150);
    EXPECT_EQ(bar.Position(), 100);
    bar.SetLargeChange(0);
    bar.SetSmallChange(-4);
    EXPECT_EQ(bar.LargeChange(), 1);
    EXPECT_EQ(bar.SmallChange(), 1);
    bar.SetHandleSize(-2);
    EXPECT_EQ(bar.HandleSize(), 0);

    bar.SetPosition(50);
    bar.SetSmallChange(3);
    Wheel(&bar, 120);
    EXPECT_EQ(bar.Position(), 53);
    Wheel(&bar, 60); // 3 * 60 div 120
    EXPECT_EQ(bar.Position(), 54);
    Wheel(&bar, -60);
    EXPECT_EQ(bar.Position(), 53);

    // While loading, Max may equal or fall below Min; the handle still has a place.
    TGaugeBar loading;
    loading.BeginLoading();
    loading.SetMax(0);
    EXPECT_EQ(loading.Max(), 0);
    EXPECT_EQ(loading.GetHandleRect().Left, loading.GetTrackBoundary().Left);
    loading.SetMin(5);
    EXPECT_EQ(loading.Min(), 5);
    (void)loading.GetHandleRect();
    loading.Loaded();
    loading.SetMax(5);
    EXPECT_EQ(loading.Max(), 6);
}

TEST(GaugeBar, HandleAndDrag)
{
    GaugeBar bar;
    TrackOf200(bar);
    bar.show();
    EXPECT_EQ(bar.GetHandleSize(), 16);
    bar.SetPosition(50); // round(184 * 0.5)
    EXPECT_EQ(bar.GetHandleRect(), (TRect{16 + 92, 0, 16 + 108, 16}));
    QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(110, 5));
    ASSERT_EQ(bar.PressedZone(), zHandle);
    QTest::mouseMove(&bar, QPoint(156, 5)); // 100 * 46 / 184 = 25
    EXPECT_EQ(bar.Position(), 75);
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(156, 5));

    // A handle as long as the track allows (track - 1) leaves one pixel; none leaves nothing.
    GaugeBar tight;
    tight.SetBorderStyle(bsNone);
    tight.SetShowArrows(false);
    tight.SetHandleSize(500);
    tight.resize(40, 16);
    tight.show();
    EXPECT_EQ(tight.GetHandleSize(), 39);
    QTest::mousePress(&tight, Qt::LeftButton, {}, QPoint(10, 5));
    ASSERT_EQ(tight.PressedZone(), zHandle);
    QTest::mouseMove(&tight, QPoint(11, 5));
    EXPECT_EQ(tight.Position(), 100);
    QTest::mouseRelease(&tight, Qt::LeftButton, {}, QPoint(11, 5));
}

TEST(ArrowBarTimer, FirstDelayRepeatAndHoverWatch)
{
    RangeBar bar;
    TrackOf200(bar);
    bar.show();
    bar.SetParams(1000, 100);
    bar.Cursor = {220, 5};
    QElapsedTimer clock;
    clock.start();
    QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(220, 5));
    EXPECT_FLOAT_EQ(bar.Position(), 8); // the first step comes with the press
    EXPECT_EQ(bar.TimerState(), 1);
    EXPECT_EQ(bar.Timer()->interval(), 600);
    EXPECT_TRUE(bar.Timer()->isActive());
    QTest::qWait(300);
    if (clock.elapsed() < 550) { // a stalled machine may have reached the first delay
        EXPECT_FLOAT_EQ(bar.Position(), 8);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar.TimerState() == 2; }, 2000));
    EXPECT_EQ(bar.Timer()->interval(), 100);
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar.Position() >= 32; }, 2000)); // repeating
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(220, 5));
    EXPECT_EQ(bar.TimerState(), 3);
    EXPECT_EQ(bar.Timer()->interval(), 150);
    const float held = bar.Position();
    bar.Cursor = {-20, 5}; // the cursor leaves: the hover watch ends
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar.TimerState() == 0; }, 1000));
    EXPECT_FALSE(bar.Timer()->isActive());
    EXPECT_EQ(bar.Position(), held);
}

TEST(ArrowBarTimer, GaugeAtMaxArmsTheDelayThenWatches)
{
    GaugeBar bar;
    TrackOf200(bar);
    bar.show();
    bar.SetPosition(100);
    bar.Cursor = {220, 5};
    QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(220, 5));
    EXPECT_EQ(bar.TimerState(), 1);
    EXPECT_EQ(bar.Timer()->interval(), 600);
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar.TimerState() == 3; }, 2000));
    EXPECT_EQ(bar.Timer()->interval(), 150);
    EXPECT_EQ(bar.Position(), 100);
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(220, 5));
}

TEST(ArrowBarTimer, PageStepsStopAtTheCursor)
{
    RangeBar bar;
    TrackOf200(bar);
    bar.show();
    bar.SetParams(1000, 100);
    bar.Cursor = {150, 5};
    int user = 0;
    bar.OnUserChange = [&](TArrowBar *) { ++user; };
    QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(150, 5));
    EXPECT_EQ(bar.PressedZone(), zTrackNext);
    EXPECT_FLOAT_EQ(bar.Position(), 100);
    // Steps go on while the handle lies before the cursor: it stops covering x = 150.
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar.Position() == 600; }, 3000));
    QTest::qWait(350);
    EXPECT_FLOAT_EQ(bar.Position(), 600);
    const TRect h = bar.GetHandleRect();
    EXPECT_TRUE(h.Left <= 150 && 150 < h.Right);
    EXPECT_EQ(user, 6);
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(150, 5));
}

TEST(ArrowBarLook, ClassicPixels)
{
    RangeBar bar;
    TrackOf200(bar);
    bar.SetParams(1000, 100);
    bar.SetPosition(450);
    bar.show();
    QImage idle = bar.grab().toImage();
    // Handle face, patterned track, a raised button with a dark arrow.
    EXPECT_EQ(idle.pixel(116, 8), Rgb(clBtnFace));
    const QRgb a = idle.pixel(60, 8), b = idle.pixel(61, 8);
    EXPECT_NE(a, b); // checker of highlight and the bar colour
    EXPECT_TRUE(a == Rgb(clBtnHighlight) || b == Rgb(clBtnHighlight));
    EXPECT_EQ(idle.pixel(7, 7), Rgb(clBtnText));

    bar.Cursor = {150, 5};
    QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(150, 5));
    QImage pressed = bar.grab().toImage();
    const int handleRight = bar.GetHandleRect().Right;
    EXPECT_EQ(pressed.pixel(std::min(handleRight + 2, 214), 8), Rgb(clWindowFrame)); // the held track
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(150, 5));

    bar.SetStyle(rbsMac);
    QImage flat = bar.grab().toImage();
    EXPECT_NE(flat, idle);
    EXPECT_EQ(flat.pixel(0, 8), Rgb(clWindowFrame)); // the flat button's outer side

    TRangeBar framed; // the single border: a sunken one-pixel frame
    framed.show();
    QImage f = framed.grab().toImage();
    EXPECT_EQ(f.pixel(0, 0), Rgb(clBtnShadow));
    EXPECT_EQ(f.pixel(99, 15), Rgb(clBtnHighlight));
}

// Paints each scroll-bar part the style is asked for in a colour of its own.
class PartColours : public QProxyStyle {
public:
    void drawControl(ControlElement e, const QStyleOption *opt, QPainter *p, const QWidget *w) const override
    {
        const QColor c = Colour(e);
        if (c.isValid())
            p->fillRect(opt->rect, c);
        else
            QProxyStyle::drawControl(e, opt, p, w);
    }
    static QColor Colour(ControlElement e)
    {
        switch (e) {
        case CE_ScrollBarSubLine: return QColor(255, 0, 0);
        case CE_ScrollBarAddLine: return QColor(0, 0, 255);
        case CE_ScrollBarSubPage: return QColor(255, 255, 0);
        case CE_ScrollBarAddPage: return QColor(0, 255, 255);
        case CE_ScrollBarSlider: return QColor(0, 255, 0);
        default: return {};
        }
    }
};

TEST(ArrowBarLook, ThemedDrawsThroughTheStyle)
{
    const bool saved = USE_THEMES;
    PartColours style;
    TRangeBar bar;
    bar.setStyle(&style);
    TrackOf200(bar);
    bar.SetParams(1000, 100);
    bar.SetPosition(450); // handle 106-125, tracks 16-105 and 126-215
    bar.show();
    // Themed: every part is the style's own, in its place; classic: none of them is.
    for (const bool themed : {true, false}) {
        SCOPED_TRACE(themed);
        USE_THEMES = themed;
        const QImage shot = bar.grab().toImage();
        const struct {
            int x;
            QStyle::ControlElement part;
        } probes[] = {{0, QStyle::CE_ScrollBarSubLine},   {15, QStyle::CE_ScrollBarSubLine},
                      {16, QStyle::CE_ScrollBarSubPage},  {105, QStyle::CE_ScrollBarSubPage},
                      {106, QStyle::CE_ScrollBarSlider},  {125, QStyle::CE_ScrollBarSlider},
                      {126, QStyle::CE_ScrollBarAddPage}, {215, QStyle::CE_ScrollBarAddPage},
                      {216, QStyle::CE_ScrollBarAddLine}, {231, QStyle::CE_ScrollBarAddLine}};
        for (const auto &probe : probes)
            for (const int y : {0, 8, 15}) {
                const QRgb want = PartColours::Colour(probe.part).rgb();
                if (themed)
                    EXPECT_EQ(shot.pixel(probe.x, y), want) << probe.x << "," << y;
                else
                    EXPECT_NE(shot.pixel(probe.x, y), want) << probe.x << "," << y;
            }
    }
    USE_THEMES = saved;
}

TEST(ArrowBarLook, ColourHelpers)
{
    EXPECT_EQ(ShiftColor(0x102030, 24), 0x283848);
    EXPECT_EQ(ShiftColor(0xF00010, -24), 0xD80000);
    EXPECT_EQ(MixColors(0xFFFFFF, 0x000000, 255), 0xFEFEFE);
    EXPECT_EQ(MixColors(0x000000, 0x0000FF, 0), 0x0000FE);
    EXPECT_THROW(MixColors(0, 0, 256), EAssertionFailed);
}

TEST(ArrowBarAccess, ForwardsTheLook)
{
    TRangeBar h, v;
    TArrowBarAccess access;
    access.Primary = &h;
    access.Secondary = &v;
    access.SetStyle(rbsMac);
    access.SetButtonSize(12);
    access.SetShowArrows(false);
    EXPECT_EQ(v.Style(), rbsMac);
    EXPECT_EQ(v.ButtonSize(), 12);
    EXPECT_FALSE(v.ShowArrows());
    v.SetButtonSize(20);
    EXPECT_EQ(access.ButtonSize(), 12); // reads the primary
}
