#pragma once
// Small pages for the report tests.
#include <QImage>

#include "report/pages/metafile.h"

namespace strandel::test {

// Draws one page with every kind of operation onto a canvas.
inline void DrawSamplePage(TPgxPageCanvas &c, const QString &caption)
{
    c.SetBrush({0xffffffff, PgxBrushStyle::Solid});
    c.FillRect({0, 0, 200, 150});
    c.SetPen({0xff000080, 1, PgxPenStyle::Solid});
    c.SetBrush({0xffc0e0ff, PgxBrushStyle::Solid});
    c.Rectangle({10, 10, 90, 50});
    c.SetBrush({0xff00a000, PgxBrushStyle::Cross});
    c.Ellipse({100, 10, 190, 60});
    c.SetPen({0xffa00000, 3, PgxPenStyle::Dash});
    c.RoundRect({10, 60, 90, 100}, 16, 12);
    c.Line(0, 149, 199, 100);
    PgxFont f;
    f.family = QStringLiteral("DejaVu Sans");
    f.height = 14;
    f.weight = 700;
    f.color = 0xff202020;
    c.SetFont(f);
    c.TextOut(12, 14, caption);
    c.SetClipRect({100, 70, 190, 90});
    c.Text({100, 70, 190, 90}, PgxTextHCenter | PgxTextVCenter, QStringLiteral("Clipped centred text, too long"));
    c.ResetClip();
    QImage img(4, 3, QImage::Format_ARGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            img.setPixel(x, y, qRgb(60 * x, 80 * y, 200));
    c.StretchDraw({100, 100, 140, 130}, img);
}

inline TPgxMetafile SamplePage(const QString &caption, int width = 200, int height = 150)
{
    TPgxMetafile mf(width, height, 96, 96);
    TPgxMetafileCanvas c(mf);
    DrawSamplePage(c, caption);
    return mf;
}

} // namespace strandel::test
