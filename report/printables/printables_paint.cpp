#include "report/printables/printables_paint.h"

#include <algorithm>
#include <cmath>

#include "report/bands/band.h"
#include "report/data/dataset.h"
#include "report/pages/units.h"
#include "report/printables/printables_data.h"
#include "report/printables/printables_image.h"
#include "report/printables/printables_shape.h"
#include "report/printables/printables_text.h"

namespace strandel {

namespace {

double PixelsPerTenth(int zoom)
{
    return PgxScreenPpi() / 254.0 * zoom / 100.0;
}

void PaintLabel(TPgxCustomLabel &l, TPgxPageCanvas &c, int zoom)
{
    // Formatting may size the label to its text first.
    l.FormatLines();
    const PgxRect r = PgxDesignRect(l, zoom);
    // The font at the zoomed size, on the screen.
    TPgxFont font = l.Font();
    font.Size = PgxRound(font.Size * zoom / 100.0);
    const PgxFont screenFont = font.AtResolution(PgxScreenPpi());
    const TPgxTextMetrics &m = l.Metrics ? *l.Metrics : PgxDefaultTextMetrics();
    const int32_t lineHeight = PgxRound(m.Height(screenFont));
    PgxPaintPrintableBase(l, c, zoom);
    if (!l.Transparent) {
        c.SetBrush({l.Color, PgxBrushStyle::Solid});
        c.FillRect(r);
    }
    int32_t left = r.left, top = r.top;
    const int32_t w = r.right - r.left;
    if (l.Frame().AnyFrame() && l.Frame().Width() > 0) {
        const int32_t shift = PgxRound(l.Frame().Width() / 72.0 * PgxScreenPpi() * zoom / 100.0);
        if (l.Frame().DrawTop())
            top += shift;
        if (l.Frame().DrawLeft())
            left += shift;
    }
    TPgxAlignment a = l.Alignment();
    if (l.UseRightToLeftAlignment() && a != TPgxAlignment::taCenter)
        a = a == TPgxAlignment::taLeftJustify ? TPgxAlignment::taRightJustify : TPgxAlignment::taLeftJustify;
    uint32_t flags = PgxTextNoClip;
    int32_t x = left;
    if (a == TPgxAlignment::taRightJustify) {
        flags |= PgxTextRight;
        x += w;
    } else if (a == TPgxAlignment::taCenter) {
        flags |= PgxTextHCenter;
        x += w / 2;
    }
    c.SetFont(screenFont);
    const QStringList &lines = l.FormattedLines();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines.at(i).isEmpty())
            continue;
        const int32_t y = int32_t(std::clamp<int64_t>(top + int64_t(i) * lineHeight, INT32_MIN, INT32_MAX));
        c.Text({x, y, x, y}, flags, lines.at(i));
    }
    PgxPaintCorners(c, r);
}

void PaintImage(TPgxImage &img, TPgxPageCanvas &c, const PgxRect &r, int zoom)
{
    PgxPaintPrintableBase(img, c, zoom);
    c.SetPen({0xff000000, 1, PgxPenStyle::Dash});
    c.SetBrush({0xffffffff, PgxBrushStyle::Clear});
    c.Rectangle(r);
    const QImage &pic = *img.Picture();
    if (pic.isNull())
        return;
    const int32_t w = r.right - r.left, h = r.bottom - r.top;
    PgxRect d;
    if (img.Stretch())
        d = r;
    else if (img.Center())
        d = {r.left + (w - pic.width()) / 2, r.top + (h - pic.height()) / 2, 0, 0};
    else
        d = {r.left, r.top, 0, 0};
    if (!img.Stretch()) {
        d.right = d.left + pic.width();
        d.bottom = d.top + pic.height();
    }
    if (zoom != 100) {
        d.right = d.left + PgxRound((d.right - d.left) * zoom / 100.0);
        d.bottom = d.top + PgxRound((d.bottom - d.top) * zoom / 100.0);
    }
    c.StretchDraw(d, pic);
}

void PaintDBImage(TPgxDBImage &img, TPgxPageCanvas &c, const PgxRect &r, int zoom)
{
    c.SetBrush({img.Color, PgxBrushStyle::Solid});
    c.FillRect(r);
    QString label = PgxPrintableName(img);
    if (img.DataSet())
        if (const report::PgxField *f = img.DataSet()->FindField(img.DataField()))
            label = QString::fromStdString(f->DisplayLabel());
    c.SetFont(TPgxFont().AtResolution(PgxScreenPpi() * zoom / 100.0));
    c.Text(r, PgxTextHCenter | PgxTextVCenter, QLatin1Char('(') + label + QLatin1Char(')'));
    PgxPaintPrintableBase(img, c, zoom);
}

