#include "report/pages/frame.h"

#include "report/pages/units.h"

namespace strandel {

void TPgxFrame::SetValue(int index, bool value)
{
    switch (index) {
    case 0: m_top = value; break;
    case 1: m_bottom = value; break;
    case 2: m_left = value; break;
    case 3: m_right = value; break;
    default: return;
    }
    Changed();
}

int32_t TPgxFrame::Thickness(double factor) const
{
    if (m_width == -1)
        return 1;
    if (m_width <= 0)
        return 0; // a negative width other than -1 draws nothing rather than inverted strips
    const int32_t t = PgxRound(factor / 72 * 254 * m_width);
    return t < 1 ? 1 : t;
}

void TPgxFrame::PaintIt(TPgxPageCanvas &c, const PgxRect &r, double xFactor, double yFactor,
                        TPgxFrameShapeSink *exportTo, const QRgb *fill) const
{
    const int32_t tx = ThicknessX(xFactor), ty = ThicknessY(yFactor);
    const PgxRect strips[4] = {
        {r.left, r.top, r.right, r.top + ty},
        {r.left, r.bottom - ty, r.right, r.bottom},
        {r.left, r.top, r.left + tx, r.bottom},
        {r.right - tx, r.top, r.right, r.bottom},
    };
    const bool sides[4] = {m_top, m_bottom, m_left, m_right};
    if (tx > 0 && ty > 0) {
        c.SetPen(Pen());
        c.SetBrush({m_color, PgxBrushStyle::Solid});
        for (int i = 0; i < 4; ++i)
            if (sides[i])
                c.FillRect(strips[i]);
        c.SetBrush({0xffffffff, PgxBrushStyle::Clear});
    }
    if (!exportTo)
        return;
    const int32_t w = r.right - r.left, h = r.bottom - r.top;
    if (fill)
        exportTo->AcceptShape({PgxFrameShapeKind::Rectangle, r.left, r.top, w, h,
                               {*fill, PgxBrushStyle::Solid}, {m_color, 1, PgxPenStyle::Clear}});
    const PgxBrush clear{0xffffffff, PgxBrushStyle::Clear};
    if (m_top && m_bottom && m_left && m_right) {
        exportTo->AcceptShape({PgxFrameShapeKind::Rectangle, r.left, r.top, w, h, clear,
                               {m_color, tx, PgxPenStyle::Solid}});
        return;
    }
    const PgxPen pen{m_color, 1, PgxPenStyle::Solid};
    if (m_top)
        exportTo->AcceptShape({PgxFrameShapeKind::HorLine, r.left, r.top, w, ty, clear, pen});
    if (m_bottom)
        exportTo->AcceptShape({PgxFrameShapeKind::HorLine, r.left, r.bottom - ty, w, ty, clear, pen});
    if (m_left)
        exportTo->AcceptShape({PgxFrameShapeKind::VertLine, r.left, r.top, tx, h, clear, pen});
    if (m_right)
        exportTo->AcceptShape({PgxFrameShapeKind::VertLine, r.right - tx, r.top, tx, h, clear, pen});
}

} // namespace strandel
