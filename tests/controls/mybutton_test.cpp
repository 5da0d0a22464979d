#include "viewer/controls/mybutton.h"

#include <QEnterEvent>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

using namespace strandel;

namespace {

constexpr int kW = 20, kH = 12;
const QRgb kCell[4] = {qRgb(200, 0, 0), qRgb(0, 200, 0), qRgb(0, 0, 200), qRgb(200, 200, 0)};

QImage Strip(int cells)
{
    QImage img(kW * cells, kH, QImage::Format_RGB32);
    for (int c = 0; c < cells; ++c)
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                img.setPixel(c * kW + x, y, kCell[c]);
    return img;
}

// The colour of every pixel of the grabbed button, or 0 when they differ.
QRgb Shown(TMyButton &b)
{
    const QImage img = b.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb first = img.pixel(0, 0);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != first)
                return 0;
    return first;
}

void Enter(TMyButton &b)
{
    QEnterEvent e(QPointF(5, 5), QPointF(5, 5), b.mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(&b, &e);
}

} // namespace

TEST(MyButton, PaintsTheCellOfItsState)
{
    QWidget parent;
    TMyButton b(&parent);
    b.setText("never drawn");
    b.setGeometry(0, 0, kW, kH);
    b.SetGlyph(Strip(4));
    b.SetNumGlyphs(4);
    parent.show();

    EXPECT_EQ(Shown(b), kCell[0]);
    Enter(b);
    EXPECT_EQ(Shown(b), kCell[3]);
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(Shown(b), kCell[2]);
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(Shown(b), kCell[3]);
    b.setEnabled(false);
    EXPECT_EQ(Shown(b), kCell[1]);
    b.setEnabled(true);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&b, &leave);
    b.SetDown(true);
    EXPECT_EQ(Shown(b), kCell[2]);

    // Two cells: no hot cell, hovering shows the normal one.
    b.SetDown(false);
    b.SetGlyph(Strip(2));
    b.SetNumGlyphs(2);
    Enter(b);
    EXPECT_EQ(Shown(b), kCell[0]);
}

TEST(MyButton, WithoutGlyphDrawsAFramedRectangle)
{
    TMyButton b;
    b.resize(kW, kH);
    const QImage img = b.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(img.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(img.pixel(kW - 1, kH - 1), qRgb(0, 0, 0));
    EXPECT_EQ(img.pixel(kW / 2, kH / 2), qRgb(255, 255, 255));
}

TEST(MyButton, GroupedButtonsStayDownAndExclude)
{
    QWidget parent;
    TMyButton a(&parent), b(&parent), plain(&parent);
    a.SetGroupIndex(1);
    b.SetGroupIndex(1);
    for (TMyButton *x : {&a, &b, &plain})
        x->resize(kW, kH);
    int clicks = 0;
    QObject::connect(&a, &QAbstractButton::clicked, [&] { ++clicks; });

    QTest::mouseClick(&a, Qt::LeftButton);
    EXPECT_TRUE(a.Down());
    QTest::mouseClick(&a, Qt::LeftButton); // no AllowAllUp: stays down
    EXPECT_TRUE(a.Down());
    EXPECT_EQ(clicks, 2);
    QTest::mouseClick(&b, Qt::LeftButton);
    EXPECT_TRUE(b.Down());
    EXPECT_FALSE(a.Down());
    b.SetAllowAllUp(true);
    QTest::mouseClick(&b, Qt::LeftButton);
    EXPECT_FALSE(b.Down());
    QTest::mouseClick(&plain, Qt::LeftButton);
    EXPECT_FALSE(plain.Down());
}
