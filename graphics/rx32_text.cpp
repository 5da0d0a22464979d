// Text on TBitmap32: fonts, text output, measuring and blended, antialiased text.
#include <algorithm>
#include <cmath>
#include <functional>

#include <QFontMetrics>
#include <QPainter>

#include "graphics/rx32.h"

namespace strandel {

namespace {
// A fixed family, so that text never follows the desktop's font settings.
constexpr const char *kDefaultFamily = "DejaVu Sans";

int PixelsOf(int32_t points)
{
    const int64_t px = points < 0 ? -int64_t(points) : (int64_t(points) * 96 + 36) / 72;
    return int(std::clamp<int64_t>(px, 1, 0x7FFF));
}
} // namespace

// ---- TFont -------------------------------------------------------------------------------------

TFont::TFont()
{
    m_font.setFamily(kDefaultFamily);
    m_font.setPixelSize(PixelsOf(m_size));
}

void TFont::Changed()
{
    if (OnChange)
        OnChange();
}

void TFont::SetName(const QString &name)
{
    m_font.setFamily(name);
    Changed();
}

void TFont::SetSize(int32_t points)
{
    m_size = points;
    m_font.setPixelSize(PixelsOf(points));
    Changed();
}

void TFont::SetColor(TColor color)
{
    m_color = color;
    Changed();
}

void TFont::SetStyle(bool bold, bool italic, bool underline, bool strikeOut)
{
    m_font.setBold(bold);
    m_font.setItalic(italic);
    m_font.setUnderline(underline);
    m_font.setStrikeOut(strikeOut);
    Changed();
}

void TFont::SetQtFont(const QFont &font)
{
    m_font = font;
    Changed();
}

void TFont::Assign(const TFont &other)
{
    m_font = other.m_font;
    m_size = other.m_size;
    m_color = other.m_color;
    Changed();
}

// ---- TBitmap32 text ------------------------------------------------------------------------------

void TBitmap32::SetFont(const TFont &value)
{
    m_fontObject.Assign(value); // its change event deselects the old font
}

void TBitmap32::FontChanged()
{
    if (m_fontSelected)
        m_fontSelected = false;
}

void TBitmap32::UpdateFont()
{
    m_fontSelected = true;
}

// Glyph coverage is rendered into a mask first and mixed into red, green and blue only,
// so that every alpha byte survives (painting on the ARGB32 view directly would round it
// through premultiplied colours).
void TBitmap32::DrawTextMask(const QRect &area, const std::function<void(QPainter &)> &draw)
{
    const QRect r = area.intersected(QRect(0, 0, Width(), Height()));
    if (r.isEmpty() || Empty())
        return;
    QImage mask(r.size(), QImage::Format_ARGB32_Premultiplied);
    mask.fill(0);
    {
        QPainter p(&mask);
        p.translate(-r.topLeft());
        p.setFont(m_fontObject.Font());
        p.setPen(QColor(255, 255, 255));
        draw(p);
    }
    const TColor32 tc = Color32(m_fontObject.Color());
    const auto mix = [](uint32_t t, uint32_t b, uint32_t a) { return (t * a + b * (255 - a) + 127) / 255; };
    for (int y = 0; y < r.height(); ++y) {
        const auto *m = reinterpret_cast<const QRgb *>(mask.constScanLine(y));
        TColor32 *d = PixelPtr(r.left(), r.top() + y);
        for (int x = 0; x < r.width(); ++x) {
            const QRgb cov = m[x];
            if ((cov & 0x00FFFFFF) == 0)
                continue;
            const TColor32 p = d[x];
            d[x] = (p & 0xFF000000) | mix((tc >> 16) & 255, (p >> 16) & 255, qRed(cov)) << 16 |
                   mix((tc >> 8) & 255, (p >> 8) & 255, qGreen(cov)) << 8 | mix(tc & 255, p & 255, qBlue(cov));
        }
    }
}

namespace {
// The cell of a text drawn with its top-left at (x, y), widened by the glyphs' overhangs.
QRect TextArea(const QFontMetrics &fm, int32_t x, int32_t y, const QString &text)
{
    const QRect cell(x, y, fm.horizontalAdvance(text), fm.height());
    return cell.united(fm.boundingRect(text).translated(x, y + fm.ascent())).adjusted(-2, -2, 2, 2);
}
} // namespace

void TBitmap32::Textout(int32_t x, int32_t y, const QString &text)
{
    UpdateFont();
    const QFontMetrics fm(m_fontObject.Font());
    DrawTextMask(TextArea(fm, x, y, text), [&](QPainter &p) { p.drawText(QPoint(x, y + fm.ascent()), text); });
    Changed();
}

void TBitmap32::Textout(int32_t x, int32_t y, const TRect &clipRect, const QString &text)
{
    UpdateFont();
    const QFontMetrics fm(m_fontObject.Font());
    const QRect clip(clipRect.Left, clipRect.Top, clipRect.Width(), clipRect.Height());
    DrawTextMask(TextArea(fm, x, y, text).intersected(clip), [&](QPainter &p) {
        p.setClipRect(clip);
        p.drawText(QPoint(x, y + fm.ascent()), text);
    });
    Changed();
}

void TBitmap32::Textout(const TRect &dstRect, int flags, const QString &text)
{
    UpdateFont();
    const QFontMetrics fm(m_fontObject.Font());
    const QRect rect(dstRect.Left, dstRect.Top, dstRect.Width(), dstRect.Height());
    const QRect area = rect.united(fm.boundingRect(rect, flags, text)).adjusted(-2, -2, 2, 2);
    DrawTextMask(area, [&](QPainter &p) { p.drawText(rect, flags, text); });
    Changed();
}

TPoint TBitmap32::TextExtent(const QString &text) const
{
    // Measuring needs no pixels: an empty bitmap measures with its font as well.
    const QFontMetrics fm(m_fontObject.Font());
    return {fm.horizontalAdvance(text), fm.height()};
}

void TBitmap32::RenderText(int32_t x, int32_t y, const QString &text, int32_t aaLevel, TColor32 color)
{
    if (Empty())
        return;
    const uint32_t alpha = color >> 24;
    color &= 0x00FFFFFF;
    aaLevel = Constrain(aaLevel, 0, 4);
    const QString measuring = text + QLatin1Char(' ');
    TBitmap32 b;
    if (aaLevel == 0) {
        const TPoint size = TextExtent(measuring);
        b.SetSize(size.X, size.Y);
        b.SetFont(m_fontObject);
        b.Clear(0);
        b.Font().SetColor(0xFFFFFF);
        b.Textout(0, 0, text);
        if (!b.Empty()) {
            TColor32 *p = b.Bits();
            for (int64_t i = 0, n = int64_t(b.Width()) * b.Height(); i < n; ++i)
                if (p[i] != 0)
                    p[i] = (p[i] << 24) + color;
        }
    } else {
        QFont big = m_fontObject.Font();
        // A font given in points has no pixel size (-1): enlarge whichever size it carries.
        if (big.pixelSize() > 0)
            big.setPixelSize(std::min(big.pixelSize() << aaLevel, 0x7FFF));
        else
            big.setPointSizeF(std::min(big.pointSizeF() * (1 << aaLevel), double(0x7FFF)));
        const QFontMetrics fm(big);
        const int32_t w = ((fm.horizontalAdvance(measuring) >> aaLevel) + 1) << aaLevel;
        const int32_t h = fm.height();
        TBitmap32 b2;
        b2.SetSize(w, h);
        b2.Clear(0);
        b2.Font().SetQtFont(big);
        b2.Font().SetColor(0xFFFFFF);
        b2.Textout(0, 0, text);
        b.SetSize(w >> aaLevel, h >> aaLevel);
        if (!b.Empty()) {
            const int32_t block = 1 << aaLevel;
            for (int32_t j = 0; j < b.Height(); ++j) {
                for (int32_t i = 0; i < b.Width(); ++i) {
                    uint32_t s = 0;
                    for (int32_t yy = 0; yy < block; ++yy) {
                        const TColor32 *row = b2.PixelPtr(i << aaLevel, (j << aaLevel) + yy);
                        for (int32_t xx = 0; xx < block; ++xx)
                            s += row[xx] & 255;
                    }
                    s = s >> aaLevel >> aaLevel;
                    *b.PixelPtr(i, j) = (s << 24) + color;
                }
            }
        }
    }
    b.SetDrawMode(dmBlend);
    b.SetMasterAlpha(alpha);
    b.DrawTo(this, x, y);
}

} // namespace strandel