void PaintShape(TPgxShape &s, TPgxPageCanvas &c, const PgxRect &r, int zoom)
{
    PgxPaintPrintableBase(s, c, zoom);
    c.SetPen(s.Pen);
    c.SetBrush(s.Brush);
    const int32_t w = r.right - r.left, h = r.bottom - r.top;
    switch (s.Shape) {
    case TPgxShapeType::pgxsRectangle: c.Rectangle(r); break;
    case TPgxShapeType::pgxsCircle: c.Ellipse(r); break;
    case TPgxShapeType::pgxsVertLine: c.Line(r.left + w / 2, r.top, r.left + w / 2, r.bottom); break;
    case TPgxShapeType::pgxsHorLine: c.Line(r.left, r.top + h / 2, r.right, r.top + h / 2); break;
    case TPgxShapeType::pgxsTopAndBottom:
        c.Line(r.left, r.top, r.right, r.top);
        c.Line(r.left, r.bottom - 1, r.right, r.bottom - 1);
        break;
    case TPgxShapeType::pgxsRightAndLeft:
        c.Line(r.left, r.top, r.left, r.bottom);
        c.Line(r.right - 1, r.top, r.right - 1, r.bottom);
        break;
    case TPgxShapeType::pgxsRoundRect: {
        const double corner = std::isfinite(s.RoundFactor) ? w * double(s.RoundFactor) : 0.0;
        c.RoundRect(r, PgxRound(corner), PgxRound(corner));
        break;
    }
    }
}

} // namespace

PgxRect PgxDesignRect(const TPgxPrintable &p, int zoom)
{
    const double k = PixelsPerTenth(zoom);
    return {0, 0, PgxRound(p.Width * k), PgxRound(p.Height * k)};
}

void PgxPaintCorners(TPgxPageCanvas &c, const PgxRect &r)
{
    const int32_t l = r.left, t = r.top, rr = r.right - 1, b = r.bottom - 1;
    c.SetPen({0xff000000, 1, PgxPenStyle::Solid});
    c.Line(l, t + 3, l, t);
    c.Line(l, t, l + 3, t);
    c.Line(l, b - 3, l, b);
    c.Line(l, b, l + 3, b);
    c.Line(rr - 3, t, rr, t);
    c.Line(rr, t, rr, t + 3);
    c.Line(rr - 3, b, rr, b);
    c.Line(rr, b, rr, b - 3);
}

void PgxPaintPrintableBase(TPgxPrintable &p, TPgxPageCanvas &c, int zoom)
{
    if (p.Printing())
        return;
    const PgxRect r = PgxDesignRect(p, zoom);
    if (!p.Transparent) {
        c.SetBrush({0xffffffff, PgxBrushStyle::Solid});
        c.FillRect(r);
    }
    PgxPaintCorners(c, r);
    const double f = PixelsPerTenth(zoom);
    p.Frame().PaintIt(c, {r.left, r.top, r.right - 1, r.bottom - 1}, f, f);
}

void PgxPaintPrintable(TPgxPrintable &p, TPgxPageCanvas &c, int zoom)
{
    if (p.Printing())
        return;
    zoom = std::clamp(zoom, 1, 10000);
    const PgxRect r = PgxDesignRect(p, zoom);
    if (auto *memo = dynamic_cast<TPgxMemo *>(&p)) {
        if (!memo->Lines().isEmpty() && !memo->Caption().isEmpty())
            memo->SetCaption(QString());
        PaintLabel(*memo, c, zoom);
    } else if (auto *em = dynamic_cast<TPgxExprMemo *>(&p)) {
        if (!em->Lines().isEmpty() && !em->Caption().isEmpty())
            em->SetCaption(QString());
        PaintLabel(*em, c, zoom);
    } else if (auto *l = dynamic_cast<TPgxCustomLabel *>(&p)) {
        PaintLabel(*l, c, zoom);
    } else if (auto *img = dynamic_cast<TPgxImage *>(&p)) {
        PaintImage(*img, c, r, zoom);
    } else if (auto *dbi = dynamic_cast<TPgxDBImage *>(&p)) {
        PaintDBImage(*dbi, c, r, zoom);
    } else if (auto *s = dynamic_cast<TPgxShape *>(&p)) {
        PaintShape(*s, c, r, zoom);
    } else {
        PgxPaintPrintableBase(p, c, zoom);
    }
}

} // namespace strandel
